// The frame format on the serial line: ESC 'S' address payload ESC 'E', with
// every ESC in the payload sent twice; and the receive state machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Builds the frame for a payload to a bus address.
std::vector<uint8_t> BuildFrame(uint8_t address, const uint8_t* payload, size_t length);

// Feeds one received byte to the receive state machine (RxState, RxBuffer,
// RxCount, RxAddress, ReplyComplete).
void ReceiveByte(uint8_t b);

// RxState 0 and ReplyComplete False: ready for the next reply.
void ResetReceiver();
