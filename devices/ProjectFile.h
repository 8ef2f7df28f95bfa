// Project files ("*.vrx"): every setting of an image on a line of its own,
// "Key: value" in double quotes.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// What the project read last said of each fuse byte: the line (1-based) of
// its FUSE key, 0 where it had none, and the value as read before it was
// narrowed to a byte. Fuse values are checked against the device's fuse
// definitions only when the image is built, by which time these name the line.
struct ProjectFuseLines {
  std::string path;
  std::array<int, 9> line{};
  std::array<int64_t, 9> value{};
};
extern ProjectFuseLines ProjFuseLines;

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
