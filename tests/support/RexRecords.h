// REX records for tests: data cut into records of 16 bytes from address 0.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "images/RexScramble.h"

inline std::vector<RexRecord> RexChunks(const std::vector<uint8_t>& data) {
  std::vector<RexRecord> records;
  for (size_t at = 0; at < data.size(); at += 16) {
    records.push_back(RexRecord{static_cast<uint16_t>(at), std::vector<uint8_t>(data.begin() + at,
                                                                                 data.begin() + std::min(data.size(), at + 16))});
  }
  return records;
}
