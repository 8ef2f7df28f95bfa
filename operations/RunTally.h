// What the verdict tiles and the session counters are made of: each port's
// outcome of a run, the verdict of a run, and the passes and fails of the
// session counted per port and per unit.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "operations/PortStatus.h"

// One programmer's run as the status polls have left it so far.
struct UnitRun {
  uint8_t address = 0;
  std::string secondaryName;         // the unit's second memory, named by status codes 8, 9 and 24
  std::array<bool, 4> enabled{};     // ports ticked for the run
  std::array<uint8_t, 4> status{};   // last state counted per port (PortStatusWatch)
  bool reported = false;             // a status has been read
  // No state counts for the port yet: its replies so far showed a final
  // state that no second reply has confirmed. It runs on meanwhile.
  std::array<bool, 4> unconfirmed{};
  bool ended = false;                // over: finished, cancelled or stopped by a failed command
};

// A run on `address` (the selected programmer) with the ports of bits 0..3 of a port enable byte.
UnitRun StartUnitRun(uint8_t address, uint8_t portMask);

// The states the watch counts after a status poll.
void TakeStatus(UnitRun& run, const PortStatusWatch& watch);

// Idle: the port was not enabled (or reports itself disabled); Stopped: the
// run ended before the port finished.
enum class PortOutcome { Idle, Busy, Passed, Failed, Stopped };
// Decided as the status labels decide it (PortStatusText's busy and failed).
PortOutcome OutcomeOf(const UnitRun& run, int port);

enum class Verdict { None, Busy, Pass, Fail };
// Busy while an enabled port still runs; then PASS when every enabled port
// passed and FAIL otherwise; None when no port was enabled.
Verdict VerdictOf(const UnitRun& run);
// The verdict over several units run at once.
Verdict VerdictOf(const std::vector<UnitRun>& runs);

// The tile's big word: "PASS", "FAIL", "BUSY", "OFF" or "STOP".
const char* VerdictWord(PortOutcome outcome);
const char* VerdictWord(Verdict verdict);
// The line under a port's word: its status caption, or why it has none.
std::string OutcomeDetail(const UnitRun& run, int port);
// The line under a run's word: how many enabled ports passed or failed.
std::string VerdictDetail(const std::vector<UnitRun>& runs);
// The line under one unit's word among several: its failed ports with their
// captions ("Port 2 Verify Failed"), else as VerdictDetail; "Not in this run"
// when no port of it was enabled.
std::string UnitDetail(const UnitRun& run);

struct PassFail {
  int passes = 0;
  int fails = 0;
  int Counted() const { return passes + fails; }
  // passes / (passes + fails); 0 when nothing was counted.
  double Yield() const;
};
// The yield as a percentage with one decimal ("66.7 %"); "-" when nothing was counted.
std::string YieldText(const PassFail& counts);

// The counts of a session: every ended run adds the final outcome of each of
// its enabled ports; idle and stopped ports count for nothing.
class RunTally {
 public:
  // Numbers the runs of the session from 1.
  int NextRun() { return ++runs_; }
  int Runs() const { return runs_; }
  void Count(const UnitRun& run);
  PassFail Port(uint8_t address, int port) const;
  PassFail Unit(uint8_t address) const;
  PassFail Session() const;
  void Reset();

 private:
  int runs_ = 0;
  std::map<uint8_t, std::array<PassFail, 4>> ports_;
};
