// A line that is pulled and comes back, and firmware upgrades that ask first,
// against vrx-sim over a pseudo-terminal on the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <memory>
#include <set>

#include "devices/ImageState.h"
#include "link/Transport.h"
#include "operations/ui/ImageManagerWindow.h"
#include "operations/ui/ProgramManagerWindow.h"
#include "platform/MessageBox.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "platform/SoundPlayer.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "programmers/ui/FactoryWindow.h"
#include "shell/MainWindow.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimProcess.h"
#include "tests/support/WindowLine.h"

namespace {

class SilentSound : public SoundPlayer {
 public:
  void PlayAsync(const std::string&) override {}
};

const std::vector<std::string> UnitWithImage = {
    "--programmer", "address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200",
    "--image",      "slot=1,name=Line board,device=9,family=0,freq=4000",
    "--target",     "port=1,step=40",
    "--target",     "port=2,step=40",
    "--target",     "port=3,step=40",
    "--target",     "port=4,step=40"};

class LineTest : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& simOptions) {
    sim = std::make_unique<SimProcess>(simOptions);
    ASSERT_TRUE(sim->ready());
    BindSimulatedLines(portMap, serial, events, {{1, sim->linkPath()}});
    Sound = &sound;
    window = std::make_unique<MainWindow>(portMap);
    frmMain = window.get();
    window->Form_Load();
  }

  void TearDown() override {
    if (window) window->close();
    window.reset();
    Sound = nullptr;
  }

  // The programmer found by a scan of the line, slot 1 chosen, then the programming manager.
  ProgramManagerWindow* OpenProgramManager() {
    window->mnuViewProgScan_Click();
    SettleEvents();
    EXPECT_NE(window->ImageManager(), nullptr);
    if (!window->ImageManager()) return nullptr;
    window->ImageManager()->fgImages_Click(1);
    window->mnuViewProgMan_Click();
    SettleEvents();
    return window->ProgramManager();
  }

  // The simulator ends; the port notices, and the next command to the unit fails.
  void PullLine() {
    sim->kill();
    PauseEvents(300);
  }

  // Frames of the simulator's present run ("<address> <payload hex>") with the given command code.
  int FramesWithCode(const char* code) const {
    int n = 0;
    for (const std::string& f : sim->loggedFrames()) {
      const std::string frame = f.substr(f.find(' ') + 1);
      const std::string payload = frame.substr(frame.find(' ') + 1);
      if (payload.rfind(code, 0) == 0) ++n;
    }
    return n;
  }

  bool OfflineShown() const {
    return window->LineStateLabel()->isVisibleTo(window.get()) && window->ImageManager() &&
           window->ImageManager()->lblOffline()->isVisibleTo(window->ImageManager()) &&
           !window->ImageManager()->Grid()->isEnabled();
  }

  static void ExpectPassed(ProgramManagerWindow* pm) {
    for (int port = 0; port < 4; ++port) EXPECT_EQ(pm->valPortSts(port)->text(), "Done") << port;
  }

  FakePlatform recorders;   // message boxes, settings; program state reset
  PortMap portMap{&recorders.settings};
  QtSerialPort serial{portMap};
  QtEventLoop events;
  SilentSound sound;
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<MainWindow> window;
};

TEST_F(LineTest, PulledLineShowsOfflineAndTheFirstProgramAfterItReturnsSucceeds) {
  Start(UnitWithImage);
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  EXPECT_FALSE(window->LineStateLabel()->isVisibleTo(window.get()));
  EXPECT_FALSE(window->ImageManager()->lblOffline()->isVisibleTo(window->ImageManager()));
  const QString gridName = window->ImageManager()->Grid()->item(0, 3)->text();

  PullLine();
  pm->btStart()->click();
  SettleEvents();
  ASSERT_FALSE(recorders.messages.boxes.empty());   // the failed run's report
  EXPECT_TRUE(OfflineShown());
  EXPECT_TRUE(window->LineStateLabel()->text().startsWith("Line lost: ")) << window->LineStateLabel()->text().toStdString();
  EXPECT_TRUE(window->ImageManager()->lblOffline()->text().startsWith("OFFLINE"));
  EXPECT_EQ(window->ImageManager()->Grid()->item(0, 3)->text(), gridName);   // kept, marked as not current

  ASSERT_TRUE(sim->restart());
  recorders.messages.boxes.clear();
  pm->btStart()->click();
  SettleEvents();
  EXPECT_TRUE(recorders.messages.boxes.empty()) << recorders.messages.boxes.front().text;
  // The unit got the run and ran it: one Program frame on its line, every port done.
  EXPECT_EQ(FramesWithCode("04"), 1);
  ExpectPassed(pm);
  EXPECT_TRUE(serial.IsOpen());
  // The run's end read the directory afresh for Images Remaining: the grid is
  // the programmer's store again, and nothing says otherwise.
  EXPECT_FALSE(window->LineStateLabel()->isVisibleTo(window.get())) << window->LineStateLabel()->text().toStdString();
  EXPECT_FALSE(window->ImageManager()->lblOffline()->isVisibleTo(window->ImageManager()));
  EXPECT_TRUE(window->ImageManager()->Grid()->isEnabled());
}

TEST_F(LineTest, F5WithTheProgrammingManagerOpenScansAgainAndProgramThenSucceeds) {
  Start(UnitWithImage);
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  QAction* scan = window->Menu("mnuViewProgScan");
  auto* key = window->findChild<QAction*>(QStringLiteral("RescanKey"));
  ASSERT_NE(key, nullptr);
  EXPECT_FALSE(scan->isEnabled());   // the programming manager holds the scan entry
  // F5 still answers, through an entry of its own.
  EXPECT_EQ(key->shortcut(), QKeySequence(Qt::Key_F5));
  EXPECT_TRUE(scan->shortcut().isEmpty());

  PullLine();
  pm->btStart()->click();
  SettleEvents();
  EXPECT_TRUE(OfflineShown());
  ASSERT_TRUE(sim->restart());
  recorders.messages.boxes.clear();

  key->trigger();
  SettleEvents();
  EXPECT_TRUE(recorders.messages.boxes.empty()) << recorders.messages.boxes.front().text;
  EXPECT_EQ(FramesWithCode("00"), 32);   // every address asked at both speeds
  EXPECT_EQ(window->StatusPanelText("Status"), "Found 1 Programmers");
  EXPECT_FALSE(window->LineStateLabel()->isVisibleTo(window.get()));
  ASSERT_NE(window->ImageManager(), nullptr);
  EXPECT_FALSE(window->ImageManager()->lblOffline()->isVisibleTo(window->ImageManager()));
  EXPECT_TRUE(window->ImageManager()->Grid()->isEnabled());
  ASSERT_EQ(window->ProgramManager(), pm);   // still open, in front again, on the image it had
  EXPECT_EQ(window->MdiArea()->activeSubWindow(), pm->parentWidget());
  EXPECT_EQ(pm->findChild<QComboBox*>(QStringLiteral("lstImage"))->currentText(), "1");
  EXPECT_FALSE(scan->isEnabled());

  // Closed, the programming manager gives the key back to the scan entry.
  pm->parentWidget()->close();
  SettleEvents();
  EXPECT_TRUE(scan->isEnabled());
  EXPECT_EQ(scan->shortcut(), QKeySequence(Qt::Key_F5));
  EXPECT_TRUE(key->shortcut().isEmpty());
  window->mnuViewProgMan_Click();
  SettleEvents();
  ASSERT_NE(window->ProgramManager(), nullptr);
  pm = window->ProgramManager();
  pm->btStart()->click();
  SettleEvents();
  EXPECT_TRUE(recorders.messages.boxes.empty()) << recorders.messages.boxes.front().text;
  EXPECT_EQ(FramesWithCode("04"), 1);
  ExpectPassed(pm);
}

TEST_F(LineTest, F5WhileAnOperationHoldsTheLineSaysWhy) {
  Start(UnitWithImage);
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  auto* key = window->findChild<QAction*>(QStringLiteral("RescanKey"));
  const size_t framesBefore = sim->loggedFrames().size();
  {
    const LineOperation run;   // as a run in progress holds it
    key->trigger();
  }
  EXPECT_EQ(window->StatusPanelText("Status"), "Scan for Programmers: wait until the operation under way has ended");
  EXPECT_EQ(sim->loggedFrames().size(), framesBefore);
}

TEST_F(LineTest, RescanAfterTheLineReturnsGivesNoErrorBoxes) {
  Start(UnitWithImage);
  ASSERT_NE(OpenProgramManager(), nullptr);
  window->ProgramManager()->parentWidget()->close();
  SettleEvents();
  PullLine();
  // The image manager, activated again, selects the programmer: one report
  // for the lost line, not one for each area it could not read.
  {
    const LineOperation activation;   // as the main window runs it
    window->ImageManager()->Form_Activate();
  }
  SettleEvents();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].title, "Kestrin - Read Flash Map");
  EXPECT_TRUE(OfflineShown());

  ASSERT_TRUE(sim->restart());
  recorders.messages.boxes.clear();
  window->mnuViewProgScan_Click();
  SettleEvents();
  EXPECT_TRUE(recorders.messages.boxes.empty()) << recorders.messages.boxes.front().text;
  EXPECT_FALSE(window->LineStateLabel()->isVisibleTo(window.get()));
  ASSERT_NE(window->ImageManager(), nullptr);
  EXPECT_EQ(window->ImageManager()->Grid()->item(0, 3)->text(), "Line board");
}

TEST_F(LineTest, UpgradeAsksFirstAndNoSendsNothing) {
  Start({"--programmer", "address=1,type=2,fw=3.001,slots=4,slotsize=256,baud=115200,reload=200"});
  window->mnuViewProgScan_Click();
  SettleEvents();
  ASSERT_NE(window->ImageManager(), nullptr);
  recorders.messages.boxes.clear();   // the obsolete-firmware note of the selection
  const std::vector<uint8_t> buffer = ImageBuffer;
  const size_t framesBefore = sim->loggedFrames().size();

  recorders.messages.answer = vbNo;
  window->Menu("mnuUpgradeFirmware")->trigger();
  SettleEvents();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  const RecordingMessageBox::Box& question = recorders.messages.boxes[0];
  EXPECT_EQ(question.title, "Upgrade Firmware");
  EXPECT_EQ(question.style, vbYesNo + vbQuestion + vbDefaultButton2);   // No unless Yes is chosen
  EXPECT_EQ(question.text,
            "Upgrade the firmware of the programmer at address 1 (VRX-Z8)?\r\n"
            "It runs revision 3.001; vrx_z8_v3.rex brings revision 3.010.\r\n"
            "Its hardware configuration and vector tables are written again after it.\r\n"
            "Keep the programmer powered and connected until the upgrade has finished.");
  EXPECT_EQ(sim->loggedFrames().size(), framesBefore);   // nothing sent
  EXPECT_EQ(ImageBuffer, buffer);                        // the file was read aside
  EXPECT_EQ(ProgrammerTable[1].FwRevision, "3.001");
  EXPECT_EQ(window->ImageManager()->lblFWRev()->text(), "Revision 3.001");

  recorders.messages.boxes.clear();
  recorders.messages.answer = vbYes;
  window->Menu("mnuUpgradeFirmware")->trigger();
  SettleEvents();
  ASSERT_EQ(recorders.messages.boxes.size(), 2u);
  EXPECT_EQ(recorders.messages.boxes[1].title, "Upgrade Firmware");
  EXPECT_EQ(recorders.messages.boxes[1].style, vbInformation);
  EXPECT_EQ(recorders.messages.boxes[1].text,
            "The firmware upgrade of the programmer at address 1 has finished.\r\nIt runs revision 3.010 now.");
  EXPECT_EQ(FramesWithCode("7E"), 1);   // LoadFirmware, once
  ASSERT_NE(window->ImageManager(), nullptr);
  EXPECT_EQ(window->ImageManager()->lblFWRev()->text(), "Revision 3.010");
  EXPECT_FALSE(window->LineStateLabel()->isVisibleTo(window.get()));   // its silence while rewriting was expected
}

TEST_F(LineTest, SelectFirmwareEntriesNameTheirGeneration) {
  Start({});
  FactoryWindow factory;
  ASSERT_TRUE(factory.Form_Load()) << LastErrorText;
  // A type listed in every revisions file appears once per generation, each entry saying which.
  std::set<QString> psoc;
  for (int row = 0; row < factory.lstProgType()->count(); ++row) {
    const QString text = factory.lstProgType()->item(row)->text();
    EXPECT_TRUE(text.contains(QStringLiteral(" (generation "))) << text.toStdString();
    if (text.startsWith(QStringLiteral("VRX-PSoC ("))) psoc.insert(text);
  }
  EXPECT_EQ(psoc, (std::set<QString>{"VRX-PSoC (generation 1, revision 1.250)",
                                     "VRX-PSoC (generation 2, revision 2.005)",
                                     "VRX-PSoC (generation 3, revision 3.010)"}));
  // Choosing the generation 2 entry takes that file's record, as before.
  factory.lstProgType()->setCurrentItem(
      factory.lstProgType()->findItems(QStringLiteral("VRX-PSoC (generation 2"), Qt::MatchStartsWith).front());
  EXPECT_EQ(FirmwareFileName, "vrx_psoc_v2.rex");
  EXPECT_EQ(HwcFileNames[1], "psoc_hwc1.rex");
}

}  // namespace
