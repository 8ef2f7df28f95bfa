#include "cli/CliCommands.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "cli/CliDeviceOptions.h"
#include "cli/CliJson.h"
#include "cli/CliLog.h"
#include "cli/CliOffline.h"
#include "cli/CliSerialOptions.h"
#include "cli/ConsoleArrayView.h"
#include "cli/ConsoleProgramManager.h"
#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/ImageSettings.h"
#include "images/ProjectFile.h"
#include "images/ProjectState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/ArrayRun.h"
#include "operations/Configure.h"
#include "operations/DeleteImage.h"
#include "operations/FirmwareUpgrade.h"
#include "operations/ImageDirectory.h"
#include "operations/LoadImage.h"
#include "operations/PortStatus.h"
#include "operations/ProgramRun.h"
#include "operations/ReadTarget.h"
#include "operations/SaveImage.h"
#include "operations/Selection.h"
#include "platform/InputFile.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/OutputFile.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "programmers/Discovery.h"
#include "programmers/FirmwareArea.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/RevisionTables.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"

volatile std::sig_atomic_t InterruptRequested = 0;

namespace {

// Decimal, "0x" hexadecimal or "&H" hexadecimal; whole text, not negative.
bool ParseNumber(const std::string& text, long long& value) {
  std::string digits = text;
  int base = 10;
  if (digits.size() > 2 && (digits.compare(0, 2, "0x") == 0 || digits.compare(0, 2, "0X") == 0 ||
                            digits.compare(0, 2, "&H") == 0 || digits.compare(0, 2, "&h") == 0)) {
    digits = digits.substr(2);
    base = 16;
  }
  if (digits.empty() || digits[0] == '-' || digits[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(digits.c_str(), &end, base);
  return errno == 0 && end && *end == '\0';
}

void ReportLastError() { ShowErrorReport(); }

int UsageError(const std::string& command, const std::string& message) {
  std::fputs(CliUsageError(command, message).c_str(), stderr);
  return ExitUsage;
}

bool OpenLine() {
  int32_t number = 0;
  std::string text;
  if (MSComm1->Open(number, text)) {
    MSComm1->SetRThreshold(1);
    return true;
  }
  LastFunction = "Open Communications Port";
  RaiseError(number, "Open Communications Port", "Error Opening Communications Port - " + text);
  CaptureError();
  ReportLastError();
  return false;
}

// The speed of the address: the one given, or the first at which it answers FwRev.
bool ChooseLineSpeed(const CliOptions& options, std::string* revision) {
  CurrentAddress = static_cast<uint8_t>(options.address);
  if (options.baud != 0) {
    MSComm1->SetSettings(options.baud == 38400 ? LineSettings[0] : LineSettings[1]);
    return revision == nullptr || FwRev(*revision);
  }
  std::string ignored;
  for (const char* settings : LineSettings) {
    MSComm1->SetSettings(settings);
    if (FwRev(revision ? *revision : ignored)) return true;
  }
  return false;
}

// A unit answering at both speeds is listed twice, at 38400 first.
int EntryLineSpeed(int index) {
  const uint8_t address = ProgrammerTable[index].Address;
  if (index < ProgCount && ProgrammerTable[index + 1].Address == address) return 38400;
  if (index > 1 && ProgrammerTable[index - 1].Address == address) return 115200;
  return ProgSettings[address] == LineSettings[0] ? 38400 : 115200;
}

// Says on stderr when the programmer at CurrentAddress holds an upgrade cut
// short; true when it does.
bool WarnIfFirmwareIncomplete(const std::string& revision) {
  const ErrorRecordCopy before;
  const bool incomplete = CheckFirmwareAreaOf(revision) == FirmwareArea::Incomplete;
  before.Restore();
  if (incomplete) {
    std::fprintf(stderr, "kestrin-cli: programmer at address %d: %s\n", CurrentAddress, FirmwareIncompleteText);
  }
  return incomplete;
}

int Scan(const CliOptions& options) {
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

int FirmwareRevision(const CliOptions& options) {
  if (!OpenLine()) return ExitFailed;
  std::string revision;
  const bool ok = ChooseLineSpeed(options, &revision);
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
bool PrepareFlashCommand(const CliOptions& options, const char* title) {
  if (!OpenLine()) return false;
  const bool ok = ChooseLineSpeed(options, nullptr);
  ErrorTitle = title;
  if (!ok) ReportLastError();
  return ok;
}

int ReadFlashCommand(const CliOptions& options) {
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

int WriteFlashCommand(const CliOptions& options) {
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

int CrcCommand(const CliOptions& options) {
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

// Finds and selects the programmer at --address as the windows would.
bool SelectProgrammerAt(const CliOptions& options) {
  if (!LoadRevisionTables()) ShowErrorReport();   // a warning: selection still works
  if (!AcquireProgrammerAt(options.address)) {
    ReportLastError();
    return false;
  }
  SelectProgrammer();
  // A directory or security block that could not be read is reported already;
  // nothing may act on what it left.
  if (LastErrorNumber != 0) return false;
  // Nor on device types read from a damaged device file ("Bad Device File").
  if (!CheckDeviceFile()) {
    ReportLastError();
    return false;
  }
  if (SecurityDamaged) {
    std::fprintf(stderr,
                 "kestrin-cli: the security block of the programmer at address %d is damaged: every image counts as "
                 "read protected, and no image is loaded, read or programmed with it until it is reset with "
                 "kestrin-cli reset-security --address %d\n",
                 options.address, options.address);
  }
  return true;
}

// A cell as one field of a tab-separated line: names read from a programmer
// may hold tabs and line breaks of their own.
std::string ListedCell(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

// "XXXX": a slot's CRC as the crc command prints it, in reply order.
QString CrcText(const std::array<uint8_t, 2>& crc) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X", crc[0], crc[1]);
  return text;
}

// A slot of the image directory: the grid's cells under their headings, its size and CRC.
QJsonObject SlotJson(int slot) {
  QJsonObject entry;
  entry["slot"] = slot;
  const bool held = slot < static_cast<int>(ImageDirectory.size()) && ImageDirectory[slot].Size > 0;
  entry["empty"] = !held;
  if (held) {
    entry["size"] = ImageDirectory[slot].Size;
    entry["crc"] = CrcText(ImageDirectory[slot].ImageCrc);
  }
  QJsonObject cells;
  for (int col = 0; col < fgImages.Cols && slot < fgImages.Rows; ++col) {
    const std::string& heading = fgImages.TextMatrix(0, col);
    if (!heading.empty()) cells[JsonText(heading)] = JsonText(fgImages.TextMatrix(slot, col));
  }
  entry["cells"] = cells;
  return entry;
}

// The selected programmer as the JSON documents name it.
void ProgrammerJson(QJsonObject& document) {
  const ProgrammerRecord& p = ProgrammerTable[SelectedProgrammer];
  document["address"] = p.Address;
  document["firmware"] = JsonText(p.FwRevision);
  document["type"] = p.ProgType;
}

int Images(const CliOptions& options) {
  const RunTimes times;
  const bool selected = SelectProgrammerAt(options);
  if (options.json) {
    QJsonObject document;
    document["command"] = "images";
    document["address"] = options.address;
    QJsonArray slotList;
    if (selected) {
      ProgrammerJson(document);
      document["securityDamaged"] = SecurityDamaged;
      document["firmwareIncomplete"] = FirmwareIncomplete;   // as selection found it
      for (int slot = 1; slot <= SlotCount(); ++slot) slotList.append(SlotJson(slot));
    }
    document["slots"] = slotList;
    document["error"] = JsonLastError();
    times.Stamp(document);
    return PrintJsonDocument(document, selected ? ExitOk : ExitFailed);
  }
  if (!selected) return ExitFailed;
  for (int row = 0; row < fgImages.Rows; ++row) {
    std::string line;
    for (int col = 0; col < fgImages.Cols; ++col) line += (col ? "\t" : "") + ListedCell(fgImages.TextMatrix(row, col));
    std::printf("%s\n", line.c_str());
  }
  return ExitOk;
}

// "1,3" → ports 1 and 3.
bool ParsePorts(const std::string& text, std::array<bool, 4>& ports) {
  ports.fill(false);
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = text.substr(start, comma - start);
    if (item.size() != 1 || item[0] < '1' || item[0] > '4') return false;
    ports[item[0] - '1'] = true;
    start = comma + 1;
  }
  return true;
}

void OnInterrupt(int) { InterruptRequested = 1; }

// The status code that counts for a port of a run; -1 for none.
int CountedCode(const UnitRun& run, int port) {
  return run.reported && !run.unconfirmed[port] ? run.status[port] : -1;
}

// The ports' results of the runs as kestrin-cli counts them.
struct ResultCounts {
  int passed = 0, failed = 0, stopped = 0, lineLost = 0, notRun = 0;
  void Add(PortOutcome outcome) {
    switch (outcome) {
      case PortOutcome::Passed: ++passed; break;
      case PortOutcome::Failed: ++failed; break;
      case PortOutcome::Stopped: ++stopped; break;
      case PortOutcome::LineLost: ++lineLost; break;
      default: ++notRun; break;
    }
  }
  void Put(QJsonObject& document) const {
    document["passed"] = passed;
    document["failed"] = failed;
    document["stopped"] = stopped;
    document["lineLost"] = lineLost;
    document["notRun"] = notRun;
  }
  // ", S stopped" and ", L line lost" when there are any.
  std::string Unfinished() const {
    std::string text;
    if (stopped > 0) text += ", " + std::to_string(stopped) + " stopped";
    if (lineLost > 0) text += ", " + std::to_string(lineLost) + " line lost";
    return text;
  }
};

QJsonObject PortJson(int port, bool enabled, const std::string& caption, int code, const char* result) {
  QJsonObject entry;
  entry["port"] = port + 1;
  entry["enabled"] = enabled;
  entry["status"] = JsonText(caption);
  entry["code"] = code < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(code);
  entry["result"] = result;
  return entry;
}

int ProgramCommand(const CliOptions& options) {
  std::array<bool, 4> ports{};
  if (!ParsePorts(options.ports, ports)) return UsageError(options.command, "--ports takes port numbers 1..4, e.g. 1,3");
  const RunTimes times;
  QJsonObject document;
  document["command"] = "program";
  document["address"] = options.address;
  document["image"] = options.image;
  document["verifyOnly"] = options.verify;
  auto failBeforeRun = [&](int code) {
    if (!options.json) return code;
    document["error"] = JsonLastError();
    times.Stamp(document);
    return PrintJsonDocument(document, code);
  };
  if (!SelectProgrammerAt(options)) return failBeforeRun(ExitFailed);
  ProgrammerJson(document);
  if (!SlotHoldsImage(options.image)) {
    std::fprintf(stderr, "kestrin-cli: image slot %d of the programmer at address %d holds no image\n", options.image,
                 options.address);
    return failBeforeRun(ExitFailed);
  }
  document["slot"] = SlotJson(options.image);
  ImageNumber = options.image;
  ConsoleProgramManager manager(ports, options.crcVerify, options.sequential, options.json);
  frmProgram = &manager;
  CancelRequest = false;
  InterruptRequested = 0;
  auto previous = std::signal(SIGINT, OnInterrupt);
  const bool ok = ProgramImage(options.verify);
  std::signal(SIGINT, previous);
  frmProgram = nullptr;
  if (!ok) ReportLastError();
  if (ok && CancelRequest) std::fputs("kestrin-cli: run cancelled\n", stderr);

  ResultCounts counts;
  QJsonArray portList;
  for (int port = 0; port < 4; ++port) {
    const PortOutcome outcome = OutcomeOf(manager.Run(), port);
    counts.Add(outcome);
    portList.append(
        PortJson(port, ports[port], manager.Caption(port), CountedCode(manager.Run(), port), ResultWord(outcome)));
  }
  // A failed target counts only when the run itself went through.
  const bool unfinished = counts.stopped > 0 || counts.lineLost > 0;
  const int status = !ok || CancelRequest || unfinished ? ExitFailed
                     : counts.failed > 0                 ? ExitTargetFailed
                                                         : ExitOk;
  if (options.json) {
    document["ports"] = portList;
    counts.Put(document);
    document["cancelled"] = static_cast<bool>(CancelRequest);
    document["error"] = JsonLastError();
    times.Stamp(document);
    return PrintJsonDocument(document, status);
  }
  std::printf("program: address %d image %d: %d passed, %d failed, %d not run%s (%.1f s)\n", options.address,
              options.image, counts.passed, counts.failed, counts.notRun, counts.Unfinished().c_str(),
              times.Seconds());
  return status;
}

// "A:IMAGE[:PORTS]": bus address 1..16, image slot 1..4, ports as --ports takes them.
bool ParseArrayRun(const std::string& text, ConsoleArrayRun& run) {
  const size_t first = text.find(':');
  if (first == std::string::npos) return false;
  const size_t second = text.find(':', first + 1);
  long long address = 0, image = 0;
  if (!ParseNumber(text.substr(0, first), address) || address < 1 || address > 16) return false;
  const size_t imageLength = second == std::string::npos ? std::string::npos : second - first - 1;
  const std::string imageText = text.substr(first + 1, imageLength);
  if (!ParseNumber(imageText, image) || image < 1 || image > 4) return false;
  run.address = static_cast<int>(address);
  run.image = static_cast<int>(image);
  run.ports.fill(true);
  return second == std::string::npos || ParsePorts(text.substr(second + 1), run.ports);
}

const char* ArrayOutcome(const ArrayPanel& p) {
  bool portFailed = false;
  for (bool f : p.portFailed) portFailed |= f;
  return p.startFailed ? "start failed"
         : !p.started  ? "not started"
         : p.lost      ? "no reply"
         : p.cancelled ? "cancelled"
         : portFailed  ? "port failed"
                       : "done";
}

// The array run as one JSON document: per unit its outcome and per port the
// last status read, its code and result.
int PrintArrayJson(const std::vector<ConsoleArrayRun>& runs, const std::vector<ArrayPanel>& panels,
                   const ConsoleArrayView& view, const RunTimes& times, int status) {
  QJsonObject document;
  document["command"] = "array";
  QJsonArray units;
  ResultCounts counts;
  for (size_t i = 0; i < runs.size(); ++i) {
    QJsonObject unit;
    unit["address"] = runs[i].address;
    unit["image"] = runs[i].image;
    QJsonArray ports;
    if (i < panels.size()) {
      const ArrayPanel& p = panels[i];
      unit["outcome"] = ArrayOutcome(p);
      for (int port = 0; port < 4; ++port) {
        const PortOutcome outcome = OutcomeOf(p.run, port);
        counts.Add(outcome);
        ports.append(PortJson(port, runs[i].ports[port], view.Caption(static_cast<int>(i), port),
                              CountedCode(p.run, port), ResultWord(outcome)));
      }
    } else {
      unit["outcome"] = "not started";
    }
    unit["ports"] = ports;
    units.append(unit);
  }
  document["units"] = units;
  counts.Put(document);
  document["cancelled"] = static_cast<bool>(CancelRequest);
  document["error"] = JsonLastError();
  times.Stamp(document);
  return PrintJsonDocument(document, status);
}

// One line per unit once the run is over: address, outcome, the last status of each port.
void PrintArraySummary(const std::vector<ArrayPanel>& panels, const ConsoleArrayView& view) {
  for (size_t i = 0; i < panels.size(); ++i) {
    const ArrayPanel& p = panels[i];
    const char* outcome = ArrayOutcome(p);
    std::string ports;
    for (int port = 0; port < 4; ++port) {
      const std::string& caption = view.Caption(static_cast<int>(i), port);
      ports += (port ? "\t" : "") + (caption.empty() ? std::string("-") : caption);
    }
    std::printf("%d\t%s\t%s\n", p.address, outcome, ports.c_str());
  }
  std::fflush(stdout);
}

// Finds every unit named by --run, reads its image directory, then starts
// them in the order given and follows all of them to the end.
int ArrayCommand(const CliOptions& options) {
  if (options.runs.empty()) return UsageError(options.command, "array needs at least one --run A:IMAGE[:PORTS]");
  std::vector<ConsoleArrayRun> runs;
  for (const std::string& text : options.runs) {
    ConsoleArrayRun run;
    if (!ParseArrayRun(text, run)) {
      return UsageError(options.command, "--run takes ADDRESS:IMAGE[:PORTS], e.g. 3:1:1,3");
    }
    for (const ConsoleArrayRun& other : runs) {
      if (other.address == run.address) return UsageError(options.command, "each address may be run once");
    }
    runs.push_back(run);
  }

  const RunTimes times;
  const std::vector<ArrayPanel> none;
  const ConsoleArrayView unrun(runs, false, false, true);
  auto failBeforeRun = [&](const std::vector<ArrayPanel>& panels) {
    return options.json ? PrintArrayJson(runs, panels, unrun, times, ExitFailed) : ExitFailed;
  };
  // The table as a scan of just these units would leave it, in --run order.
  std::vector<ProgrammerRecord> found;
  std::vector<std::string> speeds;
  for (const ConsoleArrayRun& run : runs) {
    if (!AcquireProgrammerAt(run.address)) {
      std::fprintf(stderr, "kestrin-cli: no programmer answers at address %d\n", run.address);
      return failBeforeRun(none);
    }
    found.push_back(ProgrammerTable[1]);
    speeds.push_back(ProgSettings[run.address]);
  }
  for (size_t i = 0; i < found.size(); ++i) {
    ProgrammerTable[i + 1] = found[i];
    ProgSettings[found[i].Address] = speeds[i];
  }
  ProgCount = static_cast<int>(found.size());
  SelectedProgrammer = 1;
  CurrentAddress = found[0].Address;

  std::vector<ArrayPanel> panels = OpenArrayProgramming([](const ArrayPanel&) { ReportLastError(); });
  for (size_t i = 0; i < panels.size(); ++i) {
    if (!panels[i].prepared) return failBeforeRun(panels);
    const auto& images = panels[i].images;
    if (std::find(images.begin(), images.end(), runs[i].image) == images.end()) {
      std::fprintf(stderr, "kestrin-cli: image slot %d of the programmer at address %d holds no image\n",
                   runs[i].image, runs[i].address);
      return failBeforeRun(panels);
    }
  }

  ConsoleArrayView view(runs, options.crcVerify || options.verify, options.sequential, options.json);
  CancelRequest = false;
  InterruptRequested = 0;
  auto previous = std::signal(SIGINT, OnInterrupt);
  const bool ok = RunArray(view, panels, LineUser::CommandLine);
  std::signal(SIGINT, previous);
  // A unit that did not run through is a line failure; one whose ports failed, a target failure.
  bool unitFailed = false, portFailed = false;
  for (const ArrayPanel& p : panels) {
    const std::string outcome = ArrayOutcome(p);
    unitFailed |= outcome != "done" && outcome != "port failed";
    portFailed |= outcome == "port failed";
  }
  if (!ok) ReportLastError();
  if (CancelRequest) std::fputs("kestrin-cli: run cancelled\n", stderr);
  const int status = !ok || unitFailed || CancelRequest ? ExitFailed : portFailed ? ExitTargetFailed : ExitOk;
  if (options.json) return PrintArrayJson(runs, panels, view, times, status);
  PrintArraySummary(panels, view);
  return status;
}

// The slot and device of a load or a read: the slot must exist, the device
// type is found by name, and the voltage (3.3 V, or the part's highest when
// 3.3 V is outside its range, unless given) must suit the part.
bool PrepareSlotAndDevice(const CliOptions& options, double& volts) {
  if (options.image > SlotCount()) {
    std::fprintf(stderr, "kestrin-cli: the programmer at address %d has no image slot %d\n", options.address,
                 options.image);
    return false;
  }
  if (!FindDeviceByNameIgnoringCase(options.deviceType)) {
    std::fprintf(stderr, "kestrin-cli: no device family of this programmer has the device type \"%s\"\n",
                 options.deviceType.c_str());
    return false;
  }
  const DeviceRecord& device = DeviceTable[CurDevice];
  volts = options.voltage;
  if (volts == 0) volts = (device.DevVMin <= 3.3f && 3.3f <= device.DevVMax) ? 3.3 : device.DevVMax;
  if (volts < device.DevVMin - 1e-6 || volts > device.DevVMax + 1e-6) {
    std::fprintf(stderr, "kestrin-cli: %s takes %.2f V to %.2f V\n", device.DevName.c_str(), device.DevVMin,
                 device.DevVMax);
    return false;
  }
  return true;
}

// Takes the files, device and settings of a project file as a load's options.
bool TakeProject(CliOptions& options) {
  if (!ReadProjectForLoad(options.project)) {
    if (LastErrorNumber != 0) ReportLastError();
    return false;
  }
  options.files.assign(FileList.begin(), FileList.begin() + FileCount);
  options.deviceType = ProjDevice;
  options.name = ProjName;
  options.voltage = ProjVoltage;
  options.freq = ProjFreq;
  if (EepromFileChosen) {
    options.eeprom = EEFilePath;
    options.eepromName = EEFileTitle;
  }
  return true;
}

int LoadCommand(const CliOptions& given) {
  CliOptions options = given;
  const bool fromProject = !options.project.empty();
  if (fromProject && (!options.files.empty() || !options.deviceType.empty())) {
    return UsageError(options.command, "--project brings its own files and device type");
  }
  if (!fromProject && (options.files.empty() || options.files.size() > 4)) {
    return UsageError(options.command, "load needs one to four --file build files");
  }
  if (!options.eeprom.empty() && options.eepromName.empty()) {
    return UsageError(options.command, "--eeprom needs --eeprom-name");
  }
  std::string serialError;
  if (!CheckSerialOptions(options, serialError)) return UsageError(options.command, serialError);
  if (!SelectProgrammerAt(options)) return ExitFailed;
  if (fromProject && !TakeProject(options)) return ExitFailed;
  double volts = 0;
  if (!PrepareSlotAndDevice(options, volts)) return ExitFailed;

  ImageLoadSettings settings;
  settings.image = options.image;
  settings.files = options.files;
  settings.secondFile = options.eeprom;
  settings.secondName = options.eepromName;
  // A project keeps the whole mode word; options are taken as the automation interface takes them.
  auto mode = fromProject ? static_cast<int16_t>(ProjMode)
                          : static_cast<int16_t>(options.mode + (options.eeprom.empty() ? 0 : 2) + DeviceModeBits());
  if (!TakeDeviceOptions(options, fromProject, mode)) return ExitFailed;
  if (!TakeSerialOptions(options)) return ExitFailed;
  if (!TakeOptionBytes(options.optionBytes, settings, mode)) return ExitFailed;
  settings.modeWord = [mode] { return mode; };
  settings.name = options.name;
  settings.voltage = static_cast<uint8_t>(RoundHalfEven(volts / 0.02));
  settings.freq = static_cast<int16_t>(options.freq);
  settings.readProtect = options.protect;
  settings.count = options.count;
  if (!LoadImageFromFiles(settings)) {
    ReportLastError();
    return ExitFailed;
  }
  std::printf("Image Load Complete\n  File Checksum = %08X\n  Entire Image Checksum = %08X\n",
              static_cast<uint32_t>(FileChecksum), static_cast<uint32_t>(EntireImageChecksum));
  return ExitOk;
}

int FusesCommand(const CliOptions& options) {
  if (!SelectProgrammerAt(options)) return ExitFailed;
  if (!SelectedTypeTraits().hasFuses) {
    std::fprintf(stderr, "kestrin-cli: the programmer at address %d has no fuse definitions (AVR, AVR32 and ARM only)\n",
                 options.address);
    return ExitFailed;
  }
  if (!FindDeviceByNameIgnoringCase(options.deviceType)) {
    std::fprintf(stderr, "kestrin-cli: no device family of this programmer has the device type \"%s\"\n",
                 options.deviceType.c_str());
    return ExitFailed;
  }
  int16_t mode = 0;
  if (!TakeDeviceOptions(options, false, mode)) return ExitFailed;
  if (options.json) {
    PrintFuseFieldsJson(options.address, DeviceTable[CurDevice].DevName);
  } else {
    PrintFuseFields();
  }
  return ExitOk;
}

int SaveCommand(const CliOptions& options) {
  if (options.out.empty()) return UsageError(options.command, "save needs --out FILE");
  if (!SelectProgrammerAt(options)) return ExitFailed;
  ImageNumber = options.image;
  fgImages.Row = options.image;
  if (SlotHoldsImage(ImageNumber) && SlotReadProtected(ImageNumber)) {
    MessageBox->MsgBox(ReadProtectedMessage, vbOKOnly, "Save Image to File");
    return ExitFailed;
  }
  // The save refuses an empty slot itself (and logs the refusal); said here in one line.
  if (!SaveImageAs(options.out, options.iic)) {
    if (!SlotHoldsImage(options.image)) {
      std::fprintf(stderr, "kestrin-cli: image slot %d of the programmer at address %d holds no image\n", options.image,
                   options.address);
    } else {
      ReportLastError();
    }
    return ExitFailed;
  }
  return ExitOk;
}

int ReadTargetCommand(const CliOptions& options) {
  if (!SelectProgrammerAt(options)) return ExitFailed;
  double volts = 0;
  if (!PrepareSlotAndDevice(options, volts)) return ExitFailed;
  TargetReadSettings settings;
  settings.image = options.image;
  settings.port = options.targetPort;
  settings.name = options.name;
  settings.secondName = EEName;
  settings.mode = static_cast<int16_t>(options.mode);
  settings.freq = static_cast<int16_t>(options.freq);
  settings.voltage = static_cast<uint8_t>(RoundHalfEven(volts / 0.02));
  if (!ReadTargetIntoSlot(settings)) {
    ReportLastError();
    return ExitFailed;
  }
  std::printf("Image Load Complete\n");
  return ExitOk;
}

// Yes from --yes, or from the operator at a terminal; no terminal and no
// --yes is a refusal.
bool ConfirmOnTerminal(const CliOptions& options, const std::string& question) {
  if (options.yes) return true;
  if (!isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "kestrin-cli: %s needs a terminal to ask, or --yes\n", options.command.c_str());
    return false;
  }
  std::string text = question;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n")) text.replace(at, 2, "\n");
  std::fprintf(stderr, "%s\n%s [y/N] ", ResetSecurityTitle, text.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
}

int ResetSecurityCommand(const CliOptions& options) {
  if (!SelectProgrammerAt(options)) return ExitFailed;
  if (!SecurityDamaged) {
    std::fprintf(stderr, "kestrin-cli: the security block of the programmer at address %d is intact; nothing to reset\n",
                 options.address);
    return ExitFailed;
  }
  if (!ConfirmOnTerminal(options, ResetSecurityQuestion())) return ExitFailed;
  if (!ResetSecurityBlock()) {
    ReportLastError();
    return ExitFailed;
  }
  std::printf("Security Block Reset\n");
  return ExitOk;
}

int DeleteCommand(const CliOptions& options) {
  if (!SelectProgrammerAt(options)) return ExitFailed;
  if (options.image > SlotCount()) {
    std::fprintf(stderr, "kestrin-cli: the programmer at address %d has no image slot %d\n", options.address,
                 options.image);
    return ExitFailed;
  }
  if (!DeleteImage(options.image)) {
    ReportLastError();
    return ExitFailed;
  }
  return ExitOk;
}

// The programmer's move to --to: refused when another programmer answers
// there; afterwards the programmer must answer at its new address.
int SetAddressCommand(const CliOptions& options) {
  if (options.to == options.address) return UsageError(options.command, "--to must differ from --address");
  if (!SelectProgrammerAt(options)) return ExitFailed;
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

void PrintDefaults(const ProgrammerDefaults& d) {
  std::string ports;
  for (int port = 0; port < 4; ++port) {
    if (d.ports[port]) ports += (ports.empty() ? "" : ",") + std::to_string(port + 1);
  }
  std::printf("image\t%d\nports\t%s\ncrc-verify\t%s\nsequential\t%s\n", d.imageNumber,
              ports.empty() ? "none" : ports.c_str(), d.crcVerify ? "on" : "off", d.sequential ? "on" : "off");
}

// Writes the record when --set is given, then prints what the programmer holds.
int DefaultsRecordCommand(const CliOptions& options, int option) {
  ProgrammerDefaults d;
  if (options.set) {
    if (options.image == 0) return UsageError(options.command, "--set needs --image N (1..4)");
    if (!ParsePorts(options.ports, d.ports)) {
      return UsageError(options.command, "--ports takes port numbers 1..4, e.g. 1,3");
    }
    d.imageNumber = options.image;
    d.crcVerify = options.crcVerify;
    d.sequential = options.sequential;
  } else if (options.image != 0 || options.portsGiven || options.crcVerify || options.sequential) {
    return UsageError(options.command, "--image, --ports, --crc-verify and --sequential go with --set");
  }
  if (!SelectProgrammerAt(options)) return ExitFailed;
  if (options.set && options.image > SlotCount()) {
    std::fprintf(stderr, "kestrin-cli: the programmer at address %d has no image slot %d\n", options.address,
                 options.image);
    return ExitFailed;
  }
  if (options.set && !SaveProgrammerDefaults(option, d)) {
    ReportLastError();
    return ExitFailed;
  }
  if (!ReadProgrammerDefaults(option, d)) {
    ReportLastError();
    return ExitFailed;
  }
  PrintDefaults(d);
  return ExitOk;
}

int DefaultsCommand(const CliOptions& options) {
  if (!options.arguments.empty()) return UsageError(options.command, "defaults takes no arguments");
  return DefaultsRecordCommand(options, -1);
}

int AteOptionCommand(const CliOptions& options) {
  long long option = -1;
  if (options.arguments.size() != 1 || !ParseNumber(options.arguments[0], option) || option >= AteOptionCount) {
    return UsageError(options.command, "ate-option needs the option number 0..3");
  }
  return DefaultsRecordCommand(options, static_cast<int>(option));
}

// The file set of another programmer type, as the factory window chooses
// it: the record of that name in the table of the programmer's generation,
// else in the newest table that has one.
bool ChooseTypeFiles(const std::string& typeName) {
  const ProgTypeInfo* found = nullptr;
  auto search = [&](const auto& table) {
    for (const ProgTypeInfo& t : table) {
      if (!found && !t.TypeName.empty() && t.TypeName == typeName) found = &t;
    }
  };
  if (FwGen3) search(TypeTableV3);
  else if (FwGen2) search(TypeTableV2);
  else search(TypeTableV1);
  search(TypeTableV3);
  search(TypeTableV2);
  search(TypeTableV1);
  if (!found) return false;
  FirmwareFileName = found->FirmwareFile;
  HwcFileNames = found->HwcFiles;
  VectorFileName = found->VectorFile;
  VectorFileName2 = found->VectorFile2;
  return true;
}

int UpgradeCommand(const CliOptions& options) {
  const std::string what = options.arguments.size() == 1 ? options.arguments[0] : "";
  if (what != "firmware" && what != "hwc" && what != "vectors" && what != "extended-vectors") {
    return UsageError(options.command, "upgrade needs one of firmware, hwc, vectors, extended-vectors");
  }
  if (!SelectProgrammerAt(options)) return ExitFailed;
  if (!options.programmerType.empty() && !ChooseTypeFiles(options.programmerType)) {
    std::fprintf(stderr, "kestrin-cli: the revisions files list no programmer type \"%s\"\n",
                 options.programmerType.c_str());
    return ExitFailed;
  }
  const std::string& vectors = what == "vectors" ? VectorFileName : VectorFileName2;
  if ((what == "vectors" || what == "extended-vectors") && vectors.empty()) {
    std::fprintf(stderr, "kestrin-cli: this programmer type has no %s file; nothing written\n",
                 what == "vectors" ? "vector" : "extended vector");
    return ExitOk;
  }
  const UpgradeJob job = what == "firmware"  ? UpgradeJob::Firmware
                        : what == "hwc"     ? UpgradeJob::HardwareConfiguration
                        : what == "vectors" ? UpgradeJob::Vectors
                                            : UpgradeJob::ExtendedVectors;
  // The revision printed is the one the programmer is found with again afterwards.
  const bool ok = UpgradeAndRescan(job, RescanScope::Address);
  if (!ok) {
    ReportLastError();
    return ExitFailed;
  }
  if (what == "firmware") std::printf("%s\n", ProgrammerTable[SelectedProgrammer].FwRevision.c_str());
  return ExitOk;
}

struct CommandEntry {
  const char* name;
  bool needsAddress;
  bool needsImage;
  int (*run)(const CliOptions&);
  const char* usage;
};

const CommandEntry Commands[] = {
    {"scan", false, false, Scan,
     "scan [--port N | --device PATH] [--json]\n"
     "  Finds the programmers on the line. One line per programmer, tab-separated:\n"
     "  address, line speed, firmware revision, type code, slots, slot size in bytes.\n"
     "  Exits 3 when none answers. A programmer whose last firmware upgrade was cut\n"
     "  short is named on stderr (\"firmware incomplete, upgrade again\"; --json:\n"
     "  firmwareIncomplete).\n"},
    {"images", true, false, Images,
     "images --address A [--json]\n"
     "  Selects the programmer at address A and prints its image directory as the\n"
     "  image manager's grid holds it: the header row, then one line per slot,\n"
     "  cells separated by tabs. --json adds each image's size and CRC.\n"},
    {"program", true, true, ProgramCommand,
     "program --address A --image N [--ports 1,3] [--verify] [--crc-verify] [--sequential] [--json]\n"
     "  Programs (or with --verify only verifies) devices on the enabled ports from\n"
     "  image slot N and prints each change of a port's status, then a summary:\n"
     "  \"program: address A image N: P passed, F failed, R not run (S s)\", with\n"
     "  \", S stopped\" and \", L line lost\" after \"not run\" when any. Exits 1\n"
     "  when a port failed, 3 when a command failed or a port was stopped or lost\n"
     "  with the line. Ctrl-C cancels the run.\n"},
    {"array", false, false, ArrayCommand,
     "array --run A:IMAGE[:PORTS] [--run A:IMAGE[:PORTS] ...] [--verify] [--sequential] [--json]\n"
     "  Array programming: starts the programmer at each address A on image slot\n"
     "  IMAGE (ports 1..4 unless PORTS, e.g. 1,3, is given) in the order given, with\n"
     "  the verify and program-multiple-images options, and follows all of them.\n"
     "  Prints each change of a port's status as address, port and status, then one\n"
     "  line per unit: address, outcome (done, port failed, start failed, not\n"
     "  started, no reply, cancelled) and the last status of ports 1 to 4, all\n"
     "  tab-separated. Exits 1 when a port failed, 3 when a unit did not run\n"
     "  through. Ctrl-C cancels every started unit.\n"},
    {"load", true, true, LoadCommand,
     "load --address A --image N --device-type NAME --file X.hex [--file Y.hex ...]\n"
     "     [--eeprom E.hex --eeprom-name S] [--name S] [--voltage 3.3] [--mode M] [--freq KHZ]\n"
     "     [--protect] [--count N] [DEVICE OPTIONS]\n"
     "load --project FILE.vrx --address A --image N [--protect] [--count N] [DEVICE OPTIONS]\n"
     "  Converts the build files for the device type (found by name in the programmer's\n"
     "  families) and downloads the image into slot N, verifying every byte; prints\n"
     "  the file checksum and the entire image checksum.\n"
     "  Build files (--file, --eeprom) may be Intel HEX, Motorola S-record or ELF (the\n"
     "  loadable segments at their load addresses), told apart by their content, or\n"
     "  raw binary with its load address after the name: --file app.bin@0x08000000\n"
     "  (decimal, or hexadecimal with 0x).\n"
     "  Device options of AVR, AVR32 and ARM images (the fuse file's defaults, or the\n"
     "  project's values, unless given):\n"
     "    --fuses HH[,HH...]      every fuse byte in hex, byte 0 first; each must fit\n"
     "                            the options of its fields (see kestrin-cli fuses)\n"
     "    --osccal NONE|8MHZ|4MHZ|2MHZ|1MHZ|INTERNAL   calibration value to write (AVR)\n"
     "    --osccal-memory flash|eeprom  --osccal-address HEX   where it goes\n"
     "    --jtag-id PART,VERSION  check the JTAG ID first (AVR, with --mode 4: JTAG)\n"
     "    --avr32-security        program the AVR32 security bit\n"
     "  Serial numbers (written by the programmer into every device it programs):\n"
     "    --serial-memory flash|eeprom|user  --serial-address HEX  --serial-size 2|4|6\n"
     "    --serial-next N         the first serial number: decimal, or hex with 0x; it\n"
     "                            must fit the size\n"
     "    --serial-order msb|lsb  byte order in the device (default lsb)\n"
     "  A serial number outside the device's memory is refused before anything is sent.\n"
     "  Option bytes of Z8 Encore!, ZNEO and ZLF645 images (as the Options window\n"
     "  writes them; they replace what the files give):\n"
     "    --option-bytes HH[,HH...]  byte 0 first: Z8 Encore! 2 bytes (image\n"
     "                            addresses 0, 1), ZNEO 4 (addresses 0..3), ZLF645 2\n"
     "                            (FIB3 page bytes FE, FF; an erased page unless\n"
     "                            --eeprom gives one). Only the settings the\n"
     "                            device's Options window enables may change: every\n"
     "                            other bit, and every fixed bit, must be 1 (its\n"
     "                            erased value). E.g. the Z8 Encore! F64xx parts have\n"
     "                            no high sector write protect and nothing in byte 1,\n"
     "                            so bit 1 of byte 0 and all of byte 1 stay 1.\n"},
    {"serial", true, true,
     [](const CliOptions& o) { return SelectProgrammerAt(o) ? SerialCommand(o) : SerialFailed(o); },
     "serial --address A --image N [--json]\n"
     "  Prints the serialization record of slot N, one tab-separated line each:\n"
     "  memory, address, size, order, next (decimal, hex); then per port the last\n"
     "  serial number written (\"port P\", decimal, hex).\n"},
    {"fuses", true, false, FusesCommand,
     "fuses --address A --device-type NAME [--fuses HH[,HH...]] [--json]\n"
     "  Prints the device's fuse fields from the fuse file, one line per field,\n"
     "  tab-separated: byte, byte name, byte value, field, description, mask, then\n"
     "  one column per option, text=value, the current one marked with *. Without\n"
     "  --fuses the values are the file's defaults.\n"},
    {"save", true, true, SaveCommand,
     "save --address A --image N --out FILE.hex [--iic]\n"
     "  Uploads the image in slot N and writes it as Intel HEX (or, with --iic, as\n"
     "  an IIC script). A read-protected image is refused.\n"},
    {"read-target", true, true, ReadTargetCommand,
     "read-target --address A --image N --target-port P --device-type NAME [--name S]\n"
     "     [--voltage V] [--mode M] [--freq KHZ]\n"
     "  Reads the target device on port P into slot N of the programmer.\n"},
    {"delete", true, true, DeleteCommand,
     "delete --address A --image N\n"
     "  Deletes the image in slot N (its directory entry).\n"},
    {"reset-security", true, false, ResetSecurityCommand,
     "reset-security --address A [--yes]\n"
     "  Resets a damaged security block (one whose check bytes do not match it) to no\n"
     "  count limits and no read protection, after asking on the terminal; --yes\n"
     "  answers for scripts. Without a terminal and without --yes nothing is reset.\n"
     "  While the block is damaged every image counts as read protected, and loads,\n"
     "  target reads and program runs are refused. An intact block is not reset.\n"},
    {"upgrade", true, false, UpgradeCommand,
     "upgrade --address A firmware|hwc|vectors|extended-vectors [--type NAME]\n"
     "  Writes the programmer's firmware, its hardware configuration tables or one of\n"
     "  its vector tables from the files the revisions files name for its type (or\n"
     "  for the type NAME), verifying every byte. firmware then has the programmer\n"
     "  install it, waits until it answers again and prints its new revision. A file\n"
     "  that is missing, cut short or of another kind is refused before anything is\n"
     "  written. Exits 3 when the programmer then runs another revision than the\n"
     "  file brings (\"... now runs 2.004, expected 2.005\"). Every upgrade ends by\n"
     "  finding the programmer at A again and selecting it.\n"},
    {"fwrev", true, false, FirmwareRevision,
     "fwrev --address A [--baud 38400|115200]\n"
     "  Prints the firmware revision of the programmer at address A; says on stderr\n"
     "  when its last firmware upgrade was cut short (\"firmware incomplete, upgrade\n"
     "  again\").\n"},
    {"read-flash", true, false, ReadFlashCommand,
     "read-flash --address A ADDR COUNT [--out FILE] [--baud 38400|115200]\n"
     "  Reads COUNT bytes of programmer flash from ADDR: as hex to standard output,\n"
     "  or as binary to FILE.\n"},
    {"write-flash", true, false, WriteFlashCommand,
     "write-flash --address A ADDR FILE [--baud 38400|115200]\n"
     "  Writes the bytes of a binary FILE to programmer flash from ADDR.\n"},
    {"crc", true, false, CrcCommand,
     "crc --address A ADDR LEN [--baud 38400|115200]\n"
     "  Prints the programmer's CRC of LEN flash bytes from ADDR as four hex digits,\n"
     "  in reply order.\n"},
    {"set-address", true, false, SetAddressCommand,
     "set-address --address A --to N\n"
     "  Moves the programmer at address A to address N (1..16), unless another\n"
     "  programmer answers at N; then finds it there and prints its line as scan does.\n"},
    {"defaults", true, false, DefaultsCommand,
     "defaults --address A [--set --image N [--ports 1,3] [--crc-verify] [--sequential]]\n"
     "  Prints the programmer's power-on defaults, one tab-separated line each:\n"
     "  image, ports enabled, crc-verify, sequential. With --set they are written\n"
     "  first (ports not given are disabled; --ports defaults to all four).\n"},
    {"devices", false, false, DevicesCommand,
     "devices [--type N] [--family F] [--firmware REV] [--json]\n"
     "  Lists the device types of the delivered device database without a programmer,\n"
     "  one line each, tab-separated: programmer type code, family, device type, flash,\n"
     "  second memory and auxiliary memory sizes in bytes, blank value (hex), device\n"
     "  code, lowest and highest voltage. --type keeps one programmer type, --family\n"
     "  one family (any case). The database is the one a programmer with firmware REV\n"
     "  uses (1.x: device_V1.inf, 2.x: device_V2.inf); without --firmware, that of\n"
     "  the current firmware (device.inf).\n"},
    {"convert", false, false, ConvertCommand,
     "convert --device-type NAME --file X.hex [--file Y.hex ...] [--out IMAGE.bin] [--type N]\n"
     "        [--firmware REV] [--json]\n"
     "  Converts the build files (Intel HEX, S-record, ELF, or binary as FILE.bin@ADDR)\n"
     "  for the device type offline, as load does before it\n"
     "  sends anything, and prints the file checksum and the entire image checksum\n"
     "  that load and the Load Image dialog show for them. The device type is looked\n"
     "  up in every programmer type of the database (see devices), or in type N only.\n"
     "  --out writes the main image as it would be downloaded (the device's whole\n"
     "  flash, blank where no file sets a byte); the file is written whole or not at all.\n"},
    {"log", false, false, LogCommand, LogUsage},
    {"ate-option", true, false, AteOptionCommand,
     "ate-option --address A OPTION [--set --image N [--ports 1,3] [--crc-verify] [--sequential]]\n"
     "  The same for ATE option OPTION (0..3), the option sets test equipment selects.\n"},
};

const CommandEntry* FindCommand(const std::string& name) {
  for (const CommandEntry& entry : Commands) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

const char* CommonOptions =
    "Options:\n"
    "  --port N          serial port number 1..16 (default: the saved port)\n"
    "  --device PATH     a serial device path instead of a port number\n"
    "  --port-map MAP    port numbers to device paths, e.g. \"1=/dev/ttyUSB0,3=/tmp/vrx-line\"\n"
    "  --data-dir DIR    folder of the program's data files\n"
    "  --verbose         show status texts and progress on standard error\n"
    "  --json            one JSON document on standard output instead of lines\n"
    "  --help            this text\n"
    "  --version         the program's version\n"
    "ADDR, COUNT and LEN are decimal, or hexadecimal with 0x or &H. Device type names\n"
    "match in any case when no name matches exactly.\n"
    "Exit status: 0 done; 1 a target failed (a port ended in a failure, e.g. verify\n"
    "failed); 2 usage error; 3 the command could not be carried out (no programmer\n"
    "answered, a command failed, a file could not be read, converted or written).\n";

}  // namespace

std::string CliUsageError(const std::string& command, const std::string& message) {
  const std::string help = FindCommand(command) ? "kestrin-cli " + command + " --help" : "kestrin-cli --help";
  return "kestrin-cli: " + message + "\nsee '" + help + "'\n";
}

std::string CliUsage(const std::string& command) {
  if (const CommandEntry* entry = FindCommand(command)) {
    return std::string("Usage: kestrin-cli ") + entry->usage + CommonOptions;
  }
  std::string text = "Usage: kestrin-cli COMMAND [options]\nCommands:\n";
  for (const CommandEntry& entry : Commands) text += std::string("  ") + entry.usage;
  return text + CommonOptions;
}

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error) {
  if (!args.empty() && args[0] == "log") return ParseLogOptions(args, options, error);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto number = [&](int& out, long long low, long long high) {
      std::string text;
      long long parsed = 0;
      if (!value(text)) return false;
      if (!ParseNumber(text, parsed) || parsed < low || parsed > high) {
        error = arg + " takes a number from " + std::to_string(low) + " to " + std::to_string(high);
        return false;
      }
      out = static_cast<int>(parsed);
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--firmware") {
      if (!value(options.firmware)) return false;
    } else if (arg == "--family") {
      if (!value(options.family)) return false;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--yes") {
      options.yes = true;
    } else if (arg == "--port") {
      if (!number(options.port, 1, 16)) return false;
    } else if (arg == "--address") {
      if (!number(options.address, 1, 16)) return false;
    } else if (arg == "--baud") {
      if (!number(options.baud, 38400, 115200)) return false;
      if (options.baud != 38400 && options.baud != 115200) {
        error = "--baud takes 38400 or 115200";
        return false;
      }
    } else if (arg == "--image") {
      if (!number(options.image, 1, 4)) return false;
    } else if (arg == "--project") {
      if (!value(options.project)) return false;
    } else if (arg == "--device-type") {
      if (!value(options.deviceType)) return false;
    } else if (arg == "--file") {
      std::string file;
      if (!value(file)) return false;
      options.files.push_back(file);
    } else if (arg == "--eeprom") {
      if (!value(options.eeprom)) return false;
    } else if (arg == "--eeprom-name") {
      if (!value(options.eepromName)) return false;
    } else if (arg == "--fuses") {
      if (!value(options.fuses)) return false;
    } else if (arg == "--option-bytes") {
      if (!value(options.optionBytes)) return false;
    } else if (arg == "--osccal") {
      if (!value(options.osccal)) return false;
    } else if (arg == "--osccal-memory") {
      if (!value(options.osccalMemory)) return false;
    } else if (arg == "--osccal-address") {
      if (!value(options.osccalAddress)) return false;
    } else if (arg == "--jtag-id") {
      if (!value(options.jtagId)) return false;
    } else if (arg == "--avr32-security") {
      options.avr32Security = true;
    } else if (arg == "--serial-memory") {
      if (!value(options.serialMemory)) return false;
    } else if (arg == "--serial-address") {
      if (!value(options.serialAddress)) return false;
    } else if (arg == "--serial-size") {
      if (!value(options.serialSize)) return false;
    } else if (arg == "--serial-order") {
      if (!value(options.serialOrder)) return false;
    } else if (arg == "--serial-next") {
      if (!value(options.serialNext)) return false;
    } else if (arg == "--name") {
      if (!value(options.name)) return false;
    } else if (arg == "--voltage") {
      std::string text;
      if (!value(text)) return false;
      char* end = nullptr;
      options.voltage = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || options.voltage <= 0 || options.voltage > 5.1) {
        error = "--voltage takes volts, e.g. 3.3";
        return false;
      }
    } else if (arg == "--mode") {
      if (!number(options.mode, 0, 255)) return false;
    } else if (arg == "--freq") {
      if (!number(options.freq, 0, 32767)) return false;
    } else if (arg == "--target-port") {
      if (!number(options.targetPort, 1, 4)) return false;
    } else if (arg == "--iic") {
      options.iic = true;
    } else if (arg == "--protect") {
      options.protect = true;
    } else if (arg == "--count") {
      if (!number(options.count, 1, 2147483647)) return false;
    } else if (arg == "--type") {
      if (!value(options.programmerType)) return false;
    } else if (arg == "--ports") {
      if (!value(options.ports)) return false;
      options.portsGiven = true;
    } else if (arg == "--set") {
      options.set = true;
    } else if (arg == "--to") {
      if (!number(options.to, 1, 16)) return false;
    } else if (arg == "--run") {
      std::string run;
      if (!value(run)) return false;
      options.runs.push_back(run);
    } else if (arg == "--verify") {
      options.verify = true;
    } else if (arg == "--crc-verify") {
      options.crcVerify = true;
    } else if (arg == "--sequential") {
      options.sequential = true;
    } else if (arg == "--device") {
      if (!value(options.device)) return false;
    } else if (arg == "--port-map") {
      if (!value(options.portMap)) return false;
    } else if (arg == "--data-dir") {
      if (!value(options.dataDir)) return false;
    } else if (arg == "--out") {
      if (!value(options.out)) return false;
    } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
      error = "unknown option " + arg;
      return false;
    } else if (options.command.empty()) {
      options.command = arg;
    } else {
      options.arguments.push_back(arg);
    }
  }
  if (options.help || options.version) return true;
  if (options.command.empty()) {
    error = "no command given";
    return false;
  }
  const CommandEntry* entry = FindCommand(options.command);
  if (!entry) {
    error = "unknown command " + options.command;
    return false;
  }
  if (entry->needsAddress && options.address == 0) {
    error = options.command + " needs --address A (1..16)";
    return false;
  }
  CliOptions withoutFuses = options;
  withoutFuses.fuses.clear();
  if (options.command != "load" &&
      (HasDeviceOptions(withoutFuses) || (!options.fuses.empty() && options.command != "fuses"))) {
    error = "the device options go with load (fuses takes --fuses)";
    return false;
  }
  if (options.command != "load" && HasSerialOptions(options)) {
    error = "the --serial-... options go with load";
    return false;
  }
  if (!options.runs.empty() && options.command != "array") {
    error = "--run goes with array";
    return false;
  }
  if (!options.optionBytes.empty() && options.command != "load") {
    error = "--option-bytes goes with load";
    return false;
  }
  if (options.command == "fuses" && options.deviceType.empty()) {
    error = "fuses needs --device-type NAME";
    return false;
  }
  if (options.command == "read-target" && options.deviceType.empty()) {
    error = "read-target needs --device-type NAME";
    return false;
  }
  if (options.command == "load" && options.deviceType.empty() && options.project.empty()) {
    error = "load needs --device-type NAME (or --project FILE.vrx)";
    return false;
  }
  if (options.command == "set-address" && options.to == 0) {
    error = "set-address needs --to N (1..16)";
    return false;
  }
  const bool offline = options.command == "devices" || options.command == "convert";
  if (!options.programmerType.empty() && options.command != "upgrade" && !offline) {
    error = "--type goes with upgrade, devices and convert";
    return false;
  }
  if (!options.firmware.empty() && !offline) {
    error = "--firmware goes with devices and convert";
    return false;
  }
  if (!options.family.empty() && options.command != "devices") {
    error = "--family goes with devices";
    return false;
  }
  if (options.command == "convert" && options.deviceType.empty()) {
    error = "convert needs --device-type NAME";
    return false;
  }
  static const char* const jsonCommands[] = {"scan", "images", "program", "array", "serial", "fuses", "devices",
                                             "convert", "log"};
  if (options.json && std::find_if(std::begin(jsonCommands), std::end(jsonCommands), [&](const char* c) {
                        return options.command == c;
                      }) == std::end(jsonCommands)) {
    error = "--json goes with scan, images, program, array, serial, fuses, devices and convert";
    return false;
  }
  if (entry->needsImage && options.image == 0) {
    error = options.command + " needs --image N (1..4)";
    return false;
  }
  return true;
}

int RunCliCommand(const CliOptions& options) {
  const CommandEntry* entry = FindCommand(options.command);
  if (!entry) return UsageError("", "unknown command " + options.command);
  ClearError();
  const LineOperation operation(LineUser::CommandLine);
  return entry->run(options);
}
