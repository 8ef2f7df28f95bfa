// The device database: the families of the selected programmer type and the
// device types of one family, read from DeviceFile whenever they are needed.
#pragma once

#include <cstdint>
#include <string>

// Rebuilds FamilyList for ProgType, then CurFamily = 0 and LoadDeviceTypes;
// false with the error recorded when the file cannot be read or a record of
// ProgType is damaged.
bool LoadDeviceFamilies();
// Reads every record of DeviceFile as LoadDeviceTypes reads those of
// ProgType; false with the error recorded (1501 "Bad Device File: " and the
// file, title and function "Load Devices") when one is damaged.
bool CheckDeviceFile();
// Rebuilds DeviceTable for FamilyList(CurFamily) and ProgType; CurDevice = 0.
void LoadDeviceTypes();
// Index of the first DeviceTable record with the device code; 0 when none has it.
int FindDeviceById(int16_t code);
// Searches the families in order for a device type of that exact name and
// makes it current (CurFamily, DeviceTable, CurDevice); false when none has it.
bool FindDeviceByName(const std::string& name);
// The same, and when no name matches exactly, the first that matches
// ignoring ASCII case ("atmega328p" finds "ATmega328P").
bool FindDeviceByNameIgnoringCase(const std::string& name);
