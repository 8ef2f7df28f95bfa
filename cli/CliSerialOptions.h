// The command line's serialization: the serial number settings of a load,
// checked before anything is sent, and the record of a stored image with the
// ports' last serial numbers.
#pragma once

#include <string>

// The --serial-… settings of a load, as given.
struct SerialOptionValues {
  std::string serialMemory;             // flash, eeprom or user
  std::string serialAddress;            // hex
  std::string serialSize;               // 2, 4 or 6
  std::string serialOrder;              // msb or lsb
  std::string serialNext;               // decimal, or hex with 0x
};

// True when the options name any of the --serial-… settings.
bool HasSerialOptions(const SerialOptionValues& options);

// Checks the serial options on their own (names, sizes, the next number
// fitting the size); false with the reason in `error`.
bool CheckSerialOptions(const SerialOptionValues& options, std::string& error);

// Puts the serial options of a load into the serialization record for the
// device found, or switches serialization off when none are given. False,
// with a message on standard error, when the programmer (at `address`) does
// not serialize or the number would lie outside the device's memory; nothing
// is sent then.
bool TakeSerialOptions(const SerialOptionValues& options, int address);
