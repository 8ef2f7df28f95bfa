// Programming runs, port status texts and image delete against the
// in-process simulated line.
#include <gtest/gtest.h>

#include "link/CommDefs.h"
#include "link/LineState.h"
#include "operations/DeleteImage.h"
#include "operations/ImageDirectory.h"
#include "operations/PortStatus.h"
#include "operations/ProgramRun.h"
#include "operations/Selection.h"
#include "platform/SoundPlayer.h"
#include "programmers/Discovery.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "sim/StoredImages.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/ProgramManagerView.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

class RecordingProgramManager : public ProgramManagerView {
 public:
  bool PortEnabled(int port) override { return ports[port]; }
  bool CrcVerifyOnly() override { return crcVerify; }
  bool Sequential() override { return sequential; }
  bool SoundEnabled() override { return sound; }
  void SetPortStatus(int port, const std::string& caption, int64_t back, int64_t fore) override {
    if (history[port].empty() || history[port].back() != caption) history[port].push_back(caption);
    captions[port] = caption;
    backs[port] = back;
    fores[port] = fore;
  }
  void SetStatusFrameVisible(bool visible) override { frameVisible = visible; }

  bool ports[4] = {true, true, true, true};
  bool crcVerify = false, sequential = false, sound = true, frameVisible = false;
  std::vector<std::string> history[4];
  std::string captions[4];
  int64_t backs[4] = {}, fores[4] = {};
};

class RecordingSound : public SoundPlayer {
 public:
  void PlayAsync(const std::string& file) override { played.push_back(file); }
  std::vector<std::string> played;
};

class ProgramRunTest : public ::testing::Test {
 protected:
  ProgramRunTest() {
    ConnectSimLine(platform.port, line);
    // The simulated programmer's clock follows the ticks.
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    frmProgram = &manager;
    Sound = &sound;
    AppPath = dir.path();
  }
  ~ProgramRunTest() override {
    frmProgram = nullptr;
    Sound = nullptr;
    CancelRequest = false;
  }

  vrxsim::Unit& AddUnit() {
    vrxsim::UnitConfig c;
    c.address = 3;
    c.images.push_back(vrxsim::StoredImage{});
    vrxsim::Unit& unit = line.addUnit(c);
    EXPECT_TRUE(AcquireProgrammerAt(3));
    CurrentAddress = 3;
    platform.port.settings = "115200,n,8,1";
    ImageNumber = 1;
    return unit;
  }

  std::vector<uint8_t> CommandsSent() const {
    std::vector<uint8_t> codes;
    for (const auto& frame : line.log()) codes.push_back(frame.payload.empty() ? 0xFF : frame.payload[0]);
    return codes;
  }

  FakePlatform platform;
  vrxsim::Line line;
  RecordingProgramManager manager;
  RecordingSound sound;
  TempDir dir;
};

TEST_F(ProgramRunTest, PortsGoThroughTheirBusyCodesToDone) {
  vrxsim::Unit& unit = AddUnit();
  for (int port = 0; port < 4; ++port) unit.target(port).stepMs = 500;   // longer than a poll interval
  platform.window.enabled = false;
  ASSERT_TRUE(ProgramImage(false));
  for (int port = 0; port < 4; ++port) {
    EXPECT_EQ(manager.history[port], (std::vector<std::string>{"", "VCC OK", "Programming", "Verifying", "Done"}))
        << port;
    EXPECT_EQ(manager.backs[port], ColorButtonFace);
    EXPECT_EQ(manager.fores[port], ColorTeal);
  }
  EXPECT_TRUE(manager.frameVisible);
  EXPECT_TRUE(sound.played.empty());
  EXPECT_TRUE(platform.window.enabled);
  EXPECT_EQ(platform.settings.values["Settings/PortEnables"], "15");
  const std::vector<uint8_t> sent = CommandsSent();
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[sent.size() - 1], CmdGetStatus);
}

TEST_F(ProgramRunTest, FailingPortIsRedOnWhiteAndSoundsTheAlarmWhileOthersFinish) {
  vrxsim::Unit& unit = AddUnit();
  unit.target(1).result = 18;
  unit.target(1).programSteps = {4};
  unit.target(3).programSteps = {4, 1, 1, 1, 2};
  ASSERT_TRUE(ProgramImage(false));
  EXPECT_EQ(manager.captions[1], "Verify Failed");
  EXPECT_EQ(manager.backs[1], ColorWhite);
  EXPECT_EQ(manager.fores[1], ColorRed);
  EXPECT_EQ(manager.captions[3], "Done");   // polling went on for the slower port
  ASSERT_EQ(sound.played.size(), 1u);
  EXPECT_EQ(sound.played[0], dir.path() + "/fail.wav");
}

// The selected programmer's security block is damaged: a program run would
// count devices off untrusted bytes and is refused before anything is sent; a
// verify run counts nothing.
TEST_F(ProgramRunTest, ProgramRunIsRefusedOnADamagedSecurityBlock) {
  AddUnit();
  line.clearLog();
  SecurityDamaged = true;
  EXPECT_FALSE(ProgramImage(false));
  EXPECT_EQ(LastErrorNumber, ErrSecurityDamaged);
  EXPECT_EQ(LastErrorText, SecurityDamagedText);
  EXPECT_TRUE(CommandsSent().empty());
  EXPECT_TRUE(ProgramImage(true)) << LastErrorText;
  SecurityDamaged = false;
  const std::vector<uint8_t> sent = CommandsSent();
  EXPECT_NE(std::find(sent.begin(), sent.end(), CmdVerify), sent.end());
  EXPECT_EQ(std::find(sent.begin(), sent.end(), CmdProgram), sent.end());
}

TEST_F(ProgramRunTest, NoAlarmWhenSoundIsOff) {
  vrxsim::Unit& unit = AddUnit();
  unit.target(0).result = 13;
  manager.sound = false;
  ASSERT_TRUE(ProgramImage(true));
  EXPECT_EQ(manager.captions[0], "Unknown 13");
  EXPECT_TRUE(sound.played.empty());
}

TEST_F(ProgramRunTest, AllPortsDisabledEndsAfterOnePoll) {
  AddUnit();
  for (bool& p : manager.ports) p = false;
  ASSERT_TRUE(ProgramImage(false));
  for (int port = 0; port < 4; ++port) {
    EXPECT_EQ(manager.captions[port], "- Disabled -");
    EXPECT_EQ(manager.backs[port], ColorWhite);
    EXPECT_EQ(manager.fores[port], ColorBlack);
  }
  // That poll reads the status a second time, at once: one reply never ends a run.
  const std::vector<uint8_t> sent = CommandsSent();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), CmdGetStatus), 2);
  EXPECT_EQ(platform.settings.values["Settings/PortEnables"], "0");
}

TEST_F(ProgramRunTest, PortEnablesOfPortsOneAndThreeWithCrcVerifyAre21) {
  vrxsim::Unit& unit = AddUnit();
  manager.ports[1] = manager.ports[3] = false;
  manager.crcVerify = true;
  EXPECT_EQ(PortEnableByte(), 21);
  ASSERT_TRUE(ProgramImage(false));
  EXPECT_EQ(platform.settings.values["Settings/PortEnables"], "21");
  EXPECT_EQ(unit.runOptions(), 0x10);
  EXPECT_EQ(manager.captions[1], "- Disabled -");
  EXPECT_EQ(manager.captions[2], "Done");
}

TEST_F(ProgramRunTest, CancelDuringAWaitSendsOneCancelAndReadsNoMoreStatus) {
  AddUnit();
  platform.events.OnTick = [this] {
    line.advance(platform.port.nowMs);
    if (platform.events.ticks == 20) CancelRequest = true;
  };
  EXPECT_TRUE(ProgramImage(false));
  const std::vector<uint8_t> sent = CommandsSent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), CmdCancelProgramming);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), CmdCancelProgramming), 1);
  EXPECT_NE(manager.captions[0], "Done");   // labels keep the last state shown
}

TEST_F(ProgramRunTest, CommandFailureStopsTheRun) {
  AddUnit();
  ImageNumber = 2;   // an empty slot: the programmer refuses it
  platform.window.enabled = false;
  EXPECT_FALSE(ProgramImage(false));
  EXPECT_EQ(LastErrorNumber, 7);
  EXPECT_EQ(LastErrorText, "Selected Image is Empty");
  EXPECT_EQ(ErrorTitle, "Program Image");
  EXPECT_FALSE(manager.frameVisible);
  EXPECT_TRUE(platform.window.enabled);
  const std::vector<uint8_t> sent = CommandsSent();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), CmdGetStatus), 0);
}

TEST(PortStatusTextTest, EveryCodeHasItsCaptionColoursAndState) {
  FakePlatform platform;
  SecondaryName = "EEPROM";
  struct Case { uint8_t code; const char* caption; bool busy, failed; };
  const Case cases[] = {
      {0, "Done", false, false}, {1, "Programming", true, false}, {2, "Verifying", true, false},
      {3, "Waiting for Power", true, false}, {4, "VCC OK", true, false}, {5, "- Disabled -", false, false},
      {6, "Reading Device", true, false}, {7, "Reading Checksum", true, false},
      {8, "Programming EEPROM", true, false}, {9, "Verifying EEPROM", true, false},
      {10, "Configuring Programmer...", true, false}, {11, "Searching I2C", true, false},
      {12, "Unknown 12", false, true}, {15, "Unknown 15", false, true}, {16, "No Target Vcc", false, true},
      {17, "Device Timeout", false, true}, {18, "Verify Failed", false, true}, {19, "Device ID Failed", false, true},
      {20, "VCC Present", false, true}, {21, "OCD Comm Failed", false, true}, {22, "Reset Asserted", false, true},
      {23, "Image Count Expired", false, true}, {24, "EEPROM Verify Failed", false, true},
      {25, "Fuse Verify Failed", false, true}, {26, "Lockbits Verify Failed", false, true},
      {27, "Serial Comm Failed", false, true}, {28, "Read Protected", false, true}, {29, "Bad Image", false, true},
      {30, "Extended ID Failed", false, true}, {31, "Unknown 31", false, true}, {255, "Unknown 255", false, true}};
  for (const Case& c : cases) {
    std::string caption = "stale";
    int64_t back = -1, fore = -1;
    bool failed = !c.failed;
    EXPECT_EQ(PortStatusText(c.code, caption, back, fore, failed), c.busy) << int(c.code);
    EXPECT_EQ(caption, c.caption);
    EXPECT_EQ(failed, c.failed) << int(c.code);
    if (c.failed) {
      EXPECT_EQ(back, ColorWhite);
      EXPECT_EQ(fore, ColorRed);
    } else if (c.code != 5) {
      EXPECT_EQ(back, ColorButtonFace);
      EXPECT_EQ(fore, ColorTeal);
    }
  }
}

class DeleteImageTest : public ProgramRunTest {};

TEST_F(DeleteImageTest, ZeroesTheDirectoryEntryAndTheSlotReadsEmpty) {
  vrxsim::UnitConfig c;
  c.address = 3;
  c.images.push_back(vrxsim::StoredImage{2, 4096, 0, 0, 165, "Keep data", 0, 0, 7, true, ""});
  vrxsim::Unit& unit = line.addUnit(c);
  ASSERT_TRUE(AcquireProgrammerAt(3));
  SelectProgrammer();
  ASSERT_EQ(ImageDirectory[2].Size, 4096);
  const uint8_t firstImageByte = unit.flash()[unit.imageBase() + unit.imageSlotSize()];

  ASSERT_TRUE(DeleteImage(2));
  EXPECT_EQ(ErrorTitle, "Delete Image");
  for (int i = 0; i < 32; ++i) EXPECT_EQ(unit.flash()[0x60 + i], 0) << i;
  EXPECT_EQ(unit.flash()[unit.imageBase() + unit.imageSlotSize()], firstImageByte);   // data stays
  ShowImageDirectory();
  EXPECT_EQ(ImageDirectory[2].Size, 0);
  EXPECT_EQ(fgImages.TextMatrix(2, ColName), "");
  EXPECT_EQ(ImageSecurity[1].Count, 7);   // the security entry is left alone
  EXPECT_EQ(DeleteImageQuestion(2, "Keep data"), "Delete Image   2: Keep data  from Programmer?");
}

}  // namespace
