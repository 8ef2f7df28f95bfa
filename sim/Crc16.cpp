#include "sim/Crc16.h"

#include <array>

namespace vrxsim {
namespace {

constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    uint16_t c = uint16_t(i << 8);
    for (int bit = 0; bit < 8; ++bit) c = (c & 0x8000) ? uint16_t((c << 1) ^ 0x1021) : uint16_t(c << 1);
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

}  // namespace

uint16_t Crc16(const uint8_t* data, size_t n) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < n; ++i) crc = uint16_t((crc << 8) ^ kTable[(crc >> 8) ^ data[i]]);
  return crc;
}

}  // namespace vrxsim
