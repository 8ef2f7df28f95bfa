// Command codes and reply status bytes of the programmer line. A reply's
// first byte is the command code + 0x80, its second the status.
#pragma once

#include <cstdint>

namespace vrxsim {

enum Command : uint8_t {
  kFwRev = 0x00,
  kWriteFlash = 0x01,
  kReadFlash = 0x02,
  kCrcFlash = 0x03,
  kProgram = 0x04,
  kGetStatus = 0x05,
  kCancelProgramming = 0x06,
  kPortsEnable = 0x07,
  kReadDevice = 0x0A,
  kVerify = 0x0B,
  kWriteSerialization = 0x0C,
  kReadSerialization = 0x0D,
  kGetLastSerials = 0x0E,
  kConfigureProgrammer = 0x7D,
  kLoadFirmware = 0x7E,
  kUnlockFlash = 0x7F,
};

enum Status : uint8_t {
  kOk = 0,
  kMissingParameter = 1,
  kBadParameter = 2,
  kFlashWriteError = 3,
  kBadCommand = 4,
  kProgrammerBusy = 5,
  kInvalidImage = 6,
  kImageEmpty = 7,
  kCrcFail = 8,
};

constexpr uint8_t kReplyIdOffset = 0x80;
constexpr uint16_t kMaxBlock = 256;  // largest WriteFlash/ReadFlash block

}  // namespace vrxsim
