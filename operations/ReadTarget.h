// Reading a target device on one port of the selected programmer into one of
// its own slots: the data never passes through the PC.
#pragma once

#include <cstdint>
#include <string>

// Reads the target on ReadPort into slot ImageNumber for the current device.
bool ReadTargetDeviceImage();

// Ticks between two status reads of a device read.
constexpr int ReadPollTicks = 6;
