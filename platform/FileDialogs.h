// The system's file-open and file-save dialogs, and the small input dialog
// that asks for a value that goes with a chosen file.
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
  // One line of text, proposing `initial`; false when the operator cancelled.
  virtual bool AskText(const std::string& title, const std::string& prompt, const std::string& initial,
                       std::string& answer) {
    return false;
  }
};
