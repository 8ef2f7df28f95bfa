// Array programming against the in-process simulated line: panels from the
// image directories, the port mask, start-up order, polling of every started
// programmer, a refused start, cancel and the address given back.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/LineState.h"
#include "operations/ArrayRun.h"
#include "operations/PortStatus.h"
#include "operations/RunState.h"
#include "operations/RunTally.h"
#include "programmers/Discovery.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "state/ErrorState.h"
#include "state/views/ArrayProgramView.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimLine.h"

namespace {

// Panels as the window would hold them, with every status change kept.
class RecordingArrayView : public ArrayProgramView {
 public:
  struct Panel {
    bool enabled = true;
    std::array<bool, 4> ports{true, true, true, true};
    int image = 1;
    bool frameEnabled = true;
    std::array<std::vector<std::string>, 4> history;
    std::array<int64_t, 4> backs{}, fores{};
  };
  explicit RecordingArrayView(size_t n) : panels(n) {}

  bool ProgrammerEnabled(int p) override { return panels[p].enabled; }
  bool PortEnabled(int p, int port) override { return panels[p].ports[port]; }
  int ChosenImage(int p) override { return panels[p].image; }
  bool CrcVerify() override { return verify; }
  bool Sequential() override { return sequential; }
  void SetPanelEnabled(int p, bool enabled) override {
    panels[p].frameEnabled = enabled;
    if (!enabled) ++framesDisabled;
  }
  void SetPortStatus(int p, int port, const std::string& caption, int64_t back, int64_t fore) override {
    auto& h = panels[p].history[port];
    if (h.empty() || h.back() != caption) h.push_back(caption);
    panels[p].backs[port] = back;
    panels[p].fores[port] = fore;
  }
  std::string Final(int p, int port) const {
    const auto& h = panels[p].history[port];
    return h.empty() ? "" : h.back();
  }

  std::vector<Panel> panels;
  bool verify = false, sequential = false;
  int framesDisabled = 0;
};

vrxsim::StoredImage ImageIn(int slot) {
  vrxsim::StoredImage image;
  image.slot = slot;
  image.name = "Image" + std::to_string(slot);
  return image;
}

class ArrayRunTest : public ::testing::Test {
 protected:
  ArrayRunTest() {
    ConnectSimLine(platform.port, line);
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    TypeTableV3[6].TypeName = "AVR";
    TypeTableV2[1].TypeName = "PSoC";
  }
  ~ArrayRunTest() override { CancelRequest = false; }

  vrxsim::Unit& AddUnit(int address, std::vector<int> slots, int type = 6) {
    vrxsim::UnitConfig c;
    c.address = address;
    c.type = type;
    for (int s : slots) c.images.push_back(ImageIn(s));
    return line.addUnit(c);
  }

  // Scans the line, selects the first programmer and opens the panels.
  std::vector<ArrayPanel> Open() {
    EXPECT_TRUE(AcquireProgrammers());
    CurrentAddress = ProgrammerTable[1].Address;
    platform.port.settings = ProgSettings[CurrentAddress];
    line.clearLog();
    return OpenArrayProgramming();
  }

  // Command codes sent, with the address each went to, in order.
  std::vector<std::pair<int, int>> Sent() const {
    std::vector<std::pair<int, int>> sent;
    for (const auto& f : line.log()) sent.emplace_back(f.address, f.payload.empty() ? -1 : f.payload[0]);
    return sent;
  }
  int CountTo(int address, int code) const {
    const auto sent = Sent();
    return static_cast<int>(std::count(sent.begin(), sent.end(), std::make_pair(address, code)));
  }

  FakePlatform platform;
  vrxsim::Line line;
};

TEST_F(ArrayRunTest, PanelsListTheStoredImagesAndAUnitWithoutImagesIsNotPrepared) {
  AddUnit(2, {1, 3});
  AddUnit(4, {});
  AddUnit(7, {2, 3, 4});
  const std::vector<ArrayPanel> panels = Open();
  ASSERT_EQ(panels.size(), 3u);
  struct Expected { int address; std::vector<int> images; const char* caption; };
  const Expected expected[] = {{2, {1, 3}, " 2 AVR"}, {4, {}, " 4 AVR"}, {7, {2, 3, 4}, " 7 AVR"}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(panels[i].prepared) << i;
    EXPECT_EQ(panels[i].address, expected[i].address) << i;
    EXPECT_EQ(panels[i].images, expected[i].images) << i;
    EXPECT_EQ(panels[i].caption, expected[i].caption) << i;
  }
  // Every directory was read, and the security block (twice, to agree) of
  // each unit holding images; then the address of the selected unit came back.
  for (int a : {2, 7}) EXPECT_EQ(CountTo(a, CmdReadFlash), 3) << a;
  EXPECT_EQ(CountTo(4, CmdReadFlash), 1);
  EXPECT_EQ(SavedAddress, 2);
  EXPECT_EQ(CurrentAddress, 2);
}

TEST_F(ArrayRunTest, PortMaskTakesPortsInBitsZeroToThreeVerifyInFourSequentialInFive) {
  struct Case { std::array<bool, 4> ports; bool verify, sequential; int mask; };
  const Case cases[] = {{{true, false, true, false}, true, false, 0x15},
                        {{true, true, true, true}, false, false, 0x0F},
                        {{false, false, false, true}, false, true, 0x28},
                        {{false, false, false, false}, true, true, 0x30}};
  for (const Case& c : cases) EXPECT_EQ(ArrayPortMask(c.ports, c.verify, c.sequential), c.mask);
}

TEST_F(ArrayRunTest, MaskSentToTheUnitCarriesTheChosenPortsAndVerify) {
  vrxsim::Unit& unit = AddUnit(3, {1});
  std::vector<ArrayPanel> panels = Open();
  RecordingArrayView view(1);
  view.panels[0].ports = {true, false, true, false};
  view.verify = true;
  ASSERT_TRUE(RunArray(view, panels));
  // The unit holds the options it was sent and ran only ports 1 and 3.
  EXPECT_EQ(unit.runOptions(), 0x10);
  const std::string finals[] = {"Done", "- Disabled -", "Done", "- Disabled -"};
  for (int port = 0; port < 4; ++port) EXPECT_EQ(view.Final(0, port), finals[port]) << port;
}

TEST_F(ArrayRunTest, ThreeUnitsWithOneFailingPortEndWithEveryFinalStatus) {
  vrxsim::Unit& a = AddUnit(1, {1});
  vrxsim::Unit& b = AddUnit(2, {2});
  vrxsim::Unit& c = AddUnit(3, {1, 4});
  a.target(0).stepMs = 100;                // runs of different lengths
  b.target(2).result = 18;                 // Verify Failed
  c.target(3).programSteps = {4, 1, 1, 1, 1, 2};
  std::vector<ArrayPanel> panels = Open();
  RecordingArrayView view(3);
  view.panels[1].image = 2;
  view.panels[2].image = 4;
  ASSERT_TRUE(RunArray(view, panels));   // a failed port is no failed command

  for (int p = 0; p < 3; ++p) {
    EXPECT_TRUE(panels[p].started) << p;
    for (int port = 0; port < 4; ++port) {
      const bool failing = p == 1 && port == 2;
      EXPECT_EQ(view.Final(p, port), failing ? "Verify Failed" : "Done") << p << port;
      EXPECT_EQ(panels[p].portFailed[port], failing) << p << port;
      EXPECT_EQ(view.panels[p].backs[port], failing ? ColorWhite : ColorButtonFace);
      EXPECT_EQ(view.panels[p].fores[port], failing ? ColorRed : ColorTeal);
    }
    EXPECT_TRUE(view.panels[p].frameEnabled) << p;
  }
  EXPECT_EQ(view.framesDisabled, 3);
  // Start-up in panel order: enable byte, then Program with the chosen slot (0-based on the wire).
  std::vector<std::pair<int, int>> starts;
  std::vector<int> slots;
  for (const auto& f : line.log()) {
    if (f.payload.empty()) continue;
    if (f.payload[0] == CmdPortsEnable || f.payload[0] == CmdProgram) starts.emplace_back(f.address, f.payload[0]);
    if (f.payload[0] == CmdProgram) slots.push_back(f.payload.at(1));
  }
  const std::vector<std::pair<int, int>> order = {{1, CmdPortsEnable}, {1, CmdProgram}, {2, CmdPortsEnable},
                                                  {2, CmdProgram},     {3, CmdPortsEnable}, {3, CmdProgram}};
  EXPECT_EQ(starts, order);
  EXPECT_EQ(slots, (std::vector<int>{0, 1, 3}));
  // The slow unit was polled longer than the quick one.
  EXPECT_GT(CountTo(3, CmdGetStatus), CountTo(1, CmdGetStatus));
  EXPECT_EQ(CurrentAddress, 1);
}

// Codes 8, 9 and 24 name each unit's own second memory, whatever programmer
// is selected (none at all on the command line), in the status texts and in
// the verdict's detail.
TEST_F(ArrayRunTest, StatusTextsNameEachUnitsOwnSecondMemory) {
  vrxsim::Unit& psoc = AddUnit(1, {1}, 1);
  vrxsim::Unit& z8 = AddUnit(2, {1}, 2);
  for (vrxsim::Unit* unit : {&psoc, &z8}) {
    unit->target(0).programSteps = {8, 9};
    unit->target(0).stepMs = 500;   // longer than a poll interval: every step is seen
  }
  z8.target(0).result = 24;
  std::vector<ArrayPanel> panels = Open();
  SecondaryName = "";
  RecordingArrayView view(2);
  for (auto& panel : view.panels) panel.ports = {true, false, false, false};
  ASSERT_TRUE(RunArray(view, panels)) << LastErrorText;
  EXPECT_EQ(view.panels[0].history[0], (std::vector<std::string>{"Programming EEPROM", "Verifying EEPROM", "Done"}));
  EXPECT_EQ(view.panels[1].history[0],
            (std::vector<std::string>{"Programming FIB3", "Verifying FIB3", "FIB3 Verify Failed"}));
  EXPECT_EQ(OutcomeDetail(panels[1].run, 0), "FIB3 Verify Failed");
}

// Each unit's own security block decides: the unit whose seal is wrong is
// not started, even for a CRC-verify run (a Program command, which counts
// devices), and nothing is sent to it; the unit before it runs as usual.
TEST_F(ArrayRunTest, ProgramIsRefusedOnAUnitWithADamagedSecurityBlock) {
  AddUnit(1, {1});
  vrxsim::Unit& damaged = AddUnit(2, {1});
  damaged.flash()[SecurityBlockAddress + 4] ^= 0x01;   // slot 1's flags, behind the seal
  std::vector<ArrayPanel> panels = Open();
  ASSERT_EQ(panels.size(), 2u);
  EXPECT_FALSE(panels[0].securityDamaged);
  EXPECT_TRUE(panels[1].securityDamaged);
  RecordingArrayView view(2);
  EXPECT_FALSE(RunArray(view, panels));
  EXPECT_EQ(LastErrorNumber, ErrSecurityDamaged);
  EXPECT_TRUE(panels[0].started);
  EXPECT_TRUE(panels[1].startFailed);
  EXPECT_EQ(CountTo(2, CmdPortsEnable) + CountTo(2, CmdProgram), 0);
  EXPECT_EQ(view.Final(0, 0), "Done");

  view.verify = true;
  line.clearLog();
  EXPECT_FALSE(RunArray(view, panels));
  EXPECT_EQ(LastErrorNumber, ErrSecurityDamaged);
  EXPECT_EQ(CountTo(2, CmdPortsEnable) + CountTo(2, CmdProgram), 0);
}

TEST_F(ArrayRunTest, RefusedProgramEndsStartUpButTheStartedUnitsAreFollowedToTheEnd) {
  AddUnit(1, {1});
  AddUnit(2, {1});
  AddUnit(3, {1});   // slot 2 is empty: Program is refused
  AddUnit(4, {1});
  std::vector<ArrayPanel> panels = Open();
  RecordingArrayView view(4);
  view.panels[2].image = 2;
  EXPECT_FALSE(RunArray(view, panels));

  EXPECT_EQ(LastErrorNumber, 7);
  EXPECT_EQ(LastErrorText, "Selected Image is Empty");
  EXPECT_EQ(ErrorTitle, "Array Programming");
  EXPECT_TRUE(panels[2].startFailed);
  EXPECT_FALSE(panels[3].started);
  EXPECT_EQ(CountTo(4, CmdPortsEnable) + CountTo(4, CmdProgram), 0);   // start-up ended at unit 3
  for (int p : {0, 1}) {
    EXPECT_TRUE(panels[p].started) << p;
    for (int port = 0; port < 4; ++port) EXPECT_EQ(view.Final(p, port), "Done") << p << port;
  }
  EXPECT_EQ(CountTo(3, CmdGetStatus), 0);
  for (const auto& panel : view.panels) EXPECT_TRUE(panel.frameEnabled);
  EXPECT_EQ(CurrentAddress, 1);
}

TEST_F(ArrayRunTest, UntickedUnitIsNeitherStartedNorPolled) {
  AddUnit(1, {1});
  AddUnit(2, {1});
  std::vector<ArrayPanel> panels = Open();
  RecordingArrayView view(2);
  view.panels[0].enabled = false;
  ASSERT_TRUE(RunArray(view, panels));
  for (int code : {CmdPortsEnable, CmdProgram, CmdGetStatus}) EXPECT_EQ(CountTo(1, code), 0) << code;
  EXPECT_EQ(view.Final(1, 0), "Done");
}

TEST_F(ArrayRunTest, CancelStopsEveryStartedUnitOnceAndReadsNoMoreStatus) {
  AddUnit(1, {1});
  AddUnit(2, {1});
  AddUnit(3, {1});
  std::vector<ArrayPanel> panels = Open();
  RecordingArrayView view(3);
  view.panels[1].enabled = false;
  int ticks = 0;
  platform.events.OnTick = [&] {
    line.advance(platform.port.nowMs);
    if (++ticks == 20) CancelRequest = true;
  };
  RunArray(view, panels);
  EXPECT_EQ(CountTo(1, CmdCancelProgramming), 1);
  EXPECT_EQ(CountTo(2, CmdCancelProgramming), 0);
  EXPECT_EQ(CountTo(3, CmdCancelProgramming), 1);
  const auto sent = Sent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[sent.size() - 1].second, CmdCancelProgramming);
  EXPECT_EQ(sent[sent.size() - 2].second, CmdCancelProgramming);
  EXPECT_TRUE(panels[0].cancelled);
  EXPECT_NE(view.Final(0, 0), "Done");
  // The units stopped mid-run end stopped, in their verdict and in their labels.
  for (int i : {0, 2}) {
    EXPECT_TRUE(panels[i].run.stopped) << i;
    EXPECT_EQ(VerdictOf(panels[i].run), Verdict::Stopped) << i;
    for (int port = 0; port < 4; ++port) {
      if (OutcomeOf(panels[i].run, port) == PortOutcome::Stopped) {
        EXPECT_EQ(view.Final(i, port), "Stopped") << i << "/" << port;
      }
    }
  }
}

// Units at different line speeds: each is spoken to at its own, and however
// the talk ends (a run cancelled mid-way, a unit's guard left early) the
// selected unit's address and speed are in force again.
TEST_F(ArrayRunTest, EachUnitAtItsOwnSpeedAndTheSelectedOneComesBack) {
  AddUnit(1, {1});
  vrxsim::UnitConfig slow;
  slow.address = 5;
  slow.type = 6;
  slow.baud = vrxsim::Baud::B38400;
  slow.images.push_back(ImageIn(1));
  line.addUnit(slow);
  std::vector<ArrayPanel> panels = Open();
  ASSERT_EQ(panels.size(), 2u);
  ASSERT_TRUE(panels[1].prepared) << LastErrorText;   // its directory was read at its own speed
  ASSERT_NE(ProgSettings[1], ProgSettings[5]);
  EXPECT_EQ(platform.port.settings, ProgSettings[1]);

  RecordingArrayView view(2);
  int ticks = 0;
  platform.events.OnTick = [&] {
    line.advance(platform.port.nowMs);
    if (++ticks == 20) CancelRequest = true;
  };
  RunArray(view, panels);
  EXPECT_TRUE(panels[0].started);
  EXPECT_TRUE(panels[1].started);
  EXPECT_EQ(CountTo(5, CmdCancelProgramming), 1);
  EXPECT_EQ(CurrentAddress, 1);
  EXPECT_EQ(platform.port.settings, ProgSettings[1]);

  auto talk = [this](bool leaveEarly) {
    const UnitAddressScope unit(5);
    EXPECT_EQ(CurrentAddress, 5);
    EXPECT_EQ(platform.port.settings, ProgSettings[5]);
    if (leaveEarly) return;
    std::array<uint8_t, 4> status{};
    EXPECT_TRUE(GetStatus(status)) << LastErrorText;
  };
  for (bool leaveEarly : {false, true}) {
    talk(leaveEarly);
    EXPECT_EQ(CurrentAddress, 1);
    EXPECT_EQ(platform.port.settings, ProgSettings[1]);
  }
}

TEST_F(ArrayRunTest, UnitThatStopsAnsweringIsGivenUpAndReportedWhileTheOtherFinishes) {
  vrxsim::Unit& slow = AddUnit(1, {1});
  for (int port = 0; port < 4; ++port) slow.target(port).stepMs = 2000;   // busy through every missed reply
  AddUnit(2, {1});
  std::vector<ArrayPanel> panels = Open();
  // Status replies alternate between the two units: every second one is unit 2's.
  line.addFault(vrxsim::FaultConfig{vrxsim::FaultKind::Drop, 2, 0, ArrayStatusRetries, CmdGetStatus});
  RecordingArrayView view(2);
  EXPECT_FALSE(RunArray(view, panels));
  EXPECT_EQ(LastErrorNumber, 1500);
  EXPECT_TRUE(panels[1].lost);
  EXPECT_FALSE(panels[0].lost);
  EXPECT_EQ(CountTo(2, CmdGetStatus), ArrayStatusRetries);
  for (int port = 0; port < 4; ++port) EXPECT_EQ(view.Final(0, port), "Done") << port;
  EXPECT_EQ(VerdictOf(panels[0].run), Verdict::Pass);
  EXPECT_EQ(VerdictOf(panels[1].run), Verdict::LineLost);
  EXPECT_FALSE(panels[1].run.lostError.empty());
  for (int port = 0; port < 4; ++port) {
    EXPECT_EQ(OutcomeOf(panels[1].run, port), PortOutcome::LineLost) << port;
    EXPECT_EQ(view.Final(1, port), "Line Lost") << port;
  }
}

TEST_F(ArrayRunTest, CommandsGoBackToTheSelectedUnitAfterwards) {
  AddUnit(1, {1});
  AddUnit(9, {1});
  EXPECT_TRUE(AcquireProgrammers());
  CurrentAddress = 9;   // the second unit is the selected one
  OpenArrayProgramming();
  EXPECT_EQ(SavedAddress, 9);
  CurrentAddress = 1;   // as a run leaves it mid-way
  RestoreSavedAddress();
  line.clearLog();
  std::array<uint8_t, 4> status{};
  ASSERT_TRUE(GetStatus(status));
  ASSERT_EQ(line.log().size(), 1u);
  EXPECT_EQ(line.log()[0].address, 9);
}

}  // namespace
