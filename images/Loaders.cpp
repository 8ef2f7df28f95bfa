#include "images/Loaders.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "devices/DeviceState.h"
#include "devices/FamilyTraits.h"
#include "devices/ImageState.h"
#include "images/HexLoader.h"
#include "images/HexRecord.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "platform/NumberText.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/StateList.h"
#include "state/views/MainWindowView.h"

#define LOADER_STATE(STATE)     \
  STATE(RecCount, {0})          \
  STATE(ByteCount, {0})         \
  STATE(RecLen, {0})            \
  STATE(RecAddr, {0})           \
  STATE(RecType, {0})           \
  STATE(RecData, {})            \
  STATE(CurrentFile, {nullptr})

LOADER_STATE(DEFINE_STATE)

namespace {

const char* const Source = "Read Hex File";
const char* const OutsidePart = "Image File Contains Data Outside the Address Range of the Selected Part";

const DeviceRecord& Device() { return DeviceTable[std::max(CurDevice, 0)]; }

bool IsPSoCSectionFamily(const std::string& family) {
  return family == "PSoC5" || family == "PSoC5LP" || family == "PSoC4" || family == "GEN4" || family == "GEN5" ||
         family == "GEN6" || family == "CapSense";
}

void Fill(std::vector<uint8_t>& buffer, size_t count, uint8_t value) {
  if (buffer.size() < count) buffer.resize(count);
  std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count), value);
}

bool Fail(int32_t number, const std::string& description) {
  RaiseError(number, Source, description);
  return false;
}

std::string SectionText(int32_t value) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(value & 0xFFFF));
  return "Unexpected Section in HEX file: " + std::string(hex);
}

// Stores the current record at index `at` of a buffer, failing cleanly when
// it would not fit although the family's range test let it pass.
bool StoreRecord(std::vector<uint8_t>& buffer, int64_t at, bool summed) {
  if (at < 0 || at + RecLen > static_cast<int64_t>(buffer.size())) {
    return Fail(ErrAddressRange, "Image File Contains Data Outside the Memory Image");
  }
  uint32_t checksum = static_cast<uint32_t>(ImageChecksum);
  for (int k = 0; k < RecLen; ++k) {
    buffer[static_cast<size_t>(at + k)] = RecData[k];
    if (summed) checksum += RecData[k];
  }
  if (summed) {
    ImageChecksum = static_cast<int32_t>(checksum);
    ByteCount += RecLen;
  }
  return true;
}

// Main memory: the top moves up and the record must lie inside the part.
bool StoreMainMemory(int64_t at) {
  const int64_t end = at + RecLen - 1;
  ImageTop = static_cast<int32_t>(std::max<int64_t>(ImageTop, end));
  if (end >= Device().DevFlashSize) return Fail(ErrAddressRange, OutsidePart);
  return StoreRecord(ImageBuffer, at, true);
}

struct FamilyRules {
  const char* status;
  bool acceptsSegments;                   // type 02 records
  std::function<bool(int32_t)> section;   // a type 04 record with its value
  std::function<bool()> data;             // a type 00 record
};

// The frame every family loader shares; the rules say what sections and data mean.
bool RunFamilyLoader(const FamilyRules& rules, int64_t& segmentBase) {
  ImageChecksum = 0;
  ByteCount = 0;
  RecCount = 0;
  ImageTop = 0;
  ClearError();
  frmMain->SetStatusPanel("Status", rules.status);
  bool result = true;
  auto failNow = [] {
    if (CurrentFile) NoteFilePlace(*CurrentFile);
    CaptureError();
    frmMain->SetStatusPanel("Status", "");
    CurrentFile = nullptr;
    return false;
  };

  for (int f = 0; f < FileCount; ++f) {
    TextLineReader file;
    std::string error;
    if (!file.OpenBuildFile(FileList[f], error)) {
      RaiseError(file.OpenError(), Source, error);
      NoteFilePlace(file);
      CurrentFile = nullptr;   // still names the previous file, which is gone
      return failNow();
    }
    CurrentFile = &file;
    bool endOfFile = false;
    bool anyRecord = false;
    while (!endOfFile) {
      if (!ReadHexRecord()) {
        result = false;
        break;
      }
      ++RecCount;
      if (RecCount % 25 == 0) {
        ShowConversionCounts(RecCount, ByteCount);
        LetWindowsBreathe();
      }
      const int32_t value = RecData[0] * 256 + RecData[1];
      switch (RecType) {
        case HexData:
          if (!rules.data()) return failNow();
          break;
        case HexEndOfFile:
          // A file that holds nothing but its end would leave a blank image in the slot.
          if (!anyRecord) {
            Fail(ErrFileFormat, "No Data in HEX File: " + RecordPlace(file));
            return failNow();
          }
          ShowConversionCounts(RecCount, ByteCount);
          frmMain->SetStatusPanel("Status", "Image Read");
          endOfFile = true;
          break;
        case HexStartSegment:
        case HexStartLinear:
          break;
        case HexLinearAddress:
          if (!rules.section(value)) return failNow();
          break;
        case HexSegmentAddress:
          if (rules.acceptsSegments) {
            segmentBase = static_cast<int64_t>(value) * 16;
            break;
          }
          [[fallthrough]];
        default:
          Fail(ErrFileFormat, "Unexpected Record Type in HEX file: " + Str(RecType));
          return failNow();
      }
      anyRecord = true;
    }
  }
  CurrentFile = nullptr;
  frmMain->SetStatusPanel("Status", "");
  return result;
}

}  // namespace

bool ReadHexRecord() {
  Err = ErrorObject{};
  const std::string_view text = CurrentFile ? CurrentFile->ReadTextLine() : std::string_view();
  const HexLine line(text);
  if (text.empty() && CurrentFile && CurrentFile->ReadFailed()) {
    Fail(CurrentFile->ReadError(), CurrentFile->ReadErrorText());
  } else if (text.empty()) {
    Fail(ErrFileFormat, "Unexpected End of File");
  } else if (!line.StartsWithColon()) {
    Fail(ErrFileFormat, "Illegal File Format");
  } else if (!line.ChecksumOk()) {
    Fail(ErrChecksum, "Line Checksum Error - Record " + Str(RecCount));
  } else if (line.Count() > static_cast<int>(RecData.size())) {
    Fail(ErrFileFormat, "Record Too Long in HEX file: " + Str(line.Count()) + " Bytes");
  } else if (!line.AllHexDigits()) {
    Fail(ErrFileFormat, "Illegal Character in HEX Record: " + RecordPlace(*CurrentFile));
  } else if (!line.LengthMatches()) {
    Fail(ErrFileFormat, "Record Length Does Not Match Its Line: " + RecordPlace(*CurrentFile));
  } else {
    RecLen = static_cast<int16_t>(line.Count());
    for (int k = 0; k < RecLen; ++k) RecData[k] = line.Data(k);
    RecAddr = line.Offset();
    RecType = static_cast<int16_t>(line.Type());
    return true;
  }
  if (CurrentFile) NoteFilePlace(*CurrentFile);
  CaptureError();
  return false;
}

bool LoadPSoC3Hex() {
  Fill(ImageBuffer, PSoC3BufferTop + 1, Device().DevBlank);
  PSoCConfigTop = static_cast<int32_t>(RoundHalfEven(Device().DevFlashSize / 8.0));
  int64_t base = 0;
  FamilyRules rules;
  rules.status = "Converting Hex File(s)";
  rules.acceptsSegments = false;
  rules.section = [&base](int32_t v) {
    switch (v) {
      case 0x8000: base = 0x20000; return true;
      case 0x9000: base = 0x24000; return true;
      case 0x9010: base = 0x24100; return true;
      case 0x9030: base = 0x24300; return true;
      case 0x9040: base = 0x24400; return true;
      case 0x9050: base = 0x24500; return true;
      case 0x9020: base = 0x24600; return true;
      default: return Fail(ErrFileFormat, SectionText(v));
    }
  };
  rules.data = [&base] {
    if (base < 0x20000) return StoreMainMemory(base + RecAddr);
    return StoreRecord(ImageBuffer, base + RecAddr, true);
  };
  int64_t unused = 0;
  return RunFamilyLoader(rules, unused);
}

bool LoadPSoCHex() {
  Fill(ImageBuffer, PSoCBufferTop, Device().DevBlank);
  ImageBuffer[0x48600] = 1;
  PSoCConfigTop = static_cast<int32_t>(RoundHalfEven(Device().DevFlashSize / 8.0));
  int64_t base = 0;
  FamilyRules rules;
  rules.status = "Converting Hex File";
  rules.acceptsSegments = false;
  rules.section = [&base](int32_t v) {
    if (v >= 0x0000 && v <= 0x0003) {
      base = static_cast<int64_t>(v) * 0x10000;
      return true;
    }
    switch (v) {
      case 0x8000: base = 0x40000; return true;
      case 0x9000: base = 0x48000; return true;
      case 0x9010: base = 0x48100; return true;
      case 0x9020:
        base = 0x48800;
        HasSection9020 = true;
        return true;
      case 0x9030: base = 0x48300; return true;
      case 0x9040: base = 0x48400; return true;
      case 0x9050: base = 0x48500; return true;
      case 0x9060: base = 0x48600; return true;
      default: return Fail(ErrFileFormat, SectionText(v));
    }
  };
  rules.data = [&base] {
    if (base < 0x40000) return StoreMainMemory(base + RecAddr);
    PSoCConfigTop = static_cast<int32_t>(std::max<int64_t>(PSoCConfigTop, base - 0x40000 + RecAddr + RecLen - 1));
    return StoreRecord(ImageBuffer, base + RecAddr, true);
  };
  int64_t unused = 0;
  return RunFamilyLoader(rules, unused);
}

bool LoadAVR32Hex() {
  const DeviceRecord& device = Device();
  Fill(ImageBuffer, static_cast<size_t>(std::max(device.DevFlashSize, 0)), device.DevBlank);
  EEBuffer.assign(static_cast<size_t>(std::max(device.DevEESize, 0)) + 1, 0);
  Fill(EEBuffer, static_cast<size_t>(std::max(device.DevEESize, 0)), device.DevBlank);
  SecondaryEnabled = false;
  int64_t base = 0;
  bool userMemory = false;
  FamilyRules rules;
  rules.status = "Converting Hex File";
  rules.acceptsSegments = false;
  rules.section = [&base, &userMemory](int32_t v) {
    if (v == 0x8080) {
      userMemory = true;
      return true;
    }
    if (v >= 0x8000 && v <= 0x807F) {
      userMemory = false;
      base = static_cast<int64_t>(v - 0x8000) * 0x10000;
      return true;
    }
    return Fail(ErrFileFormat, SectionText(v));
  };
  rules.data = [&base, &userMemory] {
    if (!userMemory) return StoreMainMemory(base + RecAddr);
    if (RecAddr + RecLen - 1 >= Device().DevEESize) {
      return Fail(ErrAddressRange, "Image File Contains Data Outside the Address Range for User Memory");
    }
    SecondaryEnabled = true;
    return StoreRecord(EEBuffer, RecAddr, false);
  };
  int64_t unused = 0;
  return RunFamilyLoader(rules, unused);
}

bool LoadNuvotonHex() {
  const DeviceRecord& device = Device();
  Fill(ImageBuffer, static_cast<size_t>(std::max(device.DevFlashSize, 0)), device.DevBlank);
  EEBuffer.assign(static_cast<size_t>(std::max(device.DevEESize, 0)) + 1, 0);
  Fill(EEBuffer, static_cast<size_t>(std::max(device.DevEESize, 0)), device.DevBlank);
  AuxBuffer.assign(static_cast<size_t>(std::max(device.DevAuxSize, 0)) + 1, 0);
  Fill(AuxBuffer, static_cast<size_t>(std::max(device.DevAuxSize, 0)), device.DevBlank);
  SecondaryEnabled = false;
  int64_t base = 0;
  FamilyRules rules;
  rules.status = "Converting Hex File";
  rules.acceptsSegments = true;
  rules.section = [&base](int32_t v) {
    base = static_cast<int64_t>(v) * 65536;
    return true;
  };
  rules.data = [&base] {
    const DeviceRecord& d = Device();
    const int64_t at = base + RecAddr;
    if (at < d.DevFlashSize) return StoreMainMemory(at);
    if (at < 0x100000) {
      const int64_t offset = at - 0x1F000;
      if (offset < 0 || offset + RecLen - 1 >= d.DevEESize) {
        return Fail(ErrAddressRange, "Image File Contains Data Outside the Address Range for Data Flash");
      }
      return StoreRecord(EEBuffer, offset, false);
    }
    const int64_t offset = at - 0x100000;
    if (offset + RecLen - 1 >= d.DevAuxSize) {
      return Fail(ErrAddressRange, "Image File Contains Data Outside the Address Range for Loader Memory");
    }
    return StoreRecord(AuxBuffer, offset, false);
  };
  return RunFamilyLoader(rules, base);
}

bool ConvertImageFiles() {
  if (FileCount <= 0 || FileList[0].empty()) {
    // Nothing to convert would still leave a blank image to send.
    ClearError();
    RaiseError(ErrFileNotFound, "Convert Hex File", "No Image File Chosen");
    CaptureError();
    return false;
  }
  const DeviceRecord& device = Device();
  ImageBuffer.assign(static_cast<size_t>(std::max(device.DevFlashSize, 0)) + 1, 0);
  HasSection9020 = false;
  const std::string& family = FamilyList[CurFamily];
  if (family == "PSoC3") {
    ImageBuffer.assign(PSoC3BufferTop + 1, 0);
    return LoadPSoC3Hex();
  }
  if (IsPSoCSectionFamily(family)) {
    ImageBuffer.assign(PSoCBufferTop + 1, 0);
    return LoadPSoCHex();
  }
  if (family == "AVR32") return LoadAVR32Hex();
  if (family == "Nuvoton") return LoadNuvotonHex();
  return LoadHexFile(ImageBuffer, device.DevFlashSize, ImageTop, device.DevBlank, FileList.data(), FileCount,
                     FamilyTraitsOf(ProgType, family).flashBase);
}

void ResetLoaderState() { LOADER_STATE(RESET_STATE) }
