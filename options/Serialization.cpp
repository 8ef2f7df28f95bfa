#include "options/Serialization.h"

#include <algorithm>
#include <cstdio>

#include "devices/DeviceState.h"
#include "options/SerialState.h"

const char* const SerialRangeMessage = "Serial Number Address Out of Range for Device";
const char* const SerialRangeTitle = "Check Serialization";

SerialRecord SerialSettingsRecord() { return {SerialMemory, SerialFormat, SerialAddress, SerialNumber}; }

void TakeSerialSettings(const SerialRecord& record) {
  SerialMemory = record.memory;
  SerialFormat = record.format;
  SerialAddress = record.address;
  std::copy(record.number.begin(), record.number.begin() + 6, SerialNumber.begin());
}

namespace {
constexpr int MaxSize = 6;

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// The entry without blanks and without a hexadecimal prefix.
std::string EntryDigits(const std::string& text, int base) {
  std::string digits = RemoveChars(text, " \t");
  if (base == 16 && digits.size() >= 2) {
    const std::string prefix = digits.substr(0, 2);
    if (prefix == "0x" || prefix == "0X" || prefix == "&h" || prefix == "&H") digits.erase(0, 2);
  }
  return digits;
}

// Reads the digits; false when one is not a digit of the base or the value passes `limit`.
bool ReadDigits(const std::string& digits, int base, uint64_t limit, uint64_t& value, bool& badDigit) {
  value = 0;
  badDigit = false;
  for (char c : digits) {
    const int d = DigitValue(c);
    if (d >= base) {
      badDigit = true;
      return false;
    }
    if (value > (limit - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) return false;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  return true;
}
}  // namespace

int SerialSize(uint8_t format) { return format & 0x7F; }

int ListedSerialSize(uint8_t format) {
  const int size = format & 0x0F;
  return size == 2 || size == 4 ? size : 6;
}

uint8_t SerialFormatWith(uint8_t format, int size) {
  return static_cast<uint8_t>((format & SerialMsbFirst) | (size & 0x7F));
}

uint8_t SerialFormatWithOrder(uint8_t format, bool msbFirst) {
  return static_cast<uint8_t>(msbFirst ? format | SerialMsbFirst : format & ~SerialMsbFirst);
}

uint64_t SerialLimit(int size) {
  if (size < 1) return 0;
  if (size >= MaxSize) return (uint64_t{1} << 48) - 1;
  return (uint64_t{1} << (8 * size)) - 1;
}

uint64_t SerialValue(const SerialBytes& n) {
  uint64_t value = 0;
  for (int i = MaxSize - 1; i >= 0; --i) value = value << 8 | n[static_cast<size_t>(i)];
  return value;
}

SerialBytes SerialFromValue(uint64_t value) {
  SerialBytes n{};
  for (int i = 0; i < MaxSize; ++i) n[static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
  return n;
}

bool SerialFits(const SerialBytes& n, int size) { return SerialValue(n) <= SerialLimit(size); }

SerialTexts SerialRefreshTexts(const SerialBytes& n, int size) {
  const int shown = SerialFits(n, size) ? size : MaxSize;
  return {SerialHexText(n, shown), SerialDecimalText(n, shown)};
}

bool SerialFromEntry(const std::string& text, int base, int size, SerialBytes& number, std::string& message) {
  const std::string digits = EntryDigits(text, base);
  const char* kind = base == 16 ? "hexadecimal" : "decimal";
  if (digits.empty()) {
    message = std::string("Enter the next serial number as a ") + kind + " number.";
    return false;
  }
  uint64_t value = 0;
  bool badDigit = false;
  const uint64_t limit = SerialLimit(size);
  if (!ReadDigits(digits, base, limit, value, badDigit)) {
    if (badDigit) {
      message = base == 16 ? "The serial number may only hold the hexadecimal digits 0 to 9 and A to F."
                           : "The serial number may only hold the digits 0 to 9.";
    } else {
      const SerialBytes largest = SerialFromValue(limit);
      message = "The serial number does not fit in " + std::to_string(size) + " bytes: the largest is " +
                (base == 16 ? SerialHexText(largest, size) : SerialDecimalText(largest, size)) + ".";
    }
    return false;
  }
  const SerialBytes parsed = SerialFromValue(value);
  for (int i = 0; i < MaxSize; ++i) number[static_cast<size_t>(i)] = parsed[static_cast<size_t>(i)];
  return true;
}

bool SerialAddressFromEntry(const std::string& text, int32_t& address, std::string& message) {
  const std::string digits = EntryDigits(text, 16);
  uint64_t value = 0;
  bool badDigit = false;
  if (digits.empty() || !ReadDigits(digits, 16, 0xFFFFFFFFull, value, badDigit)) {
    message = digits.empty() || badDigit ? "Enter the target address as a hexadecimal number."
                                         : "The target address does not fit in 32 bits: the largest is FFFFFFFF.";
    return false;
  }
  address = static_cast<int32_t>(static_cast<uint32_t>(value));
  return true;
}

std::string SerialAddressText(int32_t address) {
  char text[12];
  std::snprintf(text, sizeof text, "%X", static_cast<uint32_t>(address));
  return text;
}

SerialMemoryChoices SerialMemoryChoicesFor(int progType, const std::string& family, int32_t eeSize) {
  SerialMemoryChoices c;
  switch (progType) {
    case 6:
      c.eepromEnabled = eeSize >= 1;
      c.user = "User Signature Page";
      c.userVisible = c.userEnabled = family == "ATxmega AVR";
      break;
    case 9:
      c.flash = "Application Flash";
      c.eeprom = "Data Flash";
      c.eepromEnabled = true;
      c.user = "Loader Flash";
      c.userVisible = c.userEnabled = true;
      break;
    case 2:
      if (family == "ZLF645") {
        c.eeprom = "FIB3";
        c.eepromEnabled = true;
      }
      break;
    default:
      break;
  }
  return c;
}

uint8_t SelectableSerialMemory(uint8_t memory, const SerialMemoryChoices& choices) {
  switch (memory) {
    case SerialFlash: return SerialFlash;
    case SerialEeprom: return choices.eepromEnabled ? SerialEeprom : SerialOff;
    case SerialUser: return choices.userEnabled ? SerialUser : SerialOff;
    default: return SerialOff;
  }
}

SerialPlacement PlaceSerialNumber(int progType, uint8_t memory, int32_t address) {
  SerialPlacement p{memory, address};
  if (progType == 7 && memory != SerialOff) {
    uint32_t a = static_cast<uint32_t>(address) & 0x7FFFFFFFu;
    if (a >= 0x800000u) {
      a -= 0x800000u;
      p.memory = SerialEeprom;
    }
    p.address = static_cast<int32_t>(a);
  }
  return p;
}

bool SerialInsideDevice(const SerialPlacement& placement, int size, const DeviceRecord& device) {
  if (placement.memory == SerialOff) return true;
  if (size < 1 || size > MaxSize) return false;
  int64_t memorySize = 0;
  switch (placement.memory) {
    case SerialFlash: memorySize = device.DevFlashSize; break;
    case SerialEeprom: memorySize = device.DevEESize; break;
    case SerialUser: memorySize = device.DevAuxSize; break;
    default: return false;
  }
  // Every byte of the number, the last one included, lies in the memory.
  return placement.address >= 0 && static_cast<int64_t>(placement.address) + size <= memorySize;
}

std::string LastSerialText(const std::string& replyHex, int size) {
  if (replyHex.size() < 2u * MaxSize) return replyHex;
  SerialBytes n{};
  for (int i = 0; i < MaxSize; ++i) {
    const int hi = DigitValue(replyHex[static_cast<size_t>(2 * i)]);
    const int lo = DigitValue(replyHex[static_cast<size_t>(2 * i + 1)]);
    if (hi > 15 || lo > 15) return replyHex;
    n[static_cast<size_t>(i)] = static_cast<uint8_t>(hi * 16 + lo);
  }
  return SerialRefreshTexts(n, size).hex;
}

std::string LastSerialShownText(const std::string& replyHex, int size) {
  const std::string hex = LastSerialText(replyHex, size);
  if (replyHex.size() < 2u * MaxSize || hex.size() > 2u * MaxSize) return hex;   // no number: as it came
  uint64_t value = 0;
  for (char c : hex) {
    const int digit = DigitValue(c);
    if (digit > 15) return hex;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return std::to_string(value) + " (0x" + hex + ")";
}
