// Whole-file reads of everything the program takes in: HEX files, projects,
// the device database and the type tables.
#pragma once

#include <cstdint>
#include <string>

// The largest slot holds a few MiB and Intel HEX text is at most about 2.8
// times the data it carries, plus line ends: no image file comes near this.
// It stops a device such as /dev/zero or a huge sparse file from filling
// memory before a single line is looked at.
constexpr int64_t MaxInputFileBytes = int64_t{64} << 20;

// Reads the regular file at path whole. Anything else (a folder, a FIFO, a
// device) is refused without waiting on it, and so is a file larger than
// MaxInputFileBytes. Returns 0, or the error number (ErrFileNotFound,
// ErrFileAccess, or ErrFileFormat for the size) with the reason, which
// callers put after the file's name.
int32_t ReadInputFile(const std::string& path, std::string& text, std::string& reason);

// The same tests as ReadInputFile without reading: 0 when the file could be read.
int32_t CheckInputFile(const std::string& path, std::string& reason);

// Opens the file at path for reading in parts, with the tests of
// ReadInputFile: 0 with the descriptor (which the caller closes) and the
// file's size, or the error number with the reason.
int32_t OpenInputFile(const std::string& path, int& fd, int64_t& size, std::string& reason);
// The reason for a file beyond MaxInputFileBytes, with its size.
std::string InputTooLarge(int64_t size);
