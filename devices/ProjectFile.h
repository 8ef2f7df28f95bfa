// Project files ("*.vrx"): every setting of an image on a line of its own,
// "Key: value" in double quotes.
#pragma once

#include <string>

// Asks for a project and reads it (ProjectPath remembered per programmer type).
bool OpenProject();
// Reads a project file into the Proj... settings, FileList and the
// second-memory file; false (with its message shown) when an input file is missing.
bool ReadProjectFile(const std::string& path);
// ReadProjectFile for loading its image: a project that names no first
// file (File0) is refused with the error recorded.
bool ReadProjectForLoad(const std::string& path);

// Writes the project of the current image settings; the dialog's image name,
// family and device texts come with it. False with the error recorded.
bool WriteProjectFile(const std::string& path, const std::string& imageName, const std::string& family,
                      const std::string& device);
