// The state of the serial line to the programmers: whom the next frame goes
// to, the 50 ms clock of every wait, and whether the line is lost.
#pragma once

#include <cstdint>
#include <string>

extern uint8_t CurrentAddress;     // bus address written into every command frame
extern int32_t TickCount;          // advanced by one every 50 ms by Timer1
// Why the line to the programmers is lost (the port vanished, the selected
// programmer stopped answering); "" while it works or nothing was tried.
extern std::string LineLostText;
extern bool CancelRequest;         // set by Cancel; a run stops at its next wait step, a download before its next block

// Puts every global above back to its start value.
void ResetLineState();
