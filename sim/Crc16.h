// The CRC a unit reports for a flash range (CrcFlash) and keeps in its
// security block: CRC-16/CCITT-FALSE, polynomial 0x1021, initial value 0xFFFF.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrxsim {

// On the line the low byte goes first.
uint16_t Crc16(const uint8_t* data, size_t n);

}  // namespace vrxsim
