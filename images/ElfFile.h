// ELF files as the linker writes them: the data of the loadable segments
// (PT_LOAD with bytes in the file) at their physical (load) addresses. 32
// and 64 bits, either byte order, read through libelf.
#pragma once

#include <string>
#include <string_view>

#include "images/BuildFile.h"

// Whether content begins with the ELF magic.
bool IsElfContent(std::string_view content);

// The loadable segments of `content` into records (place: the segment's
// index in the program header table); a damaged or truncated file, one
// without loadable data or with data beyond 32-bit addresses is refused,
// naming `path`.
bool ReadElfFile(const std::string& path, std::string_view content, BuildRecords& records, BuildFileError& error);
