// The state of the programming runs and target reads: the port a read takes,
// what the last run left on the ports, and the address array programming
// gives back.
#pragma once

#include <array>
#include <cstdint>
#include <string>

extern int ReadPort;               // target port 1..4 of a device read
extern std::array<std::string, 4> LastSerials;   // last serial number written per port, as hex text
extern std::array<bool, 4> RunPortsDone;   // ports that ended "Done" in the last program run
extern uint8_t SavedAddress;       // CurrentAddress when array programming opened; given back when it ends

// Puts every global above back to its start value.
void ResetRunState();
