// The device options carried with the image: the fuse model of the selected
// device, the fuse values, the calibration value and the JTAG and security
// settings.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

extern std::array<uint8_t, 16> FuseValues;
extern int NumFuseBytes;

// The fuse model of the selected device, read from its fuse definition file.
constexpr int MaxFuseBytes = 8;      // the options dialog shows eight bytes at most
constexpr int MaxFuseFields = 9;     // bit fields of one byte
constexpr int MaxFuseOptions = 257;  // settings of one field
struct FuseFieldDef {
  std::string Name;
  std::string Text;
  uint8_t Mask = 0;                  // the bits of the byte the field occupies
  uint8_t Default = 0;               // its default bits, in place
  int16_t NumOptions = 0;
  std::array<std::string, MaxFuseOptions> OptionText{};
  std::array<uint8_t, MaxFuseOptions> OptionValue{};   // bits in place, compared with the value masked
};
struct FuseByteDef {
  std::string Name;
  int16_t NumFields = 0;
  std::array<FuseFieldDef, MaxFuseFields> Fields{};
};
extern std::vector<FuseByteDef> FuseDefs;   // 0..NumFuseBytes
extern uint8_t OsccalMask;                  // calibration values offered: bits 3..0 8, 4, 2, 1 MHz; 16 one unnamed
extern bool HasOsccal;
// The fuse byte and bit field the options window is editing (-1: none).
extern int CurByte;
extern int CurField;
extern uint8_t OsccalOpt;
extern int32_t OsccalAddress;
extern bool AVR32SecurityF;
extern bool JtagIdCheck;
extern int32_t JtagPart;
extern int32_t JtagVersion;

// Puts every global above back to its start value.
void ResetFuseState();
