// Little-endian values in byte arrays.
#pragma once

#include <cstdint>
#include <vector>

// Puts the value at position; returns the position after it.
int PutLong(std::vector<uint8_t>& bytes, int position, int32_t value);
int PutWord(std::vector<uint8_t>& bytes, int position, int16_t value);

int32_t GetLong(const uint8_t* bytes);
int16_t GetWord(const uint8_t* bytes);
