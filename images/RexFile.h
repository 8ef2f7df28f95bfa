// Reading the REX files in which firmware and hardware configuration tables
// are delivered (format and scrambling in images/RexScramble.h).
#pragma once

#include <cstdint>
#include <string>

// Resizes ImageBuffer to size bytes of fill and reads the REX file
// (program's directory & "\" & fileName) into it; ImageTop is the highest
// address written. The file must carry kindWord on its second line, every
// record must add up and lie inside the buffer, and the file must end with
// its end record: otherwise False with the error recorded (1501, 1502, 1510,
// or the file error) and ImageBuffer holds no data of the file.
bool LoadRexFile(const std::string& fileName, uint8_t fill, uint32_t kindWord, const std::string& kindName,
                 int32_t size);
