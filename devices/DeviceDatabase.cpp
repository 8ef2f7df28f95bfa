#include "devices/DeviceDatabase.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "devices/DeviceState.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/TextFields.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/ProgramFiles.h"

namespace {

constexpr int FieldsPerRecord = 10;
using Record = std::array<std::string, FieldsPerRecord>;

// The next ten fields; false when the input ends before a whole record.
bool ReadRecord(TextFieldReader& reader, Record& record) {
  for (std::string& field : record) {
    if (!reader.ReadField(field)) return false;
  }
  return true;
}

bool OpenDeviceFile(TextFieldReader& reader) {
  std::string error;
  if (reader.OpenFile(ProgramFile(DeviceFile), error)) return true;
  if (reader.OpenError() == ErrFileNotFound) {
    RaiseError(ErrFileNotFound, "Load Devices", "File not found: " + ProgramFile(DeviceFile) + " (" + error + ")");
  } else {
    RaiseError(reader.OpenError(), "Load Devices", "Cannot read " + ProgramFile(DeviceFile) + ": " + error);
  }
  return false;
}

bool IsForSelectedType(const Record& record) { return Val(record[0]) == ProgType; }

// A whole number of the given type, halves rounded to even; false when it does not fit.
template <typename T>
bool ToWhole(const std::string& text, T& out) {
  const double value = Val(text);
  if (!std::isfinite(value)) return false;
  const double rounded = static_cast<double>(RoundHalfEven(std::fmax(std::fmin(value, 1e18), -1e18)));
  if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<T>::max())) {
    return false;
  }
  out = static_cast<T>(rounded);
  return true;
}

bool ToSingle(const std::string& text, float& out) {
  const double value = Val(text);
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) return false;
  out = static_cast<float>(value);
  return true;
}

bool FillDevice(const Record& r, DeviceRecord& d) {
  d.DevName = r[2];
  d.DevFileType = r[6];
  if (!ToWhole(r[3], d.DevFlashSize) || !ToWhole(r[4], d.DevBlank) || !ToWhole(r[5], d.DevId) ||
      !ToSingle(r[7], d.DevVMin) || !ToSingle(r[8], d.DevVMax) || !ToWhole(r[9], d.DevFlags)) {
    return false;
  }
  d.DevEESize = 0;
  d.DevAuxSize = 0;
  const SizeFlags sizes = SelectedTypeTraits().sizeFlags;
  if (sizes == SizeFlags::Avr) {
    d.DevEESize = d.DevFlags & 0x7FC0;
    d.DevAuxSize = ((d.DevFlags & 1) + 1) * 256;
  } else if (sizes == SizeFlags::Arm) {
    d.DevEESize = d.DevFlags & 0x7C00;
    d.DevAuxSize = (d.DevFlags & 0x3C0) * 16;
  }
  if (r[1] == "ZLF645") d.DevEESize = 256;
  return true;
}

}  // namespace

bool LoadDeviceFamilies() {
  Err = ErrorObject{};
  TextFieldReader reader;
  if (!OpenDeviceFile(reader)) {
    LastFunction = "Open device.inf on Application Path";
    ErrorTitle = "Load Devices";
    CaptureError();
    return false;
  }

  Record record;
  bool whole = ReadRecord(reader, record);   // the heading
  std::string family;
  int n = 0;
  while (whole && !reader.AtEnd()) {
    whole = ReadRecord(reader, record);
    if (!whole) break;
    if (!IsForSelectedType(record) || record[1] == family) continue;
    family = record[1];
    if (n < MaxFamilies) FamilyList[n++] = family;
  }
  FamilyList[n] = "";
  if (!whole) RaiseError(ErrInputPastEnd, "Load Devices", "Input past end of file: " + ProgramFile(DeviceFile));

  const bool ok = !ErrorPending();
  if (!ok) {
    ErrorTitle = "Load Devices";
    if (Err.Subject.empty()) SetErrorContext("reading " + ProgramFile(DeviceFile), ProgramFile(DeviceFile));
    CaptureError();
  }
  CurFamily = 0;
  LoadDeviceTypes();
  return ok && CheckDeviceFile();
}

bool CheckDeviceFile() {
  Err = ErrorObject{};
  TextFieldReader reader;
  Record record;
  bool bad = !OpenDeviceFile(reader);
  if (!bad && !ReadRecord(reader, record)) bad = true;
  int line = 0;   // record number after the heading
  while (!bad && !reader.AtEnd()) {
    ++line;
    DeviceRecord device;
    if (!ReadRecord(reader, record)) {
      RaiseError(ErrInputPastEnd, "Load Devices", "Input past end of file: " + ProgramFile(DeviceFile));
      bad = true;
    } else if (IsForSelectedType(record) && !FillDevice(record, device)) {
      RaiseError(ErrFileFormat, "Load Devices",
                 "Bad Device File: " + ProgramFile(DeviceFile) + ", record" + Str(line) + " after the heading");
      bad = true;
    }
  }
  if (!bad) return true;
  if (!ErrorPending()) RaiseError(ErrInputPastEnd, "Load Devices", "Input past end of file: " + ProgramFile(DeviceFile));
  SetErrorContext("reading " + ProgramFile(DeviceFile), ProgramFile(DeviceFile));
  LastFunction = "Load Devices";
  ErrorTitle = "Load Devices";
  CaptureError();
  return false;
}

void LoadDeviceTypes() {
  const std::string family = FamilyList[CurFamily];
  TextFieldReader reader;
  Record record;
  int n = 0;
  bool bad = !OpenDeviceFile(reader) || !ReadRecord(reader, record);
  while (!bad && !reader.AtEnd()) {
    if (!ReadRecord(reader, record)) {
      bad = true;
      break;
    }
    if (!IsForSelectedType(record) || record[1] != family) continue;
    DeviceRecord device;
    if (!FillDevice(record, device)) {
      bad = true;
      break;
    }
    if (n < MaxDeviceTypes) DeviceTable[n++] = device;
  }
  if (bad) MessageBox->MsgBox("Bad Device File", vbOKOnly, "Kestrin Critical Error");
  DeviceTable[n].DevName = "";
  CurDevice = 0;
}

int FindDeviceById(int16_t code) {
  for (int i = 0; i <= MaxDeviceTypes && !DeviceTable[i].DevName.empty(); ++i) {
    if (DeviceTable[i].DevId == code) return i;
  }
  return 0;
}

namespace {

// The family the loop below stops at, found in one reading of the file: the
// first in FamilyList with a record of ProgType whose name matches, or -1.
// False when the file does not read cleanly (the loop then says what is
// wrong with it, as it always has).
template <typename Matches>
bool FamilyOfFirstMatch(Matches matches, int& first) {
  TextFieldReader reader;
  std::string error;
  Record record;
  first = -1;
  if (!reader.OpenFile(ProgramFile(DeviceFile), error) || !ReadRecord(reader, record)) return false;
  while (!reader.AtEnd()) {
    DeviceRecord device;
    if (!ReadRecord(reader, record)) return false;
    if (!IsForSelectedType(record)) continue;
    if (!FillDevice(record, device)) return false;
    if (!matches(record[2])) continue;
    for (int f = 0; f < MaxFamilies && !FamilyList[f].empty() && (first < 0 || f < first); ++f) {
      if (FamilyList[f] == record[1]) {
        first = f;
        break;
      }
    }
  }
  return true;
}

template <typename Matches>
bool FindDevice(Matches matches) {
  // Each family's table is a reading of the whole file: go straight to the
  // one that holds the device, or, when none does, to the last, where the
  // search through all of them would have ended.
  int family = -1;
  if (FamilyOfFirstMatch(matches, family)) {
    int last = 0;
    while (last + 1 < MaxFamilies && !FamilyList[last + 1].empty()) ++last;
    if (family < 0 && FamilyList[0].empty()) return false;
    CurFamily = family >= 0 ? family : last;
    LoadDeviceTypes();
    for (int d = 0; d < MaxDeviceTypes && !DeviceTable[d].DevName.empty(); ++d) {
      if (matches(DeviceTable[d].DevName)) {
        CurDevice = d;
        return true;
      }
    }
    if (family < 0) return false;
  }
  for (int f = 0; f < MaxFamilies && !FamilyList[f].empty(); ++f) {
    CurFamily = f;
    LoadDeviceTypes();
    for (int d = 0; d < MaxDeviceTypes && !DeviceTable[d].DevName.empty(); ++d) {
      if (matches(DeviceTable[d].DevName)) {
        CurDevice = d;
        return true;
      }
    }
    LetPendingEventsRun();   // the windows get a turn between families
  }
  return false;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool FindDeviceByName(const std::string& name) {
  return FindDevice([&name](const std::string& candidate) { return candidate == name; });
}

bool FindDeviceByNameIgnoringCase(const std::string& name) {
  if (FindDeviceByName(name)) return true;
  return FindDevice([&name](const std::string& candidate) {
    return candidate.size() == name.size() &&
           std::equal(candidate.begin(), candidate.end(), name.begin(),
                      [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
  });
}
