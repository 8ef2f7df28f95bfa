// The image being made for the selected device: its input files, its
// memories as converted, their checksums and the image's settings.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

extern std::array<std::string, 5> FileList;   // input files of the image, 0..FileCount-1
extern int FileCount;
extern std::string EEFilePath;                // second-memory file
extern std::string EEFileTitle;               // its name without folder
extern bool EepromFileChosen;

extern std::vector<uint8_t> ImageBuffer;      // main memory
extern std::vector<uint8_t> EEBuffer;         // second memory
extern std::vector<uint8_t> AuxBuffer;        // third memory
extern std::array<uint8_t, 257> ExtData;      // extended data block (types 1, 3, 8)
extern int32_t ImageTop;
extern int32_t EETop;
extern int32_t ImageChecksum;                 // 32-bit sum of the main-memory bytes placed
extern int32_t EntireImageChecksum;           // 32-bit sum of everything verified in a download
extern int32_t PSoCConfigTop;
extern bool HasSection9020;
extern bool SecondaryEnabled;

// ---- The image's settings ----
extern std::string ImageName;
extern int16_t ImageMode;
extern int16_t ImageFreq;
extern uint8_t ImageVoltage;
extern std::string EEName;

// Puts every global above back to its start value.
void ResetImageState();
