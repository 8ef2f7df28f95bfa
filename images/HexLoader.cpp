#include "images/HexLoader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "devices/ImageState.h"
#include "images/HexRecord.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "platform/NumberText.h"
#include "programmers/ProgrammerTypes.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/views/MainWindowView.h"

namespace {

const char* const Source = "Convert Hex File";

struct GeneralRules {
  bool extendedSections;   // ExtData and skip modes on types that carry ExtData
  bool clearExtData;
  bool restartChecksum;
  int64_t flashBase;       // files may address the flash from here as well as from 0
};

void Fill(std::vector<uint8_t>& buffer, int32_t size, uint8_t blank) {
  if (size < 0) size = 0;
  if (buffer.size() < static_cast<size_t>(size)) buffer.resize(static_cast<size_t>(size));
  std::fill(buffer.begin(), buffer.begin() + size, blank);
}

bool LoadGeneral(std::vector<uint8_t>& buffer, int32_t size, int32_t& top, uint8_t blank, const std::string* files,
                 int fileCount, const GeneralRules& rules) {
  Err = ErrorObject{};
  Fill(buffer, size, blank);
  if (rules.clearExtData) ExtData.fill(0);
  LastFunction = "Load Hex File";
  frmMain->SetStatusPanel("Status", "Converting Hex File");
  if (rules.restartChecksum) ImageChecksum = 0;
  uint32_t checksum = static_cast<uint32_t>(ImageChecksum);
  top = 0;
  int32_t records = 0, bytes = 0;
  int64_t base = 0;
  bool extendedMode = false, skipMode = false;
  // Whether the data seen so far addressed the flash from 0 or from its base.
  enum class Place { None, FromZero, FromBase } dataPlace = Place::None;
  const bool typeWithExtData = rules.extendedSections && SelectedTypeTraits().carriesExtData;

  for (int f = 0; f < fileCount && !ErrorPending(); ++f) {
    TextLineReader reader;
    std::string error;
    if (!reader.OpenBuildFile(files[f], error)) {
      RaiseError(reader.OpenError(), Source, error);
      NoteFilePlace(reader);
      break;
    }
    LetWindowsBreathe();
    bool ended = false;
    int32_t fileRecords = 0, fileDataRecords = 0;
    int zeroLengthLine = 0;
    HexLine::Record record;
    for (;;) {
      const std::string_view text = reader.ReadTextLine();
      if (text.empty()) break;
      const HexLine line(text);
      if (!line.StartsWithColon()) {
        RaiseError(ErrFileFormat, Source, "Illegal File Format");
        break;
      }
      // Every character, the length and (below) the checksum, as the bytes are read.
      const HexLine::Check check = line.Decode(record);
      if (check == HexLine::Check::IllegalCharacter) {
        RaiseError(ErrFileFormat, Source, "Illegal Character in HEX Record: " + RecordPlace(reader));
        break;
      }
      if (check == HexLine::Check::LengthMismatch) {
        RaiseError(ErrFileFormat, Source, "Record Length Does Not Match Its Line: " + RecordPlace(reader));
        break;
      }
      ++fileRecords;
      const int count = record.Count();
      const int type = record.Type();
      if (count == 0 && type == HexEndOfFile) {
        ended = true;
        break;
      }
      if (!record.ChecksumOk()) {
        RaiseError(ErrChecksum, Source, "Checksum Error in Hex file");
        break;
      }
      // Some writers put an empty record before the end; data after one
      // means the file was put together wrongly.
      if (count == 0) {
        if (zeroLengthLine == 0) zeroLengthLine = reader.LineNumber();
        continue;
      }
      if (type == HexData && zeroLengthLine != 0) {
        RaiseError(ErrFileFormat, Source,
                   "Data After the Zero-Length Record of Line " + std::to_string(zeroLengthLine) + ": " +
                       RecordPlace(reader));
        break;
      }
      const int32_t offset = record.Offset();
      const uint8_t* const data = record.Data();
      // Image index of the record's first byte: its address, or its distance
      // from the flash base when the family's files may start there.
      int64_t at = base + offset;
      Place place = Place::FromZero;
      if (at + count > size) {
        if (rules.flashBase == 0 || at < rules.flashBase || at + count > rules.flashBase + size) {
          RaiseError(ErrAddressRange, Source, "Address Out of Range in HEX File");
          break;
        }
        at -= rules.flashBase;
        place = Place::FromBase;
      }
      switch (type) {
        case HexData:
          ++fileDataRecords;
          if (extendedMode) {
            if (offset + count > static_cast<int32_t>(ExtData.size())) {
              RaiseError(ErrAddressRange, Source, "Address Out of Range in HEX File");
              break;
            }
            std::memcpy(ExtData.data() + offset, data, static_cast<size_t>(count));
          } else if (!skipMode) {
            // Both at once would put two programs over each other in one image.
            if (dataPlace != Place::None && dataPlace != place) {
              char flashBase[12];
              std::snprintf(flashBase, sizeof flashBase, "%08X", static_cast<unsigned>(rules.flashBase));
              RaiseError(ErrAddressRange, Source,
                         "Address Out of Range in HEX File: Data Both From 0 and From the Flash Base " +
                             std::string(flashBase));
              break;
            }
            dataPlace = place;
            std::memcpy(buffer.data() + at, data, static_cast<size_t>(count));
            checksum += record.DataSum();
            bytes += count;
            ++records;
            top = std::max<int32_t>(top, static_cast<int32_t>(at + count - 1));
          }
          // By records read, not kept: a long skipped section gets its turns too.
          if (fileRecords % 25 == 0) {
            ShowConversionCounts(records, bytes);
            LetWindowsBreathe();
          }
          break;
        case HexLinearAddress: {
          const int32_t value = data[0] << 8 | data[1];
          if (typeWithExtData) {
            extendedMode = value == 0x0010;
            skipMode = value == 0x0020;
          } else {
            base = static_cast<int64_t>(value) * 65536;
          }
          break;
        }
        case HexSegmentAddress:
          base = static_cast<int64_t>(data[0] << 8 | data[1]) * 16;
          break;
        default:
          break;
      }
      if (ErrorPending()) break;
    }
    // A file that could not be read to its end fails as one that could not be opened.
    if (!ErrorPending() && reader.ReadFailed()) RaiseError(reader.ReadError(), Source, reader.ReadErrorText());
    if (ErrorPending()) {
      NoteFilePlace(reader);
      break;
    }
    // A file cut short, or one that holds nothing, would leave a blank image
    // that replaces a good one in the programmer.
    if (!ended && fileRecords > 0) {
      RaiseError(ErrFileFormat, Source, "Unexpected End of File: " + RecordPlace(reader));
    } else if (fileDataRecords == 0) {
      RaiseError(ErrFileFormat, Source, "No Data in HEX File: " + RecordPlace(reader));
    }
    if (ErrorPending()) NoteFilePlace(reader);
  }

  ImageChecksum = static_cast<int32_t>(checksum);
  CaptureError();
  ShowConversionCounts(records, bytes);
  frmMain->SetStatusPanel("Status", "Image Read");
  return LastErrorNumber == 0;
}

}  // namespace

void ShowConversionCounts(int32_t records, int32_t bytes) {
  frmMain->SetStatusPanel("ExtStatus1", "Records:" + Str(records));
  frmMain->SetStatusPanel("ExtStatus2", "Bytes:" + Str(bytes));
}

bool LoadHexFile(std::vector<uint8_t>& buffer, int32_t size, int32_t& top, uint8_t blank,
                 const std::string* files, int fileCount, int64_t flashBase) {
  return LoadGeneral(buffer, size, top, blank, files, fileCount, {true, true, true, flashBase});
}

bool LoadHexBuffer(std::vector<uint8_t>& buffer, int32_t size, int32_t& top, uint8_t blank,
                   const std::string& file) {
  return LoadGeneral(buffer, size, top, blank, &file, 1, {false, false, false, 0});
}
