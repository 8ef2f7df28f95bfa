// The device database of the selected programmer's type: its families and
// the devices of the chosen family.
#pragma once

#include <array>
#include <cstdint>
#include <string>

constexpr int MaxFamilies = 512;
constexpr int MaxDeviceTypes = 512;
struct DeviceRecord {
  std::string DevName;
  int32_t DevFlashSize = 0;
  uint8_t DevBlank = 0;
  int16_t DevId = 0;
  std::string DevFileType;
  float DevVMin = 0;
  float DevVMax = 0;
  int16_t DevFlags = 0;
  int32_t DevEESize = 0;
  int32_t DevAuxSize = 0;
};
extern std::string DeviceFile;
extern std::array<std::string, MaxFamilies + 1> FamilyList;    // "" ends the list
extern int CurFamily;
extern std::array<DeviceRecord, MaxDeviceTypes + 1> DeviceTable;   // empty DevName ends the table
extern int CurDevice;

// Puts every global above back to its start value.
void ResetDeviceState();
