// Loading an image into a slot from its build files: conversion for the
// current device (CurFamily, CurDevice), the second-memory file, the word
// order of the programmer type, the image settings and the verified download.
// The Load Image dialog, the automation interface and the command line all
// load through it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/SerialRecord.h"
#include "options/OptionBits.h"

struct ImageLoadSettings {
  int image = 1;                          // slot 1..4
  std::vector<std::string> files;         // one to four build files of the main memory (images/BuildFile.h)
  std::string secondFile;                 // a build file of the second memory, or none
  std::string secondName;                 // the second-memory image's name, with a file
  // Without a second file: keep the second memory the conversion found or
  // the caller prepared in EEBuffer, or send none.
  bool keepSecondMemory = true;
  // Option bytes chosen for the image, written over what the files gave
  // (none when empty); where they go depends on the kind.
  OptionBitsKind optionKind = OptionBitsKind::None;
  std::vector<uint8_t> optionBytes;
  std::string name;                       // ImageName
  // The mode word, built once the conversion has shown which memories go along.
  std::function<int16_t()> modeWord;
  int16_t freq = 0;                       // target clock in KHz
  uint8_t voltage = 0;                    // target voltage in 20 mV units
  bool readProtect = false;
  int32_t count = -1;                     // -1: no limit
  bool writeSerialization = true;         // the slot's serialization record follows the image
  // The record it gets; without one the serialization settings (SerialMemory
  // ... SerialNumber), which then keep where the number was placed.
  std::optional<SerialRecord> serialRecord;
};

// The conversion a load makes before anything is sent: the files into
// ImageBuffer (and EEBuffer), the chosen option bytes over them, then the
// word order of the programmer type. Sets FileChecksum; uses no line.
bool ConvertImageForLoad(const ImageLoadSettings& settings);

// Converts and downloads; FileChecksum and EntireImageChecksum tell the sums.
// False with the last-error record set; a failed conversion writes nothing.
// CancelRequest set while it runs stops the download between two blocks
// (error 1522, see LoadNewDeviceImage).
bool LoadImageFromFiles(const ImageLoadSettings& settings);

// What the Load Image dialog says when the operator cancelled the download.
constexpr const char* LoadCancelledText = "Image Load Cancelled";

// The question asked before an image goes into a slot that holds one:
// "Image 2 holds "Read back p1".", then "Replace the stored image?".
std::string ReplaceImageQuestion(int slot);
