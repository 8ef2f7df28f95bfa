// Intel HEX text for tests: records built with their checksums.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline std::string HexRecordLine(uint16_t offset, uint8_t type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(offset >> 8),
                             static_cast<uint8_t>(offset), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  std::string line = ":";
  char pair[3];
  for (uint8_t b : bytes) {
    sum += b;
    std::snprintf(pair, sizeof pair, "%02X", b);
    line += pair;
  }
  std::snprintf(pair, sizeof pair, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return line + pair + "\r\n";
}

inline std::string DataRecord(uint16_t offset, const std::vector<uint8_t>& data) { return HexRecordLine(offset, 0, data); }
inline std::string LinearRecord(uint16_t value) {
  return HexRecordLine(0, 4, {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}
inline std::string SegmentRecord(uint16_t value) {
  return HexRecordLine(0, 2, {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}
inline std::string EndRecord() { return ":00000001FF\r\n"; }

// Data records of 16 bytes from a 32-bit address, opening with an extended
// linear address record and another wherever the upper half changes; no end
// record.
inline std::string DataRecords(uint32_t address, const std::vector<uint8_t>& data) {
  std::string text;
  int64_t upper = -1;
  for (size_t i = 0; i < data.size(); i += 16) {
    const uint32_t at = address + static_cast<uint32_t>(i);
    if (at >> 16 != upper) {
      upper = at >> 16;
      text += LinearRecord(static_cast<uint16_t>(upper));
    }
    const size_t n = std::min<size_t>(16, data.size() - i);
    text += DataRecord(static_cast<uint16_t>(at), std::vector<uint8_t>(data.begin() + i, data.begin() + i + n));
  }
  return text;
}

// Bytes that look like firmware, the same for the same seed.
inline std::vector<uint8_t> PseudoFirmware(size_t size, uint32_t seed) {
  std::vector<uint8_t> data(size);
  for (uint8_t& b : data) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  return data;
}
