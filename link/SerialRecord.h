// A slot's serialization record as WriteSerialization sends it and
// ReadSerialization returns it. The default record is serialization off:
// memory 0, nothing is written into the devices.
#pragma once

#include <array>
#include <cstdint>

struct SerialRecord {
  uint8_t memory = 0;
  uint8_t format = 0;
  int32_t address = 0;
  std::array<uint8_t, 7> number{};   // little-endian; the line carries bytes 0..5
};

// The fields the line carries agree (number bytes 0..5).
bool SameOnTheLine(const SerialRecord& a, const SerialRecord& b);
