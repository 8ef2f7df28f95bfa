// Writing a converted image into a slot of the selected programmer: the slot
// marked empty, every area and record written, read back and compared, the
// CRC taken by the programmer, the security entry, and the directory entry
// that makes the slot usable last.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/SerialRecord.h"

// Stores the image in slot ImageNumber; ImageCount -1 means no limit. A
// given serialization record goes to the slot too, verified before the
// directory entry. CancelRequest, once the slot is marked empty and until its
// records are written, stops it between two blocks with error 1522: the slot
// is left empty, the security block untouched.
bool LoadNewDeviceImage(bool readProtect, int32_t imageCount,
                        const std::optional<SerialRecord>& serialization = std::nullopt);

// The write of (the first `count` bytes of) a slot's directory entry that
// makes the slot usable, read back. When that fails it reads the entry again:
// exactly the new entry is success; anything else is marked empty (size 0)
// if the line answers. False with the first failure in the last-error record.
bool CompleteDirEntry(int32_t entryAddress, int32_t count, const uint8_t* entry);

// The entire image checksum a download of the converted image reports: the
// bytes of the main image it writes and verifies, plus the PSoC extended
// areas. Computed from the buffers alone, for checking an image offline.
int32_t DownloadChecksum();

bool LoadPSoC3ExtendedData(int32_t slotAddress);
bool LoadPSoCExtendedData(int32_t slotAddress);

// The 32-byte directory entry of the image being loaded (size, CRC, device,
// voltage, name, mode, family, frequency).
std::array<uint8_t, 32> BuildDirEntry(const std::array<uint8_t, 2>& crc);
// A name as a directory entry holds it: cut to ImageNameLength bytes and
// padded with blanks. Names are one byte a character, but a name typed as
// UTF-8 (on the command line) is cut before a character it cannot hold whole.
std::string DirectoryName(const std::string& name);

// The 13-byte option record of AVR-class images (types 6 and 7).
std::array<uint8_t, 13> BuildAvrOptionRecord();
// One bit per page of the main image: set when the page holds a non-blank byte.
std::vector<uint8_t> BuildPageMap();
