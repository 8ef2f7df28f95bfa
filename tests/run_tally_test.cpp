// Port outcomes, run verdicts and the session's pass/fail counts, and what a
// programming run and an array run report of themselves to their views,
// against the in-process simulated line.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/CommDefs.h"
#include "link/LineState.h"
#include "operations/ArrayRun.h"
#include "operations/DeleteImage.h"
#include "operations/ProgramRun.h"
#include "operations/RunLog.h"
#include "operations/RunTally.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "state/Bindings.h"
#include "state/SlotContents.h"
#include "state/views/ArrayProgramView.h"
#include "state/views/ProgramManagerView.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

UnitRun RunOf(std::array<bool, 4> enabled, std::array<uint8_t, 4> status, bool reported, bool ended,
              uint8_t address = 1) {
  UnitRun run;
  run.address = address;
  run.enabled = enabled;
  run.status = status;
  run.reported = reported;
  run.ended = ended;
  return run;
}

constexpr std::array<bool, 4> AllPorts{true, true, true, true};

UnitRun Stopped(UnitRun run) {
  run.started = run.stopped = true;
  return run;
}

UnitRun Lost(UnitRun run, const std::string& error) {
  run.started = run.lineLost = true;
  run.lostError = error;
  return run;
}

TEST(RunTallyTest, EachPortsOutcomeFollowsTheStatusLabelsBusyAndFailed) {
  FakePlatform platform;
  SecondaryName = "EEPROM";
  // How the run ended: S stopped (cancel, window closed), L line lost, T the unit took the start.
  struct Case {
    bool enabled, reported, ended;
    const char* how;
    uint8_t status;
    PortOutcome outcome;
    const char *word, *detail, *result;
  };
  const Case cases[] = {
      {false, false, false, "", 0, PortOutcome::Idle, "OFF", "Not enabled", "not run"},
      {false, true, true, "T", 5, PortOutcome::Idle, "OFF", "- Disabled -", "not run"},
      {false, true, true, "T", 18, PortOutcome::Idle, "OFF", "Verify Failed", "not run"},   // not ticked: not its verdict
      {true, false, false, "", 0, PortOutcome::Busy, "BUSY", "Starting", "not run"},      // no status read yet
      {true, false, true, "", 0, PortOutcome::NotRun, "NOT RUN", "Not started", "not run"},   // the start was refused
      {true, true, false, "T", 1, PortOutcome::Busy, "BUSY", "Programming", "not run"},
      {true, true, false, "T", 8, PortOutcome::Busy, "BUSY", "Programming EEPROM", "not run"},
      {true, true, true, "TS", 2, PortOutcome::Stopped, "STOPPED", "Stopped while Verifying", "stopped"},
      {true, false, true, "TS", 0, PortOutcome::Stopped, "STOPPED", "Stopped before any status", "stopped"},
      {true, true, true, "TL", 4, PortOutcome::LineLost, "LINE LOST", "Line lost while VCC OK", "line lost"},
      {true, false, true, "TL", 0, PortOutcome::LineLost, "LINE LOST", "Line lost before any status", "line lost"},
      // A final state confirmed before the cancel or the loss is the port's outcome.
      {true, true, true, "TS", 0, PortOutcome::Passed, "PASS", "Done", "passed"},
      {true, true, true, "TL", 18, PortOutcome::Failed, "FAIL", "Verify Failed", "failed"},
      {true, true, true, "T", 0, PortOutcome::Passed, "PASS", "Done", "passed"},
      {true, true, false, "T", 0, PortOutcome::Passed, "PASS", "Done", "passed"},   // done while others still run
      {true, true, true, "T", 18, PortOutcome::Failed, "FAIL", "Verify Failed", "failed"},
      {true, true, true, "T", 16, PortOutcome::Failed, "FAIL", "No Target Vcc", "failed"},
      {true, true, true, "T", 13, PortOutcome::Failed, "FAIL", "Unknown 13", "failed"},
      {true, true, true, "T", 24, PortOutcome::Failed, "FAIL", "EEPROM Verify Failed", "failed"},
      {true, true, true, "T", 5, PortOutcome::Idle, "OFF", "- Disabled -", "not run"},   // the programmer left it out
  };
  for (const Case& c : cases) {
    UnitRun run = StartUnitRun(1, 0);   // on the selected programmer, whose second memory is EEPROM
    run.enabled[2] = c.enabled;
    run.reported = c.reported;
    run.ended = c.ended;
    run.started = std::string(c.how).find('T') != std::string::npos;
    run.stopped = std::string(c.how).find('S') != std::string::npos;
    run.lineLost = std::string(c.how).find('L') != std::string::npos;
    run.status[2] = c.status;
    const std::string label = std::to_string(c.status) + (c.enabled ? " enabled" : "") + (c.ended ? " ended " : " ") +
                              c.how + (c.reported ? " reported" : "");
    EXPECT_EQ(OutcomeOf(run, 2), c.outcome) << label;
    EXPECT_STREQ(VerdictWord(OutcomeOf(run, 2)), c.word) << label;
    EXPECT_EQ(OutcomeDetail(run, 2), c.detail) << label;
    EXPECT_STREQ(ResultWord(OutcomeOf(run, 2)), c.result) << label;
  }
}

TEST(RunTallyTest, EveryEnabledPortEndsInItsOutcomeInLabelAndRecord) {
  FakePlatform platform;
  struct Case {
    bool stopped, lineLost, started, reported;
    uint8_t status;
    const char* label;
    int64_t fore;
    const char* result;  // empty: no record of its own
    int32_t code;
  };
  const Case cases[] = {
      {true, false, true, true, 1, "Stopped", ColorBlack, "Stopped", 1},
      {true, false, true, false, 0, "Stopped", ColorBlack, "Stopped", -1},
      {false, true, true, true, 4, "Line Lost", ColorRed, "Line Lost", 4},
      {false, false, false, false, 0, "Not Run", ColorBlack, "", 0},
      {true, false, true, true, 0, "Done", ColorTeal, "Done", 0},   // confirmed Done before the cancel
      {false, true, true, true, 18, "Verify Failed", ColorRed, "Verify Failed", 18},
  };
  std::string caption;
  int64_t back = 0, fore = 0;
  EXPECT_FALSE(OutcomeLabel(RunOf({}, {}, true, true), 0, caption, back, fore));   // not in the run
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    UnitRun run = RunOf(AllPorts, {c.status, c.status, c.status, c.status}, c.reported, true);
    run.stopped = c.stopped;
    run.lineLost = c.lineLost;
    run.started = c.started;
    caption.clear();
    back = fore = -1;
    EXPECT_TRUE(OutcomeLabel(run, 0, caption, back, fore)) << i;
    EXPECT_EQ(caption, c.label) << i;
    EXPECT_EQ(back, c.fore == ColorTeal ? ColorButtonFace : ColorWhite) << i;
    EXPECT_EQ(fore, c.fore) << i;
    std::string result;
    int32_t code = 99;
    EXPECT_EQ(OutcomeRecord(run, 0, result, code), *c.result != 0) << i;
    if (*c.result) {
      EXPECT_EQ(result, c.result) << i;
      EXPECT_EQ(code, c.code) << i;
    }
  }
}

TEST(RunTallyTest, RunVerdictIsPassOnlyWhenEveryEnabledPortPassed) {
  FakePlatform platform;
  const std::array<bool, 4> ports13{true, false, true, false};
  struct Case { std::vector<UnitRun> runs; Verdict verdict; const char* detail; };
  const Case cases[] = {
      {{RunOf(AllPorts, {0, 0, 0, 0}, true, true)}, Verdict::Pass, "All 4 ports passed"},
      {{RunOf({false, true, false, false}, {5, 0, 5, 5}, true, true)}, Verdict::Pass, "1 port passed"},
      {{RunOf(ports13, {0, 5, 18, 5}, true, true)}, Verdict::Fail, "1 of 2 ports failed"},
      {{RunOf(AllPorts, {0, 18, 16, 0}, true, true)}, Verdict::Fail, "2 of 4 ports failed"},
      // A failure while another port runs: the run is not over yet.
      {{RunOf(AllPorts, {0, 18, 1, 0}, true, false)}, Verdict::Busy, "1 of 4 ports running"},
      {{RunOf(AllPorts, {0, 0, 0, 0}, false, false)}, Verdict::Busy, "4 of 4 ports running"},
      // Ended before every port finished: neither pass nor fail.
      {{RunOf(AllPorts, {0, 2, 0, 0}, true, true)}, Verdict::Stopped, "1 of 4 ports stopped, 3 passed"},
      {{RunOf(AllPorts, {0, 0, 0, 0}, false, true)}, Verdict::NotRun, "4 of 4 ports not run"},
      {{Lost(RunOf(AllPorts, {0, 2, 1, 0}, true, true), "Timeout")}, Verdict::LineLost,
       "Line lost on 2 of 4 ports, 2 passed: Timeout"},
      // A cancelled array: the failures stay failures, the rest is stopped, not failed.
      {{Stopped(RunOf(AllPorts, {1, 18, 2, 4}, true, true, 1)), Stopped(RunOf(AllPorts, {0, 1, 1, 1}, true, true, 2)),
        Stopped(RunOf(AllPorts, {16, 1, 1, 1}, true, true, 3)), Stopped(RunOf(AllPorts, {}, false, true, 4))},
       Verdict::Fail, "2 of 16 ports failed, 13 stopped"},
      {{Stopped(RunOf(AllPorts, {1, 2, 2, 4}, true, true, 1)), Stopped(RunOf(AllPorts, {0, 1, 1, 1}, true, true, 2))},
       Verdict::Stopped, "7 of 8 ports stopped, 1 passed"},
      {{RunOf(AllPorts, {0, 0, 0, 0}, true, true, 1), Lost(RunOf(AllPorts, {1, 1, 1, 1}, true, true, 2), ""),
        Stopped(RunOf(AllPorts, {1, 1, 1, 1}, true, true, 3))},
       Verdict::LineLost, "Line lost on 4 of 12 ports, 4 stopped, 4 passed"},
      {{RunOf({}, {5, 5, 5, 5}, true, true)}, Verdict::None, "No port enabled"},
      {{}, Verdict::None, "No port enabled"},
      // Several units at once: one failing port anywhere fails the run.
      {{RunOf(AllPorts, {0, 0, 0, 0}, true, true, 1), RunOf(AllPorts, {0, 18, 0, 0}, true, true, 3)},
       Verdict::Fail, "1 of 8 ports failed"},
      {{RunOf(AllPorts, {0, 0, 0, 0}, true, true, 1), RunOf({}, {}, false, true, 2)}, Verdict::Pass,
       "All 4 ports passed"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(VerdictOf(cases[i].runs), cases[i].verdict) << i;
    EXPECT_EQ(VerdictDetail(cases[i].runs), cases[i].detail) << i;
    if (cases[i].runs.size() == 1) {
      EXPECT_EQ(VerdictOf(cases[i].runs[0]), cases[i].verdict) << i;
    }
  }
  EXPECT_STREQ(VerdictWord(Verdict::Pass), "PASS");
  EXPECT_STREQ(VerdictWord(Verdict::Fail), "FAIL");
  EXPECT_STREQ(VerdictWord(Verdict::Busy), "BUSY");
  EXPECT_STREQ(VerdictWord(Verdict::None), "OFF");
  EXPECT_STREQ(VerdictWord(Verdict::Stopped), "STOPPED");
  EXPECT_STREQ(VerdictWord(Verdict::LineLost), "LINE LOST");
  EXPECT_STREQ(VerdictWord(Verdict::NotRun), "NOT RUN");
}

TEST(RunTallyTest, UnitDetailNamesTheFailedPortsWithTheirCaptions) {
  FakePlatform platform;
  EXPECT_EQ(UnitDetail(RunOf(AllPorts, {0, 18, 0, 16}, true, true)), "Port 2 Verify Failed, Port 4 No Target Vcc");
  EXPECT_EQ(UnitDetail(RunOf(AllPorts, {0, 0, 0, 0}, true, true)), "All 4 ports passed");
  EXPECT_EQ(UnitDetail(RunOf({}, {}, false, true)), "Not in this run");
  EXPECT_EQ(UnitDetail(RunOf(AllPorts, {}, false, true)), "4 of 4 ports not run");
  EXPECT_EQ(UnitDetail(Lost(RunOf(AllPorts, {0, 18, 1, 1}, true, true), "Timeout")),
            "Port 2 Verify Failed; line lost: Timeout");
}

// A run's image stays current until something writes or erases its slot:
// that slot alone, every slot of its programmer, or every programmer.
TEST(RunTallyTest, RunImageIsCurrentUntilItsSlotsContentsChange) {
  FakePlatform platform;
  DirEntry entry;
  entry.Size = 100;
  const std::string name = "Sensor board";
  std::copy(name.begin(), name.end(), entry.Name.begin());
  struct Case { uint8_t address; int slot; bool current; };
  const Case cases[] = {{3, 2, true}, {4, 1, true}, {3, 1, false}, {3, 0, false}, {4, 0, true}, {0, 0, false}};
  for (const Case& c : cases) {
    UnitRun run = StartUnitRun(3, 0x0F);
    NoteRunImage(run, 1, entry);
    EXPECT_EQ(run.slot, 1);
    EXPECT_EQ(run.imageName, "Sensor board");
    EXPECT_TRUE(RunImageCurrent(run));
    SlotContentsChanged(c.address, c.slot);
    EXPECT_EQ(RunImageCurrent(run), c.current) << int(c.address) << "/" << c.slot;
  }
  UnitRun empty = StartUnitRun(3, 0x0F);
  NoteRunImage(empty, 2, DirEntry{});
  EXPECT_EQ(empty.imageName, "");
}

TEST(RunTallyTest, StartUnitRunTakesThePortsOfTheEnableByte) {
  const UnitRun run = StartUnitRun(7, 0x15);   // ports 1 and 3, CRC verify only
  EXPECT_EQ(run.address, 7);
  EXPECT_EQ(run.enabled, (std::array<bool, 4>{true, false, true, false}));
  EXPECT_FALSE(run.reported);
  EXPECT_FALSE(run.ended);
}

TEST(RunTallyTest, YieldIsPassesOverPassesAndFailsInPercent) {
  struct Case { int passes, fails; const char* text; };
  const Case cases[] = {{0, 0, "-"}, {3, 0, "100.0 %"}, {2, 1, "66.7 %"}, {0, 4, "0.0 %"}, {1, 7, "12.5 %"},
                        {9, 3, "75.0 %"}};
  for (const Case& c : cases) {
    const PassFail counts{c.passes, c.fails};
    EXPECT_EQ(YieldText(counts), c.text) << c.passes << "/" << c.fails;
    EXPECT_EQ(counts.Counted(), c.passes + c.fails);
  }
  EXPECT_DOUBLE_EQ((PassFail{3, 1}).Yield(), 0.75);
  EXPECT_DOUBLE_EQ((PassFail{}).Yield(), 0.0);
}

TEST(RunTallyTest, CountsEveryEndedRunPerPortAndUnitUntilReset) {
  FakePlatform platform;
  RunTally tally;
  EXPECT_EQ(tally.NextRun(), 1);
  // Three runs on unit 1: port 2 fails each time, port 4 is not enabled.
  const std::array<bool, 4> ports{true, true, true, false};
  for (int i = 0; i < 3; ++i) tally.Count(RunOf(ports, {0, 18, 0, 5}, true, true, 1));
  // Not counted: a run still going, a cancelled run's unfinished ports.
  tally.Count(RunOf(AllPorts, {0, 18, 0, 0}, true, false, 1));
  tally.Count(RunOf(AllPorts, {1, 1, 0, 2}, true, true, 1));
  // Another unit keeps its own counts.
  tally.Count(RunOf(AllPorts, {16, 0, 0, 0}, true, true, 3));

  struct Case { uint8_t address; int port; int passes, fails; };
  const Case cases[] = {{1, 0, 3, 0}, {1, 1, 0, 3}, {1, 2, 4, 0}, {1, 3, 0, 0},
                        {3, 0, 0, 1}, {3, 1, 1, 0}, {2, 0, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(tally.Port(c.address, c.port).passes, c.passes) << int(c.address) << ":" << c.port;
    EXPECT_EQ(tally.Port(c.address, c.port).fails, c.fails) << int(c.address) << ":" << c.port;
  }
  EXPECT_EQ(tally.Unit(1).passes, 7);
  EXPECT_EQ(tally.Unit(1).fails, 3);
  EXPECT_EQ(YieldText(tally.Unit(1)), "70.0 %");
  EXPECT_EQ(tally.Session().passes, 10);
  EXPECT_EQ(tally.Session().fails, 4);
  EXPECT_EQ(tally.NextRun(), 2);

  tally.Reset();
  EXPECT_EQ(tally.Runs(), 0);
  EXPECT_EQ(tally.Session().Counted(), 0);
  EXPECT_EQ(tally.Port(1, 1).Counted(), 0);
  EXPECT_EQ(tally.NextRun(), 1);
}

// ---- What the runs report to their views ----

class RunReportingManager : public ProgramManagerView {
 public:
  bool PortEnabled(int port) override { return ports[port]; }
  bool CrcVerifyOnly() override { return false; }
  bool Sequential() override { return false; }
  bool SoundEnabled() override { return false; }
  void SetPortStatus(int port, const std::string& caption, int64_t, int64_t) override { captions[port] = caption; }
  void SetStatusFrameVisible(bool) override {}
  void RunStarted(const UnitRun& run) override {
    started.push_back(run);
    framesAtStart = line->log().size();
  }
  void RunPolled(const UnitRun& run) override { polled.push_back(run); }
  void RunFinished(const UnitRun& run) override { finished.push_back(run); }

  vrxsim::Line* line = nullptr;
  size_t framesAtStart = 0;
  std::array<bool, 4> ports{true, true, true, true};
  std::array<std::string, 4> captions;
  std::vector<UnitRun> started, polled, finished;
};

class RunReportTest : public ::testing::Test {
 protected:
  RunReportTest() {
    ConnectSimLine(platform.port, line);
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    manager.line = &line;
    frmProgram = &manager;
  }
  ~RunReportTest() override {
    frmProgram = nullptr;
    CancelRequest = false;
  }

  vrxsim::Unit& AddUnit(int address) {
    vrxsim::UnitConfig c;
    c.address = address;
    c.type = 6;
    vrxsim::StoredImage image;
    image.slot = 1;
    c.images.push_back(image);
    return line.addUnit(c);
  }

  FakePlatform platform;
  vrxsim::Line line;
  RunReportingManager manager;
};

TEST_F(RunReportTest, ProgramRunReportsItsPortsFromStartToEnd) {
  vrxsim::Unit& unit = AddUnit(3);
  ASSERT_TRUE(AcquireProgrammerAt(3));
  CurrentAddress = 3;
  platform.port.settings = "115200,n,8,1";
  ImageNumber = 1;
  unit.target(1).result = 18;
  unit.target(1).programSteps = {4};
  unit.target(0).programSteps = {4, 1, 1, 1, 2};
  manager.ports[3] = false;
  line.clearLog();
  ASSERT_TRUE(ProgramImage(false));

  ASSERT_EQ(manager.started.size(), 1u);
  EXPECT_EQ(manager.started[0].address, 3);
  EXPECT_EQ(manager.started[0].enabled, (std::array<bool, 4>{true, true, true, false}));
  EXPECT_FALSE(manager.started[0].reported);
  EXPECT_EQ(manager.framesAtStart, 0u);   // before anything was sent
  ASSERT_GE(manager.polled.size(), 2u);
  EXPECT_EQ(VerdictOf(manager.polled.front()), Verdict::Busy);
  ASSERT_EQ(manager.finished.size(), 1u);
  const UnitRun& end = manager.finished[0];
  EXPECT_TRUE(end.ended);
  EXPECT_EQ(end.status, manager.polled.back().status);   // the last poll's statuses
  const PortOutcome outcomes[] = {PortOutcome::Passed, PortOutcome::Failed, PortOutcome::Passed, PortOutcome::Idle};
  for (int port = 0; port < 4; ++port) EXPECT_EQ(OutcomeOf(end, port), outcomes[port]) << port;
  EXPECT_EQ(OutcomeDetail(end, 1), manager.captions[1]);
  EXPECT_EQ(VerdictOf(end), Verdict::Fail);
  // One GetStatus per poll report, and the one the last poll read at once to
  // confirm the final states: the reports read nothing of their own.
  const auto& log = line.log();
  const auto polls = std::count_if(log.begin(), log.end(), [](const auto& f) {
    return !f.payload.empty() && f.payload[0] == CmdGetStatus;
  });
  EXPECT_EQ(static_cast<size_t>(polls), manager.polled.size() + 1);
}

TEST_F(RunReportTest, CancelledRunEndsWithTheUnfinishedPortsStopped) {
  AddUnit(3);
  ASSERT_TRUE(AcquireProgrammerAt(3));
  CurrentAddress = 3;
  platform.port.settings = "115200,n,8,1";
  ImageNumber = 1;
  platform.events.OnTick = [this] {
    line.advance(platform.port.nowMs);
    if (platform.events.ticks == 20) CancelRequest = true;
  };
  EXPECT_TRUE(ProgramImage(false));
  ASSERT_EQ(manager.finished.size(), 1u);
  const UnitRun& end = manager.finished[0];
  EXPECT_TRUE(end.ended);
  EXPECT_TRUE(end.stopped);
  EXPECT_EQ(OutcomeOf(end, 0), PortOutcome::Stopped);
  EXPECT_EQ(VerdictOf(end), Verdict::Stopped);
  EXPECT_EQ(manager.captions[0], "Stopped");   // the label ends in the outcome, not in a busy state
  RunTally tally;
  tally.Count(end);
  EXPECT_EQ(tally.Unit(3).Counted(), 0);   // no device was finished, none is counted
}

TEST_F(RunReportTest, UnitThatStopsAnsweringEndsTheRunLineLostInTilesLabelsAndLog) {
  TempDir dir;
  RunLogFolder = dir.path() + "/Kestrin";
  vrxsim::Unit& unit = AddUnit(3);
  unit.target(0).programSteps = {4};   // port 1 is done at once, the others run on
  for (int port = 1; port < 4; ++port) unit.target(port).stepMs = 5000;
  ASSERT_TRUE(AcquireProgrammerAt(3));
  CurrentAddress = 3;
  platform.port.settings = "115200,n,8,1";
  ImageNumber = 1;
  // The line is pulled after four status replies: nothing answers any more.
  line.addFault(vrxsim::FaultConfig{vrxsim::FaultKind::Drop, 1, 4, -1, -1});
  EXPECT_FALSE(ProgramImage(false));
  ASSERT_EQ(manager.finished.size(), 1u);
  const UnitRun& end = manager.finished[0];
  EXPECT_TRUE(end.lineLost);
  EXPECT_FALSE(end.lostError.empty());
  EXPECT_EQ(OutcomeOf(end, 0), PortOutcome::Passed);   // confirmed before the line went
  EXPECT_EQ(manager.captions[0], "Done");
  for (int port = 1; port < 4; ++port) {
    EXPECT_EQ(OutcomeOf(end, port), PortOutcome::LineLost) << port;
    EXPECT_EQ(manager.captions[port], "Line Lost") << port;
  }
  EXPECT_EQ(VerdictOf(end), Verdict::LineLost);
  RunTally tally;
  tally.Count(end);
  EXPECT_EQ(tally.Unit(3).passes, 1);
  EXPECT_EQ(tally.Unit(3).fails, 0);   // a lost port is no failed device

  const std::vector<RunRecord> records = LatestRunRecords(RunLogFolder, 10, std::chrono::system_clock::now());
  ASSERT_EQ(records.size(), 4u);
  for (const RunRecord& r : records) {
    EXPECT_EQ(r.result, r.port == 1 ? "Done" : "Line Lost") << r.port;
    EXPECT_EQ(r.code, r.port == 1 ? 0 : 4) << r.port;   // the busy state last counted: VCC OK
    EXPECT_FALSE(r.errorText.empty()) << r.port;
  }
  RunLogFolder.clear();
}

TEST_F(RunReportTest, DeletingTheSlotMakesItsRunAnEarlierImages) {
  AddUnit(3);
  ASSERT_TRUE(AcquireProgrammerAt(3));
  CurrentAddress = 3;
  platform.port.settings = "115200,n,8,1";
  ImageNumber = 1;
  ASSERT_TRUE(ProgramImage(false));
  const UnitRun run = manager.finished.at(0);
  EXPECT_EQ(run.slot, 1);
  EXPECT_TRUE(RunImageCurrent(run));
  ASSERT_TRUE(DeleteImage(2));   // another slot
  EXPECT_TRUE(RunImageCurrent(run));
  ASSERT_TRUE(DeleteImage(1));
  EXPECT_FALSE(RunImageCurrent(run));
}

TEST_F(RunReportTest, RefusedStartEndsWithEveryEnabledPortNotStarted) {
  AddUnit(3);
  ASSERT_TRUE(AcquireProgrammerAt(3));
  CurrentAddress = 3;
  platform.port.settings = "115200,n,8,1";
  ImageNumber = 2;   // empty: Program is refused
  EXPECT_FALSE(ProgramImage(false));
  ASSERT_EQ(manager.finished.size(), 1u);
  EXPECT_TRUE(manager.polled.empty());
  EXPECT_EQ(OutcomeDetail(manager.finished[0], 0), "Not started");
  EXPECT_EQ(VerdictOf(manager.finished[0]), Verdict::NotRun);
  EXPECT_EQ(VerdictDetail({manager.finished[0]}), "4 of 4 ports not run");
}

TEST_F(RunReportTest, UnansweredStartEndsLineLostNotAsARunThatNeverWas) {
  TempDir dir;
  RunLogFolder = dir.path() + "/Kestrin";
  AddUnit(3);
  ASSERT_TRUE(AcquireProgrammerAt(3));
  CurrentAddress = 3;
  platform.port.settings = "115200,n,8,1";
  ImageNumber = 1;
  // The unit takes Program, but no reply to it comes back: its ports may be running.
  line.addFault(vrxsim::FaultConfig{vrxsim::FaultKind::Drop, 1, 0, -1, CmdProgram});
  EXPECT_FALSE(ProgramImage(false));
  ASSERT_EQ(manager.finished.size(), 1u);
  const UnitRun& end = manager.finished[0];
  EXPECT_TRUE(end.lineLost);
  EXPECT_FALSE(end.lostError.empty());
  EXPECT_EQ(VerdictOf(end), Verdict::LineLost);
  for (int port = 0; port < 4; ++port) EXPECT_EQ(manager.captions[port], "Line Lost") << port;
  const std::vector<RunRecord> records = LatestRunRecords(RunLogFolder, 10, std::chrono::system_clock::now());
  ASSERT_EQ(records.size(), 4u);
  for (const RunRecord& r : records) EXPECT_EQ(r.result, "Line Lost") << r.port;
  RunLogFolder.clear();
}

class ArrayReportingView : public ArrayProgramView {
 public:
  explicit ArrayReportingView(size_t n) : enabled(n, true) {}
  bool ProgrammerEnabled(int p) override { return enabled[p]; }
  bool PortEnabled(int, int port) override { return port != 3; }
  int ChosenImage(int) override { return 1; }
  bool CrcVerify() override { return false; }
  bool Sequential() override { return false; }
  void SetPanelEnabled(int, bool) override {}
  void SetPortStatus(int, int, const std::string&, int64_t, int64_t) override {}
  void RunStarted(const std::vector<ArrayPanel>& panels) override {
    for (const ArrayPanel& p : panels) started.push_back(p.run);
  }
  void PanelPolled(int panel, const ArrayPanel& unit) override { polledPanels.push_back(panel); }
  void RunFinished(const std::vector<ArrayPanel>& panels) override {
    for (const ArrayPanel& p : panels) finished.push_back(p.run);
  }

  std::vector<bool> enabled;
  std::vector<UnitRun> started, finished;
  std::vector<int> polledPanels;
};

TEST_F(RunReportTest, ArrayRunReportsEveryUnitsRun) {
  AddUnit(1);
  AddUnit(2);
  vrxsim::Unit& third = AddUnit(3);
  third.target(1).result = 18;
  third.target(1).programSteps = {4};
  ASSERT_TRUE(AcquireProgrammers());
  CurrentAddress = ProgrammerTable[1].Address;
  platform.port.settings = ProgSettings[CurrentAddress];
  std::vector<ArrayPanel> panels = OpenArrayProgramming();
  ASSERT_EQ(panels.size(), 3u);
  ArrayReportingView view(3);
  view.enabled[1] = false;   // unit 2 takes no part
  ASSERT_TRUE(RunArray(view, panels));

  ASSERT_EQ(view.started.size(), 3u);
  const std::array<bool, 4> ticked{true, true, true, false};
  EXPECT_EQ(view.started[0].enabled, ticked);
  EXPECT_EQ(view.started[1].enabled, (std::array<bool, 4>{}));
  EXPECT_EQ(view.started[2].address, 3);
  EXPECT_EQ(std::count(view.polledPanels.begin(), view.polledPanels.end(), 1), 0);
  EXPECT_GT(std::count(view.polledPanels.begin(), view.polledPanels.end(), 2), 0);
  ASSERT_EQ(view.finished.size(), 3u);
  for (const UnitRun& run : view.finished) EXPECT_TRUE(run.ended);
  EXPECT_EQ(VerdictOf(view.finished[0]), Verdict::Pass);
  EXPECT_EQ(VerdictOf(view.finished[1]), Verdict::None);
  EXPECT_EQ(VerdictOf(view.finished[2]), Verdict::Fail);
  EXPECT_EQ(UnitDetail(view.finished[2]), "Port 2 Verify Failed");
  EXPECT_EQ(VerdictOf(view.finished), Verdict::Fail);

  RunTally tally;
  for (const UnitRun& run : view.finished) tally.Count(run);
  EXPECT_EQ(tally.Unit(1).passes, 3);
  EXPECT_EQ(tally.Unit(2).Counted(), 0);
  EXPECT_EQ(tally.Unit(3).passes, 2);
  EXPECT_EQ(tally.Port(3, 1).fails, 1);
}

}  // namespace
