#include "programmers/Configuration.h"

#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "platform/NumberText.h"
#include "platform/SerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"

namespace {
constexpr int32_t ErrDefaultsFailed = 3;   // reported as the programmer's "Flash Write Error"
constexpr int32_t ErrInvalidImage = 6;     // "Invalid Image Selection"

// True when anything answers at `address` at the line speed in force. A reply
// of any kind (an error status, a wrong ID) counts: only silence is free.
bool SomethingAnswersAt(int address) {
  const uint8_t own = CurrentAddress;
  CurrentAddress = static_cast<uint8_t>(address);
  std::string revision;
  const bool answered = FwRev(revision) || LastErrorNumber != ErrNoResponse;
  CurrentAddress = own;
  return answered;
}
}  // namespace

std::array<uint8_t, 2> EncodeDefaultsRecord(const ProgrammerDefaults& d) {
  int flags = ((d.sequential ? 1 : 0) * 2 + (d.crcVerify ? 1 : 0)) * 16;
  for (int port = 0; port < 4; ++port) flags += (d.ports[port] ? 1 : 0) << port;
  return {static_cast<uint8_t>(d.imageNumber - 1), static_cast<uint8_t>(flags ^ 0x0F)};
}

ProgrammerDefaults DecodeDefaultsRecord(const std::array<uint8_t, 2>& record) {
  ProgrammerDefaults d;
  d.imageNumber = record[0] + 1;
  const int b = record[1] ^ 0x0F;
  for (int port = 0; port < 4; ++port) d.ports[port] = (b >> port) & 1;
  d.crcVerify = (b >> 4) & 1;
  d.sequential = (b >> 5) & 1;
  return d;
}

bool IsAteOption(int option) { return option >= 0 && option < AteOptionCount; }

int32_t DefaultsAddress(int option) {
  return IsAteOption(option) ? AteOptionsBase + 2 * option : DefaultsRecordAddress;
}

std::vector<int> NewAddressChoices(int current) {
  std::vector<int> choices;
  for (int a = LowestBusAddress; a <= HighestBusAddress; ++a) {
    if (a != current) choices.push_back(a);
  }
  return choices;
}

bool WriteProgrammerDefaults(int option, const ProgrammerDefaults& defaults) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Set Defaults");
  ClearError();
  ErrorTitle = IsAteOption(option) ? "Set ATE Options" : "Set Defaults";
  if (defaults.imageNumber < 1 || defaults.imageNumber > MaxImageSlots) {
    RaiseError(ErrInvalidImage, "Set Defaults", "");   // nothing else fits in byte 0
    CaptureError();
    return false;
  }
  const std::array<uint8_t, 2> record = EncodeDefaultsRecord(defaults);
  if (WriteFlashVerified(DefaultsAddress(option), DefaultsRecordBytes, record.data())) return true;
  RaiseError(ErrDefaultsFailed, "Set Defaults",
             IsAteOption(option) ? "Set ATE Options Failed" : "Set Programmer Defaults Failed");
  CaptureError();
  return false;
}

bool ReadProgrammerDefaults(int option, ProgrammerDefaults& defaults) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Read Defaults");
  ClearError();
  ErrorTitle = IsAteOption(option) ? "Read ATE Options" : "Read Defaults";
  std::array<uint8_t, 2> record{};
  if (ReadFlashConfirmed(DefaultsAddress(option), DefaultsRecordBytes, record.data())) {
    defaults = DecodeDefaultsRecord(record);
    return true;
  }
  RaiseError(ErrDefaultsFailed, "Read Defaults",
             IsAteOption(option) ? "View ATE Options Failed" : "View Programmer Defaults Failed");
  CaptureError();
  return false;
}

AddressChange SetProgrammerAddress(int newAddress) {
  const LineOperation operation;
  if (!operation.Taken()) {
    RefuseBusyLine("Set Address");
    return AddressChange::Failed;
  }
  ClearError();
  ErrorTitle = "Set Address";
  if (newAddress < LowestBusAddress || newAddress > HighestBusAddress || newAddress == CurrentAddress) {
    RaiseError(ErrAddressRange, "Set Address", "Address out of Range");
    CaptureError();
    return AddressChange::Failed;
  }
  // A programmer at the other line speed shares the address just the same:
  // probe at both, then put back the speed of the programmer being moved.
  bool taken = false;
  for (const char* settings : LineSettings) {
    MSComm1->SetSettings(settings);
    taken = SomethingAnswersAt(newAddress);
    if (taken) break;
  }
  MSComm1->SetSettings(ProgSettings[CurrentAddress].empty() ? LineSettings[1] : ProgSettings[CurrentAddress]);
  ClearError();
  ErrorTitle = "Set Address";
  if (taken) return AddressChange::Conflict;

  // The byte is read back before the programmer is told to take it: a byte
  // flipped on the way would send the programmer to an address nobody knows.
  const uint8_t address = static_cast<uint8_t>(newAddress);
  if (!WriteFlashVerified(BusAddressByte, 1, &address)) {
    // Put the programmer's own address back, so that it does not wake up at
    // another one; the report stays that of the failed write.
    const int oldAddress = CurrentAddress;
    const ErrorRecordCopy failure;
    const uint8_t own = CurrentAddress;
    const bool putBack = WriteFlashVerified(BusAddressByte, 1, &own);
    failure.Restore();
    // The new byte may have reached the flash before the line died: after a
    // restart the programmer takes whichever address byte 31 holds.
    if (!putBack) LastErrorText += "\r\n" + AddressUncertainNote(oldAddress, newAddress);
    return AddressChange::Failed;
  }
  // The reply may come from either address, so its outcome says nothing;
  // the scan that follows shows where the programmer is.
  {
    const ErrorRecordCopy written;
    ConfigureProgrammer();
    written.Restore();
  }
  return AddressChange::Moved;
}

std::string AddressUncertainNote(int oldAddress, int newAddress) {
  return "The programmer may now answer at address" + Str(oldAddress) + " (its old address) or at address" +
         Str(newAddress) + " (the new one): scan for programmers to find it.";
}

std::string AddressConflictMessage(int newAddress) {
  return "There is Already a Programmer Responding at Address" + Str(newAddress) + "\r\n" +
         "Setting this programmer to address" + Str(newAddress) + " will cause a conflict";
}

std::string DefaultsSetMessage(int option) {
  return IsAteOption(option) ? "ATE Option" + Str(option) + " has been set" : "Defaults have been sent to programmer";
}

std::string DefaultsReadMessage(int option) {
  return IsAteOption(option) ? "ATE Option" + Str(option) + " has been read from programmer."
                             : "Defaults have been read from programmer";
}

std::string DefaultsSetTitle(int option) { return IsAteOption(option) ? "Set ATE Options" : "Set Programmer Defaults"; }

std::string DefaultsReadTitle(int option) {
  return IsAteOption(option) ? "View ATE Options" : "Set Programmer Defaults";
}

void PauseTicks(int ticks) {
  const int32_t deadline = WrapTick(static_cast<int64_t>(TickCount) + ticks);
  while (deadline > TickCount) LetEventsRun();
}
