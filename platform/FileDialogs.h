// The system's file-open and file-save dialogs.
#pragma once

#include <string>

struct FileDialogRequest {
  bool save = false;
  std::string title;
  std::string filter;          // "Intel HEX Format Files|*.hex|Cypress IIC Files|*.iic"
  int filterIndex = 1;         // 1-based entry of the filter shown first
  std::string initialFolder;
  std::string initialName;
  std::string defaultExtension;
  bool mustExist = true;       // open dialogs: the file and its folder must exist
};

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // The chosen full name; false when the operator cancelled.
  virtual bool Show(const FileDialogRequest& request, std::string& chosen) = 0;
};
