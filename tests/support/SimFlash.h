// Puts images, security blocks and second-memory names straight into a
// simulated unit's flash, as an earlier download would have left them.
#pragma once

#include <cstring>
#include <string>

#include "sim/Crc16.h"
#include "sim/Unit.h"

struct StoredImage {
  int32_t size = 4096;
  uint16_t devCode = 0;
  uint8_t family = 0;
  uint8_t voltage = 165;
  std::string name = "Image";
  uint8_t mode = 0;
  int16_t freq = 0;
};

inline void PutLe(uint8_t* at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void StoreDirEntry(vrxsim::Unit& unit, int slot, const StoredImage& image) {
  uint8_t* e = unit.flash() + 0x40 + (slot - 1) * 32;
  PutLe(e, static_cast<uint32_t>(image.size), 4);
  e[4] = 0x12;
  e[5] = 0x34;
  e[6] = static_cast<uint8_t>(image.devCode);
  e[7] = image.voltage;
  std::string name = image.name.substr(0, 20);
  name.resize(20, ' ');
  std::memcpy(e + 8, name.data(), 20);
  e[28] = image.mode;
  e[29] = static_cast<uint8_t>(image.family + ((image.devCode & 0x300) >> 2));
  PutLe(e + 30, static_cast<uint16_t>(image.freq), 2);
}

// Counts (-1 = no limit) and flags per slot, sealed with the unit's CRC.
inline void StoreSecurityBlock(vrxsim::Unit& unit, const int32_t counts[4], const uint8_t flags[4]) {
  uint8_t* b = unit.flash() + 0x20;
  std::memset(b, 0, 32);
  for (int i = 0; i < 4; ++i) {
    PutLe(b + 7 * i, static_cast<uint32_t>(counts[i]), 4);
    b[7 * i + 4] = flags[i];
  }
  const uint16_t crc = vrxsim::Crc16(b, 30);
  b[30] = static_cast<uint8_t>(crc);
  b[31] = static_cast<uint8_t>(crc >> 8);
}

inline void StoreSecondMemoryName(vrxsim::Unit& unit, uint32_t nameBase, int slot, const std::string& name) {
  std::string padded = name.substr(0, 20);
  padded.resize(20, ' ');
  std::memcpy(unit.flash() + nameBase + (slot - 1) * 32, padded.data(), 20);
}
