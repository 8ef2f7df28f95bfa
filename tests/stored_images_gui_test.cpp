// Stored images against the operator's keystrokes, with vrx-sim on a
// pseudo-terminal: the slot lists name the images, loading over one asks
// first, an empty slot offers and saves nothing from any entry point, a
// download can be cancelled, and view-only dialogs close on Enter.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "devices/ui/LoadImageDialog.h"
#include "devices/ui/ReadImageDialog.h"
#include "images/ProjectState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/LineState.h"
#include "operations/ImageDirectory.h"
#include "operations/RunLog.h"
#include "operations/SaveImage.h"
#include "operations/ui/ImageManagerWindow.h"
#include "options/SerialState.h"
#include "options/ui/SerializeDialog.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "shell/AboutBox.h"
#include "shell/MainWindow.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/AutomationClient.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowLine.h"

namespace {

const char* const Unit1 = "address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200";
const char* const Dash = "\u2013";

using Entry = std::array<uint8_t, 32>;

class StoredImagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RunLogFolder = home.path() + "/Kestrin";
    FileDial1 = &dialogs;
    OpenProjectRequest = false;
  }
  void TearDown() override {
    if (window) window->close();
    window.reset();
    FileDial1 = nullptr;
  }

  void StartLine(const std::vector<std::string>& images) {
    std::vector<std::string> options{"--programmer", Unit1};
    for (const std::string& image : images) {
      options.push_back("--image");
      options.push_back(image);
    }
    sim = std::make_unique<SimProcess>(options);
    ASSERT_TRUE(sim->ready());
  }

  // The main window on the line, the programmer found, the image manager open and active.
  void OpenWindow() {
    BindSimulatedLines(portMap, serial, events, {{1, sim->linkPath()}});
    window = std::make_unique<MainWindow>(portMap);
    window->SetAutomation(automationName, false);
    frmMain = window.get();
    window->Form_Load();
    ASSERT_TRUE(AcquireProgrammerAt(1));
    window->ShowImageManager();
    ASSERT_NE(window->ImageManager(), nullptr);
    SettleEvents();
  }

  // What the programmer holds, read over the line (two reads that agree).
  static Entry Stored(int32_t address) {
    Entry bytes{};
    EXPECT_TRUE(ReadFlashConfirmed(address, 32, bytes.data())) << LastErrorText;
    return bytes;
  }
  static Entry DirectoryEntry(int slot) { return Stored(DirectoryAddress + (slot - 1) * DirEntryBytes); }
  static Entry SecurityBlock() { return Stored(0x20); }

  // Frames of one command the simulator received ("<ms> <address> <code> ...").
  size_t FramesOf(const char* code) const {
    size_t n = 0;
    for (const std::string& line : sim->loggedFrames()) {
      std::istringstream fields(line);
      std::string ms, address, command;
      fields >> ms >> address >> command;
      if (command == code) ++n;
    }
    return n;
  }

  static void Choose(QComboBox* list, const QString& text) {
    const int at = list->findText(text);
    ASSERT_GE(at, 0) << text.toStdString();
    list->setCurrentIndex(at);
  }
  // The dialog set for an ATmega328P image from one file.
  void PrepareLoad(LoadImageDialog& dialog, const std::string& name) {
    dialogs.answers = {files.Write("board.hex", ":020000000102FB\r\n:00000001FF\r\n")};
    dialog.Form_Load();
    Choose(dialog.lstDevFamily(), "ATmega");
    dialog.lstDevFamily_Click();
    Choose(dialog.lstDevType(), "ATmega328P");
    dialog.lstDevType_Click();
    dialog.tbImageName()->setText(QString::fromStdString(name));
    recorders.messages.boxes.clear();
  }

  std::vector<RunRecord> Logged(const std::string& operation) const {
    std::vector<RunRecord> all;
    for (const std::string& file : RunLogFiles(RunLogFolder)) {
      ReadRunLogFile(file, [&](const RunRecord& r) {
        if (r.operation == operation) all.push_back(r);
      });
    }
    return all;
  }

  const QString automationName = QStringLiteral("kestrin-slots-test-%1").arg(QCoreApplication::applicationPid());
  TempDir home, files;
  FakePlatform recorders;   // message boxes, settings; program state reset
  PortMap portMap{&recorders.settings};
  QtSerialPort serial{portMap};
  QtEventLoop events;
  ScriptedFileDialogs dialogs;
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<MainWindow> window;
};

TEST_F(StoredImagesTest, SlotListsNameTheImagesStoredAndReturnTheSlotNumber) {
  StartLine({"slot=2,name=Read back p1,device=9,family=0"});
  OpenWindow();
  const QStringList expected{"1", QStringLiteral("2 %1 Read back p1").arg(QString::fromUtf8(Dash)), "3", "4"};
  ImageNumber = 2;
  LoadImageDialog load(*window, window.get());
  load.Form_Load();
  ReadImageDialog read(window.get());
  read.Form_Load();
  for (QComboBox* list : {load.cbImageNum(), read.cbImageNum()}) {
    SCOPED_TRACE(list == load.cbImageNum() ? "Load" : "Read");
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    EXPECT_EQ(items, expected);
    EXPECT_EQ(list->currentIndex(), 1);
    emit list->activated(3);
    EXPECT_EQ(ImageNumber, 4);
    emit list->activated(1);
    EXPECT_EQ(ImageNumber, 2);
  }
}

// The Load and Read dialogs ask before an image goes over a stored one; No
// (the default) sends nothing, and the slot keeps its entry byte for byte.
TEST_F(StoredImagesTest, GoingOverAStoredImageAsksAndNoLeavesTheSlotUntouched) {
  StartLine({"slot=2,name=Read back p1,device=9,family=0,protect=1,count=250"});
  OpenWindow();
  const Entry entry = DirectoryEntry(2);
  const Entry security = SecurityBlock();
  const std::string question = "Image 2 holds \"Read back p1\".\r\nReplace the stored image?";

  ImageNumber = 2;
  LoadImageDialog load(*window, window.get());
  PrepareLoad(load, "New image");
  ReadImageDialog read(window.get());
  read.Form_Load();
  read.tbImageName()->setText(QStringLiteral("From the target"));
  struct Case {
    const char* name;
    std::function<void()> start;
    const char* title;
  } cases[] = {
      {"Load", [&] { load.btLoad_Click(); }, "Load New Image to Programmer"},
      {"Read", [&] { read.btRead_Click(); }, "Read Image from Target"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorders.messages.boxes.clear();
    recorders.messages.answer = vbNo;
    const size_t writes = FramesOf("01"), reads = FramesOf("0A");
    c.start();
    ASSERT_EQ(recorders.messages.boxes.size(), 1u);
    EXPECT_EQ(recorders.messages.boxes[0].text, question);
    EXPECT_EQ(recorders.messages.boxes[0].title, c.title);
    EXPECT_EQ(recorders.messages.boxes[0].style, vbYesNo + vbQuestion + vbDefaultButton2);
    EXPECT_EQ(FramesOf("01"), writes);   // no WriteFlash
    EXPECT_EQ(FramesOf("0A"), reads);    // no ReadDevice
    EXPECT_EQ(DirectoryEntry(2), entry);
    EXPECT_EQ(SecurityBlock(), security);
  }
  EXPECT_TRUE(load.btLoad()->isEnabled());   // the dialog stays for another slot

  // Yes goes ahead.
  recorders.messages.boxes.clear();
  recorders.messages.answer = vbYes;
  load.btLoad_Click();
  ASSERT_EQ(recorders.messages.boxes.size(), 2u);
  EXPECT_EQ(recorders.messages.boxes[1].text.rfind("Image Load Complete", 0), 0u) << recorders.messages.boxes[1].text;
  ShowImageDirectory();
  EXPECT_EQ(SlotImageName(2), "New image");
  EXPECT_NE(DirectoryEntry(2), entry);
}

// Cancel during the download stops it between two blocks: the slot is left
// empty, the other slot and every slot's protection and count as they were,
// no error report, and the run log says cancelled.
TEST_F(StoredImagesTest, ACancelledDownloadLeavesTheSlotEmptyAndTheOthersIntact) {
  StartLine({"slot=2,name=Keep me,device=9,family=0,protect=1,count=250", "slot=3,name=Old image,device=9,family=0"});
  OpenWindow();
  const Entry kept = DirectoryEntry(2);
  Entry replaced = DirectoryEntry(3);
  const Entry security = SecurityBlock();

  ImageNumber = 3;
  LoadImageDialog dialog(*window, window.get());
  PrepareLoad(dialog, "Never stored");
  recorders.messages.answer = vbYes;   // replace "Old image"
  auto* progress = window->findChild<QProgressBar*>(QStringLiteral("pbProgress"));
  ASSERT_NE(progress, nullptr);
  bool clicked = false, cancelOffered = false, loadLocked = false;
  const QMetaObject::Connection watch = QObject::connect(progress, &QProgressBar::valueChanged, &dialog, [&](int value) {
    if (clicked || value < 25) return;
    clicked = true;
    QTimer::singleShot(0, &dialog, [&] {   // the operator's click, taken while a reply is awaited
      cancelOffered = dialog.btCancel()->isEnabled() && !dialog.btCancel()->isHidden();
      loadLocked = !dialog.btLoad()->isEnabled();
      dialog.btCancel()->click();
    });
  });
  const size_t writesBefore = FramesOf("01");
  dialog.btLoad_Click();
  EXPECT_TRUE(clicked);
  EXPECT_TRUE(cancelOffered);
  EXPECT_TRUE(loadLocked);
  EXPECT_FALSE(CancelRequest);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);

  ASSERT_EQ(recorders.messages.boxes.size(), 2u);   // the question, then no error report
  EXPECT_EQ(recorders.messages.boxes[1].text, "Image Load Cancelled");
  EXPECT_EQ(recorders.messages.boxes[1].style, vbInformation);
  // The mark and at most a little more than a quarter of the 128 blocks of the main image.
  const size_t writes = FramesOf("01") - writesBefore;
  EXPECT_GE(writes, 2u);
  EXPECT_LT(writes, 64u);

  std::fill(replaced.begin(), replaced.begin() + 4, 0);   // size 0: empty, nothing else of it written
  EXPECT_EQ(DirectoryEntry(3), replaced);
  EXPECT_EQ(DirectoryEntry(2), kept);
  EXPECT_EQ(SecurityBlock(), security);
  ShowImageDirectory();
  QTableWidget* grid = window->ImageManager()->Grid();
  EXPECT_EQ(grid->item(2, 3)->text(), "");
  EXPECT_EQ(grid->item(1, 3)->text(), "Keep me");
  EXPECT_EQ(grid->item(1, 1)->text(), "RP");
  EXPECT_EQ(grid->item(1, 2)->text(), "250");

  // Escape (as the window's close) cancels as the button does.
  QObject::disconnect(watch);
  ImageNumber = 1;
  LoadImageDialog again(*window, window.get());
  PrepareLoad(again, "Never stored either");
  clicked = false;
  QObject::connect(progress, &QProgressBar::valueChanged, &again, [&](int value) {
    if (clicked || value < 25) return;
    clicked = true;
    QTimer::singleShot(0, &again, [&] {
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(&again, &escape);
    });
  });
  again.btLoad_Click();
  EXPECT_TRUE(clicked);
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);   // a free slot: no question
  EXPECT_EQ(recorders.messages.boxes[0].text, "Image Load Cancelled");
  EXPECT_EQ(DirectoryEntry(1)[0] | DirectoryEntry(1)[1] | DirectoryEntry(1)[2] | DirectoryEntry(1)[3], 0);
  EXPECT_EQ(DirectoryEntry(2), kept);
  EXPECT_EQ(SecurityBlock(), security);

  const std::vector<RunRecord> loads = Logged("load");
  ASSERT_EQ(loads.size(), 2u);
  for (const RunRecord& r : loads) {
    EXPECT_EQ(r.result, "Cancelled");
    EXPECT_EQ(r.code, ErrCancelled);
  }
  EXPECT_EQ(loads[0].slot, 3);
  EXPECT_EQ(loads[1].slot, 1);
}

// Save, Delete and View Serialization follow the selected slot, also when a
// delete empties it under the selection; reached anyway they do nothing.
TEST_F(StoredImagesTest, AnEmptySlotOffersNoSaveDeleteOrSerialization) {
  StartLine({"slot=2,name=Keep me,device=9,family=0"});
  OpenWindow();
  ImageManagerWindow* manager = window->ImageManager();
  const char* const entries[] = {"mnuImageDelete",     "mnuImageUpload",       "mnuImageSerialization",
                                 "mnuIMageActionSave", "mnuImageActionDelete", "mnuImageActionSerial"};
  auto offered = [&](bool expected) {
    for (const char* name : entries) EXPECT_EQ(window->Menu(name)->isEnabled(), expected) << name;
    EXPECT_EQ(window->Button("Delete")->isEnabled(), expected);
  };
  manager->fgImages_Click(1);
  offered(false);
  manager->fgImages_Click(2);
  offered(true);

  recorders.messages.answer = vbYes;
  window->mnuImageDelete_Click();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].style, vbYesNo + vbDefaultButton2);
  EXPECT_FALSE(SlotHoldsImage(2));
  offered(false);

  window->mnuImageDelete_Click();
  window->mnuImageSerialization_Click();
  EXPECT_EQ(recorders.messages.boxes.size(), 1u);   // no question for a slot with nothing in it
}

// Every entry point refuses to save an empty slot: error 7 through the
// last-error record, no file made or replaced, no "OK" in the run log.
TEST_F(StoredImagesTest, SavingAnEmptySlotIsRefusedByEveryEntryPoint) {
  StartLine({"slot=2,name=Keep me,device=9,family=0"});
  const std::string existing = files.Write("existing.hex", "kept\r\n");

  // The command line first: the window holds the line afterwards.
  const ProcessResult cli =
      RunProcess(KESTRIN_CLI_PATH,
                 {"save", "--device", sim->linkPath(), "--address", "1", "--image", "1", "--out", existing}, home.path(),
                 "XDG_DATA_HOME='" + home.path() + "' XDG_CONFIG_HOME='" + home.path() + "'");
  EXPECT_EQ(cli.status, 3);
  EXPECT_NE(cli.err.find("kestrin-cli: image slot 1 of the programmer at address 1 holds no image\n"), std::string::npos)
      << cli.err;
  EXPECT_EQ(std::count(cli.err.begin(), cli.err.end(), '\n'), 1) << cli.err;
  EXPECT_EQ(files.Read("existing.hex"), "kept\r\n");

  OpenWindow();
  window->mnuDDEenable_Click();
  AutomationClient client(automationName);
  ASSERT_TRUE(client.Connected());
  window->ImageManager()->fgImages_Click(1);
  struct Case {
    const char* name;
    std::function<std::string(const std::string& path)> save;   // what the entry point reports
    std::string reported;
  } cases[] = {
      {"Operation",
       [](const std::string& path) {
         ImageNumber = 1;
         const bool saved = SaveImageAs(path, false);
         return std::string(saved ? "saved" : "") + std::to_string(LastErrorNumber) + " " + LastErrorText;
       },
       "7 Selected Image is Empty"},
      {"Window",
       [&](const std::string&) {   // the error report, whose lines carry the record
         recorders.messages.boxes.clear();
         window->mnuImageUpload_Click();
         if (recorders.messages.boxes.size() != 1) return std::string("boxes: ") + std::to_string(recorders.messages.boxes.size());
         const std::string& text = recorders.messages.boxes[0].text;
         const bool reported = text.find("Error Code:  7\r\n") != std::string::npos &&
                               text.find("\r\nSelected Image is Empty\r\n") != std::string::npos;
         return reported ? std::to_string(LastErrorNumber) + " " + LastErrorText : text;
       },
       "7 Selected Image is Empty"},
      {"Automation", [&](const std::string& path) { return client.Ask("EXECUTE DDELink SaveImage|1|" + path); },
       "SaveImage| 7|Selected Image is Empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string fresh = files.path() + "/" + c.name + ".hex";
    EXPECT_EQ(c.save(fresh), c.reported);
    EXPECT_FALSE(std::filesystem::exists(fresh));
    EXPECT_EQ(c.save(existing), c.reported);
    EXPECT_EQ(files.Read("existing.hex"), "kept\r\n");
  }
  EXPECT_TRUE(dialogs.requests.empty());   // the window asked for no file name

  const std::vector<RunRecord> saves = Logged("save");
  EXPECT_EQ(saves.size(), 7u);   // the command line's, then two of each case
  for (const RunRecord& r : saves) {
    EXPECT_EQ(r.result, "7");
    EXPECT_EQ(r.slot, 1);
  }
}

// View-only dialogs close on Enter; the serialization being edited does not,
// as Enter there takes what was typed.
TEST(ViewOnlyDialogsTest, EnterClosesThem) {
  FakePlatform platform;
  SerialMemory = SerialFlash;
  SerialFormat = 0x02;
  SerialNumber = {0xE8, 0x03, 0, 0, 0, 0, 0};
  struct Case {
    const char* name;
    std::function<std::unique_ptr<QDialog>()> open;
    bool closes;
  } cases[] = {
      {"SerializationShown",
       [] {
         SerialEditable = false;
         auto d = std::make_unique<SerializeDialog>(6, "ATmega", 0);
         d->Form_Load();
         return std::unique_ptr<QDialog>(std::move(d));
       },
       true},
      {"SerializationEdited",
       [] {
         SerialEditable = true;
         auto d = std::make_unique<SerializeDialog>(6, "ATmega", 0);
         d->Form_Load();
         return std::unique_ptr<QDialog>(std::move(d));
       },
       false},
      {"About", [] { return std::unique_ptr<QDialog>(std::make_unique<AboutBox>()); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<QDialog> dialog = c.open();
    dialog->show();
    QApplication::setActiveWindow(dialog.get());
    SettleEvents();
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : dialog.get();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    SettleEvents();
    EXPECT_EQ(dialog->isVisible(), !c.closes);
  }
}

}  // namespace
