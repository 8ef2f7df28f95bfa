// One command frame out, one reply frame back.
#pragma once

#include <cstdint>

// The 50 ms time base wraps to 1 above 2,000,000,000.
constexpr int32_t TickWrapLimit = 2000000000;
int32_t WrapTick(int64_t value);
// The main window's Timer1: one tick every 50 ms.
void Timer1_Timer();

// Sends payload[0..length-1] as one frame to CurrentAddress and waits up to
// timeout ticks for a complete reply, which is then in RxBuffer/RxCount.
// False with the pending error 1500 (no reply) or 1503 (another address).
bool SendCommand(const uint8_t* payload, int length, int timeout);

// The serial port's receive event: feeds every waiting byte to the receiver.
void ReceiveBytes();
