// The serialization settings as the operator sees and enters them: the serial
// number's texts for its size, what a typed entry becomes, the memory choices
// of a programmer type and family, and whether the number fits the device.
#pragma once

#include <cstdint>
#include <string>

#include "devices/DeviceState.h"
#include "link/SerialRecord.h"
#include "options/SerialNumbers.h"

struct DeviceRecord;

// SerialMemory codes.
enum SerialMemoryCode : uint8_t { SerialOff = 0, SerialFlash = 1, SerialEeprom = 2, SerialUser = 3 };

// The serialization settings (SerialMemory, SerialFormat, SerialAddress,
// SerialNumber) as one record, and a record read from the programmer taken
// into them: the fields the line carries, SerialNumber byte 6 as it was.
SerialRecord SerialSettingsRecord();
void TakeSerialSettings(const SerialRecord& record);

// SerialFormat: bits 0..6 the size in bytes, bit 7 most significant byte first.
constexpr uint8_t SerialMsbFirst = 0x80;
int SerialSize(uint8_t format);
// The size the dialog's list shows: 2 and 4 as they are, anything else 6.
int ListedSerialSize(uint8_t format);
uint8_t SerialFormatWith(uint8_t format, int size);
uint8_t SerialFormatWithOrder(uint8_t format, bool msbFirst);

// The largest number of `size` bytes, and whether the number is at most that.
uint64_t SerialLimit(int size);
uint64_t SerialValue(const SerialBytes& n);
SerialBytes SerialFromValue(uint64_t value);
bool SerialFits(const SerialBytes& n, int size);

// What the dialog shows: hexadecimal and decimal with leading zeros for the
// size. A number too large for its size (read from a programmer) is shown in
// full, six bytes wide, rather than cut to its low bytes.
struct SerialTexts {
  std::string hex;
  std::string decimal;
};
SerialTexts SerialRefreshTexts(const SerialBytes& n, int size);

// A typed serial number, decimal (base 10) or hexadecimal (base 16). Blanks
// are ignored; a hexadecimal entry may start with "0x" or "&H". An empty
// entry, a character that is no digit of the base, or a value that does not
// fit `size` bytes is refused: False with the message to show, the number
// left as it was.
bool SerialFromEntry(const std::string& text, int base, int size, SerialBytes& number, std::string& message);

// A typed target address in hexadecimal (blanks ignored, "0x" or "&H" allowed);
// refused like a serial number when it is empty, not hexadecimal, or above 32 bits.
bool SerialAddressFromEntry(const std::string& text, int32_t& address, std::string& message);
// The address as the dialog shows it: upper-case hexadecimal, no leading zeros.
std::string SerialAddressText(int32_t address);

// Captions and states of the memory choices for a programmer type, family and device.
struct SerialMemoryChoices {
  std::string flash = "Flash";
  std::string eeprom = "EEPROM";
  bool eepromEnabled = false;
  std::string user = "User";
  bool userVisible = false;
  bool userEnabled = false;
};
SerialMemoryChoices SerialMemoryChoicesFor(int progType, const std::string& family, int32_t eeSize);

// The memory code the dialog can select: a choice that is not enabled becomes 0.
uint8_t SelectableSerialMemory(uint8_t memory, const SerialMemoryChoices& choices);

// Where the serial number goes in the target as the programmer is told: on
// AVR32 (type 7) the address bit 31 is dropped and an address from 0x800000
// on names the second memory.
struct SerialPlacement {
  uint8_t memory = SerialOff;
  int32_t address = 0;
};
SerialPlacement PlaceSerialNumber(int progType, uint8_t memory, int32_t address);

// The serial number's bytes lie inside the chosen memory of the device.
bool SerialInsideDevice(const SerialPlacement& placement, int size, const DeviceRecord& device);
extern const char* const SerialRangeMessage;   // "Serial Number Address Out of Range for Device"
extern const char* const SerialRangeTitle;     // "Check Serialization"

// The serial number that GetLastSerials reported for a port (its reply bytes
// as hexadecimal, least significant first), as the dialog writes it: most
// significant digit first, for the size. "" stays "".
std::string LastSerialText(const std::string& replyHex, int size);
// The same as the windows show it: the number in decimal with that
// hexadecimal beside it, "1000 (0x0000000003E8)". A reply that is no number
// stays as it came; "" stays "".
std::string LastSerialShownText(const std::string& replyHex, int size);
