// Conversion of the image's input files into the memory images of the
// selected device: the general loader for most families, and the family
// loaders for files that carry several memories in address sections.
#pragma once

#include <array>
#include <cstdint>

// Sizes ImageBuffer and converts FileList with the loader of the family.
bool ConvertImageFiles();

// The next record of the file being read, into RecLen, RecAddr, RecType, RecData.
bool ReadHexRecord();

bool LoadPSoC3Hex();
bool LoadPSoCHex();
bool LoadAVR32Hex();
bool LoadNuvotonHex();

// Buffer sizes of the section families.
constexpr int PSoC3BufferTop = 160000;
constexpr int PSoCBufferTop = 0x50000;

// The family loaders' counts, their current record and the file being read
// (null between loads).
class TextLineReader;
extern int32_t RecCount;
extern int32_t ByteCount;
extern int16_t RecLen;
extern int32_t RecAddr;
extern int16_t RecType;
extern std::array<uint8_t, 129> RecData;
extern TextLineReader* CurrentFile;
// Puts the globals above back to their start values.
void ResetLoaderState();
