#include "shell/HelpDocuments.h"

#include <system_error>
#include <filesystem>

#include "platform/DocumentOpener.h"
#include "platform/MessageBox.h"
#include "state/Bindings.h"

std::string HelpNotOpenedMessage(const std::string& path, bool fileExists) {
  std::string text = "The help document could not be opened:\r\n" + path + "\r\n\r\n";
  if (fileExists) {
    text += "No PDF viewer is set up on this computer. Install a PDF viewer, or open the file by hand.";
  } else {
    text += "The file is missing. Install the help documents beside the program, or open a copy by hand.";
  }
  return text;
}

bool OpenHelpDocument(const std::string& path) {
  if (!Documents) return false;
  if (Documents->Open(path)) return true;
  std::error_code error;
  const bool exists = std::filesystem::is_regular_file(path, error);
  if (MessageBox) MessageBox->MsgBox(HelpNotOpenedMessage(path, exists), vbExclamation, "Kestrin - Help");
  return false;
}
