#include "devices/Utils.h"

int PutLong(std::vector<uint8_t>& bytes, int position, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[position + i] = static_cast<uint8_t>(v >> (8 * i));
  return position + 4;
}

int PutWord(std::vector<uint8_t>& bytes, int position, int16_t value) {
  const auto v = static_cast<uint16_t>(value);
  bytes[position] = static_cast<uint8_t>(v);
  bytes[position + 1] = static_cast<uint8_t>(v >> 8);
  return position + 2;
}

int32_t GetLong(const uint8_t* bytes) {
  return static_cast<int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

int16_t GetWord(const uint8_t* bytes) { return static_cast<int16_t>(bytes[0] | bytes[1] << 8); }
