#include "images/ProjectFile.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

#include "devices/ImageState.h"
#include "images/BuildFile.h"
#include "images/FileSelection.h"
#include "images/ProjectState.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "options/AvrOptions.h"
#include "options/FuseState.h"
#include "platform/FileDialogs.h"
#include "platform/InputFile.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/OutputFile.h"
#include "platform/SettingsStore.h"
#include "platform/TextFields.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/LoadImageView.h"

namespace {

// A file the project names (a binary one with its load address after "@"):
// false after the message that it is missing or cannot be read, with the
// first file's own wording.
bool CheckNamedFile(const std::string& path, bool first) {
  std::string reason;
  const int32_t number = CheckInputFile(SplitBuildFileName(path).path, reason);
  if (number == 0) return true;
  if (number == ErrFileNotFound) {
    MessageBox->MsgBox(first ? "File Not Found " + path : "File Not Found: " + path, vbExclamation, "Open Project");
  } else {
    MessageBox->MsgBox((first ? "File Cannot Be Read " : "File Cannot Be Read: ") + path + " (" + reason + ")",
                       vbExclamation, "Open Project");
  }
  return false;
}

// A lenient number rounded into the range of T; false leaves the setting alone.
template <typename T>
bool Whole(const std::string& text, T& out, double value) {
  if (!std::isfinite(value)) return false;
  const double rounded = static_cast<double>(RoundHalfEven(std::fmax(std::fmin(value, 1e18), -1e18)));
  if (rounded < std::numeric_limits<T>::min() || rounded > std::numeric_limits<T>::max()) return false;
  out = static_cast<T>(rounded);
  return true;
}
template <typename T>
bool Whole(const std::string& text, T& out) {
  return Whole(text, out, Val(text));
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

}  // namespace

bool OpenProject() {
  ErrorTitle = "Select Project";
  FileDialogRequest request;
  request.filter = "VRX Project Files|*.vrx";
  request.title = "Open Project";
  request.initialName = "*.vrx";
  request.initialFolder = Settings->GetSetting(ProgTypeName, "ProjectPath", AppPath);
  std::string chosen;
  if (!FileDial1 || !FileDial1->Show(request, chosen)) {
    RaiseError(ErrDialogCancelled, "Common Dialog", "Cancel was selected.");
    CaptureError();
    return false;
  }
  ProjectFile = chosen;
  if (frmLoadImage) frmLoadImage->SetProjectPath(chosen);
  Settings->SaveSetting(ProgTypeName, "ProjectPath", FolderOf(chosen));
  return ReadProjectFile(chosen);
}

ProjectFuseLines ProjFuseLines;

bool ReadProjectFile(const std::string& path) {
  ProjJtagId = false;
  ProjFuseLines = ProjectFuseLines{};
  ProjFuseLines.path = path;
  TextFieldReader reader;
  std::string error;
  if (!reader.OpenFile(path, error)) {
    if (reader.OpenError() == ErrFileNotFound) {
      RaiseError(ErrFileNotFound, "Open Project", "Cannot open " + path + ": " + error);
    } else {
      RaiseError(reader.OpenError(), "Open Project", "Cannot read " + path + ": " + error);
    }
    CaptureError();
    return false;
  }
  // The project brings its own files: none from before may be loaded under its name.
  FileCount = 0;
  FileList.fill("");
  std::string item;
  while (reader.ReadField(item)) {
    const size_t colon = item.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = item.substr(0, colon);
    // The value is what follows the colon, less its first character (the blank the writer puts there).
    const std::string value = colon + 1 < item.size() ? item.substr(colon + 2) : "";

    if (key == "Name") {
      ProjName = value;
      if (frmLoadImage) frmLoadImage->SetImageName(value);
    } else if (key == "Family") {
      ProjFamily = value;
    } else if (key == "Device") {
      ProjDevice = value;
    } else if (key == "Mode") {
      Whole(value, ProjMode);
    } else if (key == "Freq") {
      Whole(value, ProjFreq);
    } else if (key == "Voltage") {
      ProjVoltage = static_cast<float>(ValWithin(value, -1e6, 1e6) * 0.02);
    } else if (key.size() == 5 && key.compare(0, 4, "File") == 0 && key[4] >= '0' && key[4] <= '3') {
      const int i = key[4] - '0';
      if (!CheckNamedFile(value, i == 0)) return false;
      FileList[i] = value;
      FileCount = i + 1;
      if (frmLoadImage) frmLoadImage->SetFileLabel(i, value);
    } else if (key == "EEPROM") {
      if (!CheckNamedFile(value, false)) return false;
      EEFilePath = value;
      EepromFileChosen = true;
    } else if (key == "EENAME") {
      EEFileTitle = value;
    } else if (key == "OsccalOpt") {
      Whole(value, ProjOsccalOpt);
    } else if (key == "OsccalAddress") {
      Whole(value, ProjOsccalAddress);
    } else if (key.size() == 5 && key.compare(0, 4, "FUSE") == 0 && key[4] >= '0' && key[4] <= '7') {
      const int i = key[4] - '0';
      Whole(value, ProjFuses[i]);
      // A value that is no byte is kept as read, so that the check refuses it.
      const double read = Val(value);
      ProjFuseLines.line[i] = reader.LineNumber();
      ProjFuseLines.value[i] = std::isfinite(read) ? RoundHalfEven(std::fmax(std::fmin(read, 1e12), -1e12)) : -1;
    } else if (key == "AVR32SecurityF") {
      ProjAVR32Security = Val(value) == 1;
    } else if (key == "JTAG_ID") {
      ProjJtagId = Val(value) == 1;
    } else if (key == "JTAG_PART") {
      Whole(value, ProjJtagPart, Val("&H" + value));
    } else if (key == "JTAG_VERSION") {
      Whole(value, ProjJtagVersion, Val("&H" + value));
    }
  }
  return true;
}

bool WriteProjectFile(const std::string& path, const std::string& imageName, const std::string& family,
                      const std::string& device) {
  LastFunction = "Save Project";
  std::string text;
  auto line = [&text](const std::string& field) { text += '"' + field + "\"\r\n"; };
  line("Name: " + imageName);
  line("Family: " + family);
  line("Device: " + device);
  line("Mode:" + Str(ImageMode));
  line("Freq:" + Str(ImageFreq));
  line("Voltage:" + Str(ImageVoltage));
  for (int i = 0; i < FileCount; ++i) line("File" + std::to_string(i) + ": " + FileList[i]);
  if (EepromFileChosen) {
    line("EEPROM: " + EEFilePath);
    line("EENAME: " + EEFileTitle);
  }
  if (SelectedTypeTraits().hasFuses) {
    line("OsccalOpt: " + Str(OsccalOpt));
    line("OsccalAddress: " + Str(OsccalAddress));
    for (int i = 0; i <= NumFuseBytes && i < static_cast<int>(FuseValues.size()); ++i) {
      line("FUSE" + std::to_string(i) + ": " + Str(FuseValues[i]));
    }
    line(std::string("AVR32SecurityF: ") + (AVR32SecurityF ? "1" : "0"));
    if (JtagIdCheck) {
      line("JTAG_ID: 1");
      line("JTAG_PART: " + Hex(static_cast<uint32_t>(JtagPart)));
      line("JTAG_VERSION: " + Hex(JtagVersion));
    } else {
      line("JTAG_ID: 0");
    }
  }
  std::string reason;
  if (!WriteOutputFile(path, text, reason)) {
    RaiseError(ErrFileNotFound, "Save Project", reason);
    CaptureError();
    return false;
  }
  return true;
}

bool ReadProjectForLoad(const std::string& path) {
  if (!ReadProjectFile(path)) return false;
  if (!FileList[0].empty()) return true;
  // Without its first file a project would load a blank image.
  RaiseError(ErrFileFormat, "Open Project", "No Image File (File0) in Project: " + path);
  CaptureError();
  return false;
}

bool TakeProjectOptions() {
  const int bytes = std::min<int>(NumFuseBytes + 1, static_cast<int>(ProjFuses.size()));
  for (int i = 0; i < bytes; ++i) {
    const int line = ProjFuseLines.line[static_cast<size_t>(i)];
    if (line == 0) continue;
    const std::string refusal = FuseValueRefusal(i, ProjFuseLines.value[static_cast<size_t>(i)],
                                                 std::to_string(ProjFuseLines.value[static_cast<size_t>(i)]));
    if (refusal.empty()) continue;
    LastFunction = "Open Project";
    ErrorTitle = "Open Project";
    RaiseError(ErrFileFormat, "Open Project",
               refusal + " at line " + std::to_string(line) + " of " + ProjFuseLines.path);
    SetErrorContext("reading " + ProjFuseLines.path, ProjFuseLines.path);
    CaptureError();
    return false;
  }
  for (int i = 0; i < bytes; ++i) {
    if (ProjFuseLines.line[static_cast<size_t>(i)] != 0) FuseValues[i] = ProjFuses[i];
  }
  OsccalOpt = ProjOsccalOpt;
  OsccalAddress = ProjOsccalAddress;
  AVR32SecurityF = ProjAVR32Security;
  JtagIdCheck = ProjJtagId;
  JtagPart = ProjJtagPart;
  JtagVersion = ProjJtagVersion;
  return true;
}
