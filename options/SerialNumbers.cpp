#include "options/SerialNumbers.h"

#include <cstdio>

namespace {
constexpr int NumberBytes = 6;

SerialBytes FirstBytes(const SerialBytes& n, int size) {
  SerialBytes copy{};
  for (int i = 0; i < size && i < NumberBytes; ++i) copy[i] = n[i];
  return copy;
}

std::string Digits(SerialBytes n, int count, uint8_t base) {
  static const char Symbols[] = "0123456789ABCDEF";
  std::string text(static_cast<size_t>(count), '0');
  for (int i = count - 1; i >= 0; --i) text[static_cast<size_t>(i)] = Symbols[SerialDivByte(n, base)];
  return text;
}
}  // namespace

bool SerialMulByte(SerialBytes& n, uint8_t m) {
  unsigned carry = 0, t = 0;
  for (int i = 0; i < NumberBytes; ++i) {
    t = n[i] * m + carry;
    n[i] = static_cast<uint8_t>(t % 256);
    carry = t / 256;
  }
  return t == 0;
}

bool SerialAddByte(SerialBytes& n, uint8_t a) {
  unsigned carry = a;
  for (int i = 0; i < NumberBytes; ++i) {
    const unsigned t = n[i] + carry;
    n[i] = static_cast<uint8_t>(t % 256);
    carry = t / 256;
  }
  return carry == 0;
}

uint8_t SerialDivByte(SerialBytes& n, uint8_t d) {
  if (d == 0) return 0;
  unsigned r = 0;
  for (int i = NumberBytes - 1; i >= 0; --i) {
    r = r * 256 + n[i];
    n[i] = static_cast<uint8_t>(r / d);
    r -= n[i] * d;
  }
  return static_cast<uint8_t>(r);
}

std::string RemoveChars(const std::string& s, const std::string& set) {
  std::string out;
  for (char c : s) {
    if (set.find(c) == std::string::npos) out += c;
  }
  return out;
}

std::string KeepChars(const std::string& s, const std::string& set) {
  std::string out;
  for (char c : s) {
    if (set.find(c) != std::string::npos) out += c;
  }
  return out;
}

std::string BytesToHex(const uint8_t* bytes, int start, int count) {
  std::string text;
  char pair[3];
  for (int i = start; i < start + count; ++i) {
    std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
    text += pair;
  }
  return text;
}

SerialBytes SerialFromText(const std::string& text, int base) {
  const std::string digits =
      KeepChars(RemoveChars(text, " "), base == 16 ? "0123456789abcdefABCDEF" : "0123456789");
  SerialBytes n{};
  for (char c : digits) {
    const int value = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    SerialMulByte(n, static_cast<uint8_t>(base));
    SerialAddByte(n, static_cast<uint8_t>(value));
  }
  return n;
}

std::string SerialHexText(const SerialBytes& n, int size) { return Digits(FirstBytes(n, size), 2 * size, 16); }

std::string SerialDecimalText(const SerialBytes& n, int size) { return Digits(FirstBytes(n, size), size * 5 / 2, 10); }
