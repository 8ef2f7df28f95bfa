#include "options/FuseDefinitions.h"

#include <algorithm>
#include <cmath>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "options/FuseState.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/TextFields.h"
#include "programmers/ProgrammerTypes.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/StateList.h"
#include "state/views/MainWindowView.h"

#define FUSE_READER_STATE(STATE) \
  STATE(FuseTokens, {})  \
  STATE(FuseLineNo, {0})

FUSE_READER_STATE(DEFINE_STATE)

namespace {

const char* const Source = "Load Fuse Definitions";

// The file being read, named by every refusal.
std::string ReadingPath;

bool Fail(const std::string& text) {
  RaiseError(ErrFileFormat, Source, text);
  SetErrorContext("reading " + ReadingPath, ReadingPath);
  CaptureError();
  return false;
}

// "line N of FILE": the record where reading stopped.
std::string Where(const std::string& path) { return "line" + Str(FuseLineNo) + " of " + path; }

// A number field as the run time reads it, rounded to a whole number.
int64_t Number(const std::string& text) {
  const double value = Val(text);
  return std::isfinite(value) ? RoundHalfEven(std::clamp(value, -1e15, 1e15)) : 0;
}

// A byte-valued field; false, with the reason recorded, when out of 0..255.
bool ByteField(int token, const std::string& path, uint8_t& out) {
  const int64_t value = Number(FuseTokens[token]);
  if (value < 0 || value > 255) return Fail("Value " + FuseTokens[token] + " out of range 0..255 at " + Where(path));
  out = static_cast<uint8_t>(value);
  return true;
}

bool MatchesSelectedDevice() {
  const DeviceRecord& device = DeviceTable[std::max(CurDevice, 0)];
  if (Number(FuseTokens[1]) != device.DevId) return false;
  return !SelectedTypeTraits().fuseIdsByFamily || Number(FuseTokens[3]) == CurFamily;
}

}  // namespace

std::string ReadFuseRecord(TextFieldReader& file, bool& complete) {
  complete = true;
  std::string record;
  if (!file.ReadField(record)) {
    FuseTokens[0] = "EOF";
    return "EOF";
  }
  ++FuseLineNo;
  for (int i = 0; i < 4; ++i) {
    const size_t at = record.find('%');
    if (at == std::string::npos) {
      complete = false;
      FuseTokens[i] = record;
      record.clear();
      continue;
    }
    FuseTokens[i] = record.substr(0, at);
    record.erase(0, at + 1);
  }
  FuseTokens[4] = record;
  return FuseTokens[0];
}

bool LoadFuseDefinitions(const std::string& path) {
  ClearError();
  if (frmMain) frmMain->SetStatusPanel("Status", "Loading Option Information...");
  FuseLineNo = 0;
  ReadingPath = path;
  // Nothing of the previous device survives: a file that fails before the
  // device's block leaves a model without fuse bytes.
  NumFuseBytes = -1;
  FuseDefs.clear();
  HasOsccal = false;
  TextFieldReader file;
  std::string reason;
  if (!file.OpenFile(path, reason)) {
    RaiseError(file.OpenError(), Source, "Cannot read the fuse definition file " + path + ": " + reason);
    SetErrorContext("reading " + path, path);
    CaptureError();
    return false;
  }

  enum class State { SeekId, ExpectByte, ExpectField, InField };
  State state = State::SeekId;
  int byte = 0, field = 0;
  for (;;) {
    LetWindowsBreathe();
    bool complete = true;
    const std::string keyword = ReadFuseRecord(file, complete);
    if (!complete) return Fail("Record" + Str(FuseLineNo) + " of " + path + " has fewer than five fields");

    // A BYTE record starts a byte of the current device, within its bounds.
    auto startByte = [&]() {
      const int64_t index = Number(FuseTokens[1]);
      if (index < 0 || index > NumFuseBytes) {
        return Fail("BYTE" + Str(index) + " beyond the device's last fuse byte" + Str(NumFuseBytes) + " at " +
                    Where(path));
      }
      byte = static_cast<int>(index);
      FuseDefs[byte].Name = FuseTokens[2];
      field = 0;
      return true;
    };
    // A FIELD record fills the current field of the current byte and counts it.
    auto fillField = [&]() {
      FuseByteDef& def = FuseDefs[byte];
      if (field >= MaxFuseFields || def.NumFields >= MaxFuseFields) {
        return Fail("More than 9 FIELDs in BYTE" + Str(byte) + " at " + Where(path));
      }
      FuseFieldDef& f = def.Fields[field];
      if (!ByteField(3, path, f.Mask) || !ByteField(4, path, f.Default)) return false;
      ++def.NumFields;
      f.Name = FuseTokens[1];
      f.Text = FuseTokens[2];
      f.NumOptions = 0;
      return true;
    };

    switch (state) {
      case State::SeekId:
        if (keyword == "EOF") return Fail("Device ID Not Found");
        if (keyword == "ID" && MatchesSelectedDevice()) {
          const int64_t last = Number(FuseTokens[4]);
          if (last < 0 || last >= MaxFuseBytes) {
            return Fail("Fuse bytes 0 to" + Str(last) + " beyond the 8 bytes a device may have at " + Where(path));
          }
          if (!SelectedTypeTraits().fuseIdsByFamily) {
            if (!ByteField(3, path, OsccalMask)) return false;
            HasOsccal = OsccalMask > 0;
          } else {
            HasOsccal = false;
          }
          NumFuseBytes = static_cast<int>(last);
          FuseDefs.assign(static_cast<size_t>(NumFuseBytes) + 1, FuseByteDef{});
          state = State::ExpectByte;
        }
        break;
      case State::ExpectByte:
        if (keyword == "BYTE") {
          if (!startByte()) return false;
          FuseDefs[byte].NumFields = 0;
          state = State::ExpectField;
        } else if (keyword == "ENDID") {
          return Fail("No BYTEs found for ID" + Str(DeviceTable[std::max(CurDevice, 0)].DevId));
        } else if (keyword == "FIELD") {
          return Fail("Orphan FIELD at line " + Str(FuseLineNo));
        } else if (keyword == "OPTION") {
          return Fail("Orphan OPTION at line " + Str(FuseLineNo));
        } else if (keyword == "EOF") {
          return Fail("Unexpected EOF in Fuse File");
        }
        break;
      case State::ExpectField:
        if (keyword == "FIELD") {
          if (!fillField()) return false;
          state = State::InField;
        } else if (keyword == "ENDID") {
          return Fail("No FIELDs found for BYTE" + Str(byte));
        } else if (keyword == "OPTION") {
          return Fail("Orphan OPTION at line " + Str(FuseLineNo));
        } else if (keyword == "EOF") {
          return Fail("Unexpected EOF in Fuse File");
        }
        break;
      case State::InField:
        if (keyword == "OPTION") {
          FuseFieldDef& f = FuseDefs[byte].Fields[field];
          if (f.NumOptions >= MaxFuseOptions) {
            return Fail("More than 257 OPTIONs in FIELD " + f.Name + " at " + Where(path));
          }
          if (!ByteField(2, path, f.OptionValue[f.NumOptions])) return false;
          f.OptionText[f.NumOptions] = FuseTokens[1];
          ++f.NumOptions;
        } else if (keyword == "FIELD") {
          ++field;
          if (!fillField()) return false;
        } else if (keyword == "BYTE") {
          if (!startByte()) return false;
          state = State::ExpectField;
        } else if (keyword == "ENDID") {
          return true;
        } else if (keyword == "EOF") {
          return Fail("Unexpected EOF in Fuse File");
        }
        break;
    }
  }
}

void SetDefaultFuses() {
  // Bytes the device does not have stay erased.
  FuseValues.fill(0xFF);
  for (int b = 0; b <= NumFuseBytes && b < static_cast<int>(FuseDefs.size()) && b < MaxFuseBytes; ++b) {
    const FuseByteDef& def = FuseDefs[b];
    for (int f = 0; f < def.NumFields && f < MaxFuseFields; ++f) {
      // The default is OR-ed in as the file gives it, without masking.
      FuseValues[b] = static_cast<uint8_t>((FuseValues[b] & ~def.Fields[f].Mask) | def.Fields[f].Default);
    }
  }
  SecondaryEnabled = false;
  EepromFileChosen = false;
  AVR32SecurityF = false;
  OsccalOpt = 0;
  OsccalAddress = 0;
}

void ShowFuseDefinitionError() { MessageBox->MsgBox(LastErrorText, vbOKOnly, "Error Parsing Fuses"); }

void ResetFuseReaderState() { FUSE_READER_STATE(RESET_STATE) }
