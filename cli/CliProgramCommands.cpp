// Program runs: program, array.
#include "cli/CliCommandTable.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/CliJson.h"
#include "cli/CliSupport.h"
#include "cli/ConsoleArrayView.h"
#include "cli/ConsoleProgramManager.h"
#include "link/LineState.h"
#include "operations/ArrayRun.h"
#include "operations/FirmwareUpgrade.h"
#include "operations/ImageDirectory.h"
#include "operations/ProgramRun.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"

namespace {

struct ProgramValues : CliCommonValues {
  int address = 0;
  int image = 0;
  std::string ports = "1,2,3,4";
  bool verify = false;
  bool crcVerify = false;
  bool sequential = false;
  bool json = false;
};

struct ArrayValues : CliCommonValues {
  std::vector<std::string> runs;   // "A:IMAGE[:PORTS]" per unit, in start order
  bool verify = false;
  bool crcVerify = false;
  bool sequential = false;
  bool json = false;
};

}  // namespace

const CliOptionList& ProgramOptions() {
  static const CliOptionList list = {SharedCliOption("address", &ProgramValues::address),
                                     SharedCliOption("image", &ProgramValues::image),
                                     SharedCliOption("ports", &ProgramValues::ports),
                                     SharedCliOption("verify", &ProgramValues::verify),
                                     SharedCliOption("crc-verify", &ProgramValues::crcVerify),
                                     SharedCliOption("sequential", &ProgramValues::sequential),
                                     SharedCliOption("json", &ProgramValues::json)};
  return list;
}

const CliOptionList& ArrayOptions() {
  static const CliOptionList list = {
      {"run", "A:IMAGE[:PORTS]", "a unit to start: address 1..16, image slot 1..4, ports (default 1..4);\nonce per unit, in start order",
       ValueOf(&ArrayValues::runs)},
      SharedCliOption("verify", &ArrayValues::verify, "verify after programming"),
      SharedCliOption("crc-verify", &ArrayValues::crcVerify, "verify after programming"),
      SharedCliOption("sequential", &ArrayValues::sequential, "program multiple images"),
      SharedCliOption("json", &ArrayValues::json),
  };
  return list;
}

namespace {

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

}  // namespace

int ProgramCommand(const ProgramValues& options) {
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
  if (!SelectProgrammerAt(options.address)) return failBeforeRun(ExitFailed);
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

namespace {

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

}  // namespace

// Finds every unit named by --run, reads its image directory, then starts
// them in the order given and follows all of them to the end.
int ArrayCommand(const ArrayValues& options) {
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

CliBody ProgramEntry() { return BodyOf<ProgramValues, ProgramCommand>(); }
CliBody ArrayEntry() { return BodyOf<ArrayValues, ArrayCommand>(); }
