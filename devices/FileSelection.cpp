#include "devices/FileSelection.h"

#include <algorithm>

#include "images/HexLoader.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "platform/FileDialogs.h"
#include "platform/NumberText.h"
#include "platform/SettingsStore.h"
#include "state/PublicVars.h"
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
  request.filter = "Intel HEX Format Files|*.hex|Cypress IIC Files|*.iic";
  request.title = "Select Image File" + Str(index);
  const std::string& fileType = DeviceTable[std::max(CurDevice, 0)].DevFileType;
  request.filterIndex = fileType == "IIC" ? 2 : 1;
  request.initialFolder = StoredFolder();
  std::string chosen;
  if (!AskForFile(request, chosen)) return false;
  if (index < 0 || index >= static_cast<int>(FileList.size())) return false;
  FileList[index] = chosen;
  Settings->SaveSetting(ProgTypeName, "FilePath", FolderOf(chosen));
  if (frmLoadImage) frmLoadImage->SetFileLabel(index, chosen);
  return true;
}

bool LoadEEFile(const std::string& fileName) {
  std::string name = fileName;
  if (name.empty()) {
    FileDialogRequest request;
    request.filter = "Intel HEX Format Files|*.hex";
    request.title = "Load " + SecondaryName + " Image";
    request.initialName = "*.hex";
    request.initialFolder = StoredFolder();
    if (!AskForFile(request, name)) return false;
    EEFileTitle = FileTitleOf(name);
    EEFilePath = name;
    Settings->SaveSetting(ProgTypeName, "FilePath", FolderOf(name));
  }
  ErrorTitle = "Select " + SecondaryName + " Image";
  // Cleared only once a file is given: a cancelled choice keeps the image loaded before.
  const int32_t size = std::max(FlashMap.EESlotSize, 0);
  EEBuffer.assign(static_cast<size_t>(size) + 1, 0);
  return LoadHexBuffer(EEBuffer, size, EETop, 255, name);
}
