// The serial number arithmetic: a 48-bit little-endian number in bytes 0..5
// of a byte array, multiplied, added to and divided by single bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>

using SerialBytes = std::array<uint8_t, 7>;

// n × m; True when nothing carried out of byte 5.
bool SerialMulByte(SerialBytes& n, uint8_t m);
// n + a; True when the final carry is 0.
bool SerialAddByte(SerialBytes& n, uint8_t a);
// n / d in place; returns the remainder.
uint8_t SerialDivByte(SerialBytes& n, uint8_t d);

std::string RemoveChars(const std::string& s, const std::string& set);
std::string KeepChars(const std::string& s, const std::string& set);
std::string BytesToHex(const uint8_t* bytes, int start, int count);

// The number from typed text: blanks removed, only the digits of the base kept.
SerialBytes SerialFromText(const std::string& text, int base);
// The first `size` bytes as 2 × size hexadecimal or (size × 5) / 2 decimal digits, leading zeros kept.
std::string SerialHexText(const SerialBytes& n, int size);
std::string SerialDecimalText(const SerialBytes& n, int size);
