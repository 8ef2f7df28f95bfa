// The programmer's flash CRC (the one CrcFlash reports and the image
// directory keeps), computed on the PC: CRC-16, polynomial 0x1021, initial
// value 0xFFFF, no reflection. On the line and in the directory the low byte
// goes first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

uint16_t FlashCrc16(const uint8_t* data, size_t count);
// The CRC as its two bytes, low byte first.
std::array<uint8_t, 2> FlashCrcBytes(const uint8_t* data, size_t count);
