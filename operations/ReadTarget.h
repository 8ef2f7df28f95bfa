// Reading a target device on one port of the selected programmer into one of
// its own slots: the data never passes through the PC.
#pragma once

#include <cstdint>
#include <string>

// What a read takes besides the current device (CurFamily, CurDevice).
struct TargetReadSettings {
  int image = 1;            // slot 1..4
  int port = 1;             // target port 1..4
  std::string name;         // ImageName
  std::string secondName;   // the second memory's image name, when the mode reads it
  int16_t mode = 0;         // the mode word
  int16_t freq = 0;         // target clock in KHz
  uint8_t voltage = 0;      // target voltage in 20 mV units
};

// Reads a target into a slot with these settings. The Read Image dialog, the
// automation interface and the command line all read through it.
bool ReadTargetIntoSlot(const TargetReadSettings& settings);

// Reads the target on ReadPort into slot ImageNumber for the current device.
bool ReadTargetDeviceImage();

// Ticks between two status reads of a device read.
constexpr int ReadPollTicks = 6;
