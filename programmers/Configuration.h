// Settings the programmer keeps in its own flash: its bus address (byte 31),
// its power-on defaults (bytes 26..27) and the four ATE option records that
// test equipment can select (232 + 2n). Each record is a DefaultsRecord:
// byte 0 the default slot, 0-based; byte 1 the flags, bit 5 sequential
// programming, bit 4 CRC verify, bits 0..3 ports 1..4 where a set bit means
// the port is disabled.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t DefaultsRecordAddress = 26;
constexpr int32_t BusAddressByte = 31;
constexpr int32_t AteOptionsBase = 232;
constexpr int AteOptionCount = 4;
constexpr int32_t DefaultsRecordBytes = 2;
constexpr int LowestBusAddress = 1;
constexpr int HighestBusAddress = 16;

// What a DefaultsRecord says, as the programming manager's controls show it.
struct ProgrammerDefaults {
  int imageNumber = 1;              // 1-based slot
  bool sequential = false;          // cbSequential
  bool crcVerify = false;           // cbCRCVerify
  std::array<bool, 4> ports{};      // ChkPortEnbl(0..3), true = enabled
};

std::array<uint8_t, 2> EncodeDefaultsRecord(const ProgrammerDefaults& defaults);
ProgrammerDefaults DecodeDefaultsRecord(const std::array<uint8_t, 2>& record);

// Option 0..3 is an ATE option record; any other, the power-on defaults.
bool IsAteOption(int option);
// Flash address of the power-on defaults (option -1) or of ATE option 0..3.
int32_t DefaultsAddress(int option);

// The addresses a programmer at `current` may move to, ascending.
std::vector<int> NewAddressChoices(int current);

// Writes the record of the power-on defaults (option -1) or of ATE option n
// and reads it back. On failure the record holds error 3 from "Set Defaults".
bool WriteProgrammerDefaults(int option, const ProgrammerDefaults& defaults);
// Reads the record until two reads agree. On failure: error 3 from "Read Defaults".
bool ReadProgrammerDefaults(int option, ProgrammerDefaults& defaults);

enum class AddressChange {
  Moved,      // byte 31 holds the new address and the programmer was told to take it
  Conflict,   // another programmer answers there: nothing written
  Failed,     // the last-error record says why; the programmer keeps its address
};
// Moves the programmer at CurrentAddress to newAddress after probing that no
// other programmer answers there, at either line speed.
AddressChange SetProgrammerAddress(int newAddress);

// Said when an address change broke off where the programmer may have taken
// either address.
std::string AddressUncertainNote(int oldAddress, int newAddress);
// The message shown when another programmer answers at the new address.
std::string AddressConflictMessage(int newAddress);
// Messages of the defaults and ATE option entries (option -1: power-on defaults).
std::string DefaultsSetMessage(int option);
std::string DefaultsReadMessage(int option);
std::string DefaultsSetTitle(int option);
std::string DefaultsReadTitle(int option);

// Lets ticks of the 50 ms time base pass while events run.
void PauseTicks(int ticks);
