#include "link/Commands.h"

#include <algorithm>
#include <cstdio>

#include "link/CommDefs.h"
#include "link/CommandFrame.h"
#include "link/ErrorRecord.h"
#include "link/Frame.h"
#include "link/Transport.h"
#include "platform/NumberText.h"
#include "state/ErrorState.h"

namespace {
const CommandInfo InfoFwRev{CmdFwRev, TimeoutFwRev, "FwRev", "VRX FwRev"};
const CommandInfo InfoProgram{CmdProgram, TimeoutStartRun, "Program", "Program"};
const CommandInfo InfoGetStatus{CmdGetStatus, TimeoutShort, "Get Status", "Get Status"};
const CommandInfo InfoCancel{CmdCancelProgramming, TimeoutShort, "Cancel Programming", "Cancel Programming"};
const CommandInfo InfoPortsEnable{CmdPortsEnable, TimeoutShort, "Ports Enable / Disable", "Program"};
const CommandInfo InfoReadDevice{CmdReadDevice, TimeoutStartRun, "Read Device", "Read Device"};
const CommandInfo InfoVerify{CmdVerify, TimeoutStartRun, "Verify", "Verify"};
const CommandInfo InfoWriteSerialization{CmdWriteSerialization, TimeoutShort, "Write Serialization",
                                         "Write Serialization Data"};
const CommandInfo InfoReadSerialization{CmdReadSerialization, TimeoutShort, "Get Status", "ReadSerialization"};
const CommandInfo InfoGetLastSerials{CmdGetLastSerials, TimeoutShort, "Get Status", "GetLastSerials"};
const CommandInfo InfoConfigure{CmdConfigureProgrammer, TimeoutShort, "Configure Programmer",
                                "Configure Programmer"};
const CommandInfo InfoLoadFirmware{CmdLoadFirmware, TimeoutStartRun, "Load Firmware", "Load Firmware"};
const CommandInfo InfoUnlock{CmdUnlockFlash, TimeoutFlashBlock, "Unlock Flash", "Unlock Flash"};

// The frame every single-frame command shares; reply data is then in RxBuffer from 2 on.
bool RunCommand(const CommandInfo& info, std::vector<uint8_t> payload, int replyData = 0) {
  Err = ErrorObject{};
  LastFunction = info.name;
  payload.insert(payload.begin(), info.code);
  if (ReopenVanishedPort()) ExchangeCommand(info, payload, replyData);
  CaptureError();
  return LastErrorNumber == 0;
}

uint8_t ZeroBased(int oneBased) { return static_cast<uint8_t>(oneBased - 1); }
}  // namespace

bool UnlockFlash() { return RunCommand(InfoUnlock, {}); }
bool LoadFirmware() { return RunCommand(InfoLoadFirmware, {}); }
bool ConfigureProgrammer() { return RunCommand(InfoConfigure, {}); }
bool CancelProgramming() { return RunCommand(InfoCancel, {}); }

bool FwRev(std::string& revision) {
  if (!RunCommand(InfoFwRev, {}, 2)) return false;
  char text[16];
  std::snprintf(text, sizeof text, "%d.%03d", RxBuffer[3], RxBuffer[2]);
  revision = text;
  return true;
}

bool Program(int image) { return RunCommand(InfoProgram, {ZeroBased(image)}); }
bool Verify(int image) { return RunCommand(InfoVerify, {ZeroBased(image)}); }
bool ReadDevice(int port, int image) { return RunCommand(InfoReadDevice, {ZeroBased(port), ZeroBased(image)}); }

uint8_t PortsEnablePayload(uint8_t mask) { return static_cast<uint8_t>((mask ^ 0x0F) & 0x3F); }

bool PortsEnable(uint8_t mask) {
  Err = ErrorObject{};
  LastFunction = InfoPortsEnable.name;
  if (!ReopenVanishedPort()) {
    CaptureError();
    return false;
  }
  const bool sent = ExchangeCommand(InfoPortsEnable, {CmdPortsEnable, PortsEnablePayload(mask)}, 0);
  const bool refusedByProgrammer = !sent && Err.Number >= 1 && Err.Number <= 0xFF;
  if (refusedByProgrammer) {
    // The programmer refused the mask: leave it with every port disabled, once.
    const ErrorObject refused = Err;
    const uint8_t allDisabled[] = {CmdPortsEnable, PortsEnablePayload(0)};
    SendCommand(allDisabled, 2, InfoPortsEnable.timeout);
    Err = refused;
  }
  CaptureError();
  return LastErrorNumber == 0;
}

bool GetStatus(std::array<uint8_t, 4>& status) {
  if (!RunCommand(InfoGetStatus, {}, 4)) return false;
  for (int i = 0; i < 4; ++i) status[i] = RxBuffer[2 + i];
  return true;
}

bool SameOnTheLine(const SerialRecord& a, const SerialRecord& b) {
  return a.memory == b.memory && a.format == b.format && a.address == b.address &&
         std::equal(a.number.begin(), a.number.begin() + 6, b.number.begin());
}

bool WriteSerialization(int imageIndex, const SerialRecord& record) {
  std::vector<uint8_t> payload{static_cast<uint8_t>(imageIndex), record.memory, record.format};
  AppendLittleEndian(payload, static_cast<uint32_t>(record.address), 4);
  payload.insert(payload.end(), record.number.begin(), record.number.begin() + 6);
  return RunCommand(InfoWriteSerialization, payload);
}

bool WriteSerializationVerified(int imageIndex, const SerialRecord& record) {
  if (!WriteSerialization(imageIndex, record)) return false;
  SerialRecord stored;
  if (!ReadSerialization(imageIndex, stored)) return false;
  if (SameOnTheLine(stored, record)) return true;
  RaiseError(ErrReadVerify, "Write Serialization", "Read-Verify Error");
  CaptureError();
  return false;
}

bool ReadSerialization(int imageIndex, SerialRecord& record) {
  if (!RunCommand(InfoReadSerialization, {static_cast<uint8_t>(imageIndex)}, 12)) return false;
  record.memory = RxBuffer[2];
  record.format = RxBuffer[3];
  record.address = static_cast<int32_t>(RxBuffer[4] | RxBuffer[5] << 8 | RxBuffer[6] << 16 |
                                        static_cast<uint32_t>(RxBuffer[7]) << 24);
  for (int i = 0; i < 6; ++i) record.number[i] = RxBuffer[8 + i];
  return true;
}

bool GetLastSerials(std::array<std::string, 4>& serials) {
  if (!RunCommand(InfoGetLastSerials, {}, 24)) return false;
  static const char Hex[] = "0123456789ABCDEF";
  for (int port = 0; port < 4; ++port) {
    std::string text;
    for (int i = 0; i < 6; ++i) {
      const uint8_t b = RxBuffer[2 + 6 * port + i];
      text += Hex[b >> 4];
      text += Hex[b & 0x0F];
    }
    serials[port] = text;
  }
  return true;
}

int CrcFlashTimeout(int32_t length) {
  return static_cast<int>(RoundHalfEven(static_cast<double>(length) / 500.0 + 2.0));
}
