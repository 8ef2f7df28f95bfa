// Message boxes on screen: the icon each kind of box carries, titles that fit,
// and a help document that cannot be opened.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

#include "link/ErrorRecord.h"
#include "link/Transport.h"
#include "platform/DocumentOpener.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtGuiPlatform.h"
#include "platform/QtSerialPort.h"
#include "shell/MainWindow.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/ProgramFiles.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempDir.h"

namespace {

// What a shown box looked like; taken while it waits for its answer.
struct Seen {
  bool shown = false;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title, text;
  int width = 0;
  int titleWidth = 0;   // what the title needs in a title bar
};

// Runs show() with a watcher that records the first modal message box and
// answers it with `button`.
int ShowAndAnswer(const std::function<int()>& show, QMessageBox::StandardButton button, Seen& seen) {
  QTimer watch;
  watch.setInterval(10);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    watch.stop();
    seen.shown = true;
    seen.icon = box->icon();
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.width = box->width();
    // As a title bar shows it: bold, beside the window's icon and its three buttons.
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const QFontMetrics metrics(titleFont);
    seen.titleWidth = metrics.horizontalAdvance(box->windowTitle()) + 4 * metrics.height();
    box->button(button)->click();
  });
  watch.start();
  return show();
}

class MessageBoxesTest : public ::testing::Test {
 protected:
  FakePlatform platform;   // program state reset; message boxes replaced below
  QtMessageBox boxes;
};

TEST_F(MessageBoxesTest, ErrorReportIsCriticalAndShowsTheWholeReport) {
  MessageBox = &boxes;
  platform.port.path = "/dev/ttyUSB0";
  ClearError();
  ErrorTitle = "Acquire Programmers";
  LastFunction = "FwRev";
  RaiseError(1508, "Image Manager", "No Programmers Found");
  SetErrorContext(PortTried() + ", addresses 1 to 16 at 38400 and 115200 bit/s", PortSubject());
  CaptureError();

  Seen seen;
  EXPECT_EQ(ShowAndAnswer([] { return ShowErrorReport(); }, QMessageBox::Ok, seen), vbOK);
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.title, "Kestrin - Acquire Programmers");
  EXPECT_EQ(seen.text.toStdString(),
            "Function: FwRev\nError Code:  1508\nSource: Image Manager\nNo Programmers Found\n\n"
            "Tried: COM1 (/dev/ttyUSB0), addresses 1 to 16 at 38400 and 115200 bit/s\n"
            "Check that the programmer is powered and connected to /dev/ttyUSB0.");
  EXPECT_GE(seen.width, seen.titleWidth);
}

// Boxes that name their icon keep it; the others take the one their kind implies.
TEST_F(MessageBoxesTest, EachKindOfBoxCarriesItsIcon) {
  struct Case {
    int style;
    const char* title;
    QMessageBox::StandardButton answer;
    QMessageBox::Icon icon;
    int result;
  } cases[] = {
      {vbYesNo, "Delete Stored Image", QMessageBox::No, QMessageBox::Question, vbNo},
      {vbYesNo, "Delete Stored Image", QMessageBox::Yes, QMessageBox::Question, vbYes},
      {vbOKOnly, "Read Target Image to Programmer", QMessageBox::Ok, QMessageBox::Information, vbOK},
      {vbOKOnly, "Kestrin Critical Error", QMessageBox::Ok, QMessageBox::Critical, vbOK},
      {vbOKOnly, "Device Support Warning", QMessageBox::Ok, QMessageBox::Warning, vbOK},
      {vbExclamation, "Load Project", QMessageBox::Ok, QMessageBox::Warning, vbOK},
      {vbInformation, "Load Image", QMessageBox::Ok, QMessageBox::Information, vbOK},
      {vbCritical, "Load Image", QMessageBox::Ok, QMessageBox::Critical, vbOK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    Seen seen;
    const int result =
        ShowAndAnswer([&] { return boxes.MsgBox("Some text", c.style, c.title); }, c.answer, seen);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(result, c.result);
  }
}

// Enter answers with the default button: Yes, or No where the question asks
// for No as its default (a stored image deleted or replaced).
TEST_F(MessageBoxesTest, EnterAnswersTheDefaultButton) {
  struct Case {
    int style;
    int result;
  } cases[] = {
      {vbYesNo, vbYes},
      {vbYesNo + vbDefaultButton2, vbNo},
      {vbYesNo + vbQuestion + vbDefaultButton2, vbNo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    bool shown = false;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      watch.stop();
      shown = true;
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);   // to the button that has the focus
      QApplication::sendEvent(box->focusWidget() ? box->focusWidget() : box, &enter);
    });
    watch.start();
    EXPECT_EQ(boxes.MsgBox("Delete Image  2: Keep me  from Programmer?", c.style, "Delete Stored Image"), c.result);
    EXPECT_TRUE(shown);
  }
}

// A short text under a long title: the box grows to the title instead of
// letting the window manager cut it.
// The button a plain Enter would press answers the question.
int AnswerWithDefault(const std::function<int()>& show) {
  QTimer watch;
  watch.setInterval(10);
  int turns = 0;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    QPushButton* enter = nullptr;
    for (QAbstractButton* b : box->buttons()) {
      auto* push = qobject_cast<QPushButton*>(b);
      if (push && push->isDefault()) enter = push;
    }
    if (!enter && ++turns < 100) return;
    watch.stop();
    if (!enter) {
      ADD_FAILURE() << "no default button";
      box->reject();
      return;
    }
    enter->click();
  });
  watch.start();
  return show();
}

TEST_F(MessageBoxesTest, QuestionWithSecondDefaultIsAnsweredNoByEnter) {
  EXPECT_EQ(AnswerWithDefault([&] { return boxes.MsgBox("Go?", vbYesNo + vbQuestion + vbDefaultButton2, "Ask"); }),
            vbNo);
  EXPECT_EQ(AnswerWithDefault([&] { return boxes.MsgBox("Go?", vbYesNo + vbQuestion, "Ask"); }), vbYes);
}

TEST_F(MessageBoxesTest, TitleIsNotCut) {
  for (const char* title : {"Kestrin - Read Programmer Configuration and Security Block of the Selected Unit",
                            "Set Programmer Address", ""}) {
    SCOPED_TRACE(title);
    Seen seen;
    ShowAndAnswer([&] { return boxes.MsgBox("OK", vbOKOnly, title); }, QMessageBox::Ok, seen);
    ASSERT_TRUE(seen.shown);
    EXPECT_GE(seen.width, seen.titleWidth) << seen.title.toStdString();
  }
}

class FailingOpener : public DocumentOpener {
 public:
  bool Open(const std::string& path) override {
    asked.push_back(path);
    return opens;
  }
  std::vector<std::string> asked;
  bool opens = false;
};

class HelpTest : public ::testing::Test {
 protected:
  HelpTest() {
    AppPath = dir.path();
    portMap.SetUseSystemPorts(false);
    serial.OnReceive = ReceiveBytes;
    MSComm1 = &serial;
    Events = &events;
    Documents = &opener;
    window = std::make_unique<MainWindow>(portMap);
    frmMain = window.get();
  }
  ~HelpTest() override {
    window->close();
    window.reset();
    Documents = nullptr;
  }

  TempDir dir;
  FakePlatform recorders;
  PortMap portMap{&recorders.settings};
  QtSerialPort serial{portMap};
  QtEventLoop events;
  FailingOpener opener;
  std::unique_ptr<MainWindow> window;
};

// Help with no viewer, or with the document missing, says so and names the file.
TEST_F(HelpTest, DocumentThatDoesNotOpenIsReportedWithItsPath) {
  struct Case {
    const char* menu;
    const char* document;
    bool present;
    const char* says;
  } cases[] = {
      {"mnuHelpManual", "\\VRXManual.pdf", true, "No PDF viewer is set up on this computer. Install a PDF viewer, or open the file by hand."},
      {"mnuHelpVRXArray", "\\VRX_AIB.pdf", false, "The file is missing."},
      {"mnuHelpDDE", "\\VRX_DDE.pdf", true, "Install a PDF viewer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.menu);
    const std::string path = ProgramFile(c.document);
    if (c.present) std::ofstream(path) << "%PDF-1.4\n";
    recorders.messages.boxes.clear();
    opener.asked.clear();
    window->Menu(c.menu)->trigger();
    ASSERT_EQ(opener.asked.size(), 1u);
    EXPECT_EQ(opener.asked[0], path);
    ASSERT_EQ(recorders.messages.boxes.size(), 1u);
    const auto& box = recorders.messages.boxes[0];
    EXPECT_EQ(box.title, "Kestrin - Help");
    EXPECT_EQ(box.style, vbExclamation);
    EXPECT_EQ(box.text.rfind("The help document could not be opened:\r\n" + path + "\r\n\r\n", 0), 0u) << box.text;
    EXPECT_NE(box.text.find(c.says), std::string::npos) << box.text;
  }

  // A document that opens is not remarked on.
  opener.opens = true;
  recorders.messages.boxes.clear();
  window->Menu("mnuHelpManual")->trigger();
  EXPECT_TRUE(recorders.messages.boxes.empty());
  EXPECT_EQ(opener.asked.back(), ProgramFile("\\VRXManual.pdf"));
}

}  // namespace
