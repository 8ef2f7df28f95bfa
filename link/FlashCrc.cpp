#include "link/FlashCrc.h"

uint16_t FlashCrc16(const uint8_t* data, size_t count) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
  }
  return crc;
}

std::array<uint8_t, 2> FlashCrcBytes(const uint8_t* data, size_t count) {
  const uint16_t crc = FlashCrc16(data, count);
  return {static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)};
}
