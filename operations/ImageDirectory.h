// The directory of the images stored in the selected programmer, and the
// image manager's grid that shows it.
#pragma once

#include <cstdint>
#include <string>

#include "programmers/UnitState.h"

constexpr int DirectoryAddress = 0x40;
constexpr int DirEntryBytes = 32;
constexpr int ImageNameLength = 20;

// Grid columns other windows read by number.
enum ImageGridColumn {
  ColImage = 0, ColReadProtect = 1, ColRemaining = 2, ColName = 3, ColFamily = 4,
  ColDeviceType = 5, ColVoltage = 6, ColMode = 7, ColClock = 8, ColSecondImage = 9,
};

// Reads the security block and the directory, and fills fgImages. A block
// whose CRC is wrong is written anew when no slot holds an image; otherwise it
// is kept, every slot shows protected, and the status bar says so. Shows its own error report on failure.
void ShowImageDirectory();
// The same after an operation changed a slot, leaving the operation's
// outcome in the last-error record as it was.
void RefreshImageDirectory();

// One directory entry from its 32 bytes.
DirEntry DecodeDirEntry(const uint8_t* bytes);
// The texts of the grid's Mode and clock columns for the selected programmer type.
std::string ModeText(const DirEntry& entry, int16_t devFlags, const std::string& family);
std::string ClockText(int16_t freq, bool typeTwo);

// Image slots the program keeps security and directory entries for.
int SlotCount();
// The slot of the selected programmer holds an image, as its directory was
// last read (a size of 0 reads as an empty slot).
bool SlotHoldsImage(int slot);
// The name stored with the slot's image without its padding; "" for an empty slot.
std::string SlotImageName(int slot);
