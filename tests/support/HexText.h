// Intel HEX text for tests: records built with their checksums.
#pragma once

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
