// Global program state shared by every subsystem. It lives for the whole run;
// windows, dialogs and operations read and write it directly. Each global's
// start value is in ProgramState.def.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class SerialPort;
class EventLoop;
class SettingsStore;
class MessageBoxes;
class MainWindowView;
class ImageManagerView;
class ProgramManagerView;
class SoundPlayer;
class DocumentOpener;
class FileDialogs;
class LoadImageView;
class ReadImageView;
class TextLineReader;

// ---- Platform objects (bound by the program's start-up) ----
extern SerialPort* MSComm1;        // the serial port of the main window
extern EventLoop* Events;          // lets pending user-interface events run inside a wait
extern SettingsStore* Settings;    // per-user settings store
extern MessageBoxes* MessageBox;   // message boxes
extern MainWindowView* frmMain;    // what operations show in the main window
extern ImageManagerView* frmImageMan;   // the image manager window; null while it is closed
extern ProgramManagerView* frmProgram;  // the programming manager window; null while it is closed
extern SoundPlayer* Sound;          // asynchronous wave playback
extern DocumentOpener* Documents;  // opens help documents with the system's viewer
extern FileDialogs* FileDial1;     // file-open and file-save dialogs
extern LoadImageView* frmLoadImage;   // the Load Image dialog; null while it is closed
extern ReadImageView* frmReadImage;   // the Read Image dialog; null while it is closed

// ---- Transport ----
constexpr int RxBufferSize = 265;
extern uint8_t CurrentAddress;     // bus address written into every command frame
extern int32_t TickCount;          // advanced by one every 50 ms by Timer1
extern std::array<uint8_t, RxBufferSize> RxBuffer;   // payload of the last reply
extern int16_t RxCount;
extern uint8_t RxAddress;
extern bool ReplyComplete;
extern int16_t RxState;
// Why the line to the programmers is lost (the port vanished, the selected
// programmer stopped answering); "" while it works or nothing was tried.
extern std::string LineLostText;

// ---- Last-error record ----
extern int32_t LastErrorNumber;
extern std::string LastErrorText;
extern std::string LastErrorSource;
extern std::string LastFunction;
extern std::string ErrorTitle;
// Beside the record, for the person reading the report: what the failed step
// tried (port and device path, address, file and line) and what to do about it.
extern std::string LastErrorTried;
extern std::string LastErrorAdvice;

// The pending error: cleared when a command starts, raised when something fails.
// Raising does not unwind the caller; the caller goes on to its own exit path.
struct ErrorObject {
  int32_t Number = 0;
  std::string Source;
  std::string Description;
  std::string Tried;     // what was tried, when the raiser knows it
  std::string Subject;   // the device path or file the advice names
};
extern ErrorObject Err;

// The last-error record and the pending error as they stood when this was
// made; Restore() puts them back. Work done on the side (a refresh after an
// operation, events inside a wait) must not change an operation's outcome.
struct ErrorRecordCopy {
  ErrorRecordCopy();
  void Restore() const;

 private:
  int32_t number_;
  std::string text_, source_, function_, title_, tried_, advice_;
  ErrorObject pending_;
};

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

// ---- Program's directory ----
extern std::string AppPath;        // folder of the delivered data files

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
extern int16_t SecurityWord;
extern std::array<uint8_t, 2> SecurityCrc;
extern bool SecurityValid;
// The last read found the block's CRC wrong (and no write has sealed it since):
// every slot then counts as read protected.
extern bool SecurityDamaged;

// ---- Image directory of the selected programmer ----
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

// ---- Device database ----
constexpr int MaxFamilies = 512;
constexpr int MaxDeviceTypes = 512;
struct DeviceRecord {
  std::string DevName;
  int32_t DevFlashSize = 0;
  uint8_t DevBlank = 0;
  int16_t DevId = 0;
  std::string DevFileType;
  float DevVMin = 0;
  float DevVMax = 0;
  int16_t DevFlags = 0;
  int32_t DevEESize = 0;
  int32_t DevAuxSize = 0;
};
extern std::string DeviceFile;
extern std::array<std::string, MaxFamilies + 1> FamilyList;    // "" ends the list
extern int CurFamily;
extern std::array<DeviceRecord, MaxDeviceTypes + 1> DeviceTable;   // empty DevName ends the table
extern int CurDevice;

// ---- Memory images and their conversion ----
extern std::array<std::string, 5> FileList;   // input files of the image, 0..FileCount-1
extern int FileCount;
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
extern int32_t RecCount;
extern int32_t ByteCount;
// The current record of the family loaders.
extern int16_t RecLen;
extern int32_t RecAddr;
extern int16_t RecType;
extern std::array<uint8_t, 129> RecData;
extern TextLineReader* CurrentFile;   // the file the family loaders are reading; null between loads
// When a long conversion last let window events run; unset until the first time.
extern std::chrono::steady_clock::time_point LastBreathTime;

// ---- Image files and projects ----
extern std::string EEFilePath;                // second-memory file
extern std::string EEFileTitle;               // its name without folder
extern bool EepromFileChosen;
extern std::string ProjectFile;
extern std::string ProjName;
extern std::string ProjFamily;
extern std::string ProjDevice;
extern uint8_t ProjMode;
extern int16_t ProjFreq;
extern float ProjVoltage;                     // volts
extern uint8_t ProjOsccalOpt;
extern int32_t ProjOsccalAddress;
extern std::array<uint8_t, 9> ProjFuses;
extern bool ProjAVR32Security;
extern bool ProjJtagId;
extern int32_t ProjJtagPart;
extern int32_t ProjJtagVersion;
extern bool ProjectLoaded;
extern bool OpenProjectRequest;
extern int32_t FileChecksum;

// ---- Current image settings ----
extern std::string ImageName;
extern int16_t ImageMode;
extern int16_t ImageFreq;
extern uint8_t ImageVoltage;
extern std::string EEName;

// ---- Device options carried with the image ----
extern std::array<uint8_t, 16> FuseValues;
extern int NumFuseBytes;

// The fuse model of the selected device, read from its fuse definition file.
constexpr int MaxFuseBytes = 8;      // the options dialog shows eight bytes at most
constexpr int MaxFuseFields = 9;     // bit fields of one byte
constexpr int MaxFuseOptions = 257;  // settings of one field
struct FuseFieldDef {
  std::string Name;
  std::string Text;
  uint8_t Mask = 0;                  // the bits of the byte the field occupies
  uint8_t Default = 0;               // its default bits, in place
  int16_t NumOptions = 0;
  std::array<std::string, MaxFuseOptions> OptionText{};
  std::array<uint8_t, MaxFuseOptions> OptionValue{};   // bits in place, compared with the value masked
};
struct FuseByteDef {
  std::string Name;
  int16_t NumFields = 0;
  std::array<FuseFieldDef, MaxFuseFields> Fields{};
};
extern std::vector<FuseByteDef> FuseDefs;   // 0..NumFuseBytes
extern uint8_t OsccalMask;                  // calibration values offered: bits 3..0 8, 4, 2, 1 MHz; 16 one unnamed
extern bool HasOsccal;
// The fuse byte and bit field the options window is editing (-1: none).
extern int CurByte;
extern int CurField;
// The fuse file being read: the last record's five fields and its number.
extern std::array<std::string, 5> FuseTokens;
extern int32_t FuseLineNo;
extern uint8_t OsccalOpt;
extern int32_t OsccalAddress;
extern bool AVR32SecurityF;
extern bool JtagIdCheck;
extern int32_t JtagPart;
extern int32_t JtagVersion;

// ---- Automation ----
extern bool DdeEnabled;            // while the automation window is loaded
extern bool ImageProtectFlag;      // handed to the next image download
extern int32_t ImageCountLimit;    // -1: no limit

// ---- Windows ----
extern bool ImageManOpen;          // the image manager window is loaded

// ---- Programming runs ----
extern bool CancelRequest;         // set by Cancel; a run stops at its next wait step, a download before its next block
extern uint8_t SavedAddress;       // CurrentAddress when array programming opened; given back when it ends

// ---- Current image settings used by the commands ----
extern int ImageNumber;            // image slot 1..4
extern int ReadPort;               // target port 1..4 of a device read

// ---- Serialization record ----
extern uint8_t SerialMemory;
extern uint8_t SerialFormat;
extern int32_t SerialAddress;
extern std::array<uint8_t, 7> SerialNumber;   // little-endian, byte 0 least significant
extern std::array<std::string, 4> LastSerials;   // last serial number written per port, as hex text
// The serialization dialog may change the target address, size and byte order
// (a new image); cleared when it only shows a stored image's settings.
extern bool SerialEditable;

// ---- Run log ----
extern std::string RunLogFolder;   // where the run log's monthly files go; empty: no log
extern bool RunLogReported;        // a failed write was reported; later ones stay quiet
extern std::string RunLogLost;     // "FOLDER: REASON" of the first record lost; empty: none
extern bool RunLogTried;           // records were appended (or lost) since the start
extern std::array<bool, 4> RunPortsDone;   // ports that ended "Done" in the last program run

// Puts every global above back to its start value; the platform objects
// become null. Each test starts from it.
void ResetProgramState();
