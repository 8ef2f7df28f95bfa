// Conversion of the image's input files into the memory images of the
// selected device: the general loader for most families, and the family
// loaders for files that carry several memories in address sections.
#pragma once

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
