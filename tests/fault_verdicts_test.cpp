// Every single fault on the status replies of a run, at every reply of the
// run, against the in-process simulated line: the program run, the array run
// and a client polling "PortStatus" never call a port passed whose target
// really failed, never show a final state the target did not end in, and a
// run that went through ends with every port's true outcome. What is judged
// is the verdict, the captions shown and the run log records written.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "automation/DdeLink.h"
#include "link/CommDefs.h"
#include "link/LineState.h"
#include "operations/ArrayRun.h"
#include "operations/PortStatus.h"
#include "operations/ProgramRun.h"
#include "operations/RunLog.h"
#include "operations/RunTally.h"
#include "operations/Selection.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "state/Bindings.h"
#include "state/views/ArrayProgramView.h"
#include "state/views/ProgramManagerView.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

using vrxsim::FaultConfig;
using vrxsim::FaultKind;

constexpr int Address = 3;
constexpr int Tested = 0;       // the port whose target's outcome varies
constexpr int Companion = 1;    // a second port in the run, always Done
constexpr uint8_t RunPorts = 0x03;

// How the tested port's target really ends.
struct Outcome {
  const char* name;
  std::function<void(vrxsim::TargetConfig&)> set;
  uint8_t code;   // the final status the unit reports from then on
};

void PrintTo(const Outcome& outcome, std::ostream* os) { *os << outcome.name; }

std::vector<Outcome> Outcomes() {
  return {
      {"Done", [](vrxsim::TargetConfig& t) { t.programSteps = {4, 1, 2}; }, 0},
      {"No Target Vcc", [](vrxsim::TargetConfig& t) { t.present = false; }, 16},
      {"Verify Failed after 1,1,1",
       [](vrxsim::TargetConfig& t) {
         t.programSteps = {1, 1, 1};
         t.result = 18;
       },
       18},
      {"Device Timeout at once",
       [](vrxsim::TargetConfig& t) {
         t.programSteps = {};
         t.result = 17;
       },
       17},
  };
}

// One fault, as the line puts it on one GetStatus reply: its position is set per case.
struct Fault {
  std::string name;
  std::vector<FaultConfig> configs;   // applied to the same reply
};

FaultConfig OnStatusReply(FaultKind kind) {
  FaultConfig f{kind};
  f.command = CmdGetStatus;
  f.count = 1;
  return f;
}

// Bits of the tested port's status byte flipped together in one reply:
// 1 -> 0 and 3 -> 0 on busy polls, 16 -> 0 and 18 -> 0 on the final ones,
// and bit 6, which puts any code outside the table.
Fault Flip(std::vector<int> bits) {
  Fault fault{"flip bits", {}};
  for (int bit : bits) {
    FaultConfig f = OnStatusReply(FaultKind::Flip);
    f.byte = 2 + Tested;
    f.bit = bit;
    fault.configs.push_back(f);
    fault.name += " " + std::to_string(bit);
  }
  return fault;
}

std::vector<Fault> Faults() {
  std::vector<Fault> faults{Flip({0}), Flip({4}), Flip({1, 4}), Flip({0, 1}), Flip({6})};
  FaultConfig corruptPort = OnStatusReply(FaultKind::Corrupt);
  corruptPort.byte = 2 + Tested;
  FaultConfig corruptStatus = OnStatusReply(FaultKind::Corrupt);
  corruptStatus.byte = 1;
  FaultConfig outOfTable = OnStatusReply(FaultKind::Status);
  outOfTable.code = 0x7F;
  faults.push_back({"drop", {OnStatusReply(FaultKind::Drop)}});
  faults.push_back({"corrupt port byte", {corruptPort}});
  faults.push_back({"corrupt status byte", {corruptStatus}});
  faults.push_back({"status 0x7F", {outOfTable}});
  return faults;
}

std::string CaptionOf(uint8_t code) {
  std::string caption;
  int64_t back = 0, fore = 0;
  bool failed = false;
  PortStatusText(code, caption, back, fore, failed);
  return caption;
}

// What a label or record ends in for a port that reached no final state: an
// outcome of the run, not a state of the target.
bool IsOutcomeCaption(const std::string& caption) {
  return caption == "Stopped" || caption == "Line Lost" || caption == "Not Run";
}

bool IsBusyCaption(const std::string& caption) {
  for (int code = 0; code < 256; ++code) {
    std::string text;
    int64_t back = 0, fore = 0;
    bool failed = false;
    if (PortStatusText(static_cast<uint8_t>(code), text, back, fore, failed) && text == caption) return true;
  }
  return false;
}

class RecordingManager : public ProgramManagerView {
 public:
  bool PortEnabled(int port) override { return (RunPorts >> port) & 1; }
  bool CrcVerifyOnly() override { return false; }
  bool Sequential() override { return false; }
  bool SoundEnabled() override { return false; }
  void SetPortStatus(int port, const std::string& caption, int64_t, int64_t) override {
    if (!caption.empty()) shown[port].push_back(caption);
  }
  void SetStatusFrameVisible(bool) override {}
  void RunFinished(const UnitRun& run) override { finished = run; }

  std::vector<std::string> shown[4];
  UnitRun finished;
};

class RecordingArrayView : public ArrayProgramView {
 public:
  bool ProgrammerEnabled(int) override { return true; }
  bool PortEnabled(int, int port) override { return (RunPorts >> port) & 1; }
  int ChosenImage(int) override { return 1; }
  bool CrcVerify() override { return false; }
  bool Sequential() override { return false; }
  void SetPanelEnabled(int, bool) override {}
  void SetPortStatus(int, int port, const std::string& caption, int64_t, int64_t) override {
    if (!caption.empty()) shown[port].push_back(caption);
  }

  std::vector<std::string> shown[4];
};

// One unit with an image in slot 1 on a fresh line, the tested port's
// target set to the outcome, selected before the fault is put on the line.
class Bench {
 public:
  explicit Bench(const Outcome& outcome) {
    ConnectSimLine(platform.port, line);
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    AppPath = dir.path();
    RunLogFolder = dir.path() + "/Kestrin";
    vrxsim::UnitConfig c;
    c.address = Address;
    c.images.push_back(vrxsim::StoredImage{});
    for (vrxsim::TargetConfig& t : c.targets) t.stepMs = 350;
    outcome.set(c.targets[Tested]);
    line.addUnit(c);
    truth = {outcome.code, 0, 5, 5};   // ports outside the run report themselves disabled
    selected = AcquireProgrammerAt(Address);
    CurrentAddress = Address;
    platform.port.settings = ProgSettings[Address];
    ImageNumber = 1;
    CancelRequest = false;
  }
  ~Bench() {
    RunLogFolder.clear();
    frmProgram = nullptr;
    CancelRequest = false;
  }

  void Inject(const Fault& fault, int position) {
    for (FaultConfig f : fault.configs) {
      f.after = position;
      line.addFault(f);
    }
  }
  int StatusReplies() const {
    int n = 0;
    for (const auto& frame : line.log()) n += !frame.payload.empty() && frame.payload[0] == CmdGetStatus;
    return n;
  }
  std::vector<RunRecord> Records() const {
    return LatestRunRecords(RunLogFolder, 100, std::chrono::system_clock::now());
  }

  FakePlatform platform;
  vrxsim::Line line;
  TempDir dir;
  std::array<uint8_t, 4> truth{};
  bool selected = false;
};

// What an operation called each port when it was over.
struct Judged {
  bool wentThrough = false;        // no command failed and no unit was lost
  std::array<PortOutcome, 4> outcome{};
  std::array<uint8_t, 4> code{};   // the state it counted
};

void JudgeRecords(const Bench& bench, const std::string& where);

// The checks every operation's end must pass, whatever the fault.
void Judge(const Bench& bench, const Judged& judged, const std::vector<std::string> (&shown)[4],
           const std::string& where) {
  for (int port = 0; port < 4; ++port) {
    if (!((RunPorts >> port) & 1)) continue;
    const uint8_t truth = bench.truth[port];
    const PortOutcome outcome = judged.outcome[port];
    SCOPED_TRACE(where + ", port " + std::to_string(port + 1));
    if (outcome == PortOutcome::Passed) {
      EXPECT_EQ(truth, 0) << "passed although it ended " << CaptionOf(truth);
    }
    if (outcome == PortOutcome::Failed) {
      EXPECT_EQ(judged.code[port], truth);
    }
    if (judged.wentThrough) {
      EXPECT_EQ(outcome, truth == 0 ? PortOutcome::Passed : PortOutcome::Failed);
    }
    // A label shows busy states and the true final one, nothing else.
    for (const std::string& caption : shown[port]) {
      if (!IsBusyCaption(caption) && !IsOutcomeCaption(caption)) {
        EXPECT_EQ(caption, CaptionOf(truth));
      }
    }
  }
  JudgeRecords(bench, where);
}

// The records stored for the run name only true final states.
void JudgeRecords(const Bench& bench, const std::string& where) {
  for (const RunRecord& record : bench.Records()) {
    if (record.port < 1 || record.port > 4) continue;
    const uint8_t truth = bench.truth[record.port - 1];
    if (!IsBusyCaption(record.result) && !IsOutcomeCaption(record.result)) {
      EXPECT_EQ(record.result, CaptionOf(truth)) << where << ", record of port " << record.port;
      EXPECT_EQ(record.code, truth) << where << ", record of port " << record.port;
    }
  }
}

// The GetStatus replies a fault-free run reads; faults are put on each of
// them and on the one after.
int FaultFreeReplies(const Outcome& outcome) {
  Bench bench(outcome);
  RecordingManager manager;
  frmProgram = &manager;
  EXPECT_TRUE(ProgramImage(false));
  return bench.StatusReplies();
}

Judged ProgramRunWith(const Outcome& outcome, const Fault* fault, int position, const std::string& where) {
  Bench bench(outcome);
  EXPECT_TRUE(bench.selected);
  RecordingManager manager;
  frmProgram = &manager;
  if (fault) bench.Inject(*fault, position);
  Judged judged;
  judged.wentThrough = ProgramImage(false);
  for (int port = 0; port < 4; ++port) {
    judged.outcome[port] = OutcomeOf(manager.finished, port);
    judged.code[port] = manager.finished.status[port];
  }
  Judge(bench, judged, manager.shown, where);
  return judged;
}

Judged ArrayRunWith(const Outcome& outcome, const Fault* fault, int position, const std::string& where) {
  Bench bench(outcome);
  EXPECT_TRUE(bench.selected);
  std::vector<ArrayPanel> panels = OpenArrayProgramming();
  EXPECT_EQ(panels.size(), 1u);
  RecordingArrayView view;
  if (fault) bench.Inject(*fault, position);
  Judged judged;
  const bool ok = RunArray(view, panels);
  const ArrayPanel& panel = panels.at(0);
  judged.wentThrough = ok && panel.started && !panel.lost && !panel.cancelled;
  for (int port = 0; port < 4; ++port) {
    judged.outcome[port] = OutcomeOf(panel.run, port);
    judged.code[port] = panel.status[port];
    // The command line's "port failed" and "done" come from portFailed.
    if (judged.wentThrough && ((RunPorts >> port) & 1)) {
      EXPECT_EQ(panel.portFailed[port], bench.truth[port] != 0) << where << ", port " << port + 1;
    }
  }
  Judge(bench, judged, view.shown, where);
  return judged;
}

// A client that starts the run and polls "PortStatus" every 400 ms until it
// reads "Complete"; every reply it gets may be acted on.
void AutomationRunWith(const Outcome& outcome, const Fault* fault, int position, const std::string& where) {
  Bench bench(outcome);
  DdeLink link;
  ASSERT_EQ(link.Execute("Program|1|12"), "Program|Success|\r\n") << where;
  if (fault) bench.Inject(*fault, position);
  bool complete = false;
  for (int poll = 0; poll < 40 && !complete; ++poll) {
    bench.platform.port.nowMs += 400;
    bench.line.advance(bench.platform.port.nowMs);
    const std::string reply = link.Execute("PortStatus");
    if (reply.rfind("PortStatus|Success|", 0) != 0) continue;   // an error reply: the client asks again
    std::vector<std::string> fields;
    for (size_t from = 0, bar; (bar = reply.find('|', from)) != std::string::npos; from = bar + 1) {
      fields.push_back(reply.substr(from, bar - from));
    }
    ASSERT_EQ(fields.size(), 7u) << where << ": " << reply;
    complete = fields[6] == "Complete";
    for (int port = 0; port < 4; ++port) {
      const std::string& caption = fields[2 + port];
      if (complete || !IsBusyCaption(caption)) {
        EXPECT_EQ(caption, CaptionOf(bench.truth[port])) << where << ", port " << port + 1 << ": " << reply;
      }
    }
  }
  EXPECT_TRUE(complete) << where;
  JudgeRecords(bench, where);
}

class FaultVerdicts : public ::testing::TestWithParam<Outcome> {};

TEST_P(FaultVerdicts, ProgramRunNeverPassesAFailedTarget) {
  const Outcome& outcome = GetParam();
  const Judged clean = ProgramRunWith(outcome, nullptr, 0, "no fault");
  ASSERT_TRUE(clean.wentThrough);
  const int replies = FaultFreeReplies(outcome);
  for (const Fault& fault : Faults()) {
    for (int position = 0; position <= replies; ++position) {
      ProgramRunWith(outcome, &fault, position, fault.name + " on reply " + std::to_string(position));
    }
  }
}

TEST_P(FaultVerdicts, ArrayRunNeverPassesAFailedTarget) {
  const Outcome& outcome = GetParam();
  const Judged clean = ArrayRunWith(outcome, nullptr, 0, "no fault");
  ASSERT_TRUE(clean.wentThrough);
  const int replies = FaultFreeReplies(outcome);
  for (const Fault& fault : Faults()) {
    for (int position = 0; position <= replies; ++position) {
      const Judged judged = ArrayRunWith(outcome, &fault, position, fault.name + " on reply " + std::to_string(position));
      // One fault never loses a unit that retries its status reads.
      EXPECT_TRUE(judged.wentThrough) << fault.name << " on reply " << position;
    }
  }
}

TEST_P(FaultVerdicts, PortStatusNeverAnswersAFinalStateSeenOnce) {
  const Outcome& outcome = GetParam();
  AutomationRunWith(outcome, nullptr, 0, "no fault");
  const int replies = FaultFreeReplies(outcome);
  for (const Fault& fault : Faults()) {
    for (int position = 0; position <= replies + 4; ++position) {
      AutomationRunWith(outcome, &fault, position, fault.name + " on reply " + std::to_string(position));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, FaultVerdicts, ::testing::ValuesIn(Outcomes()),
                         [](const ::testing::TestParamInfo<Outcome>& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           }
                           return name;
                         });

// The cases the first trials found, each with what the run used to report.
TEST(FaultVerdictCases, AFlippedLastReplyOrAnEarlyFlipToDoneIsReadAgain) {
  struct Case {
    const char* name;
    Outcome outcome;
    Fault fault;
    int position;
  };
  const std::vector<Outcome> outcomes = Outcomes();
  const std::vector<Case> cases = {
      {"16 -> 0 on the last reply", outcomes[1], Flip({4}), -1},
      {"1 -> 0 on the second reply of 1,1,1,18", outcomes[2], Flip({0}), 1},
      {"out-of-table code on the last reply", outcomes[0], Flip({6}), -1},
  };
  for (const Case& c : cases) {
    const int position = c.position >= 0 ? c.position : FaultFreeReplies(c.outcome) - 1;
    Bench bench(c.outcome);
    RecordingManager manager;
    frmProgram = &manager;
    bench.Inject(c.fault, position);
    ASSERT_TRUE(ProgramImage(false)) << c.name;
    EXPECT_EQ(manager.shown[Tested].back(), CaptionOf(c.outcome.code)) << c.name;
    EXPECT_EQ(VerdictOf(manager.finished), c.outcome.code == 0 ? Verdict::Pass : Verdict::Fail) << c.name;
    for (const std::string& caption : manager.shown[Tested]) {
      EXPECT_EQ(caption.find("Unknown"), std::string::npos) << c.name;   // never shown, never a verdict
    }
    const std::vector<RunRecord> records = bench.Records();
    ASSERT_EQ(records.size(), 2u) << c.name;   // ports 1 and 2
    for (const RunRecord& r : records) {
      EXPECT_EQ(r.code, bench.truth[r.port - 1]) << c.name << ", port " << r.port;
    }
  }
}

// A fault-free run reads one status reply more than the polls it waits for:
// the reply that confirms the last final state, read at once.
TEST(FaultVerdictCases, ConfirmingTheEndCostsOneReplyAndNoWait) {
  Bench bench(Outcomes()[0]);
  RecordingManager manager;
  frmProgram = &manager;
  ASSERT_TRUE(ProgramImage(false));
  std::vector<double> times;
  for (const auto& frame : bench.line.log()) {
    if (!frame.payload.empty() && frame.payload[0] == CmdGetStatus) times.push_back(frame.timeMs);
  }
  ASSERT_GE(times.size(), 3u);
  // The last two replies came in the same poll: no extra poll interval.
  EXPECT_LT(times[times.size() - 1] - times[times.size() - 2], StatusPollTicks * 50.0 / 2);
  for (size_t i = 1; i + 1 < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], StatusPollTicks * 50.0 - 1);
}

// The confirmation rule itself, reply by reply.
TEST(PortStatusWatchTest, AFinalStateCountsOnlyWhenTwoRepliesInARowAgree) {
  struct Step {
    std::array<uint8_t, 4> reply;
    std::array<int, 4> counted;   // -1: nothing counts yet
    bool settled;
  };
  const std::vector<Step> steps = {
      {{1, 16, 5, 0x7F}, {1, -1, -1, -1}, false},
      {{0, 16, 5, 0x7F}, {1, 16, 5, 0x7F}, false},   // port 1's Done is seen once
      {{1, 16, 5, 0}, {1, 16, 5, 0x7F}, false},      // not confirmed: it was busy after all
      {{18, 0, 5, 0}, {1, 16, 5, 0}, false},         // port 2's confirmed failure stays
      {{18, 16, 5, 0}, {18, 16, 5, 0}, true},
  };
  PortStatusWatch watch;
  for (size_t i = 0; i < steps.size(); ++i) {
    watch.Take(steps[i].reply);
    for (int port = 0; port < 4; ++port) {
      EXPECT_EQ(watch.Counted(port) ? watch.Code(port) : -1, steps[i].counted[port]) << "reply " << i << " port " << port;
    }
    EXPECT_EQ(watch.AllSettled(), steps[i].settled) << "reply " << i;
  }
}

}  // namespace
