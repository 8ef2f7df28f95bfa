// Frame bytes, command codes, time-outs and error numbers of the programmer link.
#pragma once

#include <cstdint>

#include "platform/FileErrors.h"

constexpr uint8_t ESC = 0x1B;
constexpr uint8_t FrameStart = 0x53;   // 'S'
constexpr uint8_t FrameEnd = 0x45;     // 'E'
constexpr uint8_t ResponseFlag = 0x80; // response ID = command code + 0x80

enum CommandCode : uint8_t {
  CmdFwRev = 0x00,
  CmdWriteFlash = 0x01,
  CmdReadFlash = 0x02,
  CmdCrcFlash = 0x03,
  CmdProgram = 0x04,
  CmdGetStatus = 0x05,
  CmdCancelProgramming = 0x06,
  CmdPortsEnable = 0x07,
  CmdReadDevice = 0x0A,
  CmdVerify = 0x0B,
  CmdWriteSerialization = 0x0C,
  CmdReadSerialization = 0x0D,
  CmdGetLastSerials = 0x0E,
  CmdConfigureProgrammer = 0x7D,
  CmdLoadFirmware = 0x7E,
  CmdUnlockFlash = 0x7F,
};

// Largest data block of one WriteFlash/ReadFlash frame.
constexpr int FlashBlockSize = 256;
// ReadFlash status that still carries good data.
constexpr uint8_t ReadFlashStatusAccepted = 9;

// Time-outs in 50 ms ticks.
constexpr int TimeoutFwRev = 3;
constexpr int TimeoutFlashBlock = 5;
constexpr int TimeoutStartRun = 60;
constexpr int TimeoutShort = 10;

// Error numbers of the link and the operations.
constexpr int32_t ErrFlashStatusBase = 1000;
constexpr int32_t ErrNoResponse = 1500;
constexpr int32_t ErrAddressRange = 1502;
constexpr int32_t ErrWrongAddress = 1503;
constexpr int32_t ErrWrongResponseId = 1504;
constexpr int32_t ErrReadVerify = 1505;
constexpr int32_t ErrImageRange = 1507;
constexpr int32_t ErrNoProgrammers = 1508;
constexpr int32_t ErrDeviceRead = 1509;
constexpr int32_t ErrChecksum = 1510;
constexpr int32_t ErrNoneSelected = 1606;  // an operation needs a selected programmer
constexpr int32_t ErrLineBusy = 1514;   // another operation is using the line
constexpr const char* LineBusyText = "Programmer Line Busy with Another Operation";
constexpr int32_t ErrDialogCancelled = 32755;
// The operator's Cancel stopped a transfer between two blocks: no fault of the line.
constexpr int32_t ErrCancelled = 1522;
constexpr const char* CancelledText = "Cancelled by the Operator";
