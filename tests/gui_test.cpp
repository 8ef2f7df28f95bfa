// The windows against vrx-sim over a pseudo-terminal, on the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "automation/DdeLink.h"
#include "automation/DdeServer.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "devices/ui/LoadImageDialog.h"
#include "devices/ui/ReadImageDialog.h"
#include "images/ProjectState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "operations/ImageDirectory.h"
#include "operations/RunState.h"
#include "operations/Serialize.h"
#include "operations/ui/ArrayProgramWindow.h"
#include "operations/ui/ImageManagerWindow.h"
#include "operations/ui/ProgramManagerWindow.h"
#include "options/AvrOptions.h"
#include "options/FuseState.h"
#include "options/SerialState.h"
#include "options/ui/AvrFusePopup.h"
#include "options/ui/AvrOptionsWindow.h"
#include "options/ui/OptionBitsWindow.h"
#include "options/ui/SerializeDialog.h"
#include "platform/DocumentOpener.h"
#include "platform/FileDialogs.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "platform/SoundPlayer.h"
#include "programmers/Discovery.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "programmers/ui/FactoryWindow.h"
#include "programmers/ui/SetAddressDialog.h"
#include "shell/AboutBox.h"
#include "shell/MainWindow.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/ProgramFiles.h"
#include "tests/support/AutomationClient.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowLine.h"

namespace {

class RecordingSound : public SoundPlayer {
 public:
  void PlayAsync(const std::string& file) override { played.push_back(file); }
  std::vector<std::string> played;
};

const char* Unit1 = "address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200";

class GuiTest : public ::testing::Test {
 protected:
  // A line on COM1 (and optionally COM3), the delivered data files, a fresh main window.
  void Start(const std::vector<std::string>& simOptions, bool secondLine = false) {
    sim = std::make_unique<SimProcess>(simOptions);
    ASSERT_TRUE(sim->ready());
    std::map<int, std::string> overrides{{1, sim->linkPath()}};
    if (secondLine) {
      second = std::make_unique<SimProcess>(std::vector<std::string>{});
      ASSERT_TRUE(second->ready());
      overrides[3] = second->linkPath();
    }
    BindSimulatedLines(portMap, serial, events, overrides);
    Sound = &sound;
    window = std::make_unique<MainWindow>(portMap);
    window->SetAutomation(automationName, false);
    frmMain = window.get();
  }

  void TearDown() override {
    if (window) window->close();
    window.reset();
    Sound = nullptr;
  }

  // Finds the programmer at address 1 as a scan would, and opens the image manager.
  void FindAndOpenImageManager() {
    window->Form_Load();
    ASSERT_TRUE(AcquireProgrammerAt(1));
    window->ShowImageManager();
    ASSERT_NE(window->ImageManager(), nullptr);
    Settle();
  }

  // Lets the event loop run until the windows have done what they queued
  // (a child window's activation runs from the event loop).
  static void Settle() { SettleEvents(); }

  std::vector<std::string> Frames() const { return sim->loggedFrames(); }

  static void Pause(int ms) { PauseEvents(ms); }

  // The directory entry of slot 2 written with zeros: the image deleted.
  bool Slot2Deleted() const {
    for (const std::string& f : Frames()) {
      if (f.find(" 1 01 60 00 00 00 20 00 00 00") != std::string::npos) return true;
    }
    return false;
  }

  // Saves slot 2 through the automation channel, running `during` from the
  // event loop inside the command's first wait for the programmer; returns
  // the reply and whether `during` ran while the command held the line.
  std::string SaveSlot2WithAutomation(AutomationClient& client, const std::string& path,
                                      const std::function<void()>& during, bool& ranDuring) {
    bool tried = false;
    ranDuring = false;
    const int observer = AddLineObserver([&](bool busy) {
      if (!busy || tried || LineHolder() != LineUser::Automation) return;
      tried = true;
      QTimer::singleShot(0, window.get(), [&] {
        ranDuring = LineBusy();
        during();
      });
    });
    const std::string reply = client.Ask("EXECUTE DDELink SaveImage|2|" + path);
    RemoveLineObserver(observer);
    return reply;
  }

  static std::string FileText(const std::string& path) {
    std::ifstream file(path);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  }

  const QString automationName = QStringLiteral("kestrin-test-%1").arg(QCoreApplication::applicationPid());

  FakePlatform recorders;   // message boxes, settings; program state reset
  PortMap portMap{&recorders.settings};
  QtSerialPort serial{portMap};
  QtEventLoop events;
  RecordingSound sound;
  std::unique_ptr<SimProcess> sim, second;
  std::unique_ptr<MainWindow> window;
};

TEST_F(GuiTest, StartUpListsOpenablePortsAndSelectsTheSavedOne) {
  Start({"--programmer", Unit1}, true);
  recorders.settings.values["Settings/CommPort"] = "3";
  window->Form_Load();
  QComboBox* ports = window->lstComm();
  ASSERT_EQ(ports->count(), 2);
  EXPECT_EQ(ports->itemText(0), "COM1");
  EXPECT_EQ(ports->itemText(1), "COM3");
  EXPECT_EQ(ports->currentIndex(), 1);
  EXPECT_EQ(serial.CommPort(), 3);
  EXPECT_FALSE(serial.IsOpen());
  for (const char* name : {"mnuImage", "mnuFileOpen", "mnuConfig", "mnuProgram", "mnuViewProgMan", "mnuViewMultiMan"}) {
    EXPECT_FALSE(window->Menu(name)->isEnabled()) << name;
  }
  EXPECT_TRUE(window->Menu("mnuViewProgScan")->isEnabled());
  EXPECT_FALSE(window->Button("ArrayMan")->isEnabled());
  EXPECT_FALSE(window->Menu("mnuSelectFirmware")->isVisible());
  EXPECT_FALSE(window->Menu("mnuConfigSetATEopts")->isVisible());
  EXPECT_FALSE(window->Menu("mnuDDEenable")->isChecked());
  EXPECT_EQ(window->lstAllProgs()->count(), 0);
}

TEST_F(GuiTest, SavedPortMissingLeavesNoSelectionAndMarkerShowsEngineeringMenu) {
  Start({"--programmer", Unit1});
  TempDir data;
  for (const char* f : {"revisions.inf", "revisionsV2.inf", "revisionsV3.inf"}) {
    QFile::copy(QString::fromStdString(AppPath + "/" + f), QString::fromStdString(data.path() + "/" + f));
  }
  data.Write("zul_eng.v", "");
  AppPath = data.path();
  recorders.settings.values["Settings/CommPort"] = "7";
  recorders.settings.values["Settings/DDE Enable"] = "True";
  window->Form_Load();
  EXPECT_EQ(window->lstComm()->count(), 1);
  EXPECT_EQ(window->lstComm()->currentIndex(), -1);
  EXPECT_TRUE(window->Menu("mnuSelectFirmware")->isVisible());
  EXPECT_TRUE(window->Menu("mnuDDEenable")->isChecked());
  EXPECT_TRUE(DdeEnabled);
  window->mnuDDEenable_Click();
  EXPECT_FALSE(DdeEnabled);
  EXPECT_EQ(recorders.settings.values["Settings/DDE Enable"], "False");
}

TEST_F(GuiTest, ScanSelectsTheFirstProgrammerAndShowsItsImages) {
  Start({"--programmer", Unit1, "--image", "slot=2,name=Sensor board,device=9,family=0,voltage=3.3,freq=4000"});
  window->Form_Load();
  window->mnuViewProgScan_Click();
  Settle();
  ASSERT_EQ(window->lstAllProgs()->count(), 1);
  EXPECT_EQ(window->lstAllProgs()->itemText(0), "VRX:Addr= 1");
  EXPECT_EQ(window->StatusPanelText("Status"), "Found 1 Programmers");
  EXPECT_FALSE(window->lstComm()->isEnabled());
  EXPECT_TRUE(window->Menu("mnuViewMultiMan")->isEnabled());
  EXPECT_TRUE(window->Menu("mnuConfig")->isEnabled());
  ImageManagerWindow* manager = window->ImageManager();
  ASSERT_NE(manager, nullptr);
  QTableWidget* grid = manager->Grid();
  ASSERT_EQ(grid->rowCount(), 4);
  EXPECT_EQ(grid->horizontalHeaderItem(3)->text(), "Image Name");
  EXPECT_EQ(grid->item(1, 3)->text(), "Sensor board");
  EXPECT_EQ(grid->item(1, 5)->text(), "ATmega328P");
  EXPECT_EQ(grid->item(1, 7)->text(), "SPI 4 MHz");
  EXPECT_EQ(manager->lblAddress()->text(), "Address: 1");
  EXPECT_EQ(manager->lblProgType()->text(), "VRX-AVR");
  EXPECT_EQ(manager->lblFWRev()->text(), "Revision 3.010");

  manager->fgImages_Click(1);   // empty slot
  EXPECT_FALSE(window->Menu("mnuImageDelete")->isEnabled());
  EXPECT_FALSE(window->Button("Program")->isEnabled());
  manager->fgImages_Click(2);
  EXPECT_TRUE(window->Menu("mnuImageDelete")->isEnabled());
  EXPECT_TRUE(window->Button("Delete")->isEnabled());
  EXPECT_EQ(ImageNumber, 2);

  // Closing the image manager closes the port and gives the port list back.
  window->Menu("mnuFileClose")->trigger();
  Settle();
  EXPECT_EQ(window->ImageManager(), nullptr);
  EXPECT_FALSE(serial.IsOpen());
  EXPECT_TRUE(window->lstComm()->isEnabled());
}

// Another programmer at the chosen address: the message, nothing written,
// the dialog stays for another choice.
TEST_F(GuiTest, SetAddressRefusesAnAddressInUse) {
  Start({"--programmer", Unit1, "--programmer", "address=5,type=6,fw=3.010,slots=4,slotsize=256,baud=38400"});
  FindAndOpenImageManager();
  SetAddressDialog dialog(window.get());
  dialog.Form_Activate();
  EXPECT_EQ(dialog.lblSetting()->text(), "The current address of this programmer is: 1");
  ASSERT_EQ(dialog.lstAddress()->count(), 15);
  EXPECT_EQ(dialog.lstAddress()->item(0)->text(), "2");
  EXPECT_EQ(dialog.lstAddress()->item(14)->text(), "16");
  EXPECT_EQ(dialog.lstAddress()->currentRow(), 0);

  dialog.lstAddress()->setCurrentRow(3);   // 5
  dialog.btOK()->click();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].title, "Set Programmer Address");
  EXPECT_EQ(recorders.messages.boxes[0].text,
            "There is Already a Programmer Responding at Address 5\r\n"
            "Setting this programmer to address 5 will cause a conflict");
  EXPECT_EQ(recorders.messages.boxes[0].style, vbOKOnly);
  EXPECT_FALSE(dialog.Moved());
  EXPECT_TRUE(dialog.btOK()->isEnabled());
  EXPECT_TRUE(dialog.btCancel()->isEnabled());
  for (const std::string& f : Frames()) EXPECT_EQ(f.find(" 01 1F 00 00 00"), std::string::npos) << f;
  uint8_t address = 0;
  CurrentAddress = 1;
  ASSERT_TRUE(ReadFlash(31, 1, &address, false));
  EXPECT_EQ(address, 1);
}

// The move from the Configure menu: the byte written, the blink, the dialog
// closed, and the line scanned again with the programmer at its new address.
TEST_F(GuiTest, SetAddressMovesTheProgrammerAndScansAgain) {
  Start({"--programmer", Unit1, "--programmer", "address=5,type=6,fw=3.010,slots=4,slotsize=256,baud=38400"});
  FindAndOpenImageManager();
  EXPECT_TRUE(window->Menu("mnuConfigSetAddress")->isEnabled());
  QStringList blink;
  bool operated = false;
  QTimer::singleShot(0, window.get(), [&] {
    auto* dialog = qobject_cast<SetAddressDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    operated = true;
    dialog->lstAddress()->setCurrentRow(7);   // 9
    QTimer* watch = new QTimer(dialog);
    QObject::connect(watch, &QTimer::timeout, dialog, [&, dialog] {
      const QString state = dialog->lblSetting()->isVisible() ? dialog->lblSetting()->text() : QStringLiteral("-");
      if (blink.isEmpty() || blink.back() != state) blink.push_back(state);
    });
    watch->start(20);
    dialog->btOK()->click();
  });
  window->Menu("mnuConfigSetAddress")->trigger();
  Settle();
  ASSERT_TRUE(operated);
  EXPECT_TRUE(recorders.messages.boxes.empty()) << recorders.messages.boxes[0].text;
  EXPECT_TRUE(blink.contains("*** Programming New Address *** "));
  EXPECT_TRUE(blink.contains("-"));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  ASSERT_EQ(window->lstAllProgs()->count(), 2);
  EXPECT_EQ(window->lstAllProgs()->itemText(0), "VRX:Addr= 5");
  EXPECT_EQ(window->lstAllProgs()->itemText(1), "VRX:Addr= 9");
  EXPECT_EQ(ProgrammerTable[2].Address, 9);
  ASSERT_NE(window->ImageManager(), nullptr);   // the scan shows the first programmer again
  uint8_t address = 0;
  CurrentAddress = 9;
  serial.SetSettings("115200,n,8,1");
  ASSERT_TRUE(ReadFlash(31, 1, &address, false));
  EXPECT_EQ(address, 9);
}

TEST_F(GuiTest, FactoryChoiceCopiesTheTypesFilesUpgradesAndCancelLeavesNone) {
  Start({"--programmer", "address=1,type=6,fw=3.001,slots=4,slotsize=256,baud=115200,reload=200"});
  FindAndOpenImageManager();
  recorders.messages.boxes.clear();   // the obsolete-firmware note of the selection
  auto operate = [&](const QString& type, bool ok) {
    QTimer::singleShot(0, window.get(), [type, ok] {
      auto* factory = qobject_cast<FactoryWindow*>(QApplication::activeModalWidget());
      ASSERT_NE(factory, nullptr);
      const auto found = factory->lstProgType()->findItems(type + QStringLiteral(" ("), Qt::MatchStartsWith);
      ASSERT_FALSE(found.isEmpty());
      factory->lstProgType()->setCurrentItem(found.back());   // the last file's record
      (ok ? factory->btOK() : factory->btCancel())->click();
    });
    window->mnuSelectFirmware_Click();
  };
  FactoryWindow factory;
  ASSERT_TRUE(factory.Form_Load()) << LastErrorText;
  // "\revisions.inf" first; each entry names the generation of its file.
  EXPECT_EQ(factory.lstProgType()->item(0)->text(), "VRX-PSoC (generation 1, revision 1.250)");
  EXPECT_EQ(factory.lstProgType()->currentRow(), 0);
  EXPECT_EQ(FirmwareFileName, "vrx_psoc_v1.rex");

  operate("VRX-PSoC", true);
  Settle();
  const std::string upgraded = ProgrammerTable[1].FwRevision;
  EXPECT_NE(upgraded, "3.001");   // the unit runs the chosen type's firmware
  // The upgrade ends with a word that it finished and what the unit runs now.
  ASSERT_EQ(recorders.messages.boxes.size(), 1u) << recorders.messages.boxes.front().text;
  EXPECT_EQ(recorders.messages.boxes[0].title, "Upgrade Firmware");
  EXPECT_NE(recorders.messages.boxes[0].text.find("has finished"), std::string::npos);
  EXPECT_NE(recorders.messages.boxes[0].text.find("revision " + upgraded), std::string::npos);
  recorders.messages.boxes.clear();
  // The chosen type's file set went in: its second vector table and its
  // fourth HWC table, which the unit's own type does not have.
  std::ifstream vectorFile(ProgramFile("\\psoc_vec2.bin"), std::ios::binary);
  const std::vector<uint8_t> vectors((std::istreambuf_iterator<char>(vectorFile)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(vectors.empty());
  std::vector<uint8_t> stored(vectors.size());
  ASSERT_TRUE(ReadFlash(FlashMap.Vector2Base, static_cast<int32_t>(stored.size()), stored.data(), false));
  EXPECT_EQ(stored, vectors);
  std::array<uint8_t, 2> crc{}, record{};
  ASSERT_TRUE(CrcFlash(FlashMap.HwcBase[3], FlashMap.HwcSize[3], crc));
  ASSERT_TRUE(ReadFlash(12, 2, record.data(), false));
  EXPECT_EQ(record, crc);
  // The scan after the upgrade selected the unit again with its own type's record.
  EXPECT_EQ(FirmwareFileName, "vrx_avr_v3.rex");
  EXPECT_EQ(HwcFileNames[3], "");
  EXPECT_EQ(VectorFileName2, "");

  operate("VRX-PSoC", false);
  EXPECT_EQ(ProgrammerTable[1].FwRevision, upgraded);   // nothing loaded
  EXPECT_TRUE(recorders.messages.boxes.empty());
  EXPECT_EQ(FirmwareFileName, "");
  for (const std::string& name : HwcFileNames) EXPECT_EQ(name, "");
  EXPECT_EQ(VectorFileName, "");
  EXPECT_EQ(VectorFileName2, "");
}

TEST_F(GuiTest, UpgradeFirmwareMenuUpgradesTheSelectedProgrammerAndReportsAFailure) {
  Start({"--programmer", "address=1,type=2,fw=3.001,slots=4,slotsize=256,baud=115200,reload=200"});
  window->Form_Load();
  EXPECT_FALSE(window->Menu("mnuUpgradeFirmware")->isEnabled());
  window->mnuViewProgScan_Click();
  Settle();
  ASSERT_TRUE(window->Menu("mnuUpgradeFirmware")->isEnabled());
  recorders.messages.boxes.clear();   // the obsolete-firmware note of the selection

  recorders.messages.answer = vbYes;
  window->Menu("mnuUpgradeFirmware")->trigger();
  Settle();
  // Asked first, then told that it finished.
  ASSERT_EQ(recorders.messages.boxes.size(), 2u);
  EXPECT_EQ(recorders.messages.boxes[0].style, vbYesNo + vbQuestion + vbDefaultButton2);
  EXPECT_EQ(recorders.messages.boxes[1].text,
            "The firmware upgrade of the programmer at address 1 has finished.\r\nIt runs revision 3.010 now.");
  recorders.messages.boxes.clear();
  EXPECT_EQ(ProgrammerTable[1].FwRevision, "3.010");   // what vrx_z8_v3.rex brings
  EXPECT_TRUE(window->isEnabled());
  // The line was scanned again after the firmware went in: the last address
  // was asked, and the image manager shows the programmer as found again.
  std::vector<std::string> frames;   // address and payload, without the time
  for (const std::string& f : Frames()) frames.push_back(f.substr(f.find(' ') + 1));
  const auto load = std::find(frames.begin(), frames.end(), "1 7E");
  ASSERT_NE(load, frames.end());
  EXPECT_NE(std::find(load, frames.end(), "16 00"), frames.end());
  ASSERT_EQ(window->lstAllProgs()->count(), 1);
  EXPECT_EQ(SelectedProgrammer, 1);
  ASSERT_NE(window->ImageManager(), nullptr);
  EXPECT_EQ(window->ImageManager()->lblFWRev()->text(), "Revision 3.010");
  EXPECT_EQ(window->StatusPanelText("Status"), "Found 1 Programmers");

  FirmwareFileName = "missing.rex";
  window->Menu("mnuUpgradeFirmware")->trigger();
  Settle();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].title, "Kestrin - Upgrade Firmware");
  EXPECT_TRUE(window->isEnabled());
}

TEST_F(GuiTest, DeleteAsksAndDeletesOnlyOnYes) {
  Start({"--programmer", Unit1, "--image", "slot=2,name=Keep me,device=9,family=0"});
  FindAndOpenImageManager();
  window->ImageManager()->fgImages_Click(2);
  recorders.messages.answer = vbNo;
  window->mnuImageDelete_Click();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].text, "Delete Image   2: Keep me               from Programmer?");
  EXPECT_EQ(recorders.messages.boxes[0].title, "Delete Stored Image");
  EXPECT_EQ(recorders.messages.boxes[0].style, vbYesNo + vbDefaultButton2);   // Enter answers No
  EXPECT_EQ(window->ImageManager()->Grid()->item(1, 3)->text(), "Keep me");

  recorders.messages.answer = vbYes;
  window->mnuImageDelete_Click();
  EXPECT_EQ(window->ImageManager()->Grid()->item(1, 3)->text(), "");
  EXPECT_TRUE(window->isEnabled());
  EXPECT_TRUE(Slot2Deleted());
}

// A damaged security block shows every image protected, with the reason in the
// status bar; Configure > Reset Security Block asks and resets only on Yes.
TEST_F(GuiTest, DamagedSecurityBlockIsResetFromTheConfigureMenuOnlyOnYes) {
  Start({"--programmer", Unit1, "--image", "slot=2,name=Guarded,device=9,family=0,protect=1,count=250"});
  FindAndOpenImageManager();
  std::array<uint8_t, 32> block{};
  ASSERT_TRUE(ReadFlashConfirmed(0x20, 32, block.data()));
  block[7] ^= 0x10;   // slot 2's count, behind the seal
  ASSERT_TRUE(WriteFlashVerified(0x20, 32, block.data()));
  ShowImageDirectory();
  QTableWidget* grid = window->ImageManager()->Grid();   // row 1: slot 2
  EXPECT_EQ(grid->item(1, 1)->text(), "RP");
  EXPECT_EQ(grid->item(1, 2)->text(), "Damaged");
  EXPECT_EQ(window->StatusPanelText("Status").toStdString(), SecurityDamagedText);

  QAction* entry = window->findChild<QAction*>("mnuConfigResetSecurity");
  ASSERT_NE(entry, nullptr);
  EXPECT_TRUE(entry->isEnabled());
  recorders.messages.answer = vbNo;
  entry->trigger();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].title, "Reset Security Block");
  EXPECT_EQ(recorders.messages.boxes[0].style, vbYesNo + vbQuestion);
  std::array<uint8_t, 32> after{};
  ASSERT_TRUE(ReadFlashConfirmed(0x20, 32, after.data()));
  EXPECT_EQ(after, block);
  EXPECT_EQ(grid->item(1, 1)->text(), "RP");

  recorders.messages.answer = vbYes;
  entry->trigger();
  EXPECT_EQ(recorders.messages.boxes.size(), 2u);   // the question only: no error report
  EXPECT_EQ(grid->item(1, 1)->text(), "");
  EXPECT_EQ(grid->item(1, 2)->text(), "Unrestricted");
  EXPECT_FALSE(SecurityDamaged);
  EXPECT_TRUE(window->isEnabled());
}

// The operator's Delete arriving while an automation command waits for the
// programmer is refused: its question is never asked (least of all answered
// by the command's silent message box) and the command ends as if alone.
TEST_F(GuiTest, WindowDeleteDuringAnAutomationSaveIsRefused) {
  Start({"--programmer", Unit1, "--image", "slot=2,name=Keep me,device=9,family=0"});
  FindAndOpenImageManager();
  window->ImageManager()->fgImages_Click(2);
  window->mnuDDEenable_Click();
  ASSERT_TRUE(window->DdeInterfaceEnabled());
  AutomationClient client(automationName);
  ASSERT_TRUE(client.Connected());

  bool duringCommand = false, entriesLocked = false;
  TempDir out;
  const std::string saved = out.path() + "/slot2.hex";
  const std::string reply = SaveSlot2WithAutomation(client, saved, [&] {
    entriesLocked = !window->Menu("mnuImageDelete")->isEnabled() && !window->Button("Delete")->isEnabled();
    window->Menu("mnuImageDelete")->trigger();
    window->Button("Delete")->trigger();
    window->mnuImageDelete_Click();
  }, duringCommand);
  EXPECT_EQ(reply, "SaveImage|Success|");
  EXPECT_TRUE(duringCommand);
  EXPECT_TRUE(entriesLocked);
  for (const auto& box : recorders.messages.boxes) EXPECT_NE(box.title, "Delete Stored Image") << box.text;
  EXPECT_FALSE(Slot2Deleted());
  const std::string text = FileText(saved);
  EXPECT_EQ(text.rfind(":20000000", 0), 0u);
  EXPECT_NE(text.find(":00000001FF"), std::string::npos);

  // Once the command is over the entries are back, and Delete asks again.
  Settle();
  EXPECT_TRUE(window->Menu("mnuImageDelete")->isEnabled());
  recorders.messages.answer = vbNo;
  window->Menu("mnuImageDelete")->trigger();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].title, "Delete Stored Image");
  EXPECT_FALSE(Slot2Deleted());
  EXPECT_EQ(window->ImageManager()->Grid()->item(1, 3)->text(), "Keep me");
}

// Closing the main window while an automation command waits for the
// programmer closes nothing under the command: the window goes once it is over.
TEST_F(GuiTest, ClosingTheMainWindowWaitsForTheAutomationCommand) {
  Start({"--programmer", Unit1, "--image", "slot=2,name=Keep me,device=9,family=0"});
  FindAndOpenImageManager();
  window->show();
  window->mnuDDEenable_Click();
  AutomationClient client(automationName);
  ASSERT_TRUE(client.Connected());

  bool duringCommand = false, openDuring = false;
  TempDir out;
  const std::string saved = out.path() + "/slot2.hex";
  const std::string reply = SaveSlot2WithAutomation(client, saved, [&] {
    window->close();
    openDuring = window->isVisible() && window->ImageManager() != nullptr && serial.IsOpen();
  }, duringCommand);
  EXPECT_EQ(reply, "SaveImage|Success|");
  EXPECT_TRUE(duringCommand);
  EXPECT_TRUE(openDuring);
  EXPECT_NE(FileText(saved).find(":00000001FF"), std::string::npos);
  Settle();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ImageManager(), nullptr);
  EXPECT_FALSE(serial.IsOpen());
}

// A second instance asking for a name another one serves says so where a
// headless station shows it, and leaves the first one serving.
TEST_F(GuiTest, AnAutomationNameInUseIsReportedAndTheOtherInstanceKeepsIt) {
  Start({"--programmer", Unit1});
  window->Form_Load();
  DdeLink otherLink;
  DdeServer other(otherLink, automationName);
  ASSERT_TRUE(other.Listening()) << other.ErrorText().toStdString();
  window->mnuDDEenable_Click();
  const QString status = window->StatusPanelText("Status");
  EXPECT_TRUE(status.startsWith("The automation interface \"" + automationName + "\" could not be opened: "))
      << status.toStdString();
  EXPECT_NE(status.indexOf("in use"), -1) << status.toStdString();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].title, "DDE Enable");
  EXPECT_EQ(recorders.messages.boxes[0].text, status.toStdString());
  window->mnuDDEenable_Click();   // switched off again: the refused server goes
  AutomationClient client(automationName);
  ASSERT_TRUE(client.Connected());
  EXPECT_EQ(client.Ask("EXECUTE DDELink ImageInfo|9"), "ImageInfo| 1603|Illegal Image #");
}

class RecordingOpener : public DocumentOpener {
 public:
  bool Open(const std::string& path) override {
    opened.push_back(path);
    return true;
  }
  std::vector<std::string> opened;
};

TEST_F(GuiTest, PlacementIsKeptInTwipsButNotWhenClosedMinimized) {
  Start({"--programmer", Unit1});
  recorders.settings.values["Settings/MainLeft"] = "1500";
  recorders.settings.values["Settings/MainTop"] = "3000";
  recorders.settings.values["Settings/MainWidth"] = "12000";
  recorders.settings.values["Settings/MainHeight"] = "9000";
  window->Form_Load();
  EXPECT_EQ(window->size(), QSize(800, 600));
  window->show();
  window->resize(760, 560);   // inside the test screen, so the restore keeps it
  window->lstComm()->setCurrentIndex(0);
  window->close();
  EXPECT_EQ(recorders.settings.values["Settings/MainWidth"], "11400");
  EXPECT_EQ(recorders.settings.values["Settings/MainHeight"], "8400");
  EXPECT_EQ(recorders.settings.values["Settings/CommPort"], "1");

  window = std::make_unique<MainWindow>(portMap);
  frmMain = window.get();
  window->Form_Load();
  EXPECT_EQ(window->size(), QSize(760, 560));
  window->show();
  window->showMinimized();
  window->resize(300, 200);
  window->close();
  EXPECT_EQ(recorders.settings.values["Settings/MainWidth"], "11400");
}

TEST_F(GuiTest, HelpEntriesOpenTheDocumentsAndTheAboutBoxShowsTheHistory) {
  Start({"--programmer", Unit1});
  RecordingOpener opener;
  Documents = &opener;
  window->Form_Load();
  window->Menu("mnuHelpManual")->trigger();
  window->Menu("mnuHelpVRXArray")->trigger();
  window->Menu("mnuHelpDDE")->trigger();
  Documents = nullptr;
  ASSERT_EQ(opener.opened.size(), 3u);
  EXPECT_EQ(opener.opened[0], AppPath + "/VRXManual.pdf");
  EXPECT_EQ(opener.opened[1], AppPath + "/VRX_AIB.pdf");
  EXPECT_EQ(opener.opened[2], AppPath + "/VRX_DDE.pdf");

  TempDir data;
  data.Write("RevisionInfo.txt", "*** Kestrin 0.2\r\nFaster scans,Fewer clicks\r\n\r\n*** Kestrin 0.1\r\nFirst release\r\n");
  AppPath = data.path();
  AboutBox about(window.get());
  EXPECT_EQ(about.tbRevision()->toPlainText(),
            "*** Kestrin 0.2\n\tFaster scans\n\tFewer clicks\n*** Kestrin 0.1\n\tFirst release\n");
}

class ScriptedDialogs : public FileDialogs {
 public:
  bool Show(const FileDialogRequest& request, std::string& chosen) override {
    requests.push_back(request);
    if (answers.empty()) return false;
    chosen = answers.front();
    answers.erase(answers.begin());
    return !chosen.empty();
  }
  // The input dialog: the next prepared text; none cancels.
  bool AskText(const std::string& title, const std::string& prompt, const std::string& initial,
               std::string& answer) override {
    questions.push_back(title + ": " + prompt + " [" + initial + "]");
    if (texts.empty()) return false;
    answer = texts.front();
    texts.erase(texts.begin());
    return true;
  }
  std::vector<std::string> answers, texts, questions;
  std::vector<FileDialogRequest> requests;
};

// One fuse byte for an AVR device code: CKSEL in bits 3..0, default 0xF2.
std::string FuseBlock(int id) {
  return "ID%" + std::to_string(id) + "%device%0%0\r\nBYTE%0%LOW%%\r\nFIELD%CKSEL%Clock source%&H0F%&H02\r\n"
         "OPTION%Internal RC%&H02%%\r\nOPTION%External%&H0F%%\r\nENDID%%%%\r\n";
}

// A fuse file for every AVR device code of the delivered device lists; the
// block of `brokenId` has a byte without fields.
std::string FusesForEveryDevice(int brokenId = 0) {
  std::string text;
  for (int id = 1; id <= 64; ++id) {
    text += id == brokenId ? "ID%" + std::to_string(id) + "%broken%0%0\r\nBYTE%0%LOW%%\r\nENDID%%%%\r\n"
                           : FuseBlock(id);
  }
  return text + "EOF%%%%\r\n";
}

class LoadImageDialogTest : public GuiTest {
 protected:
  void SetUp() override {
    FileDial1 = &dialogs;
    OpenProjectRequest = false;
  }
  // The delivered data files in a folder of the test's own, with this fuse
  // definition file (none when `fuses` is empty), as AppPath.
  void UseDataFolder(const std::string& fuses, const TempDir& folder) {
    const QDir delivered(QDir(QString::fromStdString(SimProgramPath())).absolutePath().section('/', 0, -2));
    for (const QString& name : delivered.entryList({QStringLiteral("*.inf"), QStringLiteral("*.txt")}, QDir::Files)) {
      if (name.compare(QStringLiteral("AVRFuses.inf"), Qt::CaseInsensitive) == 0) continue;
      QFile::copy(delivered.filePath(name), QString::fromStdString(folder.path() + "/") + name);
    }
    if (!fuses.empty()) folder.Write("AVRFuses.inf", fuses);
    AppPath = folder.path();
  }
  // Runs `check` on the modal window of that name once it is open, then closes it.
  void OnModal(const QString& objectName, std::function<void(QDialog*)> check) {
    auto* poll = new QTimer(window.get());
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, objectName, check] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog || dialog->objectName() != objectName) return;
      poll->stop();
      poll->deleteLater();
      check(dialog);
      if (dialog->isVisible()) dialog->reject();   // a check may have accepted it
    });
    poll->start();
  }
  std::vector<std::string> BoxTitles() const {
    std::vector<std::string> titles;
    for (const auto& box : recorders.messages.boxes) titles.push_back(box.title);
    return titles;
  }
  TempDir data;
  void TearDown() override {
    FileDial1 = nullptr;
    GuiTest::TearDown();
  }
  void Choose(QComboBox* list, const QString& text) {
    const int at = list->findText(text);
    ASSERT_GE(at, 0) << text.toStdString();
    list->setCurrentIndex(at);
  }
  ScriptedDialogs dialogs;
  TempDir files;
};

TEST_F(LoadImageDialogTest, OperatorLoadsAnImageThroughTheDialog) {
  Start({"--programmer", Unit1});
  UseDataFolder(FusesForEveryDevice(), data);
  FindAndOpenImageManager();
  const std::string hex = files.Write("board.hex", ":020000000102FB\r\n:00000001FF\r\n");
  dialogs.answers = {hex};
  ImageNumber = 3;
  LoadImageDialog dialog(*window, window.get());
  dialog.Form_Load();   // the file dialog opens at once
  ASSERT_EQ(dialogs.requests.size(), 1u);
  EXPECT_EQ(dialogs.requests[0].title, "Select Image File 0");
  EXPECT_EQ(dialog.lblFile(0)->text().toStdString(), hex);
  EXPECT_TRUE(dialog.btLoad()->isEnabled());
  EXPECT_EQ(dialog.cbImageNum()->currentText(), "3");

  Choose(dialog.lstDevFamily(), "ATmega");
  dialog.lstDevFamily_Click();
  Choose(dialog.lstDevType(), "ATmega328P");
  dialog.lstDevType_Click();
  EXPECT_EQ(dialog.lstVoltage()->itemText(0), "1.8");
  Choose(dialog.lstVoltage(), "3.3");
  dialog.tbImageName()->setText("Dialog image");
  dialog.tbTgtFreq()->setText("4000");
  dialog.lstFreq()->setCurrentText("KHz");
  dialog.tbTgtFreq_LostFocus();
  EXPECT_EQ(dialog.tbTgtFreq()->text(), "4.000");
  EXPECT_EQ(dialog.lstFreq()->currentText(), "MHz");

  dialog.cbRestricted()->setChecked(true);
  dialog.cbRestricted_Click();
  EXPECT_EQ(dialog.tbCount()->text(), "1000");
  EXPECT_TRUE(dialog.cbReadProtect()->isChecked());

  dialog.btLoad_Click();
  ASSERT_FALSE(recorders.messages.boxes.empty());
  const auto& done = recorders.messages.boxes.back();
  EXPECT_EQ(done.title, "Load New Image to Programmer");
  EXPECT_EQ(done.text.rfind("Image Load Complete\r\n  File Checksum = 00000003\r\n  Entire Image Checksum = ", 0), 0u)
      << done.text;
  ShowImageDirectory();
  EXPECT_EQ(fgImages.TextMatrix(3, ColName), "Dialog image        ");
  EXPECT_EQ(fgImages.TextMatrix(3, ColRemaining), "1000");
  EXPECT_EQ(fgImages.TextMatrix(3, ColReadProtect), "RP");
  EXPECT_EQ(fgImages.TextMatrix(3, ColMode), "SPI 4 MHz");
  EXPECT_EQ(recorders.settings.values["VRX-AVR/DevType"], std::to_string(dialog.lstDevType()->currentIndex()));
}

// A binary file is taken with the load address the operator gives in the
// input dialog, and loads as the HEX file of the same data would.
TEST_F(LoadImageDialogTest, BinaryFileIsTakenWithTheAddressTheOperatorGives) {
  Start({"--programmer", Unit1});
  UseDataFolder(FusesForEveryDevice(), data);
  FindAndOpenImageManager();
  const std::string bin = files.Write("board.bin", std::string("\x01\x02\x00\x7f", 4));
  dialogs.answers = {bin};
  dialogs.texts = {"0x10"};
  LoadImageDialog dialog(*window, window.get());
  dialog.Form_Load();   // the file dialog opens at once, then the address is asked
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].rfind("Load Address: Address of the first byte of board.bin", 0), 0u)
      << dialogs.questions[0];
  EXPECT_EQ(dialog.lblFile(0)->text().toStdString(), bin + "@0x00000010");
  EXPECT_TRUE(dialog.btLoad()->isEnabled());

  Choose(dialog.lstDevFamily(), "ATmega");
  dialog.lstDevFamily_Click();
  Choose(dialog.lstDevType(), "ATmega328P");
  dialog.lstDevType_Click();
  dialog.btLoad_Click();
  ASSERT_FALSE(recorders.messages.boxes.empty());
  const auto& done = recorders.messages.boxes.back();
  EXPECT_EQ(done.title, "Load New Image to Programmer");
  EXPECT_EQ(done.text.rfind("Image Load Complete\r\n  File Checksum = 00000082\r\n", 0), 0u) << done.text;
  EXPECT_EQ(ImageBuffer[0x0F], 0xFF);
  EXPECT_EQ(ImageBuffer[0x10], 0x01);
  EXPECT_EQ(ImageBuffer[0x13], 0x7F);
  EXPECT_EQ(ImageBuffer[0x14], 0xFF);
}

// The Load Image dialog holds the line while it is open: an automation
// request is answered once it has closed, never while the operator works.
TEST_F(LoadImageDialogTest, AutomationWaitsWhileTheDialogIsOpen) {
  Start({"--programmer", Unit1, "--image", "slot=2,name=Keep me,device=9,family=0"});
  FindAndOpenImageManager();
  window->mnuDDEenable_Click();
  AutomationClient client(automationName);
  ASSERT_TRUE(client.Connected());

  bool dialogSeen = false;
  QByteArray answeredWhileOpen;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || dialog->objectName() != QStringLiteral("frmLoadImage")) return;
    poll.stop();
    dialogSeen = true;
    client.Send("EXECUTE DDELink ImageInfo|2");
    Pause(500);
    answeredWhileOpen = client.buffer + client.socket.readAll();
    client.buffer = answeredWhileOpen;
    dialog->reject();
  });
  poll.start();
  window->ImageManager()->mnuImageNew();   // returns when the dialog has closed
  EXPECT_TRUE(dialogSeen);
  EXPECT_TRUE(answeredWhileOpen.isEmpty()) << answeredWhileOpen.toStdString();
  const std::string answer = client.Answer();
  EXPECT_EQ(answer.rfind("ImageInfo|Success|", 0), 0u) << answer;
  EXPECT_NE(answer.find("Keep me"), std::string::npos) << answer;
}

TEST_F(LoadImageDialogTest, DeletingTheOnlyFileDisablesLoadAndSaveProject) {
  Start({"--programmer", Unit1});
  FindAndOpenImageManager();
  dialogs.answers = {files.Write("a.hex", ":00000001FF\r\n")};
  LoadImageDialog dialog(*window, window.get());
  dialog.Form_Load();
  ASSERT_TRUE(dialog.btLoad()->isEnabled());
  EXPECT_TRUE(dialog.btSaveProject()->isEnabled());
  dialog.btFileDelete_Click(0);
  EXPECT_FALSE(dialog.btLoad()->isEnabled());
  EXPECT_FALSE(dialog.btSaveProject()->isEnabled());
  EXPECT_EQ(FileCount, 0);
  EXPECT_FALSE(dialog.btFileAdd(0)->isHidden());
}

TEST_F(LoadImageDialogTest, ProjectWithAnUnknownFamilyAndVoltage) {
  Start({"--programmer", Unit1});
  UseDataFolder(FusesForEveryDevice(), data);
  FindAndOpenImageManager();
  const std::string hex = files.Write("p.hex", ":00000001FF\r\n");
  const std::string project = files.Write("p.vrx", "\"Name: Proj\"\r\n\"Family: Nowhere\"\r\n\"Device: Gone\"\r\n"
                                                  "\"Mode: 4\"\r\n\"Freq: 500\"\r\n\"Voltage: 10\"\r\n"
                                                  "\"File0: " + hex + "\"\r\n");
  dialogs.answers = {project};
  OpenProjectRequest = true;
  LoadImageDialog dialog(*window, window.get());
  dialog.Form_Load();
  std::vector<std::string> texts;
  for (const auto& box : recorders.messages.boxes) texts.push_back(box.text);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "Can't Find Device Family Nowhere");
  EXPECT_EQ(texts[1], "Can't Find Device Gone");
  EXPECT_EQ(texts[2], "Invalid Target Voltage 0.20");
  EXPECT_EQ(recorders.messages.boxes[0].title, "Load Project");
  EXPECT_EQ(dialog.tbImageName()->text(), "Proj");
  EXPECT_EQ(dialog.lblFile(0)->text().toStdString(), hex);
  EXPECT_EQ(dialog.tbTgtFreq()->text(), "500");
  EXPECT_EQ(dialog.lstFreq()->currentText(), "KHz");
  EXPECT_TRUE(dialog.optJTAG()->isChecked() || !dialog.optJTAG()->isEnabled());
  EXPECT_EQ(dialogs.requests.size(), 1u);   // no file dialog after a project
}

TEST_F(LoadImageDialogTest, ChoosingADeviceSelectsItsDefaultFusesAndOptionsOpensTheWindow) {
  Start({"--programmer", Unit1});
  UseDataFolder(FusesForEveryDevice(), data);
  FindAndOpenImageManager();
  dialogs.answers = {files.Write("a.hex", ":00000001FF\r\n")};
  JtagIdCheck = true;   // left by an earlier project
  JtagPart = 0x9502;
  LoadImageDialog dialog(*window, window.get());
  dialog.Form_Load();
  EXPECT_TRUE(recorders.messages.boxes.empty());   // the start-up takes the defaults silently
  EXPECT_FALSE(JtagIdCheck);
  EXPECT_EQ(JtagPart, 0);
  EXPECT_FALSE(dialog.btOptions()->isHidden());

  Choose(dialog.lstDevFamily(), "ATmega");
  Choose(dialog.lstDevType(), "ATmega328P");
  FuseValues[0] = 0x0F;
  dialog.lstDevType_Click();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].text, "Default Fuse Values Selected. Click Options to change");
  EXPECT_EQ(recorders.messages.boxes[0].title, "Load Image");
  EXPECT_EQ(recorders.messages.boxes[0].style, vbInformation);
  EXPECT_EQ(NumFuseBytes, 0);
  EXPECT_EQ(FuseValues[0], 0xF2);

  bool opened = false;
  OnModal(QStringLiteral("frmAVROptions"), [&](QDialog* options) {
    opened = true;
    EXPECT_EQ(options->windowTitle(), "AVR Programming Options - ATmega328P");
    auto* eeprom = options->findChild<QGroupBox*>(QStringLiteral("frmEEPROM"));
    ASSERT_NE(eeprom, nullptr);
    EXPECT_TRUE(eeprom->isVisibleTo(options));   // 1 KiB of EEPROM
    EXPECT_EQ(eeprom->title(), "EEPROM");
    EXPECT_FALSE(options->findChild<QGroupBox*>(QStringLiteral("frJTAGID"))->isVisibleTo(options));   // SPI only
    EXPECT_FALSE(options->findChild<QGroupBox*>(QStringLiteral("frmAVR32SecurityBit"))->isVisibleTo(options));
    EXPECT_EQ(options->findChild<QLineEdit*>(QStringLiteral("tbHex0"))->text(), "F2");
  });
  dialog.btOptions()->click();
  EXPECT_TRUE(opened);
}

// A Z8 Encore! image through the dialog: Options converts the file and shows
// its option bytes, the choice survives the conversion on Load and reaches
// bytes 0 and 1 of the slot.
TEST_F(LoadImageDialogTest, Z8OptionBytesChosenInTheWindowReachTheSlot) {
  Start({"--programmer", "address=1,type=2,fw=3.010,slots=4,slotsize=256,baud=115200"});
  FindAndOpenImageManager();
  // Byte 0 = 0001 0010: interrupt, automatic, low power, VBO off, read and flash protect; byte 1 = 0011 0100.
  dialogs.answers = {files.Write("z8.hex", DataRecord(0, {0x12, 0x34, 0x56}) + EndRecord())};
  ImageNumber = 2;
  LoadImageDialog dialog(*window, window.get());
  dialog.Form_Load();
  Choose(dialog.lstDevFamily(), "Z8 Encore! F64xx");
  dialog.lstDevFamily_Click();
  Choose(dialog.lstDevType(), "Z8F6421");   // variant 2
  dialog.lstDevType_Click();
  ASSERT_FALSE(dialog.btOptions()->isHidden());

  bool opened = false;
  OnModal(QStringLiteral("frmZ8EOptions"), [&](QDialog* options) {
    opened = true;
    EXPECT_EQ(options->windowTitle(), "Z8 Encore! Programming Options");
    auto* wdt = options->findChild<QComboBox*>(QStringLiteral("cbWDT_RES"));
    auto* osc = options->findChild<QComboBox*>(QStringLiteral("cbOSC_SEL"));
    auto* rp = options->findChild<QCheckBox*>(QStringLiteral("cbRP"));
    ASSERT_TRUE(wdt && osc && rp);
    EXPECT_EQ(wdt->currentText(), "Interrupt (WDT_RES=0)");
    EXPECT_EQ(osc->currentText(), "Low Power (OSC_SEL[1:0]=01)");
    EXPECT_TRUE(rp->isChecked());
    EXPECT_FALSE(options->findChild<QCheckBox*>(QStringLiteral("cbFHSWP"))->isEnabled());
    rp->setChecked(false);
    osc->setCurrentIndex(3);
    options->findChild<QPushButton*>(QStringLiteral("btAccept"))->click();
  });
  dialog.btOptions()->click();
  ASSERT_TRUE(opened);

  // Opened again, the window shows the choice, not the file's bytes; closing it changes nothing.
  opened = false;
  OnModal(QStringLiteral("frmZ8EOptions"), [&](QDialog* options) {
    opened = true;
    EXPECT_FALSE(options->findChild<QCheckBox*>(QStringLiteral("cbRP"))->isChecked());
    EXPECT_EQ(options->findChild<QComboBox*>(QStringLiteral("cbOSC_SEL"))->currentIndex(), 3);
    options->findChild<QCheckBox*>(QStringLiteral("cbFWP"))->setChecked(false);
  });
  dialog.btOptions()->click();
  ASSERT_TRUE(opened);

  dialog.btLoad_Click();
  ASSERT_FALSE(recorders.messages.boxes.empty());
  EXPECT_EQ(recorders.messages.boxes.back().text.rfind("Image Load Complete", 0), 0u)
      << recorders.messages.boxes.back().text;
  // 0x12 with RP off and OSC_SEL 11: 0x36; byte 1: 0x6F + XTLDIS as the file had it.
  uint8_t slot[4] = {};
  ASSERT_TRUE(ReadFlash(FlashMap.ImageBase + FlashMap.ImageSlotSize, 4, slot, false)) << LastErrorText;
  EXPECT_EQ(std::vector<uint8_t>(slot, slot + 4), (std::vector<uint8_t>{0x36, 0x7F, 0x56, 0xFF}));
}

TEST_F(LoadImageDialogTest, Z8OptionsWithAFileThatDoesNotConvertShowTheErrorAndNoWindow) {
  Start({"--programmer", "address=1,type=2,fw=3.010,slots=4,slotsize=256,baud=115200"});
  FindAndOpenImageManager();
  dialogs.answers = {files.Write("bad.hex", "not a hex file\r\n")};
  LoadImageDialog dialog(*window, window.get());
  dialog.Form_Load();
  Choose(dialog.lstDevFamily(), "Z8 Encore! F64xx");
  dialog.lstDevFamily_Click();
  bool opened = false;
  OnModal(QStringLiteral("frmZ8EOptions"), [&](QDialog*) { opened = true; });
  dialog.btOptions()->click();
  Settle();
  EXPECT_FALSE(opened);
  ASSERT_FALSE(recorders.messages.boxes.empty());
  EXPECT_EQ(recorders.messages.boxes.back().title, "Kestrin - Convert Image Files");
  EXPECT_NE(recorders.messages.boxes.back().text.find("Illegal File Format"), std::string::npos)
      << recorders.messages.boxes.back().text;
}

TEST_F(LoadImageDialogTest, AProjectBringsItsFusesAndEepromImageToTheOptions) {
  Start({"--programmer", Unit1});
  UseDataFolder(FusesForEveryDevice(), data);
  FindAndOpenImageManager();
  const std::string hex = files.Write("p.hex", ":00000001FF\r\n");
  const std::string eeprom = files.Write("cal.rev2.hex", ":0100050007F3\r\n:00000001FF\r\n");
  const std::string project = files.Write(
      "p.vrx", "\"Name: Proj\"\r\n\"Family: ATmega\"\r\n\"Device: ATmega328P\"\r\n\"Mode: 2\"\r\n\"Freq: 4000\"\r\n"
               "\"Voltage: 165\"\r\n\"File0: " + hex + "\"\r\n\"EEPROM: " + eeprom + "\"\r\n\"EENAME: cal.rev2.hex\"\r\n"
               "\"FUSE0: 63\"\r\n\"JTAG_ID: 0\"\r\n");
  dialogs.answers = {project};
  OpenProjectRequest = true;
  LoadImageDialog dialog(*window, window.get());
  dialog.Form_Load();
  EXPECT_TRUE(recorders.messages.boxes.empty());
  EXPECT_EQ(FuseValues[0], 0x3F);   // the project's, not the default F2
  EXPECT_TRUE(SecondaryEnabled);
  EXPECT_TRUE(EepromFileChosen);
  EXPECT_EQ(EEName, "cal");
  ASSERT_GT(EEBuffer.size(), 5u);
  EXPECT_EQ(EEBuffer[5], 7);

  bool opened = false;
  OnModal(QStringLiteral("frmAVROptions"), [&](QDialog* options) {
    opened = true;
    EXPECT_TRUE(options->findChild<QCheckBox*>(QStringLiteral("cbEEPROMImage"))->isChecked());
    EXPECT_EQ(options->findChild<QLineEdit*>(QStringLiteral("tbEEPROMName"))->text(), "cal");
    EXPECT_EQ(options->findChild<QLabel*>(QStringLiteral("lblEEPROMFile"))->text().toStdString(), eeprom);
    EXPECT_EQ(options->findChild<QLineEdit*>(QStringLiteral("tbHex0"))->text(), "3F");
  });
  dialog.btOptions()->click();
  EXPECT_TRUE(opened);
}

// A project FUSE value that fits no option of its fields is refused as a
// typed one is, naming the project line; the defaults stay and Load sends
// nothing.
TEST_F(LoadImageDialogTest, AProjectFuseValueThatFitsNoOptionRefusesTheLoad) {
  Start({"--programmer", Unit1, "--image", "slot=3,name=Keep me,device=9,family=0"});
  UseDataFolder(FusesForEveryDevice(), data);
  FindAndOpenImageManager();
  const std::string hex = files.Write("p.hex", ":020000000102FB\r\n:00000001FF\r\n");
  const std::string project = files.Write(
      "p.vrx", "\"Name: Proj\"\r\n\"Family: ATmega\"\r\n\"Device: ATmega328P\"\r\n\"Mode: 0\"\r\n\"Freq: 4000\"\r\n"
               "\"Voltage: 165\"\r\n\"File0: " + hex + "\"\r\n\"FUSE0: 1\"\r\n\"JTAG_ID: 0\"\r\n");
  dialogs.answers = {project};
  OpenProjectRequest = true;
  ImageNumber = 3;
  recorders.messages.boxes.clear();
  LoadImageDialog dialog(*window, window.get());
  dialog.Form_Load();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].title, "Kestrin - Open Project");
  EXPECT_NE(recorders.messages.boxes[0].text.find("Invalid Fuse Value: 1 for fuse byte 0 (LOW) at line 8 of " + project),
            std::string::npos)
      << recorders.messages.boxes[0].text;
  EXPECT_EQ(FuseValues[0], 0xF2);   // the fuse file's default

  const size_t framesBefore = Frames().size();
  dialog.btLoad_Click();
  EXPECT_EQ(Frames().size(), framesBefore);
  ShowImageDirectory();
  EXPECT_EQ(fgImages.TextMatrix(3, ColName), "Keep me             ");
}

// Fuse bytes the operator never saw must not reach production parts: while
// the chosen device's definitions fail to load, Load downloads nothing.
TEST_F(LoadImageDialogTest, FailedFuseDefinitionsRefuseTheLoad) {
  struct Case {
    const char* name;
    std::string fuses;   // empty: no fuse file
    std::string error;
    size_t boxesBeforeLoad;
  };
  const Case cases[] = {
      {"no fuse file", "", "Cannot read the fuse definition file ", 3},   // at the start, then the device choice
      {"block without fields", FusesForEveryDevice(9), "No FIELDs found for BYTE 0", 2},
  };
  Start({"--programmer", Unit1, "--image", "slot=3,name=Keep me,device=9,family=0"});
  FindAndOpenImageManager();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir folder;
    UseDataFolder(c.fuses, folder);
    recorders.messages.boxes.clear();
    dialogs.answers = {files.Write("a.hex", ":020000000102FB\r\n:00000001FF\r\n")};
    ImageNumber = 3;
    LoadImageDialog dialog(*window, window.get());
    dialog.Form_Load();
    Choose(dialog.lstDevFamily(), "ATmega");
    Choose(dialog.lstDevType(), "ATmega328P");
    dialog.lstDevType_Click();
    ASSERT_EQ(recorders.messages.boxes.size(), c.boxesBeforeLoad);
    const auto& failed = recorders.messages.boxes[c.boxesBeforeLoad - 2];
    EXPECT_EQ(failed.title, "Error Parsing Fuses");
    EXPECT_EQ(failed.text.rfind(c.error, 0), 0u) << failed.text;

    const size_t framesBefore = Frames().size();
    dialog.btLoad_Click();
    ASSERT_EQ(recorders.messages.boxes.size(), c.boxesBeforeLoad + 1);
    EXPECT_EQ(recorders.messages.boxes.back().title, "Error Parsing Fuses");
    EXPECT_EQ(recorders.messages.boxes.back().text, failed.text);
    EXPECT_EQ(Frames().size(), framesBefore);   // not a byte to the programmer
    EXPECT_TRUE(dialog.isEnabled());
    ShowImageDirectory();
    EXPECT_EQ(fgImages.TextMatrix(3, ColName), "Keep me             ");
  }
}

TEST_F(LoadImageDialogTest, ReadImageDialogReadsTheTargetIntoASlot) {
  Start({"--programmer", Unit1, "--target", "port=2,memsize=32768,read=6,step=100"});
  FindAndOpenImageManager();
  ImageNumber = 4;
  ReadImageDialog dialog(window.get());
  dialog.Form_Load();
  EXPECT_EQ(dialog.cbPort()->count(), 4);
  EXPECT_EQ(ReadPort, 1);
  EXPECT_EQ(dialog.cbImageNum()->currentText(), "4");

  Choose(dialog.lstDevFamily(), "ATtiny");
  dialog.lstDevFamily_Click();
  Choose(dialog.lstDevType(), "ATtiny10");
  dialog.lstDevType_Click();
  EXPECT_TRUE(dialog.tbTgtFreq()->isHidden());   // no SPI: no clock
  Choose(dialog.lstDevFamily(), "ATmega");
  dialog.lstDevFamily_Click();
  Choose(dialog.lstDevType(), "ATmega328P");
  dialog.lstDevType_Click();
  EXPECT_FALSE(dialog.tbTgtFreq()->isHidden());
  EXPECT_FALSE(dialog.frmEEPROM()->isHidden());   // the part has an EEPROM
  EXPECT_EQ(dialog.frmEEPROM()->title(), "Read EEPROM");

  dialog.btRead_Click();   // no name yet
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].text, "Image Name is Blank");
  EXPECT_EQ(recorders.messages.boxes[0].title, "Read Image from Target");

  dialog.tbImageName()->setText("From port 2");
  emit dialog.cbPort()->activated(1);
  EXPECT_EQ(ReadPort, 2);
  dialog.tbTgtFreq()->setText("4.500");
  dialog.btRead_Click();
  EXPECT_EQ(ImageFreq, 4000);   // whole megahertz, halves to even
  ASSERT_EQ(recorders.messages.boxes.size(), 2u);
  EXPECT_EQ(recorders.messages.boxes[1].text, "Image Load Complete");
  EXPECT_EQ(recorders.messages.boxes[1].title, "Read Target Image to Programmer");
  EXPECT_EQ(dialog.lblPortStatus()->text(), "Done");
  ShowImageDirectory();
  EXPECT_EQ(fgImages.TextMatrix(4, ColName), "From port 2         ");
  EXPECT_EQ(fgImages.TextMatrix(4, ColRemaining), "Unrestricted");
}

class ProgramManagerTest : public GuiTest {
 protected:
  ProgramManagerWindow* OpenProgramManager() {
    FindAndOpenImageManager();
    window->ImageManager()->fgImages_Click(1);
    window->mnuViewProgMan_Click();
    Settle();
    return window->ProgramManager();
  }
};

TEST_F(ProgramManagerTest, RunShowsEveryPortToTheEndWithColours) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Board,device=9,family=0", "--target",
         "port=2,result=18,program=4", "--target", "port=3,present=0", "--target", "port=1,step=100",
         "--target", "port=4,step=100"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  EXPECT_FALSE(window->lstAllProgs()->isEnabled());
  EXPECT_FALSE(window->Menu("mnuViewProgScan")->isEnabled());
  EXPECT_EQ(pm->lstImage()->count(), 1);
  EXPECT_EQ(pm->lblVal(0)->text(), "Board");
  EXPECT_EQ(pm->lblVal(1)->text(), "ATmega328P");
  EXPECT_TRUE(pm->lblVal(3)->isHidden());   // type 6 shows no mode
  EXPECT_TRUE(pm->btStart()->isEnabled());
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(pm->ChkPortEnbl(i)->isChecked());   // no saved setting: all ports
  EXPECT_FALSE(pm->cbCRCVerify()->isChecked());

  pm->cbEnableSound()->setChecked(true);
  pm->btStart()->click();

  EXPECT_EQ(pm->valPortSts(0)->text(), "Done");
  EXPECT_EQ(pm->valPortSts(1)->text(), "Verify Failed");
  EXPECT_EQ(pm->valPortSts(2)->text(), "No Target Vcc");
  EXPECT_EQ(pm->valPortSts(3)->text(), "Done");
  EXPECT_EQ(pm->valPortSts(1)->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(pm->valPortSts(1)->palette().color(QPalette::WindowText), QColor(Qt::red));
  EXPECT_EQ(pm->valPortSts(0)->palette().color(QPalette::WindowText), QColor(0, 0x80, 0x80));
  ASSERT_EQ(sound.played.size(), 1u);
  EXPECT_NE(sound.played[0].find("fail.wav"), std::string::npos);
  EXPECT_TRUE(pm->btStart()->isEnabled());
  EXPECT_TRUE(pm->btCancel()->isHidden());
  EXPECT_TRUE(recorders.messages.boxes.empty());
}

TEST_F(ProgramManagerTest, PortsThatAreDoneShowTheSerialNumberWritten) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Board,device=9,family=0", "--target",
         "port=2,result=18,program=4", "--target", "port=3,present=0", "--target", "port=1,step=100",
         "--target", "port=4,step=100"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  ASSERT_TRUE(SerialSupported);
  SerialMemory = 1;
  SerialFormat = 0x82;
  SerialAddress = 0x40;
  SerialNumber = {0x00, 0x01, 0, 0, 0, 0, 0};
  ASSERT_TRUE(WriteSerializationSettings(0)) << LastErrorText;
  pm->btStart()->click();

  EXPECT_EQ(pm->valPortSts(0)->text(), "Done");
  EXPECT_EQ(pm->valPortSts(3)->text(), "Done");
  EXPECT_FALSE(pm->Serial(0)->isHidden());
  EXPECT_EQ(pm->Serial(0)->text(), "256 (0x0100)");
  EXPECT_FALSE(pm->Serial(3)->isHidden());
  EXPECT_EQ(pm->Serial(3)->text(), "257 (0x0101)");   // the failed port took no number
  EXPECT_TRUE(pm->Serial(1)->isHidden());
  EXPECT_TRUE(pm->Serial(2)->isHidden());
  EXPECT_TRUE(recorders.messages.boxes.empty());

  pm->lstImage_Click();   // choosing the image again hides them
  EXPECT_TRUE(pm->Serial(0)->isHidden());
}

TEST_F(ProgramManagerTest, CancelDuringAWaitSendsOneCancelAndNoMoreStatus) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Board,device=9,family=0", "--target",
         "port=1,program=4:1:1:1:1:1:1:2,step=300"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  QTimer::singleShot(1000, pm, [pm] {
    EXPECT_FALSE(pm->btCancel()->isHidden());
    pm->btCancel()->click();
  });
  pm->btStart()->click();
  EXPECT_EQ(pm->frmStatus()->title(), "* Programming Operation Cancelled *");
  const std::vector<std::string> frames = Frames();
  int cancels = 0;
  for (const std::string& f : frames) cancels += f.find(" 1 06") != std::string::npos;
  EXPECT_EQ(cancels, 1);
  // No status is read after the cancel; the image directory is read again
  // afterwards (Images Remaining), which is no status read.
  size_t cancel = frames.size();
  for (size_t i = 0; i < frames.size(); ++i) {
    if (frames[i].find(" 1 06") != std::string::npos) cancel = i;
  }
  ASSERT_LT(cancel, frames.size());
  for (size_t i = cancel + 1; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].find(" 1 05"), std::string::npos) << frames[i];
  }
}

TEST_F(ProgramManagerTest, PortEnablesAreSavedAndRestored) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Board,device=9,family=0", "--target", "port=1,step=50",
         "--target", "port=3,step=50"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  pm->ChkPortEnbl(1)->setChecked(false);
  pm->ChkPortEnbl(3)->setChecked(false);
  pm->btStart()->click();
  EXPECT_EQ(recorders.settings.values["Settings/PortEnables"], "5");
  pm->btClose()->click();
  Settle();
  EXPECT_TRUE(window->lstAllProgs()->isEnabled());

  window->mnuViewProgMan_Click();
  Settle();
  pm = window->ProgramManager();
  ASSERT_NE(pm, nullptr);
  EXPECT_TRUE(pm->ChkPortEnbl(0)->isChecked());
  EXPECT_FALSE(pm->ChkPortEnbl(1)->isChecked());
  EXPECT_TRUE(pm->ChkPortEnbl(2)->isChecked());
  EXPECT_FALSE(pm->ChkPortEnbl(3)->isChecked());
}

// A slot that changes while the programming manager is open shows what it
// holds now: the name, device and the run buttons follow the directory.
TEST_F(ProgramManagerTest, AnImageLoadedMeanwhileIsShownAtOnce) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Board,device=9,family=0"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  ASSERT_EQ(pm->lblVal(0)->text(), "Board");
  window->mnuDDEenable_Click();
  AutomationClient client(automationName);
  ASSERT_TRUE(client.Connected());
  TempDir files;
  const std::string hex = files.Write("renewed.hex", ":020000000102FB\r\n:00000001FF\r\n");
  EXPECT_EQ(client.Ask("EXECUTE DDELink LoadImage|1|Renewed|" + hex + "|ATtiny10|3.3|0|0||"), "LoadImage|Success|");
  EXPECT_EQ(client.Ask("EXECUTE DDELink LoadImage|3|Second|" + hex + "|ATmega328P|3.3|0|4000||"), "LoadImage|Success|");
  Settle();
  // The last load chose slot 3, the image a run now programs.
  ASSERT_EQ(pm->lstImage()->count(), 2);
  EXPECT_EQ(pm->lstImage()->currentText(), "3");
  EXPECT_EQ(pm->lblVal(0)->text(), "Second");
  EXPECT_EQ(pm->lblVal(1)->text(), "ATmega328P");
  pm->lstImage()->setCurrentIndex(0);
  pm->lstImage_Click();
  EXPECT_EQ(pm->lblVal(0)->text(), "Renewed");
  EXPECT_EQ(pm->lblVal(1)->text(), "ATtiny10");
  EXPECT_TRUE(pm->btStart()->isEnabled());
}

// Set Defaults writes the record of the window's controls; View Defaults
// reads it back into them and selects its image; ATE options alike.
TEST_F(ProgramManagerTest, DefaultsAndAteOptionsGoToTheProgrammerAndComeBack) {
  Start({"--programmer", std::string(Unit1) + ",ate=1", "--image", "slot=1,name=Board,device=9,family=0", "--image",
         "slot=2,name=Second,device=9,family=0"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  EXPECT_TRUE(window->Menu("mnuConfigSetATEopts")->isVisible());   // the unit holds ATE options
  pm->lstImage()->setCurrentIndex(pm->lstImage()->findData(2));
  pm->lstImage_Click();
  pm->cbSequential()->setChecked(true);
  pm->cbCRCVerify()->setChecked(false);
  for (int i : {1, 3}) pm->ChkPortEnbl(i)->setChecked(false);
  window->Menu("mnuConfigSetDefaults")->trigger();
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].text, "Defaults have been sent to programmer");
  EXPECT_EQ(recorders.messages.boxes[0].title, "Set Programmer Defaults");
  std::array<uint8_t, 2> stored{};
  ASSERT_TRUE(ReadFlash(26, 2, stored.data(), false));
  EXPECT_EQ(stored, (std::array<uint8_t, 2>{0x01, 0x2A}));

  // ATE option 3 holds CRC verify and all ports for slot 1, written by hand.
  const std::array<uint8_t, 2> ate{0x00, 0x10};
  ASSERT_TRUE(WriteFlash(238, 2, ate.data(), false));
  window->Menu("mnuConfigViewATEOPT3")->trigger();
  ASSERT_EQ(recorders.messages.boxes.size(), 2u);
  EXPECT_EQ(recorders.messages.boxes[1].text, "ATE Option 3 has been read from programmer.");
  EXPECT_EQ(recorders.messages.boxes[1].title, "View ATE Options");
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(pm->ChkPortEnbl(i)->isChecked()) << i;
  EXPECT_TRUE(pm->cbCRCVerify()->isChecked());
  EXPECT_FALSE(pm->cbSequential()->isChecked());
  EXPECT_EQ(ImageNumber, 1);
  EXPECT_EQ(pm->lstImage()->currentText(), "1");
  EXPECT_EQ(pm->lblVal(0)->text(), "Board");

  window->Menu("mnuConfigViewDefaults")->trigger();
  ASSERT_EQ(recorders.messages.boxes.size(), 3u);
  EXPECT_EQ(recorders.messages.boxes[2].text, "Defaults have been read from programmer");
  EXPECT_TRUE(pm->cbSequential()->isChecked());
  EXPECT_FALSE(pm->ChkPortEnbl(1)->isChecked());
  EXPECT_TRUE(pm->ChkPortEnbl(2)->isChecked());
  EXPECT_EQ(ImageNumber, 2);
  EXPECT_EQ(pm->lblVal(0)->text(), "Second");
}

TEST_F(ProgramManagerTest, EmptySlotCannotRun) {
  Start({"--programmer", Unit1, "--image", "slot=3,name=Board,device=9,family=0"});
  ProgramManagerWindow* pm = OpenProgramManager();   // slot 1 is selected and empty
  ASSERT_NE(pm, nullptr);
  EXPECT_EQ(pm->lblVal(0)->text(), "-- No Image Selected --");
  EXPECT_FALSE(pm->btStart()->isEnabled());
  EXPECT_FALSE(pm->btVerify()->isEnabled());
  EXPECT_EQ(pm->lstImage()->count(), 1);
  EXPECT_EQ(pm->lstImage()->itemText(0), "3");
}

TEST_F(ProgramManagerTest, ScreenshotOfTheMainWindow) {
  Start({"--programmer", Unit1, "--image", "slot=1,name=Sensor board v2.1,device=9,family=0,freq=4000",
         "--image", "slot=3,name=Key fob,device=30,family=1,count=250,protect=1", "--target",
         "port=2,result=18,program=4", "--target", "port=1,step=50", "--target", "port=3,step=50", "--target",
         "port=4,step=50"});
  ProgramManagerWindow* pm = OpenProgramManager();
  ASSERT_NE(pm, nullptr);
  pm->btStart()->click();
  window->resize(1100, 720);
  window->show();
  window->MdiArea()->tileSubWindows();
  Settle();
  const QString path = QStringLiteral(TEST_ARTIFACTS_DIR "/kestrin-main-window.png");
  QDir().mkpath(QStringLiteral(TEST_ARTIFACTS_DIR));
  const QPixmap shot = window->grab();
  ASSERT_FALSE(shot.isNull());
  EXPECT_TRUE(shot.save(path));
  EXPECT_GT(QFileInfo(path).size(), 1000);
}

// ---- The programming options window ----

// Three fuse bytes. Byte 0: SPLIT in bits 7 and 5 (a gap), CKOUT in bit 2,
// CKSEL in bits 1..0; bits 6..3 but 5 belong to no field. Defaults FE FF FF.
const char* const ThreeByteDevice =
    "ID%42%ATtest%&H0F%2\r\n"
    "BYTE%0%LOW%%\r\n"
    "FIELD%CKSEL%Clock source%&H03%&H02\r\n"
    "OPTION%External%&H00%%\r\n"
    "OPTION%Internal 8 MHz%&H02%%\r\n"
    "OPTION%Internal 128 kHz%&H03%%\r\n"
    "FIELD%CKOUT%Clock output%&H04%&H04\r\n"
    "OPTION%Off%&H04%%\r\n"
    "OPTION%On%&H00%%\r\n"
    "FIELD%SPLIT%Split field%&HA0%&HA0\r\n"
    "OPTION%Both set%&HA0%%\r\n"
    "OPTION%Both clear%&H00%%\r\n"
    "BYTE%1%HIGH%%\r\n"
    "FIELD%EESAVE%Keep EEPROM%&H08%&H08\r\n"
    "OPTION%No%&H08%%\r\n"
    "OPTION%Yes%&H00%%\r\n"
    "BYTE%2%EXTENDED%%\r\n"
    "FIELD%BODLEVEL%Brown-out level%&H07%&H07\r\n"
    "OPTION%Off%&H07%%\r\n"
    "OPTION%2.7 V%&H05%%\r\n"
    "ENDID%%%%\r\n";

class ArrayProgramTest : public GuiTest {
 protected:
  // Units 1 (slots 1 and 3), 2 (no image) and 3 (slot 2, port 2 fails); the
  // programmer at address 1 is the selected one; then the View menu entry.
  ArrayProgramWindow* OpenArrayWindow() {
    Start({"--programmer", Unit1, "--image", "address=1,slot=1,name=One,device=9,family=0", "--image",
           "address=1,slot=3,name=Three,device=9,family=0", "--target", "address=1,port=1,step=100", "--programmer",
           "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--programmer",
           "address=3,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
           "address=3,slot=2,name=Two,device=9,family=0", "--target", "address=3,port=2,result=18,program=4"});
    std::vector<ProgrammerRecord> others;
    for (int address : {2, 3}) {
      EXPECT_TRUE(AcquireProgrammerAt(address));
      others.push_back(ProgrammerTable[1]);
    }
    FindAndOpenImageManager();
    for (size_t i = 0; i < others.size(); ++i) ProgrammerTable[i + 2] = others[i];
    for (int address : {2, 3}) ProgSettings[address] = ProgSettings[1];
    ProgCount = 3;
    window->Menu("mnuViewMultiMan")->setEnabled(true);
    window->Menu("mnuViewMultiMan")->trigger();
    Settle();
    return window->ArrayProgram();
  }
};

TEST_F(ArrayProgramTest, PanelsListTheImagesAndTheTickRulesHold) {
  ArrayProgramWindow* w = OpenArrayWindow();
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->PanelCount(), 3);
  EXPECT_EQ(w->windowTitle(), "Array Programming Manager");
  const std::string model = TypeTableV3[6].TypeName;
  struct Expected { QStringList items; bool enabled; };
  const Expected expected[] = {{{"Image #", " 1", " 3"}, true}, {{"Image #"}, false}, {{"Image #", " 2"}, true}};
  for (int i = 0; i < 3; ++i) {
    QStringList items;
    for (int k = 0; k < w->cbImage(i)->count(); ++k) items << w->cbImage(i)->itemText(k);
    EXPECT_EQ(items, expected[i].items) << i;
    EXPECT_EQ(w->frProg(i)->title().toStdString(), " " + std::to_string(i + 1) + " " + model);
    EXPECT_EQ(w->cbImage(i)->isEnabled(), expected[i].enabled) << i;
    EXPECT_EQ(w->cbProgEnbl(i)->isChecked(), expected[i].enabled) << i;
    EXPECT_EQ(w->cbImage(i)->currentIndex(), expected[i].enabled ? 1 : 0) << i;
    for (int port = 0; port < 4; ++port) {
      EXPECT_EQ(w->cbPort(i, port)->isChecked(), expected[i].enabled) << i << port;
      EXPECT_EQ(w->cbPort(i, port)->isEnabled(), expected[i].enabled) << i << port;
      EXPECT_EQ(w->lblStatus(i, port)->isHidden(), !expected[i].enabled) << i << port;
    }
  }
  EXPECT_EQ(w->height(), 3 * ArrayProgramWindow::PanelHeight + 1200 / ArrayProgramWindow::TwipsPerPixel);
  EXPECT_GE(w->width(), 3100 / ArrayProgramWindow::TwipsPerPixel);
  EXPECT_TRUE(w->cbCRCVerify()->isHidden());   // type 6 has no verify option
  EXPECT_FALSE(window->Menu("mnuViewProgScan")->isEnabled());

  w->cbImage(0)->setCurrentIndex(0);   // "Image #" unticks the programmer
  w->cbImage_Click(0);
  EXPECT_FALSE(w->cbProgEnbl(0)->isChecked());
  EXPECT_TRUE(w->lblStatus(0, 0)->isHidden());
  w->cbProgEnbl(0)->click();   // no tick without an image
  EXPECT_FALSE(w->cbProgEnbl(0)->isChecked());
  w->cbImage(0)->setCurrentIndex(2);   // an image ticks it again
  w->cbImage_Click(0);
  EXPECT_TRUE(w->cbProgEnbl(0)->isChecked());
  EXPECT_EQ(w->ChosenImage(0), 3);
  EXPECT_TRUE(recorders.messages.boxes.empty());
}

TEST_F(ArrayProgramTest, ProgramRunsEveryTickedUnitToTheEndAndClosingGivesTheAddressBack) {
  ArrayProgramWindow* w = OpenArrayWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(CurrentAddress, 1);
  w->cbPort(0, 1)->setChecked(false);
  w->btProgram()->click();

  const char* finals[2][4] = {{"Done", "- Disabled -", "Done", "Done"}, {"Done", "Verify Failed", "Done", "Done"}};
  const int panels[2] = {0, 2};
  for (int k = 0; k < 2; ++k) {
    for (int port = 0; port < 4; ++port) EXPECT_EQ(w->lblStatus(panels[k], port)->text(), finals[k][port]);
  }
  EXPECT_EQ(w->lblStatus(2, 1)->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(w->lblStatus(2, 1)->palette().color(QPalette::WindowText), QColor(Qt::red));
  EXPECT_EQ(w->lblStatus(0, 0)->palette().color(QPalette::WindowText), QColor(0, 0x80, 0x80));
  EXPECT_TRUE(w->btProgram()->isEnabled());
  EXPECT_TRUE(w->btCancel()->isHidden());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(w->frProg(i)->isEnabled()) << i;
  EXPECT_TRUE(recorders.messages.boxes.empty());
  // Slot 3 of unit 1 (2 on the wire) and slot 2 of unit 3; unit 2 was never started.
  int programs1 = 0, programs3 = 0, unit2 = 0;
  for (const std::string& f : Frames()) {
    programs1 += f.find(" 1 04 00") != std::string::npos;
    programs3 += f.find(" 3 04 01") != std::string::npos;
    unit2 += f.find(" 2 04") != std::string::npos || f.find(" 2 07") != std::string::npos;
  }
  EXPECT_EQ(programs1, 1);   // the first image is the preselected one
  EXPECT_EQ(programs3, 1);
  EXPECT_EQ(unit2, 0);

  w->parentWidget()->close();
  Settle();
  EXPECT_EQ(window->ArrayProgram(), nullptr);
  EXPECT_EQ(CurrentAddress, 1);
  EXPECT_TRUE(window->Menu("mnuViewProgScan")->isEnabled());
  const size_t before = Frames().size();
  std::array<uint8_t, 4> status{};
  ASSERT_TRUE(GetStatus(status));
  const std::vector<std::string> after = Frames();
  ASSERT_GT(after.size(), before);
  EXPECT_NE(after.back().find(" 1 05"), std::string::npos) << after.back();
}

TEST_F(ArrayProgramTest, RefusedStartReportsTheErrorAfterTheStartedUnitsFinish) {
  ArrayProgramWindow* w = OpenArrayWindow();
  ASSERT_NE(w, nullptr);
  // Unit 3 asked for slot 2 of unit 1's list: a slot it does not hold.
  w->cbImage(0)->setCurrentIndex(1);
  w->cbImage(2)->addItem(QStringLiteral(" 4"));
  w->cbImage(2)->setCurrentIndex(2);
  w->btProgram()->click();
  for (int port = 0; port < 4; ++port) EXPECT_EQ(w->lblStatus(0, port)->text(), "Done") << port;
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_NE(recorders.messages.boxes[0].title.find("Array Programming"), std::string::npos);
  EXPECT_NE(recorders.messages.boxes[0].text.find("Selected Image is Empty"), std::string::npos)
      << recorders.messages.boxes[0].text;
  EXPECT_TRUE(w->Panels()[2].startFailed);
}

TEST_F(ArrayProgramTest, CancelStopsEveryStartedUnitOnce) {
  ArrayProgramWindow* w = OpenArrayWindow();
  ASSERT_NE(w, nullptr);
  QTimer::singleShot(300, w, [w] {
    EXPECT_FALSE(w->btCancel()->isHidden());
    EXPECT_FALSE(w->btProgram()->isEnabled());
    w->btCancel()->click();
  });
  w->btProgram()->click();
  const std::vector<std::string> frames = Frames();
  int cancels[4] = {};
  for (const std::string& f : frames) {
    for (int a = 1; a <= 3; ++a) cancels[a] += f.find(" " + std::to_string(a) + " 06") != std::string::npos;
  }
  EXPECT_EQ(cancels[1], 1);
  EXPECT_EQ(cancels[2], 0);
  EXPECT_EQ(cancels[3], 1);
  ASSERT_GE(frames.size(), 2u);
  EXPECT_NE(frames[frames.size() - 2].find(" 1 06"), std::string::npos);
  EXPECT_NE(frames.back().find(" 3 06"), std::string::npos);   // no status read after them
  EXPECT_TRUE(w->btProgram()->isEnabled());
  EXPECT_TRUE(recorders.messages.boxes.empty());
}

TEST_F(GuiTest, ArrayVerifyAndSequentialBoxesFollowTheSelectedProgrammersTypeAndFirmware) {
  struct Case { const char* unit; bool verifyShown; const char* caption; bool sequentialShown; };
  const Case cases[] = {
      {"address=1,type=2,fw=3.000,slots=4,slotsize=256,baud=115200", true, "CRC Verify", false},
      {"address=1,type=2,fw=3.010,slots=4,slotsize=256,baud=115200", true, "CRC Verify", true},
      {"address=1,type=1,fw=3.010,slots=4,slotsize=256,baud=115200", true, "Checksum Verify", true},
      {"address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", false, "", true},
  };
  for (const Case& c : cases) {
    if (window) window->close();
    window.reset();
    Start({"--programmer", c.unit});
    FindAndOpenImageManager();
    window->Menu("mnuViewMultiMan")->setEnabled(true);
    window->Menu("mnuViewMultiMan")->trigger();
    Settle();
    ArrayProgramWindow* w = window->ArrayProgram();
    ASSERT_NE(w, nullptr) << c.unit;
    EXPECT_EQ(!w->cbCRCVerify()->isHidden(), c.verifyShown) << c.unit;
    if (c.verifyShown) {
      EXPECT_EQ(w->cbCRCVerify()->text(), c.caption) << c.unit;
    }
    EXPECT_EQ(!w->cbSequential()->isHidden(), c.sequentialShown) << c.unit;
    if (!c.sequentialShown) {
      EXPECT_FALSE(w->cbSequential()->isChecked()) << c.unit;
    }
  }
}

class AvrOptionsWindowTest : public ::testing::Test {
 protected:
  AvrOptionsWindowTest() {
    AppPath = dir.path();
    FileDial1 = &dialogs;
    ProgType = 6;
    SecondaryName = "EEPROM";
    CurFamily = 0;
    CurDevice = 0;
    DeviceTable[0].DevName = "ATtest";
    DeviceTable[0].DevId = 42;
    DeviceTable[0].DevFlashSize = 8192;
    DeviceTable[0].DevEESize = 4096;
    FlashMap.EESlotSize = 4096;
    dir.Write("AVRFuses.inf", ThreeByteDevice);
    EXPECT_TRUE(LoadDeviceFuses()) << LastErrorText;
  }
  ~AvrOptionsWindowTest() override { FileDial1 = nullptr; }

  std::unique_ptr<AvrOptionsWindow> Open(bool setBefore, bool jtag = false) {
    auto window = std::make_unique<AvrOptionsWindow>(ProgrammingOptionsFor(ProgType, 4096, jtag, setBefore));
    window->Form_Load();
    return window;
  }
  static void Focus(QWidget* box, bool in) {
    QFocusEvent event(in ? QEvent::FocusIn : QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(box, &event);
  }
  // Types into a box and leaves it.
  static void Enter(QLineEdit* box, const QString& text) {
    Focus(box, true);
    box->setText(text);
    Focus(box, false);
  }
  static QString Cell(QTableWidget* grid, int row, int column) { return grid->item(row, column)->text(); }
  static bool Highlighted(QTableWidget* grid, int row, int column) {
    const QBrush brush = grid->item(row, column)->background();
    return brush.style() != Qt::NoBrush && brush.color() == QColor(0xFF, 0xFF, 0x00);
  }
  // Clicks a cell of a fuse grid and answers the popup with `answer` once it is open.
  void ClickWithPopup(AvrOptionsWindow& window, int byte, int column, std::function<void(AvrFusePopup&)> answer) {
    popupSeen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* popup = qobject_cast<AvrFusePopup*>(QApplication::activeModalWidget());
      if (!popup) return;
      poll.stop();
      popupSeen = true;
      answer(*popup);
      if (popup->isVisible()) popup->reject();   // never left open
    });
    poll.start();
    emit window.fgByte(byte)->cellClicked(2, column);
    poll.stop();
  }
  std::string LastBox() const { return platform.messages.boxes.empty() ? "" : platform.messages.boxes.back().text; }

  FakePlatform platform;
  TempDir dir;
  ScriptedDialogs dialogs;
  bool popupSeen = false;
};

TEST_F(AvrOptionsWindowTest, ThreeBytesShowTheirGridsWithMergedNameAndFieldCells) {
  auto window = Open(false);
  EXPECT_EQ(window->windowTitle(), "AVR Programming Options - ATtest");
  for (int b = 0; b < 8; ++b) EXPECT_EQ(window->fgByte(b)->isVisibleTo(window.get()), b <= 2) << b;
  for (int b = 0; b < 8; ++b) EXPECT_EQ(window->tbHex(b)->isVisibleTo(window.get()), b <= 2) << b;

  QTableWidget* low = window->fgByte(0);
  EXPECT_EQ(low->objectName(), "fgByte0");
  EXPECT_EQ(Cell(low, 0, 0), "LOW");
  EXPECT_EQ(low->columnSpan(0, 0), 8);
  for (int c = 0; c < 8; ++c) EXPECT_EQ(Cell(low, 1, c), QString::number(7 - c));
  // Field row: SPLIT twice (its bits are apart), nothing under bits 6, 4, 3, CKSEL once over two cells.
  const char* fields[] = {"SPLIT", "", "SPLIT", "", "", "CKOUT", "CKSEL", ""};
  const int spans[] = {1, 1, 1, 1, 1, 1, 2, 2};   // a covered cell reports the span covering it
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(Cell(low, 2, c), fields[c]) << c;
    EXPECT_EQ(low->columnSpan(2, c), spans[c]) << c;
  }
  const char* bits[] = {"1", "", "1", "", "", "1", "1", "0"};   // FE
  for (int c = 0; c < 8; ++c) EXPECT_EQ(Cell(low, 3, c), bits[c]) << c;
  EXPECT_EQ(window->tbHex(0)->text(), "FE");

  QTableWidget* extended = window->fgByte(2);
  EXPECT_EQ(Cell(extended, 0, 0), "EXTENDED");
  EXPECT_EQ(Cell(extended, 2, 5), "BODLEVEL");
  EXPECT_EQ(extended->columnSpan(2, 5), 3);
  EXPECT_EQ(window->tbHex(2)->text(), "FF");
  for (QTableWidget* grid : {low, extended}) {
    EXPECT_FALSE(grid->item(3, 7)->flags() & Qt::ItemIsEditable);
    EXPECT_EQ(grid->item(3, 7)->textAlignment(), Qt::AlignCenter);
  }
}

// The window for a delivered device as an operator sees it, kept as an artifact.
TEST_F(AvrOptionsWindowTest, ScreenshotWithTheDeliveredAtmega328P) {
  AppPath = QFileInfo(QString::fromStdString(SimProgramPath())).absolutePath().toStdString();
  DeviceTable[0].DevName = "ATmega328P";
  DeviceTable[0].DevId = 9;
  DeviceTable[0].DevFlashSize = 32768;
  DeviceTable[0].DevEESize = 1024;
  ASSERT_TRUE(LoadDeviceFuses()) << LastErrorText;
  ASSERT_EQ(NumFuseBytes, 3);
  auto window = Open(false);
  window->show();
  QApplication::processEvents();
  const QString path = QStringLiteral(TEST_ARTIFACTS_DIR "/kestrin-avr-options.png");
  QDir().mkpath(QStringLiteral(TEST_ARTIFACTS_DIR));
  const QPixmap shot = window->grab();
  ASSERT_FALSE(shot.isNull());
  EXPECT_TRUE(shot.save(path));
  EXPECT_EQ(window->tbHex(1)->text(), "62");
  EXPECT_EQ(window->tbHex(2)->text(), "D9");
}

// A delivered part whose combined clock field (SUT_CKSEL, five bits) stands
// apart from the next field by a bit no field covers: one merged cell, one
// list of the maker's combinations, and a choice that moves only its bits.
TEST_F(AvrOptionsWindowTest, TheDeliveredCombinedClockFieldOfTheAttiny841) {
  AppPath = QFileInfo(QString::fromStdString(SimProgramPath())).absolutePath().toStdString();
  DeviceTable[0].DevName = "ATtiny841";
  DeviceTable[0].DevId = 40;
  DeviceTable[0].DevFlashSize = 8192;
  DeviceTable[0].DevEESize = 512;
  ASSERT_TRUE(LoadDeviceFuses()) << LastErrorText;
  ASSERT_EQ(NumFuseBytes, 3);
  auto window = Open(false);
  QTableWidget* low = window->fgByte(1);
  EXPECT_EQ(Cell(low, 0, 0), "Low fuse");
  const char* fields[] = {"CKDIV8", "CKOUT", "", "SUT_CKSEL", "", "", "", ""};   // a merged cell names once
  for (int c = 0; c < 8; ++c) EXPECT_EQ(Cell(low, 2, c), fields[c]) << c;
  EXPECT_EQ(low->columnSpan(2, 3), 5);
  EXPECT_EQ(Cell(low, 3, 2), "");
  EXPECT_EQ(window->tbHex(1)->text(), "62");

  ClickWithPopup(*window, 1, 5, [&](AvrFusePopup& popup) {
    EXPECT_EQ(popup.lblFuse()->text(), "SUT_CKSEL: Select Clock Source");
    const FuseFieldDef& field = FuseDefs[1].Fields[CurField];
    ASSERT_EQ(popup.cbFuseSelect()->count(), field.NumOptions);
    EXPECT_TRUE(popup.cbFuseSelect()->currentText().startsWith("Int. RC Osc. 8 MHz")) << popup.cbFuseSelect()->currentText().toStdString();
    const int ulp = popup.cbFuseSelect()->findText(QStringLiteral("Int. ULP Osc."), Qt::MatchStartsWith);
    ASSERT_GE(ulp, 0);
    EXPECT_EQ(field.OptionValue[ulp], 0x04);
    popup.cbFuseSelect()->setCurrentIndex(ulp);
    popup.btAccept()->click();
  });
  EXPECT_TRUE(popupSeen);
  EXPECT_EQ(FuseValues[1], 0x64);   // CKDIV8, CKOUT and the free bit 5 as they were
  EXPECT_EQ(window->tbHex(1)->text(), "64");
  EXPECT_EQ(Cell(low, 3, 5), "1");
  EXPECT_EQ(Cell(low, 3, 2), "");
}

TEST_F(AvrOptionsWindowTest, AFieldChoiceChangesOnlyThatFieldAndCancelChangesNothing) {
  auto window = Open(false);
  ClickWithPopup(*window, 0, 6, [&](AvrFusePopup& popup) {
    EXPECT_EQ(popup.windowTitle(), "Select Fuse Value");
    EXPECT_EQ(popup.lblFuse()->text(), "CKSEL: Clock source");
    ASSERT_EQ(popup.cbFuseSelect()->count(), 3);
    EXPECT_EQ(popup.cbFuseSelect()->itemText(0), "External");
    EXPECT_EQ(popup.cbFuseSelect()->itemText(2), "Internal 128 kHz");
    EXPECT_EQ(popup.cbFuseSelect()->currentIndex(), 1);   // the default, Internal 8 MHz
    EXPECT_EQ(CurByte, 0);
    EXPECT_EQ(CurField, 0);
    // The field being edited stands out: both of its bits, nothing else.
    QTableWidget* low = window->fgByte(0);
    for (int c = 0; c < 8; ++c) {
      EXPECT_EQ(Highlighted(low, 2, c), c >= 6) << c;
      EXPECT_EQ(Highlighted(low, 3, c), c >= 6) << c;
    }
    popup.cbFuseSelect()->setCurrentIndex(2);
    popup.btAccept()->click();
  });
  EXPECT_TRUE(popupSeen);
  EXPECT_EQ(FuseValues[0], 0xFF);   // CKSEL 11; SPLIT and CKOUT as they were
  EXPECT_EQ(window->tbHex(0)->text(), "FF");
  EXPECT_EQ(Cell(window->fgByte(0), 3, 7), "1");
  EXPECT_FALSE(Highlighted(window->fgByte(0), 2, 6));

  struct Dismissal {
    const char* name;
    std::function<void(AvrFusePopup&)> close;
  };
  const Dismissal dismissals[] = {
      {"Cancel", [](AvrFusePopup& popup) { popup.btCancel()->click(); }},
      {"Escape", [](AvrFusePopup& popup) {
         QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(&popup, &escape);
       }},
  };
  for (const Dismissal& d : dismissals) {
    SCOPED_TRACE(d.name);
    ClickWithPopup(*window, 0, 2, [&](AvrFusePopup& popup) {   // SPLIT, through its second bit
      EXPECT_EQ(popup.lblFuse()->text(), "SPLIT: Split field");
      EXPECT_TRUE(Highlighted(window->fgByte(0), 2, 0));
      popup.cbFuseSelect()->setCurrentIndex(1);
      d.close(popup);
      EXPECT_FALSE(popup.isVisible());
    });
    EXPECT_TRUE(popupSeen);
    EXPECT_EQ(FuseValues[0], 0xFF);
    EXPECT_EQ(FuseValues[1], 0xFF);
  }
  EXPECT_TRUE(platform.messages.boxes.empty());
}

TEST_F(AvrOptionsWindowTest, ABitOfNoFieldOpensNoPopup) {
  auto window = Open(false);
  ClickWithPopup(*window, 0, 1, [](AvrFusePopup&) {});   // bit 6
  EXPECT_FALSE(popupSeen);
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_EQ(platform.messages.boxes[0].text, "Fuse Manager failed to find matching field");
  EXPECT_EQ(platform.messages.boxes[0].title, "Internal Error");
  EXPECT_EQ(platform.messages.boxes[0].style, vbOKOnly);
  EXPECT_EQ(FuseValues[0], 0xFE);
}

TEST_F(AvrOptionsWindowTest, HexEntryTakesOnlyValuesEveryFieldOffers) {
  auto window = Open(false);
  struct Case {
    int byte;
    const char* typed;
    bool valid;
    int stored;
    const char* shown;
  };
  const Case cases[] = {
      {1, "1", true, 0x01, "01"},     // EESAVE Yes, the other bits as typed
      {0, "1", false, 0xFE, "FE"},    // CKSEL 01 is no option
      {0, "100", false, 0xFE, "FE"},  // more than a byte
      {0, " fc", true, 0xFC, "FC"},
      {2, "zz", false, 0xFF, "FF"},   // reads as 0: BODLEVEL 000 is no option
      {2, "5", true, 0x05, "05"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    platform.messages.boxes.clear();
    QLineEdit* box = window->tbHex(c.byte);
    Focus(box, true);
    EXPECT_FALSE(window->btUpdate(c.byte)->isHidden());
    box->setText(c.typed);
    Focus(box, false);
    EXPECT_TRUE(window->btUpdate(c.byte)->isHidden());
    EXPECT_EQ(FuseValues[c.byte], c.stored);
    EXPECT_EQ(box->text(), c.shown);
    if (c.valid) {
      EXPECT_TRUE(platform.messages.boxes.empty());
    } else {
      ASSERT_EQ(platform.messages.boxes.size(), 1u);
      EXPECT_EQ(platform.messages.boxes[0].text, "Invalid Fuse Value");
      EXPECT_EQ(platform.messages.boxes[0].title, "Set Hex Fuse Value");
      EXPECT_EQ(platform.messages.boxes[0].style, vbOKOnly);
    }
  }
  EXPECT_EQ(Cell(window->fgByte(1), 3, 4), "0");   // the grid follows the hex box
  EXPECT_EQ(Cell(window->fgByte(2), 3, 6), "0");
}

TEST_F(AvrOptionsWindowTest, CalibrationAddressMustLieInTheChosenMemory) {
  auto window = Open(false);
  EXPECT_FALSE(window->frCalVal()->isHidden());
  ASSERT_EQ(window->cbOsccal()->count(), 5);
  EXPECT_EQ(window->cbOsccal()->currentText(), "None");
  EXPECT_TRUE(window->optFlash()->isChecked());
  EXPECT_FALSE(window->tbAddress()->isEnabled());

  window->cbOsccal()->setCurrentIndex(4);
  emit window->cbOsccal()->activated(4);
  EXPECT_EQ(window->cbOsccal()->currentText(), "Int. Osc. - 1MHz");
  EXPECT_TRUE(window->tbAddress()->isEnabled());
  EXPECT_EQ(OsccalOpt, 0x21);   // into flash, as the window shows
  window->optEEPROM()->click();
  EXPECT_EQ(OsccalOpt, 0x11);

  struct Case {
    const char* typed;
    bool inRange;
    int32_t stored;
    const char* shown;
  };
  const Case cases[] = {{"FFF", true, 0xFFF, "FFF"}, {"1000", false, 0, "0"}, {"0ab", true, 0xAB, "AB"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    platform.messages.boxes.clear();
    Enter(window->tbAddress(), c.typed);
    EXPECT_EQ(OsccalAddress, c.stored);
    EXPECT_EQ(window->tbAddress()->text(), c.shown);
    if (c.inRange) {
      EXPECT_TRUE(platform.messages.boxes.empty());
    } else {
      ASSERT_EQ(platform.messages.boxes.size(), 1u);
      EXPECT_EQ(platform.messages.boxes[0].text, "Address Out of Range for Device");
      EXPECT_EQ(platform.messages.boxes[0].title, "Set OSCCAL Address");
      EXPECT_EQ(platform.messages.boxes[0].style, vbExclamation);
    }
  }

  // An address only flash holds is refused when EEPROM is chosen again.
  window->optFlash()->click();
  Enter(window->tbAddress(), "1FFF");
  EXPECT_EQ(OsccalAddress, 0x1FFF);
  platform.messages.boxes.clear();
  window->optEEPROM()->click();
  EXPECT_EQ(LastBox(), "Address Out of Range for Device");
  EXPECT_EQ(OsccalAddress, 0);
  EXPECT_EQ(window->tbAddress()->text(), "0");
  Enter(window->tbAddress(), "FF0");

  // Reopened with what was set: EEPROM, 1 MHz, the address.
  window.reset();
  auto again = Open(true);
  EXPECT_TRUE(again->optEEPROM()->isChecked());
  EXPECT_EQ(again->cbOsccal()->currentText(), "Int. Osc. - 1MHz");
  EXPECT_EQ(again->tbAddress()->text(), "FF0");
  EXPECT_TRUE(again->tbAddress()->isEnabled());

  again->cbOsccal()->setCurrentIndex(0);
  emit again->cbOsccal()->activated(0);
  EXPECT_EQ(OsccalOpt, 0x10);
  EXPECT_FALSE(again->optFlash()->isEnabled());
  EXPECT_FALSE(again->optEEPROM()->isEnabled());
  EXPECT_FALSE(again->tbAddress()->isEnabled());
}

TEST_F(AvrOptionsWindowTest, EepromImageIsChosenHereAndNamedByAccept) {
  auto window = Open(false);
  EXPECT_FALSE(window->frmEEPROM()->isHidden());
  EXPECT_EQ(window->frmEEPROM()->title(), "EEPROM");
  EXPECT_FALSE(window->cbEEPROMImage()->isChecked());
  EXPECT_FALSE(window->tbEEPROMName()->isEnabled());

  const std::string file = dir.Write("calibration.rev2.hex", ":0400100001020304E2\r\n:00000001FF\r\n");
  dialogs.answers = {file};
  window->cbEEPROMImage()->click();   // no file yet: ticking asks for one
  ASSERT_EQ(dialogs.requests.size(), 1u);
  EXPECT_EQ(dialogs.requests[0].title, "Load EEPROM Image");
  EXPECT_TRUE(EepromFileChosen);
  EXPECT_TRUE(SecondaryEnabled);
  EXPECT_TRUE(window->cbEEPROMImage()->isChecked());
  EXPECT_TRUE(window->tbEEPROMName()->isEnabled());
  EXPECT_EQ(window->lblEEPROMFile()->text().toStdString(), file);
  EXPECT_EQ(window->tbEEPROMName()->text(), "calibration");
  ASSERT_GT(EEBuffer.size(), 0x13u);
  EXPECT_EQ(EEBuffer[0x13], 4);

  dialogs.answers = {""};   // a cancelled choice keeps the image
  window->btEEPROMSel_Click();
  EXPECT_TRUE(EepromFileChosen);
  EXPECT_EQ(window->lblEEPROMFile()->text().toStdString(), file);
  EXPECT_EQ(EEBuffer[0x13], 4);
  EXPECT_TRUE(platform.messages.boxes.empty());

  window->tbEEPROMName()->setText("Cal v2");
  EEName = "before";
  window->cbEEPROMImage()->click();   // untick
  EXPECT_FALSE(SecondaryEnabled);
  EXPECT_FALSE(window->tbEEPROMName()->isEnabled());
  window->cbEEPROMImage()->click();   // a file is chosen: no dialog
  EXPECT_EQ(dialogs.requests.size(), 2u);
  EXPECT_TRUE(SecondaryEnabled);
  EXPECT_EQ(EEName, "before");   // only Accept names it
  window->btAccept()->click();
  EXPECT_EQ(EEName, "Cal v2");
  EXPECT_EQ(window->result(), QDialog::Accepted);

  // Reopened: the chosen file and the name as they were set.
  window.reset();
  auto again = Open(true);
  EXPECT_TRUE(again->cbEEPROMImage()->isChecked());
  EXPECT_EQ(again->tbEEPROMName()->text(), "Cal v2");
  EXPECT_EQ(again->lblEEPROMFile()->text().toStdString(), file);

  // A file that cannot be converted is reported and leaves no image to program.
  dialogs.answers = {dir.Write("broken.hex", ":04001000010203\r\n")};
  again->btEEPROMSel_Click();
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_FALSE(EepromFileChosen);
  EXPECT_TRUE(again->lblEEPROMFile()->text().isEmpty());
}

TEST_F(AvrOptionsWindowTest, JtagIdIsTakenByAcceptAndSecurityAtOnce) {
  ProgType = 7;
  auto window = Open(false, true);
  EXPECT_EQ(window->windowTitle(), "AVR32 Programming Options - ATtest");
  EXPECT_TRUE(window->frmEEPROM()->isHidden());           // user memory comes with the image
  EXPECT_FALSE(window->frmAVR32SecurityBit()->isHidden());
  EXPECT_TRUE(window->frJTAGID()->isHidden());            // no JTAG ID check on AVR32
  window->cbAVR32Security()->click();
  EXPECT_TRUE(AVR32SecurityF);
  window->reject();

  ProgType = 6;
  window = Open(false, true);
  EXPECT_FALSE(window->frJTAGID()->isHidden());
  EXPECT_TRUE(window->frmAVR32SecurityBit()->isHidden());
  EXPECT_FALSE(window->cbJTAGIDEnable()->isChecked());
  EXPECT_EQ(window->tbJTAGPart()->text(), "0000");
  EXPECT_EQ(window->tbJTAGVersion()->text(), "0");
  EXPECT_FALSE(window->tbJTAGPart()->isEnabled());
  window->cbJTAGIDEnable()->click();
  EXPECT_TRUE(window->tbJTAGPart()->isEnabled());
  EXPECT_TRUE(window->tbJTAGVersion()->isEnabled());
  Enter(window->tbJTAGPart(), "95x4");
  EXPECT_EQ(window->tbJTAGPart()->text(), "95");
  Enter(window->tbJTAGPart(), "9514");
  Enter(window->tbJTAGVersion(), "a");
  EXPECT_EQ(window->tbJTAGVersion()->text(), "A");
  EXPECT_FALSE(JtagIdCheck);   // nothing taken before Accept
  window->btAccept()->click();
  EXPECT_TRUE(JtagIdCheck);
  EXPECT_EQ(JtagPart, 0x9514);
  EXPECT_EQ(JtagVersion, 0xA);

  window = Open(true, true);
  EXPECT_TRUE(window->cbJTAGIDEnable()->isChecked());
  EXPECT_EQ(window->tbJTAGPart()->text(), "9514");
  EXPECT_EQ(window->tbJTAGVersion()->text(), "A");

  // The JTAG interface not chosen: the check is off, and Accept takes that.
  window = Open(true, false);
  EXPECT_FALSE(window->cbJTAGIDEnable()->isChecked());
  window->btAccept()->click();
  EXPECT_FALSE(JtagIdCheck);
}

// ---- Device serialization ----

class SerializeDialogTest : public ::testing::Test {
 protected:
  SerializeDialogTest() {
    SerialEditable = true;
    SerialMemory = SerialFlash;
    SerialFormat = 0x02;
    SerialAddress = 0x1F00;
    SerialNumber = {0xE8, 0x03, 0, 0, 0, 0, 0};   // 1000
  }
  static void Enter(QLineEdit* box, const QString& text) {
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(box, &in);
    box->setText(text);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(box, &out);
  }
  static uint64_t Stored() {
    uint64_t v = 0;
    for (int i = 5; i >= 0; --i) v = v << 8 | SerialNumber[i];
    return v;
  }
  FakePlatform platform;
};

TEST_F(SerializeDialogTest, EveryNamedControlIsThereWithItsCaption) {
  SerializeDialog dialog(6, "ATxmega AVR", 1024);
  dialog.Form_Load();
  EXPECT_EQ(dialog.objectName(), "frmSerialize");
  EXPECT_EQ(dialog.windowTitle(), "Device Serialization");
  const std::pair<const char*, const char*> captions[] = {
      {"optDisabled", "Disabled"}, {"optFlash", "Flash"}, {"optEEPROM", "EEPROM"},
      {"optUser", "User Signature Page"}, {"OptMSB", "MSB First"}, {"OptLSB", "LSB First"}};
  for (auto [name, caption] : captions) {
    auto* option = dialog.findChild<QRadioButton*>(name);
    ASSERT_NE(option, nullptr) << name;
    EXPECT_EQ(option->text(), caption);
  }
  const std::pair<const char*, const char*> frames[] = {
      {"frAddress", "Target Address"}, {"frSN", "Serial Number"}, {"frNSN", "Next Serial Number"}};
  for (auto [name, caption] : frames) {
    auto* frame = dialog.findChild<QGroupBox*>(name);
    ASSERT_NE(frame, nullptr) << name;
    EXPECT_EQ(frame->title(), caption);
  }
  for (const char* name : {"tbAddress", "tbSNValue", "tbSnValueH"}) EXPECT_NE(dialog.findChild<QLineEdit*>(name), nullptr);
  EXPECT_EQ(dialog.findChild<QPushButton*>("btUpdate")->text(), "Update");
  EXPECT_EQ(dialog.findChild<QPushButton*>("btDone")->text(), "Done");
  auto* sizes = dialog.findChild<QComboBox*>("cbSerialNumBytes");
  ASSERT_EQ(sizes->count(), 3);
  EXPECT_EQ(sizes->itemText(2), "6");
  EXPECT_EQ(sizes->currentText(), "2");
  EXPECT_TRUE(dialog.optFlash()->isChecked());
  EXPECT_TRUE(dialog.OptLSB()->isChecked());
  EXPECT_EQ(dialog.tbAddress()->text(), "1F00");
  EXPECT_TRUE(dialog.btUpdate()->isHidden());
}

TEST_F(SerializeDialogTest, EntriesRefreshBothBoxesAndARefusedEntryKeepsTheNumber) {
  SerializeDialog dialog(6, "ATmega", 512);
  dialog.Form_Load();
  EXPECT_EQ(dialog.tbSNValue()->text(), "01000");
  EXPECT_EQ(dialog.tbSnValueH()->text(), "03E8");
  struct Case {
    bool hex;
    const char* typed;
    bool refused;
    uint64_t stored;
    const char* decimal;
    const char* hexText;
  };
  const Case cases[] = {
      {false, "65535", false, 65535, "65535", "FFFF"},
      {true, "1a2b", false, 0x1A2B, "06699", "1A2B"},
      {false, "65536", true, 0x1A2B, "06699", "1A2B"},     // does not fit 2 bytes: no wrap to 0000
      {false, "12x", true, 0x1A2B, "06699", "1A2B"},
      {true, "", true, 0x1A2B, "06699", "1A2B"},
      {false, " 4 2 ", false, 42, "00042", "002A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    platform.messages.boxes.clear();
    Enter(c.hex ? dialog.tbSnValueH() : dialog.tbSNValue(), QString::fromLatin1(c.typed));
    EXPECT_EQ(Stored(), c.stored);
    EXPECT_EQ(dialog.tbSNValue()->text(), c.decimal);
    EXPECT_EQ(dialog.tbSnValueH()->text(), c.hexText);
    if (c.refused) {
      ASSERT_EQ(platform.messages.boxes.size(), 1u);
      EXPECT_EQ(platform.messages.boxes[0].title, "Device Serialization");
      EXPECT_EQ(platform.messages.boxes[0].style, vbExclamation);
    } else {
      EXPECT_TRUE(platform.messages.boxes.empty());
    }
  }

  // A larger size shows more digits of the same number.
  dialog.cbSerialNumBytes()->setCurrentIndex(1);
  dialog.cbSerialNumBytes_Click();
  EXPECT_EQ(SerialFormat, 0x04);
  EXPECT_EQ(dialog.tbSNValue()->text(), "0000000042");
  EXPECT_EQ(dialog.tbSnValueH()->text(), "0000002A");
  Enter(dialog.tbSNValue(), QStringLiteral("70000"));
  EXPECT_EQ(Stored(), 70000u);
  // Back to 2 bytes would cut 70000: refused, the size stays 4.
  platform.messages.boxes.clear();
  dialog.cbSerialNumBytes()->setCurrentIndex(0);
  dialog.cbSerialNumBytes_Click();
  EXPECT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_EQ(SerialFormat, 0x04);
  EXPECT_EQ(dialog.cbSerialNumBytes()->currentText(), "4");
  EXPECT_EQ(Stored(), 70000u);

  dialog.OptMSB()->click();
  EXPECT_EQ(SerialFormat, 0x84);
  dialog.OptLSB()->click();
  EXPECT_EQ(SerialFormat, 0x04);

  Enter(dialog.tbAddress(), QStringLiteral("0x3ffe"));
  EXPECT_EQ(SerialAddress, 0x3FFE);
  EXPECT_EQ(dialog.tbAddress()->text(), "3FFE");
  Enter(dialog.tbAddress(), QStringLiteral("xyz"));
  EXPECT_EQ(SerialAddress, 0x3FFE);
  EXPECT_EQ(dialog.tbAddress()->text(), "3FFE");

  dialog.optDisabled()->click();
  EXPECT_EQ(SerialMemory, SerialOff);
  EXPECT_FALSE(dialog.frNSN()->isEnabled());
  EXPECT_FALSE(dialog.cbSerialNumBytes()->isEnabled());
  dialog.optEEPROM()->click();
  EXPECT_EQ(SerialMemory, SerialEeprom);
  EXPECT_TRUE(dialog.frNSN()->isEnabled());
}

TEST_F(SerializeDialogTest, ShownForAStoredImageNothingCanBeChanged) {
  SerialEditable = false;
  SerialMemory = SerialEeprom;   // an AVR without EEPROM: shown as the programmer has it
  SerialFormat = 0x86;
  SerialNumber = {1, 0, 0, 0, 0, 0, 0};
  SerializeDialog dialog(6, "ATmega", 0);
  dialog.Form_Load();
  EXPECT_EQ(SerialMemory, SerialEeprom);
  EXPECT_TRUE(dialog.optEEPROM()->isChecked());
  EXPECT_TRUE(dialog.OptMSB()->isChecked());
  EXPECT_EQ(dialog.tbSnValueH()->text(), "000000000001");
  for (QWidget* w : {static_cast<QWidget*>(dialog.frAddress()), static_cast<QWidget*>(dialog.frSN()),
                     static_cast<QWidget*>(dialog.frNSN()), static_cast<QWidget*>(dialog.optFlash())}) {
    EXPECT_FALSE(w->isEnabled());
  }
  EXPECT_TRUE(dialog.btDone()->isEnabled());
}

}  // namespace

namespace {

// The option bits windows over image buffers of the test's own.
class OptionBitsWindowTest : public ::testing::Test {
 protected:
  OptionBitsWindowTest() {
    AppPath = dir.path();
    FileDial1 = &dialogs;
    ProgType = 2;
    SecondaryName = "FIB3";
    FlashMap.EESlotSize = 512;
  }
  ~OptionBitsWindowTest() override { FileDial1 = nullptr; }
  template <typename T>
  static T* Find(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  FakePlatform platform;
  TempDir dir;
  ScriptedDialogs dialogs;
};

TEST_F(OptionBitsWindowTest, Z8WindowShowsTheBytesEnablesTheVariantsSettingsAndWritesBack) {
  ImageBuffer = {0x5A, 0x9C, 0x33, 0x44};   // 0101 1010, 1001 1100
  Z8eOptionsWindow window(1);
  EXPECT_EQ(window.objectName(), "frmZ8EOptions");
  window.Form_Load();
  // The erased-state entries before the bytes are shown.
  EXPECT_EQ(Find<QComboBox>(window, "cbOSC_SEL")->currentText(), "High Power (OSC_SEL[1:0]=11)");
  EXPECT_EQ(Find<QComboBox>(window, "cbXTLDIS")->currentText(), "Disabled (XTLDIS=1)");
  EXPECT_EQ(Find<QComboBox>(window, "cbWDT_AO")->itemText(0), "Automatic (WDT_AO = 0)");
  EXPECT_EQ(Find<QComboBox>(window, "cbEXTLTMG")->count(), 4);
  EXPECT_EQ(Find<QGroupBox>(window, "frProtection")->title(), "Flash Protection");

  window.Form_Activate();
  struct Shown {
    const char* list;
    const char* text;
    bool enabled;
  };
  for (const Shown& s : {
           Shown{"cbWDT_RES", "Interrupt (WDT_RES=0)", true},
           Shown{"cbWDT_AO", "WDT Instruction (WDT_AO=1)", true},
           Shown{"cbOSC_SEL", "Low Power (OSC_SEL[1:0]=01)", false},
           Shown{"cbVBO_AO", "Enabled (VBO_AO=1)", false},
           Shown{"cbPRAM", "Program (PRAM_M=1)", false},
           Shown{"cbVBO_RES", "Reset (VBO_RES=1)", false},
           Shown{"cbEXTLTMG", "10000 (EXTLTMG=10)", false},
           Shown{"cbPWMHI", "Low (PWMHI=0)", false},
       }) {
    auto* list = Find<QComboBox>(window, s.list);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentText(), s.text) << s.list;
    EXPECT_EQ(list->isEnabled(), s.enabled) << s.list;
    EXPECT_EQ(list->parentWidget()->isEnabled(), s.enabled) << s.list << " frame";
  }
  auto* rp = Find<QCheckBox>(window, "cbRP");
  auto* fhswp = Find<QCheckBox>(window, "cbFHSWP");
  auto* fwp = Find<QCheckBox>(window, "cbFWP");
  EXPECT_TRUE(rp->isChecked());
  EXPECT_FALSE(fhswp->isChecked());
  EXPECT_TRUE(fwp->isChecked());
  EXPECT_TRUE(fhswp->isEnabled());   // variant 1 has high sector protect

  // Closing without Accept leaves the bytes.
  rp->setChecked(false);
  window.reject();
  EXPECT_EQ(ImageBuffer, (std::vector<uint8_t>{0x5A, 0x9C, 0x33, 0x44}));

  // Accept: WDT_AO 0, RP off, high sector on: 0 + 0 + 16 + 8 + 4 + 0 + 0; byte 1 = 6F + 80 + 10.
  Find<QComboBox>(window, "cbWDT_AO")->setCurrentIndex(0);
  fhswp->setChecked(true);
  window.btAccept()->click();
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(ImageBuffer, (std::vector<uint8_t>{0x1C, 0xFF, 0x33, 0x44}));
}

TEST_F(OptionBitsWindowTest, Z8Variant6WritesProgramRamModeIntoBit1) {
  ImageBuffer.assign(16, 0xFF);
  Z8eOptionsWindow window(6);
  window.Form_Load();
  window.Form_Activate();
  EXPECT_TRUE(Find<QComboBox>(window, "cbPRAM")->isEnabled());
  EXPECT_FALSE(Find<QCheckBox>(window, "cbFHSWP")->isEnabled());
  EXPECT_TRUE(Find<QComboBox>(window, "cbX2TL_AO")->isEnabled());
  EXPECT_FALSE(Find<QComboBox>(window, "cbPWM0EN")->isEnabled());
  Find<QCheckBox>(window, "cbFHSWP")->setChecked(true);
  Find<QComboBox>(window, "cbPRAM")->setCurrentText("Program (PRAM_M=1)");
  Find<QComboBox>(window, "cbEXTLTMG")->setCurrentText("5000 (EXTLTMG=01)");
  window.btAccept()->click();
  // Byte 1: 2C + 40 + 10 + 2 + 1.
  EXPECT_EQ(ImageBuffer[0], 0xFF);
  EXPECT_EQ(ImageBuffer[1], 0x7F);
}

TEST_F(OptionBitsWindowTest, ZneoWindowWritesFourBytes) {
  ImageBuffer.assign(8, 0xFF);
  ZneoOptionsWindow window;
  EXPECT_EQ(window.windowTitle(), "ZNEO Programming Options");
  window.Form_Load();
  window.Form_Activate();
  EXPECT_EQ(Find<QComboBox>(window, "cbOSC_SEL")->currentText(), "High Power (OSC_SEL[1:0]=11)");
  EXPECT_EQ(Find<QComboBox>(window, "cbMCEN")->currentText(), "Enabed (MCEN=1)");
  EXPECT_FALSE(Find<QCheckBox>(window, "cbRP")->isChecked());
  Find<QCheckBox>(window, "cbRP")->setChecked(true);
  Find<QComboBox>(window, "cbLPOPT")->setCurrentIndex(0);
  window.btAccept()->click();
  EXPECT_EQ(ImageBuffer, (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xBF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(OptionBitsWindowTest, ZlfWindowReadsTheFib3FileAndWritesThePage) {
  EEBuffer.assign(257, 0xFF);
  SecondaryEnabled = true;
  EEName = "";
  ZlfOptionsWindow window;
  EXPECT_EQ(window.objectName(), "frmZLFOptions");
  window.Form_Load();
  window.Form_Activate();
  EXPECT_EQ(Find<QComboBox>(window, "cbWDT_Enable")->currentText(), "WDT Enabled by WDT Instr. Only(WDT=1)");

  // A page whose byte FE is 00 and FF is F7 (16-bit stack).
  const std::string fib = dir.Write("board.fib3.hex", DataRecord(0xFE, {0x00, 0xF7}) + EndRecord());
  dialogs.answers = {fib};
  Find<QPushButton>(window, "btUserMemSel")->click();
  EXPECT_EQ(window.lblEEPROMFile()->text().toStdString(), fib);
  EXPECT_EQ(window.tbEEPROMName()->text(), "board");
  EXPECT_TRUE(EepromFileChosen);
  EXPECT_EQ(Find<QComboBox>(window, "cbWDT_Enable")->currentText(), "WDT Always Enabled(WDT=0)");
  for (const char* pullups : {"cbPort4Pullups", "cbPort3Pullups", "cbPort2Pullups", "cbPort1HPullups",
                              "cbPort1LPullups", "cbPort0HPullups", "cbPort0LPullups"}) {
    EXPECT_EQ(Find<QComboBox>(window, pullups)->currentIndex(), 0) << pullups;
    EXPECT_TRUE(Find<QComboBox>(window, pullups)->currentText().startsWith("Pullups Enabled")) << pullups;
  }
  EXPECT_EQ(Find<QComboBox>(window, "cb16BitStack")->currentText(), "16-bit Stack(16BITSTK=0)");

  // A cancelled choice keeps the page.
  dialogs.answers = {""};
  Find<QPushButton>(window, "btUserMemSel")->click();
  EXPECT_EQ(EEBuffer[0xFE], 0x00);
  EXPECT_TRUE(platform.messages.boxes.empty());

  Find<QComboBox>(window, "cbFlashProt")->setCurrentText("Flash Protected (FLRWP=0)");
  window.tbEEPROMName()->setText("Pullups");
  window.btAccept()->click();
  EXPECT_EQ(EEBuffer[0xFE], 0x00);
  EXPECT_EQ(EEBuffer[0xFF], 0xF6);   // F0 + 0 + 4 + 2 + 0
  EXPECT_EQ(EEName, "Pullups");
}

}  // namespace

// At 200 % on a 1600 x 1000 screen a dialog has 800 x 500 logical pixels, less
// the window frame: every dialog can be that small, buttons included.
TEST_F(LoadImageDialogTest, DialogsFitAScreenOf800By500LogicalPixels) {
  Start({"--programmer", Unit1});
  UseDataFolder(FusesForEveryDevice(), data);
  FindAndOpenImageManager();
  LoadImageDialog load(*window, window.get());
  ReadImageDialog read(window.get());
  SerializeDialog serialize(6, "ATxmega AVR", 1024);
  for (QWidget* dialog : {static_cast<QWidget*>(&load), static_cast<QWidget*>(&read), static_cast<QWidget*>(&serialize)}) {
    const QSize needed = dialog->minimumSizeHint();
    EXPECT_LE(needed.width(), 780) << dialog->objectName().toStdString();
    EXPECT_LE(needed.height(), 450) << dialog->objectName().toStdString();
  }
  // Made that small, the Load Image dialog keeps its buttons inside it.
  load.resize(load.minimumSizeHint().width(), 450);
  load.show();
  Settle();
  const auto row = load.findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_TRUE(row.contains(load.btLoad()));
  for (QPushButton* button : row) {
    const QRect inDialog(button->mapTo(&load, QPoint(0, 0)), button->size());
    EXPECT_TRUE(load.rect().contains(inDialog));
  }
}
