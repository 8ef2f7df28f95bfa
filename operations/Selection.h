// Selecting a found programmer: its type record, flash map, device families,
// serialization support and image directory.
#pragma once

#include <string>

// Selects the programmer of the main window's current list item.
void SelectProgrammer();
// Selects the selected programmer again once it runs other firmware (the
// FwRevision of its entry, as the upgrade confirmed it): its configuration
// block is read again, and generation, type record, device file, flash map,
// device families, serialization support and FirmwareIncomplete become the
// new firmware's. Shows nothing; the image directory is left as it was.
// False when the configuration block or the flash map could not be read: the
// last-error record says why and nothing may use the flash map.
bool ReselectProgrammer();
// StartModeNames for ProgType; entries after the last name are "".
void SetStartModeNames();

// The message shown when a programmer's firmware is older than its type's newest.
std::string ObsoleteFirmwareMessage(float latestRevision);
