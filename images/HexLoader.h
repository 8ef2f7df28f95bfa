// The general Intel HEX loaders: file addresses map straight onto buffer
// offsets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// All files of the list into the buffer (filled with blank first). On
// programmer types 1, 3 and 8 an extended linear address of 0x0010 sends data
// to ExtData and 0x0020 drops it. ImageChecksum restarts. With a flash base,
// data from the base up to base + size lands at 0 as well, but a conversion
// whose data lies in both ranges is refused.
bool LoadHexFile(std::vector<uint8_t>& buffer, int32_t size, int32_t& top, uint8_t blank,
                 const std::string* files, int fileCount, int64_t flashBase = 0);

// One file into the buffer; its bytes are added to the running ImageChecksum.
bool LoadHexBuffer(std::vector<uint8_t>& buffer, int32_t size, int32_t& top, uint8_t blank,
                   const std::string& file);

// Shared by all loaders: the counts in the status bar.
void ShowConversionCounts(int32_t records, int32_t bytes);
