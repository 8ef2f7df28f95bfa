// A program or verify run on the enabled ports of the selected programmer,
// followed port by port until none is busy.
#pragma once

#include <cstdint>

// The port enable byte from the programming manager: ports in bits 0..3,
// CRC verify only in bit 4, program multiple images in bit 5.
uint8_t PortEnableByte();

// Runs slot ImageNumber; True when no command failed (failed ports are no error).
bool ProgramImage(bool verifyOnly);

// Ticks between two status polls.
constexpr int StatusPollTicks = 8;
