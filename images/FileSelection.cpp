#include "images/FileSelection.h"

#include <algorithm>

#include "devices/DeviceState.h"
#include "devices/FamilyTraits.h"
#include "devices/ImageState.h"
#include "images/BuildFile.h"
#include "images/HexLoader.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "platform/FileDialogs.h"
#include "platform/NumberText.h"
#include "platform/SettingsStore.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/LoadImageView.h"

namespace {

std::string StoredFolder() { return Settings->GetSetting(ProgTypeName, "FilePath", AppPath); }

// Shows the dialog; a cancel is the dialog's cancel error, captured.
bool AskForFile(const FileDialogRequest& request, std::string& chosen) {
  if (FileDial1 && FileDial1->Show(request, chosen)) return true;
  RaiseError(ErrDialogCancelled, "Common Dialog", "Cancel was selected.");
  CaptureError();
  return false;
}

// The kinds of build file the conversion reads, after the entries that
// `filterIndex` chooses between.
const char* const OtherBuildFiles =
    "|Motorola S-Record Files|*.s19;*.s28;*.s37;*.srec;*.mot|ELF Files|*.elf;*.axf|Binary Files|*.bin|All Files|*";

// A binary file goes into the list with its load address, which the
// operator gives (proposed: `proposed`); other kinds stay as chosen. False
// when cancelled (the cancel error) or the address is not one.
bool AddLoadAddress(std::string& chosen, int64_t proposed, const std::string& source) {
  if (!BuildFileNeedsAddress(chosen)) return true;
  std::string answer;
  const std::string proposal = BuildFileNameWithAddress("", static_cast<uint32_t>(proposed)).substr(1);
  if (!FileDial1 || !FileDial1->AskText("Load Address",
                                        "Address of the first byte of " + FileTitleOf(chosen) +
                                            " (decimal, or hexadecimal with 0x):",
                                        proposal, answer)) {
    RaiseError(ErrDialogCancelled, "Common Dialog", "Cancel was selected.");
    CaptureError();
    return false;
  }
  uint32_t address = 0;
  if (!ParseLoadAddress(answer, address)) {
    RaiseError(ErrFileFormat, source, "Invalid Load Address: " + answer + " (decimal, or hexadecimal with 0x)");
    CaptureError();
    return false;
  }
  chosen = BuildFileNameWithAddress(chosen, address);
  return true;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string FileTitleOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SelectImageFile(int index) {
  ErrorTitle = "Select Target Image";
  FileDialogRequest request;
  request.filter = std::string("Intel HEX Format Files|*.hex|Cypress IIC Files|*.iic") + OtherBuildFiles;
  request.title = "Select Image File" + Str(index);
  const std::string& fileType = DeviceTable[std::max(CurDevice, 0)].DevFileType;
  request.filterIndex = fileType == "IIC" ? 2 : 1;
  request.initialFolder = StoredFolder();
  std::string chosen;
  if (!AskForFile(request, chosen)) return false;
  if (index < 0 || index >= static_cast<int>(FileList.size())) return false;
  Settings->SaveSetting(ProgTypeName, "FilePath", FolderOf(chosen));
  const bool family = CurFamily >= 0 && CurFamily < static_cast<int>(FamilyList.size());
  const int64_t flashBase = family ? FamilyTraitsOf(ProgType, FamilyList[CurFamily]).flashBase : 0;
  if (!AddLoadAddress(chosen, flashBase, "Select Target Image")) return false;
  FileList[index] = chosen;
  if (frmLoadImage) frmLoadImage->SetFileLabel(index, chosen);
  return true;
}

bool LoadEEFile(const std::string& fileName) {
  std::string name = fileName;
  if (name.empty()) {
    FileDialogRequest request;
    request.filter = std::string("Intel HEX Format Files|*.hex") + OtherBuildFiles;
    request.title = "Load " + SecondaryName + " Image";
    request.initialName = "*.hex";
    request.initialFolder = StoredFolder();
    if (!AskForFile(request, name)) return false;
    Settings->SaveSetting(ProgTypeName, "FilePath", FolderOf(name));
    const std::string title = FileTitleOf(name);
    if (!AddLoadAddress(name, 0, "Select " + SecondaryName + " Image")) return false;
    EEFileTitle = title;
    EEFilePath = name;
  }
  ErrorTitle = "Select " + SecondaryName + " Image";
  // Cleared only once a file is given: a cancelled choice keeps the image loaded before.
  const int32_t size = std::max(FlashMap.EESlotSize, 0);
  EEBuffer.assign(static_cast<size_t>(size) + 1, 0);
  return LoadHexBuffer(EEBuffer, size, EETop, 255, name);
}
