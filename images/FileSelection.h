// Choosing the input files of an image through the file dialog. Both
// procedures remember the folder last used, per programmer type ("FilePath").
#pragma once

#include <string>

// Asks for input file `index` (0..3) into FileList; false when cancelled
// (error 32755, no failure) or the dialog failed.
bool SelectImageFile(int index);

// Asks for the second-memory file (or takes `fileName` when given) and
// converts it into EEBuffer at once.
bool LoadEEFile(const std::string& fileName);

// The folder part of a full name, with its trailing separator.
std::string FolderOf(const std::string& path);
std::string FileTitleOf(const std::string& path);
