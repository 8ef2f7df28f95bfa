// The verdict tiles and session counters of the programming manager and the
// array programming window, against vrx-sim over a pseudo-terminal on the
// offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <memory>
#include <set>

#include "link/Transport.h"
#include "operations/RunTally.h"
#include "operations/ui/ArrayProgramWindow.h"
#include "operations/ui/ImageManagerWindow.h"
#include "operations/ui/ProgramManagerWindow.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "platform/SoundPlayer.h"
#include "programmers/Discovery.h"
#include "shell/MainWindow.h"
#include "state/PublicVars.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimProcess.h"
#include "tests/support/WindowLine.h"
#include "ui/VerdictTile.h"

namespace {

class SilentSound : public SoundPlayer {
 public:
  void PlayAsync(const std::string&) override {}
};

const char* Unit1 = "address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200";
using Look = VerdictTile::Look;

// "Run 3 · 14:02:31"
bool IsRunLine(const QString& text, int number) {
  static const QRegularExpression pattern(QStringLiteral("^Run (\\d+) \u00B7 \\d\\d:\\d\\d:\\d\\d$"));
  const QRegularExpressionMatch match = pattern.match(text);
  return match.hasMatch() && match.captured(1).toInt() == number;
}

// The tile's colour is the one its look names, and reads as that colour.
void ExpectLook(const VerdictTile* tile, Look look) {
  const QColor back = tile->palette().color(QPalette::Window);
  EXPECT_EQ(tile->look(), look) << tile->Title().toStdString();
  EXPECT_EQ(back, VerdictTile::Background(look)) << tile->Title().toStdString();
  EXPECT_EQ(tile->WordLabel()->palette().color(QPalette::WindowText), VerdictTile::Foreground(look));
  switch (look) {
    case Look::Pass: EXPECT_TRUE(back.green() > back.red() && back.green() > back.blue()); break;
    case Look::Fail: EXPECT_TRUE(back.red() > back.green() && back.red() > back.blue()); break;
    case Look::Busy: EXPECT_TRUE(back.red() > back.blue() && back.green() > back.blue()); break;
    case Look::Lost: EXPECT_TRUE(back.blue() > back.green() && back.red() > back.green()); break;
    case Look::Idle: EXPECT_EQ(back.red(), back.green()); EXPECT_EQ(back.green(), back.blue()); break;
  }
}

class VerdictsTest : public ::testing::Test {
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

  static void Settle() { SettleEvents(); }

  // The programmer at address 1 found, the image manager on slot 1, then the programming manager.
  ProgramManagerWindow* OpenProgramManager() {
    if (!window->ImageManager()) {
      EXPECT_TRUE(AcquireProgrammerAt(1));
      window->ShowImageManager();
      Settle();
      window->ImageManager()->fgImages_Click(1);
    }
    window->mnuViewProgMan_Click();
    Settle();
    return window->ProgramManager();
  }

  FakePlatform recorders;
  PortMap portMap{&recorders.settings};
  QtSerialPort serial{portMap};
  QtEventLoop events;
  SilentSound sound;
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<MainWindow> window;
};

// Port 2 fails verification; ports 1, 3 and 4 program for a while.
const std::vector<std::string> OneFailingPort = {
    "--programmer", Unit1, "--image", "slot=1,name=Sensor board v2.1,device=9,family=0,freq=4000", "--target",
    "port=2,result=18,program=4:1:1", "--target", "port=1,step=150", "--target", "port=3,step=150", "--target",
    "port=4,step=150"};

TEST_F(VerdictsTest, TilesShowEachPortsVerdictBesideTheUnchangedStatusLabels) {
  Start(OneFailingPort);
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  for (int port = 0; port < 4; ++port) {
    ExpectLook(pm->PortTile(port), Look::Idle);
    EXPECT_EQ(pm->PortTile(port)->Word(), QStringLiteral("\u2014"));
    EXPECT_EQ(pm->PortTile(port)->Detail(), "No run yet");
    EXPECT_EQ(pm->PortTile(port)->Title(), QStringLiteral("Port %1").arg(port + 1));
  }

  // What port 1's tile showed while the run went on.
  std::set<std::pair<QString, QString>> seenBusy;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, pm, [&] {
    if (pm->PortTile(0)->look() == Look::Busy) {
      seenBusy.emplace(pm->PortTile(0)->Word(), pm->PortTile(0)->Detail());
      EXPECT_EQ(pm->PortTile(0)->palette().color(QPalette::Window), VerdictTile::Background(Look::Busy));
    }
    if (pm->RunTile()->look() == Look::Busy) seenBusy.emplace(pm->RunTile()->Word(), QStringLiteral("run"));
  });
  watch.start(30);
  pm->btStart()->click();
  watch.stop();
  EXPECT_TRUE(seenBusy.count({"BUSY", "Programming"}) || seenBusy.count({"BUSY", "Verifying"}));
  EXPECT_TRUE(seenBusy.count({"BUSY", "run"}));

  // The specified labels keep their captions and colours.
  EXPECT_EQ(pm->valPortSts(0)->text(), "Done");
  EXPECT_EQ(pm->valPortSts(1)->text(), "Verify Failed");
  EXPECT_EQ(pm->valPortSts(1)->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(pm->valPortSts(1)->palette().color(QPalette::WindowText), QColor(Qt::red));
  EXPECT_EQ(pm->valPortSts(0)->palette().color(QPalette::WindowText), QColor(0, 0x80, 0x80));

  struct Expected { Look look; const char* word; const char* detail; const char* counts; };
  const Expected expected[] = {{Look::Pass, "PASS", "Done", "Pass 1 \u00B7 Fail 0\nYield 100.0 %"},
                               {Look::Fail, "FAIL", "Verify Failed", "Pass 0 \u00B7 Fail 1\nYield 0.0 %"},
                               {Look::Pass, "PASS", "Done", "Pass 1 \u00B7 Fail 0\nYield 100.0 %"},
                               {Look::Pass, "PASS", "Done", "Pass 1 \u00B7 Fail 0\nYield 100.0 %"}};
  for (int port = 0; port < 4; ++port) {
    const VerdictTile* tile = pm->PortTile(port);
    ExpectLook(tile, expected[port].look);
    EXPECT_EQ(tile->Word(), expected[port].word) << port;
    EXPECT_EQ(tile->Detail(), QString::fromUtf8(expected[port].detail)) << port;
    EXPECT_EQ(tile->CountsText(), QString::fromUtf8(expected[port].counts)) << port;
    EXPECT_TRUE(IsRunLine(tile->RunText(), 1)) << tile->RunText().toStdString();
  }
  const VerdictTile* run = pm->RunTile();
  ExpectLook(run, Look::Fail);
  EXPECT_EQ(run->Word(), "FAIL");
  EXPECT_EQ(run->Detail(), "1 of 4 ports failed");
  EXPECT_TRUE(IsRunLine(run->RunText(), 1)) << run->RunText().toStdString();
  EXPECT_EQ(run->CountsText(), QString::fromUtf8("Unit 1: Pass 3 \u00B7 Fail 1\nYield 75.0 %"));

  // Large enough to read across the room: the word several label lines high,
  // the tile more than four status labels high.
  window->resize(1100, 700);
  window->show();
  Settle();
  const int labelLine = pm->valPortSts(0)->fontMetrics().height();
  EXPECT_GE(pm->PortTile(1)->WordLabel()->fontMetrics().height(), 3 * labelLine);
  EXPECT_GE(pm->PortTile(1)->height(), 4 * pm->valPortSts(1)->height());
  EXPECT_TRUE(recorders.messages.boxes.empty());
}

TEST_F(VerdictsTest, CountersAddUpOverRunsSurviveReopeningAndResetFromTheViewMenu) {
  Start(OneFailingPort);
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  pm->ChkPortEnbl(3)->setChecked(false);
  for (int i = 0; i < 3; ++i) pm->btStart()->click();

  const char* counts[] = {"Pass 3 \u00B7 Fail 0\nYield 100.0 %", "Pass 0 \u00B7 Fail 3\nYield 0.0 %",
                          "Pass 3 \u00B7 Fail 0\nYield 100.0 %", "Pass 0 \u00B7 Fail 0\nYield -"};
  for (int port = 0; port < 4; ++port) {
    EXPECT_EQ(pm->PortTile(port)->CountsText(), QString::fromUtf8(counts[port])) << port;
    EXPECT_TRUE(IsRunLine(pm->PortTile(port)->RunText(), 3)) << port;
  }
  // The port left out is grey and counts for nothing.
  ExpectLook(pm->PortTile(3), Look::Idle);
  EXPECT_EQ(pm->PortTile(3)->Word(), "OFF");
  EXPECT_EQ(pm->PortTile(3)->Detail(), "- Disabled -");
  EXPECT_EQ(pm->valPortSts(3)->text(), "- Disabled -");
  EXPECT_EQ(pm->RunTile()->Detail(), "1 of 3 ports failed");
  EXPECT_EQ(pm->RunTile()->CountsText(), QString::fromUtf8("Unit 1: Pass 6 \u00B7 Fail 3\nYield 66.7 %"));
  const RunTally& tally = window->SessionTally();
  EXPECT_EQ(tally.Runs(), 3);
  EXPECT_EQ(tally.Port(1, 1).fails, 3);
  EXPECT_EQ(tally.Unit(1).passes, 6);

  // Closed and opened again: the session's counts are still there.
  pm->btClose()->click();
  Settle();
  ASSERT_EQ(window->ProgramManager(), nullptr);
  pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  EXPECT_EQ(pm->PortTile(1)->Detail(), "No run yet");
  EXPECT_EQ(pm->PortTile(1)->CountsText(), QString::fromUtf8(counts[1]));
  EXPECT_EQ(pm->RunTile()->CountsText(), QString::fromUtf8("Unit 1: Pass 6 \u00B7 Fail 3\nYield 66.7 %"));

  QAction* reset = window->Menu("mnuViewResetCounters");
  ASSERT_NE(reset, nullptr);
  EXPECT_EQ(reset->text(), "Reset &Counters");
  reset->trigger();
  for (int port = 0; port < 4; ++port) {
    EXPECT_EQ(pm->PortTile(port)->CountsText(), QString::fromUtf8("Pass 0 \u00B7 Fail 0\nYield -")) << port;
  }
  EXPECT_EQ(pm->RunTile()->CountsText(), QString::fromUtf8("Unit 1: Pass 0 \u00B7 Fail 0\nYield -"));
  EXPECT_EQ(window->SessionTally().Session().Counted(), 0);
  // Run numbers start again too.
  pm->btStart()->click();
  EXPECT_TRUE(IsRunLine(pm->RunTile()->RunText(), 1)) << pm->RunTile()->RunText().toStdString();
  EXPECT_EQ(pm->PortTile(1)->CountsText(), QString::fromUtf8("Pass 0 \u00B7 Fail 1\nYield 0.0 %"));
}

TEST_F(VerdictsTest, ViewOptionHidesTheTilesAndIsRemembered) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Board,device=9,family=0"});
  QAction* option = window->Menu("mnuViewVerdictTiles");
  ASSERT_NE(option, nullptr);
  EXPECT_TRUE(option->isCheckable());
  EXPECT_TRUE(option->isChecked());   // shown when nothing is saved
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  EXPECT_FALSE(pm->RunTile()->isHidden());
  EXPECT_TRUE(pm->PortTile(0)->isVisibleTo(pm));

  option->trigger();
  EXPECT_FALSE(option->isChecked());
  EXPECT_EQ(recorders.settings.values["Settings/VerdictTiles"], "False");
  EXPECT_TRUE(pm->RunTile()->isHidden());
  for (int port = 0; port < 4; ++port) {
    EXPECT_FALSE(pm->PortTile(port)->isVisibleTo(pm)) << port;
    EXPECT_TRUE(pm->valPortSts(port)->isVisibleTo(pm)) << port;   // the labels stay
  }

  // A new start reads the choice back, and a window opened then has no tiles.
  window->close();
  window.reset();
  window = std::make_unique<MainWindow>(portMap);
  frmMain = window.get();
  window->Form_Load();
  EXPECT_FALSE(window->Menu("mnuViewVerdictTiles")->isChecked());
  pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  EXPECT_TRUE(pm->RunTile()->isHidden());

  window->Menu("mnuViewVerdictTiles")->trigger();
  EXPECT_TRUE(window->Menu("mnuViewVerdictTiles")->isChecked());
  EXPECT_EQ(recorders.settings.values["Settings/VerdictTiles"], "True");
  EXPECT_FALSE(pm->RunTile()->isHidden());
  EXPECT_TRUE(pm->PortTile(2)->isVisibleTo(pm));
}

TEST_F(VerdictsTest, ArrayWindowShowsEachUnitsVerdictAndTheWholeRuns) {
  // Units 1 (slot 1), 2 (no image) and 3 (slot 2, port 2 fails).
  Start({"--programmer", Unit1, "--image", "address=1,slot=1,name=One,device=9,family=0", "--target",
         "address=1,port=1,step=100", "--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200",
         "--programmer", "address=3,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
         "address=3,slot=2,name=Two,device=9,family=0", "--target", "address=3,port=2,result=18,program=4"});
  std::vector<ProgrammerRecord> others;
  for (int address : {2, 3}) {
    ASSERT_TRUE(AcquireProgrammerAt(address));
    others.push_back(ProgrammerTable[1]);
  }
  ASSERT_TRUE(AcquireProgrammerAt(1));
  window->ShowImageManager();
  Settle();
  for (size_t i = 0; i < others.size(); ++i) ProgrammerTable[i + 2] = others[i];
  for (int address : {2, 3}) ProgSettings[address] = ProgSettings[1];
  ProgCount = 3;
  window->Menu("mnuViewMultiMan")->setEnabled(true);
  window->Menu("mnuViewMultiMan")->trigger();
  Settle();
  ArrayProgramWindow* w = window->ArrayProgram();
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->PanelCount(), 3);
  EXPECT_EQ(w->UnitTile(2)->Title(), "Unit 3");
  EXPECT_EQ(w->UnitTile(0)->Detail(), "No run yet");

  w->cbPort(0, 1)->setChecked(false);
  w->btProgram()->click();

  ExpectLook(w->UnitTile(0), Look::Pass);
  EXPECT_EQ(w->UnitTile(0)->Word(), "PASS");
  EXPECT_EQ(w->UnitTile(0)->Detail(), "All 3 ports passed");
  EXPECT_EQ(w->UnitTile(0)->CountsText(), QString::fromUtf8("Pass 3 \u00B7 Fail 0 \u00B7 Yield 100.0 %"));
  ExpectLook(w->UnitTile(1), Look::Idle);
  EXPECT_EQ(w->UnitTile(1)->Detail(), "Not in this run");
  ExpectLook(w->UnitTile(2), Look::Fail);
  EXPECT_EQ(w->UnitTile(2)->Word(), "FAIL");
  EXPECT_EQ(w->UnitTile(2)->Detail(), "Port 2 Verify Failed");
  EXPECT_EQ(w->UnitTile(2)->CountsText(), QString::fromUtf8("Pass 3 \u00B7 Fail 1 \u00B7 Yield 75.0 %"));
  EXPECT_NE(w->UnitTile(2)->toolTip().indexOf("Port 2: pass 0, fail 1, yield 0.0 %"), -1)
      << w->UnitTile(2)->toolTip().toStdString();
  for (int i : {0, 2}) EXPECT_TRUE(IsRunLine(w->UnitTile(i)->RunText(), 1)) << i;
  ExpectLook(w->RunTile(), Look::Fail);
  EXPECT_EQ(w->RunTile()->Detail(), "1 of 7 ports failed");
  EXPECT_TRUE(IsRunLine(w->RunTile()->RunText(), 1));
  EXPECT_EQ(w->RunTile()->CountsText(), QString::fromUtf8("Session: Pass 6 \u00B7 Fail 1\nYield 85.7 %"));
  // The specified labels are as they were.
  EXPECT_EQ(w->lblStatus(2, 1)->text(), "Verify Failed");
  EXPECT_EQ(w->lblStatus(0, 1)->text(), "- Disabled -");
  EXPECT_EQ(w->height(), 3 * ArrayProgramWindow::PanelHeight + 1200 / ArrayProgramWindow::TwipsPerPixel);

  window->Menu("mnuViewVerdictTiles")->trigger();
  EXPECT_TRUE(w->RunTile()->isHidden());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(w->UnitTile(i)->isHidden()) << i;
  window->Menu("mnuViewResetCounters")->trigger();
  EXPECT_EQ(w->UnitTile(2)->CountsText(), QString::fromUtf8("Pass 0 \u00B7 Fail 0 \u00B7 Yield -"));
  EXPECT_TRUE(recorders.messages.boxes.empty());
}

TEST_F(VerdictsTest, ScreenshotOfARunsVerdicts) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Sensor board v2.1,device=9,family=0,freq=4000", "--image",
         "slot=3,name=Key fob,device=30,family=1,count=250,protect=1", "--target", "port=2,result=18,program=4",
         "--target", "port=1,step=50", "--target", "port=3,step=50", "--target", "port=4,step=50"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  for (int i = 0; i < 3; ++i) pm->btStart()->click();
  window->resize(1100, 700);
  window->show();
  Settle();
  // The image manager at the left, the programming manager over the rest.
  QMdiArea* mdi = window->MdiArea();
  const QRect area = mdi->viewport()->rect();
  auto* imageFrame = qobject_cast<QMdiSubWindow*>(window->ImageManager()->parentWidget());
  auto* programFrame = qobject_cast<QMdiSubWindow*>(pm->parentWidget());
  ASSERT_NE(imageFrame, nullptr);
  ASSERT_NE(programFrame, nullptr);
  imageFrame->setGeometry(0, 0, area.width() / 2, area.height());
  const int width = std::max(programFrame->minimumSizeHint().width(), area.width() * 3 / 4);
  programFrame->setGeometry(area.width() - width, 0, width, area.height());
  mdi->setActiveSubWindow(programFrame);
  Settle();
  ExpectLook(pm->PortTile(1), Look::Fail);
  const QString path = QStringLiteral(TEST_ARTIFACTS_DIR "/kestrin-verdicts.png");
  QDir().mkpath(QStringLiteral(TEST_ARTIFACTS_DIR));
  const QPixmap shot = window->grab();
  ASSERT_FALSE(shot.isNull());
  EXPECT_EQ(shot.size(), QSize(1100, 700));
  EXPECT_TRUE(shot.save(path));
  EXPECT_GT(QFileInfo(path).size(), 1000);
}

}  // namespace
