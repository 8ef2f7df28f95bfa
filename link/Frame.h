// The frame format on the serial line: ESC 'S' address payload ESC 'E', with
// every ESC in the payload sent twice; and the receive state machine.
#pragma once

#include <array>
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

// The receive state machine's state: the payload of the last reply and where
// the machine stands.
constexpr int RxBufferSize = 265;
extern std::array<uint8_t, RxBufferSize> RxBuffer;   // payload of the last reply
extern int16_t RxCount;
extern uint8_t RxAddress;
extern bool ReplyComplete;
extern int16_t RxState;
// Puts the globals above back to their start values.
void ResetReceiveState();
