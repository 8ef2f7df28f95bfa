// Selecting a found programmer: its type record, flash map, device families,
// serialization support and image directory.
#pragma once

#include <string>

// Selects the programmer of the main window's current list item.
void SelectProgrammer();
// StartModeNames for ProgType; entries after the last name are "".
void SetStartModeNames();

// The firmware generation of a revision text: 1, 2 or 3.
int FirmwareGeneration(const std::string& revision);
// The message shown when a programmer's firmware is older than its type's newest.
std::string ObsoleteFirmwareMessage(float latestRevision);
