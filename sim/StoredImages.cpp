#include "sim/StoredImages.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "sim/Crc16.h"
#include "sim/FlashLayout.h"
#include "sim/Unit.h"

namespace vrxsim {
namespace {

void PutLe(uint8_t* at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) at[i] = uint8_t(value >> (8 * i));
}

void PutName(uint8_t* at, const std::string& name) {
  std::string padded = name.substr(0, 20);
  padded.resize(20, ' ');
  std::memcpy(at, padded.data(), 20);
}

// The slot's count and flags in the security block, resealed; a block whose
// seal is broken starts over with no limits.
void StoreSecurity(uint8_t* flash, int slot, int32_t count, bool protect) {
  uint8_t* block = flash + kSecurityBase;
  const uint16_t seal = Crc16(block, kSecurityCrcSpan);
  if (block[30] != uint8_t(seal) || block[31] != uint8_t(seal >> 8)) {
    std::memset(block, 0, kSecuritySize);
    for (int i = 0; i < kSecuritySlots; ++i) PutLe(block + 7 * i, kUnlimitedCount, 4);
  }
  PutLe(block + 7 * (slot - 1), uint32_t(count), 4);
  block[7 * (slot - 1) + 4] = protect ? 1 : 0;
  const uint16_t crc = Crc16(block, kSecurityCrcSpan);
  block[30] = uint8_t(crc);
  block[31] = uint8_t(crc >> 8);
}

}  // namespace

uint32_t SecondNamesBase(int fwMajor) { return fwMajor >= 3 ? kSecondNamesBase : 0x1EFF80; }

void StoreImage(Unit& unit, const StoredImage& image) {
  if (image.slot < 1 || image.slot > std::min(unit.config().slots, kSecuritySlots)) return;
  uint8_t* flash = unit.flash();
  const size_t base = size_t(unit.imageBase()) + size_t(image.slot - 1) * unit.imageSlotSize();
  const size_t size = std::min<size_t>(size_t(std::max(image.size, 0)),
                                       std::min<size_t>(unit.imageSlotSize(), unit.flashSize() - std::min(base, unit.flashSize())));
  for (size_t i = 0; i < size; ++i) flash[base + i] = uint8_t(i * 7 + image.slot);
  const uint16_t crc = Crc16(flash + base, size);

  uint8_t* entry = flash + kDirectoryBase + (image.slot - 1) * kDirEntrySize;
  PutLe(entry, uint32_t(image.size), 4);
  entry[4] = uint8_t(crc);
  entry[5] = uint8_t(crc >> 8);
  entry[6] = uint8_t(image.device);
  entry[7] = uint8_t(image.voltage);
  PutName(entry + 8, image.name);
  entry[28] = uint8_t(image.mode);
  entry[29] = uint8_t((image.family & 0x3F) + ((image.device & 0x300) >> 2));
  PutLe(entry + 30, uint16_t(image.freq), 2);

  if (!image.secondName.empty()) {
    PutName(flash + SecondNamesBase(unit.config().fwMajor) + (image.slot - 1) * 32, image.secondName);
  }
  StoreSecurity(flash, image.slot, image.count, image.protect);
}

}  // namespace vrxsim
