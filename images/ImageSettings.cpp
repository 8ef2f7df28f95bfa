#include "images/ImageSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "options/FuseState.h"
#include "platform/Bytes.h"
#include "platform/NumberText.h"
#include "programmers/UnitState.h"

int16_t ImageModeWord(int progType, const std::string& family, int16_t devFlags, const ModeChoices& c) {
  int mode = c.modeIndex == 1 ? 1 : 0;
  switch (progType) {
    case 1:
    case 8:
      if (family == "CapSense") mode += 2;
      if (devFlags & 1) mode += 4;
      if (devFlags & 2) mode += 8;
      if (c.eraseEEPROM) mode += 16;
      if (c.swif) mode += 32;
      if (c.modeIndex == 2) mode += 64;
      break;
    case 2:
      if (c.slowClock) mode += 2;
      if (SecondaryEnabled) mode += 4;
      break;
    case 6:
      if (SecondaryEnabled) mode += 2;
      if (c.jtag) mode += 4;
      if (c.fusesFirst) mode += 8;
      if (JtagIdCheck) mode += 16;
      if (c.slowClock && !c.jtag) mode += 32;
      break;
    case 7:
      if (SecondaryEnabled) mode += 2;
      if (AVR32SecurityF) mode += 4;
      break;
    default:
      break;
  }
  return static_cast<int16_t>(mode);
}

std::vector<std::string> VoltageChoices(float vMin, float vMax) {
  std::vector<std::string> choices;
  // Stepped in single precision, as the list has always been built.
  for (float v = vMin; v <= vMax && choices.size() < 51; v += 0.1f) choices.push_back(FormatFixed(v, 1));
  return choices;
}

uint8_t VoltageCode(const std::string& text) {
  const int64_t code = RoundHalfEven(Val(text) / 0.02);
  return static_cast<uint8_t>(code < 0 ? 0 : code > 255 ? 255 : code);
}

std::string NormalizeFrequency(const std::string& text, bool& mhz) {
  double f = Val(text);
  if (!std::isfinite(f) || f < 0) f = 0;
  if (!mhz) {
    if (f <= 1000) return std::to_string(static_cast<int64_t>(f));
    f /= 1000;
    mhz = true;
  }
  if (f > 32.5) f = 32.5;
  return FormatFixed(f, 3);
}

int16_t FrequencyKHz(const std::string& text, bool mhz) {
  double f = Val(text);
  if (!std::isfinite(f) || f < 0) f = 0;
  // Whole units of what the box shows: megahertz are counted whole, then made KHz.
  const double khz = std::floor(f) * (mhz ? 1000 : 1);
  return static_cast<int16_t>(khz > 32767 ? 32767 : khz);
}

int16_t DeviceModeBits() {
  if (ProgType != 1) return 0;
  const DeviceRecord& device = DeviceTable[std::max(CurDevice, 0)];
  int bits = 0;
  if (FamilyList[CurFamily] == "CapSense") bits += 2;
  if (device.DevFlags & 1) bits += 4;
  if (device.DevFlags & 2) bits += 8;
  return static_cast<int16_t>(bits);
}

void ReverseImageWords() {
  const DeviceRecord& device = DeviceTable[std::max(CurDevice, 0)];
  SwapBytes32(ImageBuffer, static_cast<int64_t>(device.DevFlashSize) - 1);
  SwapBytes32(EEBuffer, static_cast<int64_t>(device.DevEESize) - 1);
}
