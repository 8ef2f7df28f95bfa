#include "operations/RunTally.h"

#include "platform/NumberText.h"
#include "state/PublicVars.h"

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

void TakeStatus(UnitRun& run, const PortStatusWatch& watch) {
  for (int port = 0; port < 4; ++port) {
    run.unconfirmed[port] = !watch.Counted(port);
    if (watch.Counted(port)) run.status[port] = watch.Code(port);
  }
  run.reported = true;
}

PortOutcome OutcomeOf(const UnitRun& run, int port) {
  if (!run.enabled[port]) return PortOutcome::Idle;
  if (!run.reported || run.unconfirmed[port]) return run.ended ? PortOutcome::Stopped : PortOutcome::Busy;
  std::string caption;
  int64_t back = 0, fore = 0;
  bool failed = false;
  const bool busy = PortStatusText(run.status[port], caption, back, fore, failed);
  if (busy) return run.ended ? PortOutcome::Stopped : PortOutcome::Busy;
  if (failed) return PortOutcome::Failed;
  if (run.status[port] == DisabledStatus) return PortOutcome::Idle;
  return PortOutcome::Passed;
}

Verdict VerdictOf(const std::vector<UnitRun>& runs) {
  bool any = false, busy = false, allPassed = true;
  for (const UnitRun& run : runs) {
    for (int port = 0; port < 4; ++port) {
      const PortOutcome outcome = OutcomeOf(run, port);
      if (outcome == PortOutcome::Idle) continue;
      any = true;
      busy |= outcome == PortOutcome::Busy;
      allPassed &= outcome == PortOutcome::Passed;
    }
  }
  if (!any) return Verdict::None;
  if (busy) return Verdict::Busy;
  return allPassed ? Verdict::Pass : Verdict::Fail;
}

Verdict VerdictOf(const UnitRun& run) { return VerdictOf(std::vector<UnitRun>{run}); }

const char* VerdictWord(PortOutcome outcome) {
  switch (outcome) {
    case PortOutcome::Busy: return "BUSY";
    case PortOutcome::Passed: return "PASS";
    case PortOutcome::Failed: return "FAIL";
    case PortOutcome::Stopped: return "STOP";
    case PortOutcome::Idle: break;
  }
  return "OFF";
}

const char* VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::Busy: return "BUSY";
    case Verdict::Pass: return "PASS";
    case Verdict::Fail: return "FAIL";
    case Verdict::None: break;
  }
  return "OFF";
}

std::string OutcomeDetail(const UnitRun& run, int port) {
  if (!run.reported) {
    if (!run.enabled[port]) return "Not enabled";
    return run.ended ? "Not started" : "Starting";
  }
  if (run.unconfirmed[port]) {
    if (!run.enabled[port]) return "Not enabled";
    return run.ended ? "Status not confirmed" : "Starting";
  }
  std::string caption;
  int64_t back = 0, fore = 0;
  bool failed = false;
  PortStatusText(run.status[port], run.secondaryName, caption, back, fore, failed);
  if (OutcomeOf(run, port) == PortOutcome::Stopped) return "Stopped while " + caption;
  return caption;
}

std::string VerdictDetail(const std::vector<UnitRun>& runs) {
  int enabled = 0, passed = 0, failed = 0, busy = 0;
  for (const UnitRun& run : runs) {
    for (int port = 0; port < 4; ++port) {
      const PortOutcome outcome = OutcomeOf(run, port);
      if (outcome == PortOutcome::Idle) continue;
      ++enabled;
      passed += outcome == PortOutcome::Passed;
      failed += outcome == PortOutcome::Failed;
      busy += outcome == PortOutcome::Busy;
    }
  }
  const auto ports = [](int n) { return std::to_string(n) + (n == 1 ? " port" : " ports"); };
  if (enabled == 0) return "No port enabled";
  if (busy > 0) return std::to_string(busy) + " of " + ports(enabled) + " running";
  if (failed > 0) return std::to_string(failed) + " of " + ports(enabled) + " failed";
  if (passed < enabled) return "Run stopped";
  return passed == 1 ? "1 port passed" : "All " + ports(enabled) + " passed";
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
  return failures.empty() ? VerdictDetail({run}) : failures;
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
