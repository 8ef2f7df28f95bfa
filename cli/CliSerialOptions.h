// The command line's serialization: the serial number settings of a load,
// checked before anything is sent, and the record of a stored image with the
// ports' last serial numbers.
#pragma once

#include <string>

struct CliOptions;

// True when the options name any of the --serial-… settings.
bool HasSerialOptions(const CliOptions& options);

// Checks the serial options on their own (names, sizes, the next number
// fitting the size); false with the reason in `error`.
bool CheckSerialOptions(const CliOptions& options, std::string& error);

// Puts the serial options of a load into the serialization record for the
// device found, or switches serialization off when none are given. False,
// with a message on standard error, when the programmer does not serialize
// or the number would lie outside the device's memory; nothing is sent then.
bool TakeSerialOptions(const CliOptions& options);

// The serial command: prints the slot's serialization record and the last
// serial number written on each port. Returns the exit status.
int SerialCommand(const CliOptions& options);
// The serial command when the programmer could not be selected: exit 3, and
// with --json the document that says so.
int SerialFailed(const CliOptions& options);
