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

// Takes the options a project file stored (fuse bytes of the device, the
// calibration value and address, JTAG ID check, AVR32 security bit) as the
// live ones. A fuse byte the project has no FUSE line for keeps its default
// (LoadDeviceFuses first). A FUSE value that fits no option of its fields is
// refused as --fuses refuses it, naming the project file and line (error
// 1501, source "Open Project"), and nothing is taken.
bool TakeProjectOptions();
