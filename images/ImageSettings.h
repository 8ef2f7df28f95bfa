// The image settings words the Load Image dialog builds from its controls:
// the mode word of each programmer type, the voltage code and the clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the dialog's controls say, as far as the mode word needs it.
struct ModeChoices {
  int modeIndex = 0;              // lstMode: 1 = "Power On"/"Run", 2 = "Reset/Run"
  bool eraseEEPROM = false;       // cbEraseEEPROM shown and checked
  bool swif = false;              // cbSWIF
  bool slowClock = false;         // cbSlowOCDClock
  bool jtag = false;              // optJTAG selected
  bool fusesFirst = false;        // cbFusesFirst
};

// The mode word of an image for the selected programmer type, family and device.
int16_t ImageModeWord(int progType, const std::string& family, int16_t devFlags, const ModeChoices& choices);

// The target voltages offered for a device: one decimal, 0.1 V apart, at most 51.
std::vector<std::string> VoltageChoices(float vMin, float vMax);
// A voltage text in units of 20 mV ("3.3" gives 165).
uint8_t VoltageCode(const std::string& text);

// The clock text after editing: KHz up to 1000, otherwise MHz up to 32.5 with
// three decimals; `mhz` is the unit shown and may change.
std::string NormalizeFrequency(const std::string& text, bool& mhz);
// The clock in KHz: the whole part of the number, times 1000 for MHz.
int16_t FrequencyKHz(const std::string& text, bool mhz);

// Mode bits a type 1 image takes from its family and device ("CapSense" +2,
// device flags bits 0 and 1 as +4 and +8); 0 on other types.
int16_t DeviceModeBits();
// AVR32 parts hold their 32-bit words in the other byte order: the main and
// second-memory images are reversed word by word before a download.
void ReverseImageWords();
