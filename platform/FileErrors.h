// Error numbers of file access, shared by every reader of the program's
// input and data files.
#pragma once

#include <cstdint>

constexpr int32_t ErrFileNotFound = 53;
constexpr int32_t ErrFileAccess = 75;   // there, but not a file that can be read
constexpr int32_t ErrInputPastEnd = 62;
constexpr int32_t ErrFileFormat = 1501;
