// Every window and dialog on a small screen: 1600 x 1000 at 200 % (800 x 500
// logical pixels) unless KESTRIN_TEST_SCREEN names another (see main),
// against vrx-sim over a pseudo-terminal on the offscreen platform. Each
// window lies on the screen, each of its buttons can be reached, Tab reaches
// every list and the names and titles are shown whole.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <set>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "devices/ui/LoadImageDialog.h"
#include "devices/ui/ReadImageDialog.h"
#include "link/ErrorRecord.h"
#include "operations/ui/ArrayProgramWindow.h"
#include "operations/ui/ImageManagerWindow.h"
#include "operations/ui/ProgramManagerWindow.h"
#include "operations/ui/RunLogWindow.h"
#include "options/AvrOptions.h"
#include "options/FuseState.h"
#include "options/SerialState.h"
#include "options/ui/AvrFusePopup.h"
#include "options/ui/AvrOptionsWindow.h"
#include "options/ui/OptionBitsWindow.h"
#include "options/ui/SerializeDialog.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "programmers/ui/FactoryWindow.h"
#include "programmers/ui/SetAddressDialog.h"
#include "shell/AboutBox.h"
#include "shell/MainWindow.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimProcess.h"
#include "tests/support/WindowLine.h"

namespace {

const char* Unit1 = "address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200";
const char* OtherUnit = "type=6,fw=3.010,slots=4,slotsize=256,baud=115200";

QString Where(const QRect& r) {
  return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// A widget's rectangle in global coordinates.
QRect Global(const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

// What a title needs in a title bar, as the message boxes measure it.
int TitleWidth(const QString& title) {
  QFont font = QApplication::font("QMdiSubWindowTitleBar");
  font.setBold(true);
  const QFontMetrics metrics(font);
  return metrics.horizontalAdvance(title) + 4 * metrics.height();
}

class ScreenFitTest : public ::testing::Test {
 public:   // the table of windows opens them through the fixture
  void SetUp() override {
    sim = std::make_unique<SimProcess>(std::vector<std::string>{
        "--programmer", Unit1, "--image", "address=1,slot=1,name=Sensor board v2.1,device=9,family=0",
        "--programmer", std::string("address=2,") + OtherUnit, "--programmer", std::string("address=3,") + OtherUnit});
    ASSERT_TRUE(sim->ready());
    BindSimulatedLines(portMap, serial, events, {{1, sim->linkPath()}});
    delivered = AppPath;
    window = std::make_unique<MainWindow>(portMap);
    frmMain = window.get();
    window->Form_Load();
    window->showMaximized();
    Settle();
  }

  void TearDown() override {
    if (window) window->close();
    window.reset();
  }

  static void Settle() { SettleEvents(); }

  static QRect Available() { return QGuiApplication::primaryScreen()->availableGeometry(); }

  void OpenImageManager() {
    if (window->ImageManager()) return;
    ASSERT_TRUE(AcquireProgrammerAt(1));
    window->ShowImageManager();
    Settle();
    ASSERT_NE(window->ImageManager(), nullptr);
    window->SelectImageRow(1);
  }

  // The fuse definitions delivered with the program, for the AVR `device` (its database identifier).
  static void ChooseAvrDevice(const std::string& device, int id) {
    ProgType = 6;
    SecondaryName = "EEPROM";
    CurFamily = 0;
    CurDevice = 0;
    DeviceTable[0].DevName = device;
    DeviceTable[0].DevId = id;
    DeviceTable[0].DevFlashSize = 16384;
    DeviceTable[0].DevEESize = 512;
    FlashMap.EESlotSize = 512;
    ASSERT_TRUE(LoadDeviceFuses()) << LastErrorText;
  }

  // Shows a top-level window as its owner would and lets it settle.
  static void Show(QWidget* w) {
    w->show();
    Settle();
  }

  // The frame on the screen, the title whole, and every visible button
  // inside the window and on the screen (one in a scrolled part once
  // scrolled to).
  static void ExpectFits(QWidget* w, const std::string& name) {
    SCOPED_TRACE(name);
    const QRect available = Available();
    const bool child = qobject_cast<QMdiSubWindow*>(w->parentWidget()) != nullptr;
    QWidget* frame = child ? w->parentWidget() : w;
    // An MDI child lies inside the main window's work area; the main window on the screen.
    QRect area = available;
    if (child) {
      auto* mdi = qobject_cast<QMdiSubWindow*>(frame)->mdiArea();
      area = Global(mdi->viewport());
      EXPECT_TRUE(available.contains(mdi->window()->frameGeometry())) << Where(mdi->window()->frameGeometry()).toStdString();
      EXPECT_TRUE(area.contains(Global(frame))) << "child " << Where(Global(frame)).toStdString() << " in "
                                                << Where(area).toStdString();
    } else {
      EXPECT_TRUE(available.contains(frame->frameGeometry()))
          << Where(frame->frameGeometry()).toStdString() << " on " << Where(available).toStdString();
      EXPECT_GE(frame->width(), std::min(TitleWidth(frame->windowTitle()), available.width() * 9 / 10))
          << frame->windowTitle().toStdString();
    }
    // Tiles and frames go under each other rather than off to the right.
    for (QScrollArea* scroll : w->findChildren<QScrollArea*>(QString(), Qt::FindDirectChildrenOnly)) {
      EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible())
          << "scrolls sideways: " << scroll->widget()->minimumSizeHint().width() << " in "
          << scroll->viewport()->width() << " of " << w->width();
    }
    const QRect inside = Global(w).intersected(area);
    int seen = 0;
    for (QAbstractButton* button : w->findChildren<QAbstractButton*>()) {
      if (!button->isVisibleTo(w) || button->width() <= 1) continue;
      // The header corner of a table and the like are no controls of ours.
      if (button->objectName().isEmpty() && button->text().isEmpty() && button->icon().isNull()) continue;
      ++seen;
      QRect view = inside;
      for (QWidget* up = button->parentWidget(); up && up != w; up = up->parentWidget()) {
        if (auto* scroll = qobject_cast<QScrollArea*>(up)) {
          scroll->ensureWidgetVisible(button, 0, 0);
          view = view.intersected(Global(scroll->viewport()));
        }
      }
      const QRect at = Global(button);
      const std::string label = (button->objectName() + " \"" + button->text() + "\" at " + Where(at)).toStdString();
      EXPECT_TRUE(view.contains(at)) << label << " outside " << Where(view).toStdString();
      EXPECT_TRUE(available.contains(at)) << label;
    }
    if (!child) EXPECT_GT(seen, 0);   // the image manager has none
  }

  FakePlatform recorders;
  PortMap portMap{&recorders.settings};
  QtSerialPort serial{portMap};
  QtEventLoop events;
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<MainWindow> window;
  std::string delivered;
};

// A window opened for a case: a child of the main window, or a top-level
// window the case owns.
struct Opened {
  QWidget* window = nullptr;
  std::unique_ptr<QWidget> owned;
};

TEST_F(ScreenFitTest, EveryWindowAndItsButtonsLieOnTheScreen) {
  struct Case {
    const char* name;
    std::function<Opened(ScreenFitTest&)> open;
  };
  const Case cases[] = {
      {"Image Manager",
       [](ScreenFitTest& t) {
         t.OpenImageManager();
         return Opened{t.window->ImageManager(), nullptr};
       }},
      {"Programming Manager",
       [](ScreenFitTest& t) {
         t.OpenImageManager();
         t.window->mnuViewProgMan_Click();
         Settle();
         return Opened{t.window->ProgramManager(), nullptr};
       }},
      {"Array Programming",
       [](ScreenFitTest& t) {
         std::vector<ProgrammerRecord> others;
         for (int address : {2, 3}) {
           EXPECT_TRUE(AcquireProgrammerAt(address));
           others.push_back(ProgrammerTable[1]);
         }
         t.OpenImageManager();
         for (size_t i = 0; i < others.size(); ++i) ProgrammerTable[i + 2] = others[i];
         for (int address : {2, 3}) ProgSettings[address] = ProgSettings[1];
         ProgCount = 3;
         t.window->Menu("mnuViewMultiMan")->setEnabled(true);
         t.window->Menu("mnuViewMultiMan")->trigger();
         Settle();
         return Opened{t.window->ArrayProgram(), nullptr};
       }},
      {"Run Log",
       [](ScreenFitTest& t) {
         t.window->Menu("mnuViewRunLog")->trigger();
         Settle();
         return Opened{t.window->RunLog(), nullptr};
       }},
      {"Load Image",
       [](ScreenFitTest& t) {
         t.OpenImageManager();
         auto dialog = std::make_unique<LoadImageDialog>(*t.window, t.window->ImageManager());
         dialog->Form_Load();
         return Opened{dialog.get(), std::move(dialog)};
       }},
      {"Read Image",
       [](ScreenFitTest& t) {
         t.OpenImageManager();
         auto dialog = std::make_unique<ReadImageDialog>(t.window->ImageManager());
         dialog->Form_Load();
         return Opened{dialog.get(), std::move(dialog)};
       }},
      {"AVR options, eight fuse bytes",
       [](ScreenFitTest& t) {
         ChooseAvrDevice("ATxmega16E5", 57);
         auto dialog = std::make_unique<AvrOptionsWindow>(ProgrammingOptionsFor(6, 512, true, false), t.window.get());
         dialog->Form_Load();
         return Opened{dialog.get(), std::move(dialog)};
       }},
      {"AVR fuse value",
       [](ScreenFitTest& t) {
         ChooseAvrDevice("ATmega328P", 9);
         CurByte = 1;
         CurField = 0;
         auto dialog = std::make_unique<AvrFusePopup>(t.window.get());
         return Opened{dialog.get(), std::move(dialog)};
       }},
      {"Z8 Encore! options",
       [](ScreenFitTest& t) {
         ProgType = 2;
         ImageBuffer.assign(8, 0xFF);
         auto dialog = std::make_unique<Z8eOptionsWindow>(1, t.window.get());
         dialog->Form_Load();
         dialog->Form_Activate();
         return Opened{dialog.get(), std::move(dialog)};
       }},
      {"ZNEO options",
       [](ScreenFitTest& t) {
         ProgType = 2;
         ImageBuffer.assign(8, 0xFF);
         auto dialog = std::make_unique<ZneoOptionsWindow>(t.window.get());
         dialog->Form_Load();
         dialog->Form_Activate();
         return Opened{dialog.get(), std::move(dialog)};
       }},
      {"ZLF options",
       [](ScreenFitTest& t) {
         ProgType = 2;
         SecondaryName = "FIB3";
         FlashMap.EESlotSize = 512;
         EEBuffer.assign(257, 0xFF);
         auto dialog = std::make_unique<ZlfOptionsWindow>(t.window.get());
         dialog->Form_Load();
         dialog->Form_Activate();
         return Opened{dialog.get(), std::move(dialog)};
       }},
      {"Serialization",
       [](ScreenFitTest& t) {
         SerialEditable = true;
         auto dialog = std::make_unique<SerializeDialog>(6, "ATxmega AVR", 1024, t.window.get());
         dialog->Form_Load();
         return Opened{dialog.get(), std::move(dialog)};
       }},
      {"Select Firmware",
       [](ScreenFitTest& t) {
         auto dialog = std::make_unique<FactoryWindow>(t.window.get());
         dialog->Form_Load();
         return Opened{dialog.get(), std::move(dialog)};
       }},
      {"Set Address",
       [](ScreenFitTest& t) {
         t.OpenImageManager();
         auto dialog = std::make_unique<SetAddressDialog>(t.window.get());
         dialog->Form_Activate();
         return Opened{dialog.get(), std::move(dialog)};
       }},
      {"About",
       [](ScreenFitTest& t) {
         auto dialog = std::make_unique<AboutBox>(t.window.get());
         return Opened{dialog.get(), std::move(dialog)};
       }},
  };
  for (const Case& c : cases) {
    Opened opened = c.open(*this);
    ASSERT_NE(opened.window, nullptr) << c.name;
    if (opened.owned) Show(opened.window);
    ExpectFits(opened.window, c.name);
    if (opened.owned) {
      opened.owned->close();
      opened.owned.reset();
    }
    AppPath = delivered;
    Settle();
  }
}

// Opened first, the image manager shows every column, every slot and the
// programmer's labels whole; the run log shows the columns up to the result.
// Where the work area is too narrow for them, the window takes all its width.
TEST_F(ScreenFitTest, FirstStartSizesShowTheColumnsThatMatter) {
  const int areaWidth = window->MdiArea()->viewport()->width();
  auto fillsTheArea = [areaWidth](QWidget* child) { return child->parentWidget()->width() >= areaWidth; };
  OpenImageManager();
  ImageManagerWindow* images = window->ImageManager();
  QTableWidget* grid = images->Grid();
  ASSERT_GT(grid->rowCount(), 0);
  EXPECT_TRUE(grid->horizontalHeader()->length() <= grid->viewport()->width() || fillsTheArea(images))
      << "columns cut: " << grid->horizontalHeader()->length() << " in " << grid->viewport()->width();
  EXPECT_LE(grid->verticalHeader()->length(), grid->viewport()->height()) << "rows cut";
  int labels = 0;
  for (QLabel* label : images->findChildren<QLabel*>()) {
    if (!label->isVisibleTo(images) || label->text().isEmpty()) continue;
    ++labels;
    EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
  }
  EXPECT_GE(labels, 3);   // address, model and firmware revision

  window->Menu("mnuViewRunLog")->trigger();
  Settle();
  RunLogWindow* log = window->RunLog();
  ASSERT_NE(log, nullptr);
  QTableWidget* runs = log->grid();
  int result = -1;
  for (int c = 0; c < runs->columnCount(); ++c) {
    if (runs->horizontalHeaderItem(c)->text() == "Result") result = c;
  }
  ASSERT_GE(result, 0);
  const QHeaderView* header = runs->horizontalHeader();
  const int resultEnd = header->sectionViewportPosition(result) + header->sectionSize(result);
  EXPECT_TRUE(resultEnd <= runs->viewport()->width() || fillsTheArea(log))
      << "Result column hidden: " << resultEnd << " in " << runs->viewport()->width();
  EXPECT_GE(log->parentWidget()->height(), std::min(300, window->MdiArea()->viewport()->height()));
}

// At the first start the main window leaves its children room: all of a
// small screen, and never less than 900 x 620 where the screen has that.
TEST_F(ScreenFitTest, FirstStartMainWindowTakesASmallScreenWhole) {
  window->close();
  window.reset();
  recorders.settings.values.clear();
  window = std::make_unique<MainWindow>(portMap);
  frmMain = window.get();
  window->Form_Load();
  const QRect placed(window->pos(), window->size());
  EXPECT_TRUE(Available().contains(placed)) << Where(placed).toStdString();
  EXPECT_GE(placed.width(), std::min(900, Available().width() - 16));   // less the frame
  EXPECT_GE(placed.height(), std::min(620, Available().height() - 48));
}

// Tab from the main window reaches the programmer and port lists; in the
// programming manager it reaches the ports' boxes and the run buttons.
TEST_F(ScreenFitTest, TabReachesTheListsAndEveryPortBox) {
  // The names of the widgets of `wanted` that Tab from `start` never reaches.
  auto tabUntil = [](QWidget* start, const std::set<QWidget*>& wanted) {
    std::set<QWidget*> reached;
    start->setFocus(Qt::OtherFocusReason);
    Settle();
    // Focusing a child activates it, which talks to the programmer: Tab goes
    // on once that is over, however slow the line.
    for (int i = 0; i < 500 && LineBusy(); ++i) PauseEvents(10);
    Settle();
    for (int i = 0; i < 60 && reached.size() < wanted.size(); ++i) {
      QWidget* focus = QApplication::focusWidget();
      if (!focus) break;
      if (wanted.count(focus)) reached.insert(focus);
      QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
      QApplication::sendEvent(focus, &tab);
      QApplication::processEvents();
    }
    std::set<std::string> missed;
    for (QWidget* w : wanted) {
      if (w->isEnabled() && w->isVisible() && !reached.count(w)) missed.insert(w->objectName().toStdString());
    }
    return missed;
  };
  const std::set<std::string> none;
  window->activateWindow();
  Settle();
  {
    const std::set<QWidget*> lists = {window->lstAllProgs(), window->lstComm()};
    EXPECT_EQ(tabUntil(window->MdiArea(), lists), none);
  }
  OpenImageManager();
  window->lstAllProgs()->setEnabled(true);
  {
    // The image grid of the child, then on to the lists of the main window.
    const std::set<QWidget*> lists = {window->lstAllProgs(), window->lstComm()};
    EXPECT_EQ(tabUntil(window->ImageManager()->Grid(), lists), none);
  }
  window->mnuViewProgMan_Click();
  Settle();
  ProgramManagerWindow* pm = window->ProgramManager();
  ASSERT_NE(pm, nullptr);
  std::set<QWidget*> controls = {pm->lstImage(), pm->cbCRCVerify(), pm->cbSequential(), pm->cbEnableSound(),
                                 pm->btStart(), pm->btVerify(), pm->btClose()};
  for (int i = 0; i < 4; ++i) controls.insert(pm->ChkPortEnbl(i));
  EXPECT_EQ(tabUntil(pm->lstImage(), controls), none);
}

// The names of the fuse fields stand whole in their cells, and the popup's
// caption and the window's title are not cut.
TEST_F(ScreenFitTest, FuseNamesAreShownWhole) {
  for (const auto& [device, id] : std::vector<std::pair<std::string, int>>{{"ATmega328P", 9}, {"ATxmega16E5", 57}}) {
    SCOPED_TRACE(device);
    ChooseAvrDevice(device, id);
    AvrOptionsWindow options(ProgrammingOptionsFor(6, 512, false, false), window.get());
    options.Form_Load();
    Show(&options);
    const int margin = 2 * (options.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    int names = 0;
    for (int b = 0; b < 8; ++b) {
      QTableWidget* grid = options.fgByte(b);
      if (!grid->isVisibleTo(&options)) continue;
      for (int c = 0; c < 8; ++c) {
        for (int r : {0, 2}) {
          const QString text = grid->item(r, c)->text();
          if (text.isEmpty()) continue;
          ++names;
          const QRect cell = grid->visualRect(grid->model()->index(r, c));
          EXPECT_GE(cell.width(), grid->fontMetrics().horizontalAdvance(text) + margin) << text.toStdString();
          EXPECT_TRUE(grid->viewport()->rect().contains(cell)) << text.toStdString();
        }
      }
    }
    EXPECT_GT(names, 3);
    CurByte = 1;
    CurField = 0;
    AvrFusePopup popup(&options);
    Show(&popup);
    auto* caption = popup.findChild<QLabel*>(QStringLiteral("lblFuse"));
    ASSERT_NE(caption, nullptr);
    EXPECT_FALSE(caption->text().isEmpty());
    EXPECT_TRUE(caption->wordWrap() || caption->width() >= caption->sizeHint().width()) << caption->text().toStdString();
    popup.close();
    options.close();
    AppPath = delivered;
  }
}

}  // namespace

// The screen is set before the application starts: "WIDTHxHEIGHT@SCALE" in
// KESTRIN_TEST_SCREEN, 1600x1000@2 when unset.
int main(int argc, char** argv) {
  QByteArray screen = qgetenv("KESTRIN_TEST_SCREEN");
  if (screen.isEmpty()) screen = "1600x1000@2";
  const QList<QByteArray> sizeAndScale = screen.split('@');
  qputenv("QT_SCALE_FACTOR", sizeAndScale.value(1, "1"));
  const QList<QByteArray> parts = sizeAndScale.value(0).split('x');
  const int width = parts.value(0).toInt(), height = parts.value(1).toInt();
  QTemporaryDir dir;
  const QString config = dir.filePath(QStringLiteral("screen.json"));
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly)) return 2;
  file.write(QStringLiteral("{\"screens\": [{\"name\": \"fit\", \"x\": 0, \"y\": 0, \"width\": %1, \"height\": %2}]}")
                 .arg(width)
                 .arg(height)
                 .toUtf8());
  file.close();
  qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toUtf8());
  QApplication app(argc, argv);
  QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
