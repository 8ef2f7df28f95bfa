// One command frame out, one reply frame back.
#pragma once

#include <cstdint>
#include <string>

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

// A port that vanished under the program (device unplugged, simulator
// ended) is opened again once, on the same port and line settings, before a
// command starts: never between the frames of one command, so nothing is
// sent twice. False, with error 1500 saying the reopening failed, when it
// could not be opened; true when the port is open (or was closed on purpose:
// the command then fails as it always has).
bool ReopenVanishedPort();

// The line to the programmers: lost when the port vanished or the selected
// programmer stopped answering, back when a scan or a directory read worked.
// LineLostText says why; the main window shows it.
void NoteLineLost(const std::string& why);
void NoteLineBack();
// LineLostText says the line is lost now, not that it answers again after a loss.
bool LineLostNow(const std::string& lineText);

// While one lives, a programmer that does not answer is expected to (it is
// rewriting its firmware): its silence does not count as a lost line.
class SilenceExpected {
 public:
  SilenceExpected();
  ~SilenceExpected();
  SilenceExpected(const SilenceExpected&) = delete;
  SilenceExpected& operator=(const SilenceExpected&) = delete;
};
