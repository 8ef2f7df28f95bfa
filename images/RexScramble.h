// How firmware and hardware configuration files are scrambled. A REX file is
// text with CR LF line ends:
//   line 1   "R" ... two hexadecimal digits: the scramble seed
//   line 2   ":" and 8 hexadecimal digits: the file-kind word
//   line 3.. ":" and a scrambled Intel HEX record body (length, address,
//            type, data, checksum); a record of length 0 ends the data.
// Each pair of digits of a record body is XORed with Int(r * 256), r the next
// value of the generator below; the generator is reset and seeded from line 1
// before line 2 and runs on across the records in file order.
//
// The generator is the 24-bit one of the BASIC runtimes the first REX files
// were made with, so that files from those tools read the same:
//   state s, 24 bits
//   next value:     s = (s * 0xFD43FD + 0xC39EC3) mod 2^24, returned as s / 2^24
//   reset:          b = 0xBF800000 (the single-precision bits of -1.0),
//                   s = (b + (b >> 24)) mod 2^24, then one step
//   seed with n:    h = the high 32 bits of n as a double,
//                   s = (((h & 0xFFFF) << 8) XOR ((h >> 8) & 0xFFFF00)) OR (s & 0xFF0000FF)
// This file has no program state, so the writer tool builds with it alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t RexKindFirmware = 0x12925371;
constexpr uint32_t RexKindHardwareConfiguration = 0x7F6315B3;

class RexRandom {
 public:
  // The next value in [0, 1).
  double Next();
  void Reset();
  void Seed(double n);
  uint32_t State() const { return state_; }
  // The key of the next digit pair: Int(Next() * 256).
  uint8_t NextKey();

 private:
  uint32_t state_ = 0x50000;  // the runtime's start value; Reset replaces it
};

// Unscrambles (or scrambles: the XOR is its own inverse) the text after a
// record's colon in place. False when it is not pairs of hexadecimal digits;
// the generator has then moved on by the pairs before the bad one.
bool XorRexDigits(std::string& body, RexRandom& random);

// A whole REX file from records (each: address and data, at most 255 bytes),
// the kind word and the seed; the end record is added.
struct RexRecord {
  uint16_t address = 0;
  std::vector<uint8_t> data;
};
std::string WriteRexText(const std::vector<RexRecord>& records, uint32_t kindWord, uint8_t seed);
