// The verdict tiles and session counters of the programming manager and the
// array programming window, against vrx-sim over a pseudo-terminal on the
// offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <functional>
#include <memory>
#include <set>

#include "automation/DdeLink.h"
#include "link/Transport.h"
#include "operations/ImageDirectory.h"
#include "operations/PortStatus.h"
#include "operations/RunTally.h"
#include "operations/ui/ArrayProgramWindow.h"
#include "operations/ui/ImageManagerWindow.h"
#include "operations/ui/ProgramManagerWindow.h"
#include "platform/MessageBox.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "platform/SoundPlayer.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "shell/MainWindow.h"
#include "state/Bindings.h"
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
  // Asked first, No the default: answered No, the counts stay.
  recorders.messages.answer = vbNo;
  reset->trigger();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  const auto& question = recorders.messages.boxes.back();
  EXPECT_EQ(question.style & 0x7, vbYesNo);
  EXPECT_TRUE(question.style & vbDefaultButton2);
  EXPECT_NE(question.text.find("3 runs: 6 passed, 3 failed"), std::string::npos) << question.text;
  EXPECT_EQ(window->SessionTally().Unit(1).passes, 6);
  EXPECT_EQ(pm->RunTile()->CountsText(), QString::fromUtf8("Unit 1: Pass 6 \u00B7 Fail 3\nYield 66.7 %"));
  recorders.messages.answer = vbYes;
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
  // Another choice in a unit's image list makes its verdict, and so the whole run's, an earlier image's.
  EXPECT_EQ(w->UnitTile(2)->ImageText(), QString::fromUtf8("Image 2 \u00B7 Two"));
  w->cbImage(2)->setCurrentIndex(0);
  w->cbImage_Click(2);
  EXPECT_TRUE(w->UnitTile(2)->Earlier());
  EXPECT_EQ(w->UnitTile(2)->Word(), "FAIL");
  ExpectLook(w->UnitTile(2), Look::Idle);
  EXPECT_FALSE(w->UnitTile(0)->Earlier());
  EXPECT_TRUE(w->RunTile()->Earlier());
  w->cbImage(2)->setCurrentIndex(1);
  w->cbImage_Click(2);
  EXPECT_FALSE(w->UnitTile(2)->Earlier());
  ExpectLook(w->UnitTile(2), Look::Fail);
  ExpectLook(w->RunTile(), Look::Fail);

  window->Menu("mnuViewVerdictTiles")->trigger();
  EXPECT_TRUE(w->RunTile()->isHidden());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(w->UnitTile(i)->isHidden()) << i;
  EXPECT_TRUE(recorders.messages.boxes.empty());
  recorders.messages.answer = vbYes;
  window->Menu("mnuViewResetCounters")->trigger();
  EXPECT_EQ(w->UnitTile(2)->CountsText(), QString::fromUtf8("Pass 0 \u00B7 Fail 0 \u00B7 Yield -"));
  EXPECT_EQ(recorders.messages.boxes.size(), 1u);   // the question
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

// Runs `action` once `ready` holds, checked every 20 ms while a run is in progress.
class WhenReady {
 public:
  WhenReady(QObject* context, std::function<bool()> ready, std::function<void()> action) {
    QObject::connect(&timer_, &QTimer::timeout, context, [this, ready, action] {
      if (done_ || !ready()) return;
      done_ = true;
      action();
    });
    timer_.start(20);
  }
  bool Done() const { return done_; }

 private:
  QTimer timer_;
  bool done_ = false;
};

bool IsBusyText(const QString& text) {
  for (int code = 0; code < 256; ++code) {
    std::string caption;
    int64_t back = 0, fore = 0;
    bool failed = false;
    if (PortStatusText(static_cast<uint8_t>(code), caption, back, fore, failed) && text == QString::fromStdString(caption)) {
      return true;
    }
  }
  return false;
}

const char* Unit2 = "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200";

TEST_F(VerdictsTest, CancelledArrayRunShowsStoppedTilesAndFinalLabelsAndCountsNeitherPassNorFail) {
  // On both units port 1 is done at once and port 3 fails; ports 2 and 4 run far longer than the test.
  Start({"--programmer", Unit1, "--image", "address=1,slot=1,name=One,device=9,family=0", "--programmer", Unit2,
         "--image", "address=2,slot=1,name=Two,device=9,family=0", "--target", "address=1,port=1,program=4,step=50",
         "--target", "address=1,port=2,step=30000", "--target", "address=1,port=3,result=18,program=4,step=50",
         "--target", "address=1,port=4,step=30000", "--target", "address=2,port=1,program=4,step=50", "--target",
         "address=2,port=2,step=30000", "--target", "address=2,port=3,result=18,program=4,step=50", "--target",
         "address=2,port=4,step=30000"});
  ASSERT_TRUE(AcquireProgrammerAt(2));
  const ProgrammerRecord second = ProgrammerTable[1];
  ASSERT_TRUE(AcquireProgrammerAt(1));
  window->ShowImageManager();
  Settle();
  ProgrammerTable[2] = second;
  ProgSettings[2] = ProgSettings[1];
  ProgCount = 2;
  window->Menu("mnuViewMultiMan")->setEnabled(true);
  window->Menu("mnuViewMultiMan")->trigger();
  Settle();
  ArrayProgramWindow* w = window->ArrayProgram();
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->PanelCount(), 2);

  // Cancel once both units' port 1 and port 3 have ended (two agreeing replies each).
  WhenReady cancel(w, [w] {
      for (int i = 0; i < 2; ++i) {
        if (w->lblStatus(i, 0)->text() != "Done" || w->lblStatus(i, 2)->text() != "Verify Failed") return false;
      }
      return true;
    }, [w] { w->btCancel()->click(); });
  w->btProgram()->click();
  ASSERT_TRUE(cancel.Done());

  for (int i = 0; i < 2; ++i) {
    // A port's label ends in its outcome, never in a busy state.
    EXPECT_EQ(w->lblStatus(i, 0)->text(), "Done") << i;
    EXPECT_EQ(w->lblStatus(i, 1)->text(), "Stopped") << i;
    EXPECT_EQ(w->lblStatus(i, 2)->text(), "Verify Failed") << i;
    EXPECT_EQ(w->lblStatus(i, 3)->text(), "Stopped") << i;
    for (int port = 0; port < 4; ++port) EXPECT_FALSE(IsBusyText(w->lblStatus(i, port)->text())) << i << port;
    // The unit's tile names its failed port and does not call the stopped ones failed.
    ExpectLook(w->UnitTile(i), Look::Fail);
    EXPECT_EQ(w->UnitTile(i)->Detail(), "Port 3 Verify Failed");
    EXPECT_EQ(w->UnitTile(i)->ImageText(), QString::fromUtf8(i == 0 ? "Image 1 \u00B7 One" : "Image 1 \u00B7 Two"));
  }
  ExpectLook(w->RunTile(), Look::Fail);
  EXPECT_EQ(w->RunTile()->Detail(), "2 of 8 ports failed, 4 stopped");
  const RunTally& tally = window->SessionTally();
  EXPECT_EQ(tally.Session().passes, 2);   // the two ports done before the cancel
  EXPECT_EQ(tally.Session().fails, 2);    // the two that failed; stopped ones count for nothing
  EXPECT_EQ(tally.Port(1, 1).Counted(), 0);

  // Without the failing ports: a cancelled run is STOPPED, grey, not a failure.
  w->cbPort(0, 2)->setChecked(false);
  w->cbPort(1, 2)->setChecked(false);
  WhenReady cancelAgain(w, [w] { return w->lblStatus(0, 0)->text() == "Done" && w->lblStatus(1, 0)->text() == "Done"; },
                        [w] { w->btCancel()->click(); });
  w->btProgram()->click();
  ASSERT_TRUE(cancelAgain.Done());
  for (int i = 0; i < 2; ++i) {
    ExpectLook(w->UnitTile(i), Look::Idle);
    EXPECT_EQ(w->UnitTile(i)->Word(), "STOPPED") << i;
    EXPECT_EQ(w->lblStatus(i, 1)->text(), "Stopped") << i;
  }
  ExpectLook(w->RunTile(), Look::Idle);
  EXPECT_EQ(w->RunTile()->Word(), "STOPPED");
  EXPECT_EQ(w->RunTile()->Detail(), "4 of 6 ports stopped, 2 passed");
  EXPECT_EQ(tally.Session().passes, 4);
  EXPECT_EQ(tally.Session().fails, 2);
}

TEST_F(VerdictsTest, PulledLineShowsLineLostInTilesAndLabelsAndCountsNothing) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Board,device=9,family=0", "--target",
         "port=1,program=4,step=50", "--target", "port=2,step=30000", "--target", "port=3,step=30000", "--target",
         "port=4,step=30000"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  // The line is pulled once port 1 is done: the unit answers nothing any more.
  WhenReady pull(pm, [pm] { return pm->valPortSts(0)->text() == "Done"; }, [this] { sim->kill(); });
  pm->btStart()->click();
  ASSERT_TRUE(pull.Done());

  EXPECT_EQ(pm->valPortSts(0)->text(), "Done");
  ExpectLook(pm->PortTile(0), Look::Pass);
  for (int port = 1; port < 4; ++port) {
    EXPECT_EQ(pm->valPortSts(port)->text(), "Line Lost") << port;
    ExpectLook(pm->PortTile(port), Look::Lost);
    EXPECT_EQ(pm->PortTile(port)->Word(), "LINE LOST") << port;
    EXPECT_TRUE(pm->PortTile(port)->Detail().startsWith("Line lost while ")) << port;
  }
  ExpectLook(pm->RunTile(), Look::Lost);
  EXPECT_EQ(pm->RunTile()->Word(), "LINE LOST");
  EXPECT_TRUE(pm->RunTile()->Detail().startsWith("Line lost on 3 of 4 ports, 1 passed: "))
      << pm->RunTile()->Detail().toStdString();
  // The word fits the tile's width rather than widening it.
  EXPECT_LE(pm->RunTile()->WordLabel()->sizeHint().width(), pm->RunTile()->WordLabel()->minimumWidth() + 1);
  EXPECT_EQ(window->SessionTally().Unit(1).passes, 1);
  EXPECT_EQ(window->SessionTally().Unit(1).fails, 0);
  EXPECT_FALSE(recorders.messages.boxes.empty());   // the error report of the lost line
}

TEST_F(VerdictsTest, TilesGreyAsAnEarlierRunWhenTheImageChosenOrTheSlotsContentsChange) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=One,device=9,family=0", "--image",
         "slot=2,name=Two,device=9,family=0"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  pm->btStart()->click();
  ExpectLook(pm->RunTile(), Look::Pass);
  EXPECT_EQ(pm->RunTile()->ImageText(), QString::fromUtf8("Image 1 \u00B7 One"));
  EXPECT_EQ(pm->PortTile(2)->ImageText(), QString::fromUtf8("Image 1 \u00B7 One"));
  EXPECT_FALSE(pm->RunTile()->Earlier());

  auto choose = [pm](int slot) {
    pm->lstImage()->setCurrentIndex(pm->lstImage()->findData(slot));
    pm->lstImage_Click();
  };
  auto expectEarlier = [pm](bool earlier, const char* where) {
    for (VerdictTile* tile : {pm->RunTile(), pm->PortTile(0), pm->PortTile(3)}) {
      EXPECT_EQ(tile->Earlier(), earlier) << where;
      if (earlier) {
        ExpectLook(tile, Look::Idle);
        EXPECT_TRUE(tile->Detail().startsWith("Earlier run: ")) << where << ": " << tile->Detail().toStdString();
      } else {
        ExpectLook(tile, Look::Pass);
      }
      EXPECT_EQ(tile->Word(), "PASS") << where;
      EXPECT_EQ(tile->ImageText(), QString::fromUtf8("Image 1 \u00B7 One")) << where;   // what it was run with
    }
  };
  // Another image chosen in the window, then in the image manager's grid.
  choose(2);
  EXPECT_EQ(pm->lblVal(0)->text(), "Two");
  expectEarlier(true, "image 2 chosen");
  choose(1);
  expectEarlier(false, "image 1 chosen again");
  window->ImageManager()->fgImages_Click(2);
  expectEarlier(true, "image 2 chosen in the grid");
  window->ImageManager()->fgImages_Click(1);
  expectEarlier(false, "image 1 chosen in the grid");

  // Slot 1 loaded anew through the automation interface, with the same name: an earlier image's run.
  const std::string hex = QDir::tempPath().toStdString() + "/kestrin-verdicts-load.hex";
  {
    QFile file(QString::fromStdString(hex));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(":0400000001020304F2\n:00000001FF\n");
  }
  DdeLink link;
  const std::string device = fgImages.TextMatrix(1, ColDeviceType);   // the same device type
  EXPECT_EQ(link.Execute("LoadImage|1|One|" + hex + "|" + device + "|3.3|0|0||"), "LoadImage|Success|\r\n");
  QFile::remove(QString::fromStdString(hex));
  Settle();
  expectEarlier(true, "slot 1 loaded");
  choose(2);
  choose(1);
  expectEarlier(true, "slot 1 loaded, then chosen again");
  EXPECT_EQ(window->SessionTally().Unit(1).passes, 4);   // the counts stay the session's

  // A new run on the new contents belongs again.
  pm->btStart()->click();
  ExpectLook(pm->RunTile(), Look::Pass);
  EXPECT_FALSE(pm->RunTile()->Earlier());
}

TEST_F(VerdictsTest, ImagesRemainingIsReadAgainAfterEveryRun) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Counted,device=9,family=0,count=250"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  ASSERT_EQ(fgImages.TextMatrix(1, ColRemaining), "250");
  pm->btStart()->click();
  const std::string afterOne = fgImages.TextMatrix(1, ColRemaining);
  EXPECT_NE(afterOne, "250");
  pm->btStart()->click();
  const std::string afterTwo = fgImages.TextMatrix(1, ColRemaining);
  EXPECT_NE(afterTwo, afterOne);
  // What the programmer holds now, read afresh.
  ShowImageDirectory();
  EXPECT_EQ(fgImages.TextMatrix(1, ColRemaining), afterTwo);
  EXPECT_LT(std::stoi(afterTwo), std::stoi(afterOne));
}

TEST_F(VerdictsTest, ClosingTheProgrammingManagerDuringARunAsksAndStopsItsPortsOnYes) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Board,device=9,family=0", "--target",
         "port=1,program=4,step=50", "--target", "port=2,step=3000", "--target", "port=3,step=3000", "--target",
         "port=4,step=3000"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  QPointer<ProgramManagerWindow> guard(pm);
  // Answered No: the run goes on to its end and the window stays.
  recorders.messages.answer = vbNo;
  WhenReady keep(pm, [pm] { return pm->valPortSts(0)->text() == "Done"; }, [pm] { pm->parentWidget()->close(); });
  pm->btStart()->click();
  ASSERT_TRUE(keep.Done());
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_TRUE(recorders.messages.boxes[0].style & vbDefaultButton2);
  EXPECT_EQ(recorders.messages.boxes[0].style & 0x7, vbYesNo);
  Settle();
  ASSERT_FALSE(guard.isNull());
  ExpectLook(pm->RunTile(), Look::Pass);

  // Cancel clears the labels; each then ends in its port's outcome.
  WhenReady cancel(pm, [pm] { return pm->valPortSts(0)->text() == "Done"; }, [pm] { pm->btCancel()->click(); });
  pm->btStart()->click();
  ASSERT_TRUE(cancel.Done());
  EXPECT_EQ(pm->frmStatus()->title(), "* Programming Operation Cancelled *");
  EXPECT_EQ(pm->valPortSts(0)->text(), "Done");
  for (int port = 1; port < 4; ++port) EXPECT_EQ(pm->valPortSts(port)->text(), "Stopped") << port;
  ExpectLook(pm->PortTile(0), Look::Pass);
  ExpectLook(pm->PortTile(1), Look::Idle);
  EXPECT_EQ(pm->PortTile(1)->Word(), "STOPPED");
  EXPECT_EQ(pm->RunTile()->Word(), "STOPPED");
  EXPECT_EQ(pm->RunTile()->Detail(), "3 of 4 ports stopped, 1 passed");
  EXPECT_EQ(window->SessionTally().Unit(1).passes, 5);
  EXPECT_EQ(window->SessionTally().Unit(1).fails, 0);

  // Answered Yes (here to Escape): the run stops, its ports end stopped, the window goes.
  recorders.messages.answer = vbYes;
  WhenReady stop(pm, [pm] { return pm->valPortSts(0)->text() == "Done"; }, [pm] {
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(pm, &escape);
    });
  pm->btStart()->click();
  ASSERT_TRUE(stop.Done());
  EXPECT_EQ(recorders.messages.boxes.size(), 2u);
  ASSERT_FALSE(guard.isNull());   // still there until the run has returned
  for (int port = 1; port < 4; ++port) EXPECT_EQ(pm->valPortSts(port)->text(), "Stopped") << port;
  EXPECT_EQ(pm->RunTile()->Word(), "STOPPED");
  EXPECT_EQ(pm->valPortSts(0)->text(), "Done");
  EXPECT_EQ(window->SessionTally().Unit(1).passes, 6);   // 4, then port 1 before each stop
  EXPECT_EQ(window->SessionTally().Unit(1).fails, 0);
  Settle();
  EXPECT_TRUE(guard.isNull());
  EXPECT_EQ(window->ProgramManager(), nullptr);
}

TEST_F(VerdictsTest, ClosingTheMainWindowDuringARunAsksFirst) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Board,device=9,family=0", "--target",
         "port=1,program=4,step=50", "--target", "port=2,step=3000", "--target", "port=3,step=3000", "--target",
         "port=4,step=3000"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  MainWindow* main = window.get();
  main->show();
  // Answered No: the run goes on to its end and nothing closes.
  recorders.messages.answer = vbNo;
  WhenReady keep(pm, [pm] { return pm->valPortSts(0)->text() == "Done"; }, [main] { main->close(); });
  pm->btStart()->click();
  ASSERT_TRUE(keep.Done());
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_TRUE(recorders.messages.boxes[0].style & vbDefaultButton2);
  Settle();
  EXPECT_EQ(window->ProgramManager(), pm);
  EXPECT_TRUE(window->isVisible());
  ExpectLook(pm->RunTile(), Look::Pass);

  // Answered Yes: the run stops, its ports end stopped, and only then the window goes.
  recorders.messages.answer = vbYes;
  WhenReady stop(pm, [pm] { return pm->valPortSts(0)->text() == "Done"; }, [main] { main->close(); });
  pm->btStart()->click();
  ASSERT_TRUE(stop.Done());
  EXPECT_EQ(recorders.messages.boxes.size(), 2u);
  for (int port = 1; port < 4; ++port) EXPECT_EQ(pm->valPortSts(port)->text(), "Stopped") << port;
  EXPECT_EQ(pm->RunTile()->Word(), "STOPPED");
  Settle();
  EXPECT_FALSE(window->isVisible());
}

}  // namespace
