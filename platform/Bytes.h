// Little-endian values in byte arrays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Puts the value at position; returns the position after it.
int PutLong(std::vector<uint8_t>& bytes, int position, int32_t value);
int PutWord(std::vector<uint8_t>& bytes, int position, int16_t value);

int32_t GetLong(const uint8_t* bytes);
int16_t GetWord(const uint8_t* bytes);

// Upper-case hexadecimal, the last 2 (or 4) digits, zero-padded: a negative
// value gives its low byte (or word).
std::string Hex2(int64_t value);
std::string Hex4(int64_t value);
// Reverses the bytes inside every group of four from index 0 up to lastIndex.
void SwapBytes32(std::vector<uint8_t>& buffer, int64_t lastIndex);
