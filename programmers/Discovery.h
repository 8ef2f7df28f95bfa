// The bus scan and the table of programmers found on the line.
#pragma once

#include "programmers/UnitState.h"

// The scan as the user and the automation interface start it; reports its own failure.
void ScanProgrammers();
// Probes every address at both line speeds and fills ProgrammerTable,
// ProgSettings and the programmer list; leaves the port open when it opened.
// The list item marked afterwards is the first one at `selectAddress` when
// one is listed there, else the first. False when the port did not open: the
// last-error record says why.
bool AcquireProgrammers(int selectAddress = 0);
// ScanProgrammers without the report: the programmer at `selectAddress` (0:
// the first found) is the one marked for selection. False when the port did
// not open or nobody answered; the last-error record says why.
bool RescanProgrammers(int selectAddress);
// Finds the programmer at one address as the scan would (both speeds, first
// answer wins) and lists it alone; for the command line.
bool AcquireProgrammerAt(int address);
// Reads ConfigBlock and fills the entry's address, type, slot count and slot size.
bool ReadProgrammerConfig(ProgrammerRecord& entry);

// Slot size in bytes from configuration byte 28 (KiB; 0 means 256, 1 means 512).
int32_t SlotSizeFromCode(uint8_t code);

// The two line settings, in the order the scan tries them.
extern const char* const LineSettings[2];
