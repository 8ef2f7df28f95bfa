#include "platform/Bytes.h"

#include <algorithm>
#include <cstdio>

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

std::string Hex2(int64_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value & 0xFF));
  return text;
}

std::string Hex4(int64_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value & 0xFFFF));
  return text;
}

void SwapBytes32(std::vector<uint8_t>& buffer, int64_t lastIndex) {
  const int64_t end = std::min<int64_t>(lastIndex, static_cast<int64_t>(buffer.size()) - 1);
  for (int64_t i = 0; i + 3 <= end; i += 4) {
    std::swap(buffer[i], buffer[i + 3]);
    std::swap(buffer[i + 1], buffer[i + 2]);
  }
}
