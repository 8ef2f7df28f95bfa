// The serialization record of the image: where the serial number goes, in
// which form, and the number itself.
#pragma once

#include <array>
#include <cstdint>

extern uint8_t SerialMemory;
extern uint8_t SerialFormat;
extern int32_t SerialAddress;
extern std::array<uint8_t, 7> SerialNumber;   // little-endian, byte 0 least significant
// The serialization dialog may change the target address, size and byte order
// (a new image); cleared when it only shows a stored image's settings.
extern bool SerialEditable;

// Puts every global above back to its start value.
void ResetSerialState();
