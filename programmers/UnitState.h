// The programmers found on the line and the selected one: its type and
// firmware, the layout of its flash, its security block and image directory,
// and the image slot chosen on it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// ---- Programmer table ----
constexpr int MaxProgrammers = 16;
struct ProgrammerRecord {
  uint8_t Address = 0;
  uint8_t ProgType = 0;
  uint8_t NumImages = 0;
  int32_t SlotSize = 0;
  std::string FwRevision;
};
extern std::array<ProgrammerRecord, MaxProgrammers + 1> ProgrammerTable;   // 1..16 used
extern int ProgCount;              // number of items in the programmer list
extern int SelectedProgrammer;     // index into ProgrammerTable, 0 = none
extern std::array<std::string, MaxProgrammers + 1> ProgSettings;  // line settings by bus address
extern std::array<uint8_t, 32> ConfigBlock;

// ---- Programmer types (one table per firmware generation) ----
struct ProgTypeInfo {
  std::string TypeName;
  std::string FirmwareFile;
  float LatestRevision = 0;
  std::array<std::string, 5> HwcFiles;
  std::string VectorFile;
  std::string VectorFile2;
};
extern std::array<ProgTypeInfo, 6> TypeTableV1;    // 1..5
extern std::array<ProgTypeInfo, 11> TypeTableV2;   // 0..10
extern std::array<ProgTypeInfo, 26> TypeTableV3;   // 0..25

// ---- Selected programmer ----
extern uint8_t ProgType;
extern std::string ProgTypeName;
extern std::string FirmwareFileName;
extern float LatestFwRev;
extern std::array<std::string, 5> HwcFileNames;
extern std::string VectorFileName;
extern std::string VectorFileName2;
extern bool FwGen2;
extern bool FwGen3;
extern std::string SecondaryName;
extern std::string CurrentPicture;   // picture key of the selected programmer's type
extern std::array<std::string, 11> StartModeNames;
extern bool SerialSupported;
// Selection found the firmware area unlike the size and CRC its last upgrade recorded.
extern bool FirmwareIncomplete;

// Layout of the selected programmer's flash.
struct FlashMapInfo {
  int32_t ImageBase = 0;
  int32_t ImageSlotSize = 0;
  int32_t EEBase = 0;
  int32_t EESlotSize = 0;
  int32_t PageMapBase = 0;
  int32_t PageMapSize = 0;
  int32_t FirmwareBase = 0;
  int32_t FirmwareSize = 0;
  std::array<int32_t, 5> HwcBase{};
  std::array<int32_t, 5> HwcSize{};
  int32_t VectorBase = 0;
  int32_t VectorSize = 0;
  int32_t EENameBase = 0;
  int32_t Vector2Base = 0;
  int32_t Vector2Size = 0;
};
extern FlashMapInfo FlashMap;

// ---- Security block ----
struct ImageSecurityEntry {
  int32_t Count = -1;   // -1: no limit
  uint8_t Flags = 0;    // bit 0: read protected
  uint8_t Spare1 = 0;
  uint8_t Spare2 = 0;
};
constexpr int MaxImageSlots = 4;
extern std::array<ImageSecurityEntry, MaxImageSlots> ImageSecurity;
// The last read found the block's CRC wrong (and no write has sealed it since):
// every slot then counts as read protected.
extern bool SecurityDamaged;

// ---- Image directory ----
struct DirEntry {
  int32_t Size = 0;              // below 1: the slot is empty
  std::array<uint8_t, 2> ImageCrc{};
  int16_t DevCode = 0;
  uint8_t Voltage = 0;
  std::array<uint8_t, 21> Name{};
  uint8_t Mode = 0;
  uint8_t Family = 0;
  int16_t Freq = 0;
};
extern std::vector<DirEntry> ImageDirectory;                 // 1..NumImages used
extern std::array<std::string, MaxImageSlots + 1> EEImageName;   // 1..4

// The image manager's grid: row 0 is the header, row n image slot n.
struct GridModel {
  int Rows = 0;
  int Cols = 0;
  int Row = 0;                   // current row
  std::vector<std::string> Cells;
  void Resize(int rows, int cols) {
    Rows = rows;
    Cols = cols;
    Cells.assign(static_cast<size_t>(rows) * cols, "");
  }
  std::string& TextMatrix(int row, int col) { return Cells[static_cast<size_t>(row) * Cols + col]; }
  const std::string& TextMatrix(int row, int col) const { return Cells[static_cast<size_t>(row) * Cols + col]; }
};
extern GridModel fgImages;

extern int ImageNumber;            // image slot 1..4 the commands act on

// Puts every global above back to its start value.
void ResetUnitState();
