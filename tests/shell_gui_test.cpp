// The main window's first start, placement, lists, hint, shortcuts, menus and
// icon, against vrx-sim over a pseudo-terminal on the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QToolBar>
#include <map>
#include <memory>
#include <set>

#include "link/Transport.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "programmers/Discovery.h"
#include "shell/MainWindow.h"
#include "state/Bindings.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimProcess.h"
#include "tests/support/WindowLine.h"
#include "ui/WindowPlacement.h"

namespace {

TEST(WindowPlacementTest, FitsAPlacementInsideTheAvailableArea) {
  const QRect screen(0, 0, 1600, 1000);
  const struct { QRect saved, fitted; } cases[] = {
      {{100, 100, 800, 600}, {100, 100, 800, 600}},      // already inside: kept
      {{-50, -20, 800, 600}, {0, 0, 800, 600}},          // off the top left: moved in
      {{1200, 700, 800, 600}, {800, 400, 800, 600}},     // off the bottom right: moved in
      {{300, 200, 3200, 2000}, {0, 0, 1600, 1000}},      // saved at twice the scale: shrunk
      {{5000, 5000, 400, 300}, {1200, 700, 400, 300}},   // on a screen no longer there
  };
  for (const auto& c : cases) EXPECT_EQ(FitToScreen(c.saved, screen), c.fitted) << c.saved.x() << "," << c.saved.y();
  // A screen whose area does not start at 0 (a panel on the left).
  EXPECT_EQ(FitToScreen(QRect(0, 0, 500, 400), QRect(64, 0, 1536, 1000)), QRect(64, 0, 500, 400));
}

TEST(WindowPlacementTest, FirstStartIsCentredAndLargeEnoughWithinTheScreen) {
  EXPECT_EQ(FirstStartPlacement(QRect(0, 0, 1600, 1000), QSize(640, 400)), QRect(240, 150, 1120, 700));
  // A small screen: the minimum is taken as far as the screen allows.
  EXPECT_EQ(FirstStartPlacement(QRect(0, 0, 800, 600), QSize(700, 500)), QRect(50, 50, 700, 500));
  EXPECT_EQ(FirstStartPlacement(QRect(0, 0, 640, 480), QSize(700, 500)), QRect(0, 0, 640, 480));
}

const char* Unit1 = "address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200";

class ShellTest : public ::testing::Test {
 protected:
  void Start() {
    sim = std::make_unique<SimProcess>(std::vector<std::string>{"--programmer", Unit1});
    ASSERT_TRUE(sim->ready());
    BindSimulatedLines(portMap, serial, events, {{1, sim->linkPath()}});
    window = std::make_unique<MainWindow>(portMap);
    frmMain = window.get();
  }

  void TearDown() override {
    if (window) window->close();
    window.reset();
  }

  static void Settle() { SettleEvents(); }

  QRect Available() const { return QGuiApplication::primaryScreen()->availableGeometry(); }

  FakePlatform recorders;
  PortMap portMap{&recorders.settings};
  QtSerialPort serial{portMap};
  QtEventLoop events;
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<MainWindow> window;
};

TEST_F(ShellTest, FirstStartOpensLargeOnTheScreenWithTheListsInView) {
  Start();
  window->Form_Load();
  window->show();
  Settle();
  const QRect frame = window->geometry();
  EXPECT_TRUE(Available().contains(frame)) << frame.width() << "x" << frame.height();
  EXPECT_GE(frame.width(), Available().width() * 6 / 10);
  // The lists have a toolbar row of their own and lie wholly inside the window.
  EXPECT_TRUE(window->toolBarBreak(window->ListsToolBar()));
  for (QWidget* list : {static_cast<QWidget*>(window->lstAllProgs()), static_cast<QWidget*>(window->lstComm())}) {
    EXPECT_TRUE(list->isVisible());
    const QRect inWindow(list->mapTo(window.get(), QPoint(0, 0)), list->size());
    EXPECT_TRUE(window->rect().contains(inWindow));
  }
  // The port is named by its device beside the number.
  EXPECT_EQ(window->lstComm()->itemText(0), "COM1");
  EXPECT_TRUE(window->PortDescription()->text().startsWith(QString::fromStdString(sim->linkPath())));
}

TEST_F(ShellTest, APlacementSavedOnALargerScreenIsFittedToThisOne) {
  Start();
  // 3000 x 2000 pixels at (4000, 3000), in twips.
  recorders.settings.values["Settings/MainLeft"] = "60000";
  recorders.settings.values["Settings/MainTop"] = "45000";
  recorders.settings.values["Settings/MainWidth"] = "45000";
  recorders.settings.values["Settings/MainHeight"] = "30000";
  window->Form_Load();
  const QRect placed(window->pos(), window->size());
  EXPECT_TRUE(Available().contains(placed)) << placed.x() << "," << placed.y() << " " << placed.width() << "x"
                                            << placed.height();
}

TEST_F(ShellTest, TheHintShowsUntilAScanFindsAProgrammer) {
  Start();
  window->Form_Load();
  window->show();
  Settle();
  ASSERT_TRUE(window->EmptyHint()->isVisible());
  EXPECT_TRUE(window->EmptyHint()->text().contains("F5"));
  window->Menu("mnuViewProgScan")->trigger();   // F5
  Settle();
  ASSERT_EQ(window->lstAllProgs()->count(), 1);
  EXPECT_FALSE(window->EmptyHint()->isVisible());
}

TEST_F(ShellTest, ShortcutsReachTheirEntries) {
  Start();
  const std::map<std::string, QKeySequence> expected = {
      {"mnuViewProgScan", QKeySequence(Qt::Key_F5)},          {"mnuHelpManual", QKeySequence(Qt::Key_F1)},
      {"mnuFileExit", QKeySequence(Qt::CTRL | Qt::Key_Q)},    {"mnuImageNew", QKeySequence(Qt::CTRL | Qt::Key_L)},
      {"mnuProgramStart", QKeySequence(Qt::CTRL | Qt::Key_P)}, {"mnuProgramCancel", QKeySequence(Qt::Key_Escape)},
  };
  std::set<QKeySequence> seen;
  for (const auto& [name, keys] : expected) EXPECT_EQ(window->Menu(name)->shortcut(), keys) << name;
  // No key sequence serves two entries.
  for (QAction* action : window->findChildren<QAction*>()) {
    if (action->shortcut().isEmpty()) continue;
    EXPECT_TRUE(seen.insert(action->shortcut()).second) << action->objectName().toStdString();
  }
}

// The Alt letter of a caption; 0 when it has none.
QChar Mnemonic(const QString& caption) {
  for (int i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return caption[i + 1].toLower();
  }
  return QChar();
}

void ExpectUniqueMnemonics(QWidget* menu, const QString& where) {
  std::set<QChar> letters;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    const QChar letter = Mnemonic(action->text());
    EXPECT_FALSE(letter.isNull()) << where.toStdString() << ": " << action->text().toStdString();
    if (!letter.isNull()) {
      EXPECT_TRUE(letters.insert(letter).second) << where.toStdString() << ": " << action->text().toStdString();
    }
    if (action->menu()) ExpectUniqueMnemonics(action->menu(), action->text());
  }
}

TEST_F(ShellTest, EveryMenuHasUniqueAltLetters) {
  Start();
  ExpectUniqueMnemonics(window->menuBar(), "menu bar");
  ExpectUniqueMnemonics(window->Menu("mnuImageAction")->menu(), "image action");
}

TEST_F(ShellTest, TheWindowMenuListsTheOpenWindowsAndTheProgramHasItsIcon) {
  Start();
  window->Form_Load();
  window->show();
  ASSERT_TRUE(AcquireProgrammerAt(1));
  window->ShowImageManager();
  Settle();
  QMenu* menu = window->Menu("mnuWindow")->menu();
  emit menu->aboutToShow();
  QStringList listed;
  for (QAction* action : menu->actions()) {
    if (action->isCheckable()) listed << action->text();
  }
  const auto open = window->findChild<QMdiArea*>("MdiArea")->subWindowList();
  ASSERT_EQ(listed.size(), open.size());
  ASSERT_FALSE(open.isEmpty());
  EXPECT_EQ(listed[0], "&1 " + open[0]->windowTitle());
  // Listing again does not add the entries twice.
  emit menu->aboutToShow();
  int checkable = 0;
  for (QAction* action : menu->actions()) checkable += action->isCheckable() ? 1 : 0;
  EXPECT_EQ(checkable, open.size());

  // The program's own icon, on the frame and on the child windows.
  EXPECT_FALSE(QApplication::windowIcon().isNull());
  EXPECT_EQ(window->windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
  EXPECT_EQ(open[0]->windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
}

}  // namespace
