#include "operations/RunTally.h"

#include "link/CommDefs.h"
#include "platform/NumberText.h"
#include "programmers/UnitState.h"
#include "state/ErrorState.h"
#include "state/SlotContents.h"

namespace {
constexpr uint8_t DisabledStatus = 5;   // "- Disabled -": neither busy nor failed, and no pass
}

UnitRun StartUnitRun(uint8_t address, uint8_t portMask) {
  UnitRun run;
  run.address = address;
  run.secondaryName = SecondaryName;
  for (int port = 0; port < 4; ++port) run.enabled[port] = (portMask >> port) & 1;
  return run;
}

void NoteFailedStart(UnitRun& run) {
  const bool unanswered =
      LastErrorNumber == ErrNoResponse || LastErrorNumber == ErrWrongAddress || LastErrorNumber == ErrWrongResponseId;
  if (!unanswered) return;
  run.lineLost = true;
  run.lostError = LastErrorText;
}

void NoteRunImage(UnitRun& run, int slot, const DirEntry& entry) {
  run.slot = slot;
  run.imageName.clear();
  if (entry.Size > 0) {
    for (uint8_t c : entry.Name) {
      if (c == 0) break;
      run.imageName += static_cast<char>(c);
    }
    while (!run.imageName.empty() && run.imageName.back() == ' ') run.imageName.pop_back();
  }
  run.slotGeneration = SlotGeneration(run.address, slot);
}

bool RunImageCurrent(const UnitRun& run) { return SlotGeneration(run.address, run.slot) == run.slotGeneration; }

void TakeStatus(UnitRun& run, const PortStatusWatch& watch) {
  for (int port = 0; port < 4; ++port) {
    run.unconfirmed[port] = !watch.Counted(port);
    if (watch.Counted(port)) run.status[port] = watch.Code(port);
  }
  run.reported = true;
}

namespace {

// The state that counts for a port, when one does.
bool CountedState(const UnitRun& run, int port) { return run.reported && !run.unconfirmed[port]; }

std::string CaptionOf(const UnitRun& run, int port, bool& busy, bool& failed) {
  std::string caption;
  int64_t back = 0, fore = 0;
  busy = PortStatusText(run.status[port], run.secondaryName, caption, back, fore, failed);
  return caption;
}

}  // namespace

PortOutcome OutcomeOf(const UnitRun& run, int port) {
  if (!run.enabled[port]) return PortOutcome::Idle;
  if (CountedState(run, port)) {
    bool busy = false, failed = false;
    CaptionOf(run, port, busy, failed);
    if (!busy) {
      if (failed) return PortOutcome::Failed;
      return run.status[port] == DisabledStatus ? PortOutcome::Idle : PortOutcome::Passed;
    }
  }
  if (!run.ended) return PortOutcome::Busy;
  if (run.lineLost) return PortOutcome::LineLost;
  if (run.stopped) return PortOutcome::Stopped;
  if (!run.started && !run.reported) return PortOutcome::NotRun;
  return PortOutcome::Stopped;   // ended some other way before the port finished
}

namespace {

struct OutcomeCounts {
  int enabled = 0, busy = 0, passed = 0, failed = 0, stopped = 0, lost = 0, notRun = 0;
};

OutcomeCounts CountOutcomes(const std::vector<UnitRun>& runs) {
  OutcomeCounts n;
  for (const UnitRun& run : runs) {
    for (int port = 0; port < 4; ++port) {
      switch (OutcomeOf(run, port)) {
        case PortOutcome::Idle: continue;
        case PortOutcome::Busy: ++n.busy; break;
        case PortOutcome::Passed: ++n.passed; break;
        case PortOutcome::Failed: ++n.failed; break;
        case PortOutcome::Stopped: ++n.stopped; break;
        case PortOutcome::LineLost: ++n.lost; break;
        case PortOutcome::NotRun: ++n.notRun; break;
      }
      ++n.enabled;
    }
  }
  return n;
}

}  // namespace

Verdict VerdictOf(const std::vector<UnitRun>& runs) {
  const OutcomeCounts n = CountOutcomes(runs);
  if (n.enabled == 0) return Verdict::None;
  if (n.busy > 0) return Verdict::Busy;
  if (n.failed > 0) return Verdict::Fail;
  if (n.lost > 0) return Verdict::LineLost;
  if (n.stopped > 0) return Verdict::Stopped;
  if (n.notRun > 0) return Verdict::NotRun;
  return Verdict::Pass;
}

Verdict VerdictOf(const UnitRun& run) { return VerdictOf(std::vector<UnitRun>{run}); }

const char* VerdictWord(PortOutcome outcome) {
  switch (outcome) {
    case PortOutcome::Busy: return "BUSY";
    case PortOutcome::Passed: return "PASS";
    case PortOutcome::Failed: return "FAIL";
    case PortOutcome::Stopped: return "STOPPED";
    case PortOutcome::LineLost: return "LINE LOST";
    case PortOutcome::NotRun: return "NOT RUN";
    case PortOutcome::Idle: break;
  }
  return "OFF";
}

const char* VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::Busy: return "BUSY";
    case Verdict::Pass: return "PASS";
    case Verdict::Fail: return "FAIL";
    case Verdict::Stopped: return "STOPPED";
    case Verdict::LineLost: return "LINE LOST";
    case Verdict::NotRun: return "NOT RUN";
    case Verdict::None: break;
  }
  return "OFF";
}

const char* ResultWord(PortOutcome outcome) {
  switch (outcome) {
    case PortOutcome::Passed: return "passed";
    case PortOutcome::Failed: return "failed";
    case PortOutcome::Stopped: return "stopped";
    case PortOutcome::LineLost: return "line lost";
    default: break;
  }
  return "not run";
}

bool OutcomeLabel(const UnitRun& run, int port, std::string& caption, int64_t& backColor, int64_t& foreColor) {
  const PortOutcome outcome = OutcomeOf(run, port);
  if (outcome == PortOutcome::Passed || outcome == PortOutcome::Failed) {
    bool failed = false;
    PortStatusText(run.status[port], run.secondaryName, caption, backColor, foreColor, failed);
    return true;
  }
  backColor = ColorWhite;
  foreColor = ColorBlack;
  switch (outcome) {
    case PortOutcome::Stopped: caption = "Stopped"; return true;
    case PortOutcome::NotRun: caption = "Not Run"; return true;
    case PortOutcome::LineLost:
      caption = "Line Lost";
      foreColor = ColorRed;
      return true;
    default: break;
  }
  return false;
}

bool OutcomeRecord(const UnitRun& run, int port, std::string& result, int32_t& code) {
  const PortOutcome outcome = OutcomeOf(run, port);
  if (!run.enabled[port] || outcome == PortOutcome::NotRun) return false;
  code = CountedState(run, port) ? run.status[port] : -1;
  bool busy = false, failed = false;
  result = outcome == PortOutcome::Stopped    ? std::string("Stopped")
           : outcome == PortOutcome::LineLost ? std::string("Line Lost")
                                              : CaptionOf(run, port, busy, failed);
  return true;
}

std::string OutcomeDetail(const UnitRun& run, int port) {
  bool busy = false, failed = false;
  const std::string caption = CountedState(run, port) ? CaptionOf(run, port, busy, failed) : std::string();
  switch (OutcomeOf(run, port)) {
    case PortOutcome::Idle: return caption.empty() ? "Not enabled" : caption;
    case PortOutcome::Busy: return caption.empty() ? "Starting" : caption;
    case PortOutcome::NotRun: return "Not started";
    case PortOutcome::Stopped: return caption.empty() ? "Stopped before any status" : "Stopped while " + caption;
    case PortOutcome::LineLost: return caption.empty() ? "Line lost before any status" : "Line lost while " + caption;
    case PortOutcome::Passed:
    case PortOutcome::Failed: break;
  }
  return caption;
}

std::string VerdictDetail(const std::vector<UnitRun>& runs) {
  const OutcomeCounts n = CountOutcomes(runs);
  const auto ports = [](int count) { return std::to_string(count) + (count == 1 ? " port" : " ports"); };
  if (n.enabled == 0) return "No port enabled";
  if (n.busy > 0) return std::to_string(n.busy) + " of " + ports(n.enabled) + " running";
  if (n.passed == n.enabled) return n.passed == 1 ? "1 port passed" : "All " + ports(n.enabled) + " passed";
  // The verdict's own kind first, then the others that occurred.
  std::string text;
  const auto add = [&](int count, const char* kind) {
    if (count > 0) text += ", " + std::to_string(count) + " " + kind;
  };
  const std::string of = " of " + ports(n.enabled);
  switch (VerdictOf(runs)) {   // neither None, Busy nor Pass here
    case Verdict::Fail:
      text = std::to_string(n.failed) + of + " failed";
      add(n.lost, "line lost");
      add(n.stopped, "stopped");
      break;
    case Verdict::LineLost:
      text = "Line lost on " + std::to_string(n.lost) + of;
      add(n.stopped, "stopped");
      break;
    case Verdict::Stopped: text = std::to_string(n.stopped) + of + " stopped"; break;
    default: text = std::to_string(n.notRun) + of + " not run"; break;
  }
  const Verdict verdict = VerdictOf(runs);
  if (verdict != Verdict::NotRun) add(n.notRun, "not run");
  if (verdict != Verdict::Fail) add(n.passed, "passed");   // beside failures, what failed is the news
  for (const UnitRun& run : runs) {
    if (run.lineLost && !run.lostError.empty()) return text + ": " + run.lostError;
  }
  return text;
}

std::string UnitDetail(const UnitRun& run) {
  bool any = false;
  std::string failures;
  for (int port = 0; port < 4; ++port) {
    any |= run.enabled[port];
    if (OutcomeOf(run, port) != PortOutcome::Failed) continue;
    if (!failures.empty()) failures += ", ";
    failures += "Port " + std::to_string(port + 1) + " " + OutcomeDetail(run, port);
  }
  if (!any) return "Not in this run";
  if (failures.empty()) return VerdictDetail({run});
  if (run.lineLost) failures += "; line lost" + (run.lostError.empty() ? std::string() : ": " + run.lostError);
  return failures;
}

double PassFail::Yield() const { return Counted() == 0 ? 0.0 : static_cast<double>(passes) / Counted(); }

std::string YieldText(const PassFail& counts) {
  if (counts.Counted() == 0) return "-";
  return FormatFixed(counts.Yield() * 100.0, 1) + " %";
}

void RunTally::Count(const UnitRun& run) {
  if (!run.ended) return;
  for (int port = 0; port < 4; ++port) {
    const PortOutcome outcome = OutcomeOf(run, port);
    if (outcome == PortOutcome::Passed) ++ports_[run.address][port].passes;
    if (outcome == PortOutcome::Failed) ++ports_[run.address][port].fails;
  }
}

PassFail RunTally::Port(uint8_t address, int port) const {
  const auto it = ports_.find(address);
  return it == ports_.end() || port < 0 || port > 3 ? PassFail{} : it->second[port];
}

PassFail RunTally::Unit(uint8_t address) const {
  PassFail sum;
  for (int port = 0; port < 4; ++port) {
    sum.passes += Port(address, port).passes;
    sum.fails += Port(address, port).fails;
  }
  return sum;
}

PassFail RunTally::Session() const {
  PassFail sum;
  for (const auto& [address, ports] : ports_) {
    for (const PassFail& p : ports) {
      sum.passes += p.passes;
      sum.fails += p.fails;
    }
  }
  return sum;
}

void RunTally::Reset() {
  runs_ = 0;
  ports_.clear();
}
