// The help entries: a document from the program's directory in the system's
// viewer, or a word on why it did not open.
#pragma once

#include <string>

// Opens the document; when it cannot be opened, says so in a message box that
// names the file and what to do. False when it did not open.
bool OpenHelpDocument(const std::string& path);

// The message for a document that did not open: missing, or no viewer for it.
std::string HelpNotOpenedMessage(const std::string& path, bool fileExists);
