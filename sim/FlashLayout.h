// Where things live in a unit's flash. The PC lays out most of it; the unit
// itself only needs the configuration block, the security block, the image
// directory and, on generation-3 firmware, the flash map.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "programmers/UnitState.h"
#include "sim/Config.h"

namespace vrxsim {

constexpr uint32_t kConfigBase = 0;
constexpr uint32_t kConfigSize = 32;
constexpr uint32_t kDefaultsOffset = 26;  // power-on defaults: slot, flags
constexpr uint32_t kSlotSizeOffset = 28;
constexpr uint32_t kSlotsOffset = 29;
constexpr uint32_t kTypeOffset = 30;
constexpr uint32_t kAddressOffset = 31;
// Four ATE option records of two bytes, laid out like the defaults; erased
// (0xFF) on a unit that has none.
constexpr uint32_t kAteOptionsBase = 232;
constexpr int kAteOptions = 4;

constexpr uint32_t kSecurityBase = 0x20;
constexpr uint32_t kSecuritySize = 32;
constexpr uint32_t kSecurityCrcSpan = 30;  // the CRC at offset 30 covers bytes 0..29
constexpr int kSecuritySlots = 4;
constexpr uint32_t kUnlimitedCount = 0xFFFFFFFF;

constexpr uint32_t kDirectoryBase = 0x40;
constexpr uint32_t kDirEntrySize = 32;

constexpr uint32_t kFlashMapBase = 0xF00;
constexpr uint32_t kLegacyImageBase = 0x10000;
constexpr size_t kMinFlashSize = 0x400000;

// Areas the PC keeps for itself on generation 3; the map must stay clear of them.
constexpr uint32_t kSecondNamesBase = 0xE00, kSecondNamesEnd = 0xE80;
constexpr uint32_t kVector2Base = 0x24A000, kVector2End = 0x252000;

// The generation-3 flash map: twenty little-endian 32-bit values at 0xF00.
enum MapField {
  kImageBase, kImageSlotSize, kEEBase, kEESlotSize, kPageMapBase, kPageMapSize,
  kFirmwareBase, kFirmwareSize, kHwcBase0, kHwcSize0, kHwcBase1, kHwcSize1,
  kHwcBase2, kHwcSize2, kVectorBase, kVectorSize, kHwcBase3, kHwcSize3,
  kHwcBase4, kHwcSize4, kMapFieldCount
};
using FlashMap = std::array<uint32_t, kMapFieldCount>;
constexpr uint32_t kFlashMapSize = 4 * kMapFieldCount;

// Configuration byte 28 as a size: a count of KiB where 0 means 256 and 1 means 512.
uint32_t SlotSizeBytes(int code);

// A consistent, non-overlapping map for a new generation-3 unit. Images
// start at 0x10000 when they fit below the PC's second vector table.
FlashMap DefaultFlashMap(int slots, uint32_t slotBytes);

// Flash large enough for the images and every area of the generation-3 map
// (so a firmware upgrade never outgrows it), at least 4 MiB.
size_t RequiredFlashSize(int slots, uint32_t slotBytes);

// Firmware images start with "VRXF", then the minor and major revision they
// bring; the unit answers FwRev with them after LoadFirmware installs it.
constexpr uint32_t kLegacyFirmwareBase = 0x1000;
constexpr uint8_t kFirmwareMagic[4] = {'V', 'R', 'X', 'F'};

void WriteConfigBlock(uint8_t* flash, const UnitConfig& config);
void WriteFlashMap(uint8_t* flash, const FlashMap& map);
FlashMap ReadFlashMap(const uint8_t* flash);

}  // namespace vrxsim
