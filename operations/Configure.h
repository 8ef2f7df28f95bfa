// Configuring a programmer as an operation: the line taken, the run-log
// record of the change written, the work done by programmers/Configuration.
// The programming manager, the address dialog and the command line go
// through these.
#pragma once

#include "programmers/Configuration.h"

// WriteProgrammerDefaults, logged as "defaults" or "ate-option" with its slot.
bool SaveProgrammerDefaults(int option, const ProgrammerDefaults& defaults);

// SetProgrammerAddress, logged as "address": "Moved to N", or "Address in
// use:N" when another programmer answers there.
AddressChange ChangeProgrammerAddress(int newAddress);
