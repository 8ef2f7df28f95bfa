// Global program state shared by every subsystem. It lives for the whole run;
// windows, dialogs and operations read and write it directly.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class SerialPort;
class EventLoop;
class SettingsStore;
class MessageBoxes;
class MainWindowView;

// ---- Platform objects (bound by the program's start-up) ----
extern SerialPort* MSComm1;        // the serial port of the main window
extern EventLoop* Events;          // lets pending user-interface events run inside a wait
extern SettingsStore* Settings;    // per-user settings store
extern MessageBoxes* MessageBox;   // message boxes
extern MainWindowView* frmMain;    // what operations show in the main window

// ---- Transport ----
constexpr int RxBufferSize = 265;
extern uint8_t CurrentAddress;     // bus address written into every command frame
extern int32_t TickCount;          // advanced by one every 50 ms by Timer1
extern std::array<uint8_t, RxBufferSize> RxBuffer;   // payload of the last reply
extern int16_t RxCount;
extern uint8_t RxAddress;
extern bool ReplyComplete;
extern int16_t RxState;

// ---- Last-error record ----
extern int32_t LastErrorNumber;
extern std::string LastErrorText;
extern std::string LastErrorSource;
extern std::string LastFunction;
extern std::string ErrorTitle;

// The pending error: cleared when a command starts, raised when something fails.
// Raising does not unwind the caller; the caller goes on to its own exit path.
struct ErrorObject {
  int32_t Number = 0;
  std::string Source;
  std::string Description;
};
extern ErrorObject Err;

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

// ---- Selected programmer ----
extern uint8_t ProgType;
extern bool SerialSupported;

// ---- Current image settings used by the commands ----
extern int ImageNumber;            // image slot 1..4
extern int ReadPort;               // target port 1..4 of a device read

// ---- Serialization record ----
extern uint8_t SerialMemory;
extern uint8_t SerialFormat;
extern int32_t SerialAddress;
extern std::array<uint8_t, 7> SerialNumber;   // little-endian, byte 0 least significant
extern std::array<std::string, 4> LastSerials;   // last serial number written per port, as hex text
