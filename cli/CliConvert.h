// The convert command without its JSON document: what kestrin-cli runs
// itself, before the Qt runtime is loaded, and what the whole program shares.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/CliOptionTable.h"

// The database of the firmware generation (--firmware), as selecting a
// programmer with that firmware chooses it; without it the current firmware's.
void ChooseDatabase(const std::string& firmware);
// The programmer types to look in: the one of --type (`programmerType`), else every code.
bool ChooseTypes(const std::string& programmerType, std::vector<int>& types, std::string& error);
// The families of ProgType; false when the database cannot be read, with the
// error report shown when `report` is set.
bool LoadFamiliesOf(int type, bool report);

// Looks the device type up, converts the files, takes the entire image
// checksum and writes --out. With `report` every failure is said as the
// command says it; without, nothing is printed at all and the status alone
// tells of a failure.
int ConvertAndWrite(const ConvertValues& options, bool report, int32_t& entireImageChecksum);
// A checksum as the command prints it: eight upper-case hex digits.
std::string Hex8(int32_t value);
// The three lines of a conversion that succeeded.
void PrintConversion(int32_t entireImageChecksum);
