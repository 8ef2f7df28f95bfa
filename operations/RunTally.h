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
#include "programmers/UnitState.h"

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
  bool started = false;              // the unit took the start command
  bool stopped = false;              // cancelled, or its window closed, before every port finished
  bool lineLost = false;             // it stopped answering while its ports ran
  std::string lostError;             // what the unanswered command reported
  // The image the run was started with: its slot, its name as the directory
  // showed it, and the slot's contents generation (SlotGeneration) then.
  int slot = 0;
  std::string imageName;
  uint64_t slotGeneration = 0;
};

// A run on `address` (the selected programmer) with the ports of bits 0..3 of a port enable byte.
UnitRun StartUnitRun(uint8_t address, uint8_t portMask);

// Notes the image a run starts with: slot `slot` holding `entry` on run.address.
void NoteRunImage(UnitRun& run, int slot, const DirEntry& entry);
// The slot still holds what the run was run with: nothing wrote or erased it since.
bool RunImageCurrent(const UnitRun& run);

// The start command (Program or Verify) failed: refused, its ports did not
// run; unanswered, it may have reached the unit and its ports may be running,
// so they count as on a lost line (with the error), never as not run.
void NoteFailedStart(UnitRun& run);

// The states the watch counts after a status poll.
void TakeStatus(UnitRun& run, const PortStatusWatch& watch);

// A port's one outcome, taken from the final state that counts for it (two
// agreeing replies): Passed or Failed as the status labels decide it
// (PortStatusText's busy and failed). A port that never reached one is Busy
// while the run goes on, then Stopped (the run was cancelled or its window
// closed), LineLost (the unit stopped answering) or NotRun (the unit never
// took the start). Idle: the port was not enabled (or reports itself disabled).
enum class PortOutcome { Idle, Busy, Passed, Failed, Stopped, LineLost, NotRun };
PortOutcome OutcomeOf(const UnitRun& run, int port);

enum class Verdict { None, Busy, Pass, Fail, Stopped, LineLost, NotRun };
// Busy while an enabled port still runs; then FAIL when a port failed, else
// LINE LOST, STOPPED or NOT RUN when a port ended so, and PASS only when every
// enabled port passed; None when no port was enabled.
Verdict VerdictOf(const UnitRun& run);
// The verdict over several units run at once.
Verdict VerdictOf(const std::vector<UnitRun>& runs);

// The tile's big word: "PASS", "FAIL", "BUSY", "OFF", "STOPPED", "LINE LOST" or "NOT RUN".
const char* VerdictWord(PortOutcome outcome);
const char* VerdictWord(Verdict verdict);
// The word kestrin-cli's JSON gives a port's outcome: "passed", "failed",
// "stopped", "line lost" or "not run" (a port not enabled, or still busy).
const char* ResultWord(PortOutcome outcome);

// The caption and colours an enabled port's status label ends a run with:
// its final status ("Done", "Verify Failed", ...) or, without one, its
// outcome ("Stopped", "Line Lost", "Not Run"); false for a port that took no part.
bool OutcomeLabel(const UnitRun& run, int port, std::string& caption, int64_t& backColor, int64_t& foreColor);
// A run log record's result and code for an enabled port of an ended run:
// the final status caption and code, or "Stopped" / "Line Lost" with the
// last busy code counted (-1 when none was read). False for a port with no
// record: not enabled, or the unit never took the start.
bool OutcomeRecord(const UnitRun& run, int port, std::string& result, int32_t& code);
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
// its enabled ports; only passed and failed ports count, stopped, lost and
// unrun ones count for nothing.
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
