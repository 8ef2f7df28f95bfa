// scan and the line commands: fwrev, read-flash, write-flash, crc, set-address.
#include "cli/CliCommandTable.h"

#include <climits>
#include <cstdio>
#include <string>

#include "cli/CliJson.h"
#include "cli/CliSupport.h"
#include "link/Commands.h"
#include "link/LineState.h"
#include "operations/Configure.h"
#include "operations/FirmwareUpgrade.h"
#include "platform/InputFile.h"
#include "platform/OutputFile.h"
#include "platform/SerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"

namespace {

struct ScanValues : CliCommonValues {
  bool json = false;
};

// fwrev, write-flash and crc: the programmer at an address, at a speed.
struct LineValues : CliCommonValues {
  int address = 0;
  int baud = 0;   // 0: the first speed that answers
};

struct ReadFlashValues : LineValues {
  std::string out;
};

struct SetAddressValues : CliCommonValues {
  int address = 0;
  int to = 0;   // the new address
};

}  // namespace

const CliOptionList& ScanOptions() {
  static const CliOptionList list = {SharedCliOption("json", &ScanValues::json)};
  return list;
}

const CliOptionList& FwrevOptions() {
  static const CliOptionList list = {SharedCliOption("address", &LineValues::address),
                                     SharedCliOption("baud", &LineValues::baud)};
  return list;
}

const CliOptionList& ReadFlashOptions() {
  static const CliOptionList list = {
      SharedCliOption("address", &ReadFlashValues::address),
      SharedCliOption("out", &ReadFlashValues::out, "write the bytes to FILE as binary instead"),
      SharedCliOption("baud", &ReadFlashValues::baud)};
  return list;
}

const CliOptionList& WriteFlashOptions() { return FwrevOptions(); }

const CliOptionList& CrcOptions() { return FwrevOptions(); }

const CliOptionList& SetAddressOptions() {
  static const CliOptionList list = {
      SharedCliOption("address", &SetAddressValues::address),
      {"to", "N", "the new address 1..16", ValueOf(&SetAddressValues::to), 1, 16},
  };
  return list;
}

namespace {

int ScanCommand(const ScanValues& options) {
  const RunTimes times;
  ScanProgrammers();
  // Every programmer found is asked whether its last upgrade was cut short.
  std::vector<bool> incomplete(static_cast<size_t>(ProgCount) + 1, false);
  for (int i = 1; i <= ProgCount; ++i) {
    const ProgrammerRecord& p = ProgrammerTable[i];
    CurrentAddress = p.Address;
    MSComm1->SetSettings(EntryLineSpeed(i) == 38400 ? LineSettings[0] : LineSettings[1]);
    incomplete[static_cast<size_t>(i)] = WarnIfFirmwareIncomplete(p.FwRevision);
  }
  if (options.json) {
    QJsonObject document;
    document["command"] = "scan";
    QJsonArray list;
    for (int i = 1; i <= ProgCount; ++i) {
      const ProgrammerRecord& p = ProgrammerTable[i];
      QJsonObject programmer;
      programmer["address"] = p.Address;
      programmer["baud"] = EntryLineSpeed(i);
      programmer["firmware"] = JsonText(p.FwRevision);
      programmer["type"] = p.ProgType;
      programmer["slots"] = p.NumImages;
      programmer["slotSize"] = p.SlotSize;
      programmer["firmwareIncomplete"] = static_cast<bool>(incomplete[static_cast<size_t>(i)]);
      list.append(programmer);
    }
    document["programmers"] = list;
    document["error"] = JsonLastError();
    times.Stamp(document);
    return PrintJsonDocument(document, ProgCount < 1 ? ExitFailed : ExitOk);
  }
  if (ProgCount < 1) return ExitFailed;
  for (int i = 1; i <= ProgCount; ++i) {
    const ProgrammerRecord& p = ProgrammerTable[i];
    std::printf("%d\t%d\t%s\t%d\t%d\t%d\n", p.Address, EntryLineSpeed(i), p.FwRevision.c_str(), p.ProgType,
                p.NumImages, p.SlotSize);
  }
  return ExitOk;
}

int FirmwareRevisionCommand(const LineValues& options) {
  if (!OpenLine()) return ExitFailed;
  std::string revision;
  const bool ok = ChooseLineSpeed(options.address, options.baud, &revision);
  ErrorTitle = "Firmware Revision";
  if (!ok) {
    ReportLastError();
    return ExitFailed;
  }
  std::printf("%s\n", revision.c_str());
  WarnIfFirmwareIncomplete(revision);
  return ExitOk;
}

// Opens the line at the address's speed for one of the flash commands.
bool PrepareFlashCommand(const LineValues& options, const char* title) {
  if (!OpenLine()) return false;
  const bool ok = ChooseLineSpeed(options.address, options.baud, nullptr);
  ErrorTitle = title;
  if (!ok) ReportLastError();
  return ok;
}


int ReadFlashCommand(const ReadFlashValues& options) {
  long long address = 0, count = 0;
  if (options.arguments.size() != 2 || !ParseNumber(options.arguments[0], address) ||
      !ParseNumber(options.arguments[1], count) || address > INT32_MAX || count > INT32_MAX - address) {
    return UsageError(options.command, "read-flash needs ADDR and COUNT");
  }
  // The output is checked and made beside its target before the line is used.
  OutputFile out;
  std::string reason;
  if (!options.out.empty() && !out.Begin(options.out, reason)) {
    std::fprintf(stderr, "kestrin-cli: %s\n", reason.c_str());
    return ExitFailed;
  }
  if (!PrepareFlashCommand(options, "Read Flash")) return ExitFailed;
  std::vector<uint8_t> data(static_cast<size_t>(count));
  if (!ReadFlash(static_cast<int32_t>(address), static_cast<int32_t>(count), data.data(), options.verbose)) {
    ReportLastError();
    return ExitFailed;
  }
  if (!options.out.empty()) {
    if (!out.Commit(data.data(), data.size(), reason)) {
      std::fprintf(stderr, "kestrin-cli: %s\n", reason.c_str());
      return ExitFailed;
    }
    return ExitOk;
  }
  for (size_t i = 0; i < data.size(); ++i) {
    std::printf("%02X%c", data[i], (i % 16 == 15 || i + 1 == data.size()) ? '\n' : ' ');
  }
  return ExitOk;
}

int WriteFlashCommand(const LineValues& options) {
  long long address = 0;
  if (options.arguments.size() != 2 || !ParseNumber(options.arguments[0], address) || address > INT32_MAX) {
    return UsageError(options.command, "write-flash needs ADDR and FILE");
  }
  std::string contents, reason;
  if (ReadInputFile(options.arguments[1], contents, reason) != 0) {
    std::fprintf(stderr, "kestrin-cli: cannot read %s\n", options.arguments[1].c_str());
    std::fprintf(stderr, "kestrin-cli: %s\n", reason.c_str());
    return ExitFailed;
  }
  const std::vector<uint8_t> data(contents.begin(), contents.end());
  if (static_cast<long long>(data.size()) > INT32_MAX - address) {
    return UsageError(options.command, "the file does not fit in the flash address range");
  }
  if (!PrepareFlashCommand(options, "Write Flash")) return ExitFailed;
  if (!WriteFlash(static_cast<int32_t>(address), static_cast<int32_t>(data.size()), data.data(), options.verbose)) {
    ReportLastError();
    return ExitFailed;
  }
  return ExitOk;
}

int CrcCommand(const LineValues& options) {
  long long address = 0, length = 0;
  if (options.arguments.size() != 2 || !ParseNumber(options.arguments[0], address) ||
      !ParseNumber(options.arguments[1], length) || address > INT32_MAX || length > INT32_MAX) {
    return UsageError(options.command, "crc needs ADDR and LEN");
  }
  if (!PrepareFlashCommand(options, "Crc Flash")) return ExitFailed;
  std::array<uint8_t, 2> crc{};
  if (!CrcFlash(static_cast<int32_t>(address), static_cast<int32_t>(length), crc)) {
    ReportLastError();
    return ExitFailed;
  }
  std::printf("%02X%02X\n", crc[0], crc[1]);
  return ExitOk;
}

// The programmer's move to --to: refused when another programmer answers
// there; afterwards the programmer must answer at its new address.
int SetAddressCommand(const SetAddressValues& options) {
  if (options.to == options.address) return UsageError(options.command, "--to must differ from --address");
  if (!SelectProgrammerAt(options.address)) return ExitFailed;
  switch (ChangeProgrammerAddress(options.to)) {
    case AddressChange::Conflict:
      std::fprintf(stderr, "kestrin-cli: %s\n", AddressConflictMessage(options.to).c_str());
      return ExitFailed;
    case AddressChange::Failed:
      ReportLastError();
      return ExitFailed;
    case AddressChange::Moved:
      break;
  }
  PauseTicks(20);   // as long as the window's blink: the programmer takes its new address
  if (!AcquireProgrammerAt(options.to)) {
    ErrorTitle = "Set Address";
    LastErrorText += "\r\n" + AddressUncertainNote(options.address, options.to);
    ReportLastError();
    return ExitFailed;
  }
  const ProgrammerRecord& p = ProgrammerTable[1];
  std::printf("%d\t%d\t%s\t%d\t%d\t%d\n", p.Address, EntryLineSpeed(1), p.FwRevision.c_str(), p.ProgType,
              p.NumImages, p.SlotSize);
  return ExitOk;
}

}  // namespace

CliBody ScanEntry() { return BodyOf<ScanValues, ScanCommand>(); }
CliBody FirmwareRevisionEntry() { return BodyOf<LineValues, FirmwareRevisionCommand>(); }
CliBody ReadFlashEntry() { return BodyOf<ReadFlashValues, ReadFlashCommand>(); }
CliBody WriteFlashEntry() { return BodyOf<LineValues, WriteFlashCommand>(); }
CliBody CrcEntry() { return BodyOf<LineValues, CrcCommand>(); }
CliBody SetAddressEntry() { return BodyOf<SetAddressValues, SetAddressCommand>(); }
