// frmMain: the frame window with the menus, toolbar, programmer and port
// lists, status bar, progress bar, the 50 ms tick and the child windows.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "operations/ui/ImageManagerWindow.h"
#include "operations/ui/ArrayProgramWindow.h"
#include "operations/RunTally.h"
#include "operations/ui/ProgramManagerWindow.h"
#include "operations/ui/RunLogWindow.h"
#include "ui/MainFrame.h"

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QProgressBar;
class QToolBar;
class MdiChild;
class PortMap;
class DdeLink;
class DdeServer;

class MainWindow : public QMainWindow, public MainFrame {
  Q_OBJECT
 public:
  explicit MainWindow(const PortMap& ports, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Form_Load: the start-up sequence.
  void Form_Load();

  // MainWindowView
  void SetEnabled(bool enabled) override;
  void SetProgressVisible(bool visible) override;
  void SetProgressValue(int percent) override;
  void SetStatusPanel(const std::string& key, const std::string& text) override;
  void ClearProgrammerList() override;
  void AddProgrammerItem(const std::string& key, const std::string& text, const std::string& image) override;
  void SelectProgrammerItem(int index) override;
  int SelectedProgrammerItem() override;
  void SetPortListEnabled(bool enabled) override;
  int SelectedCommPort() override;
  bool SelectCommPortEntry(int port) override;
  void SetArrayProgrammingEnabled(bool enabled) override;
  void SetConfigMenuEnabled(bool enabled) override;
  void CloseImageManager() override;
  void ShowImageManager() override;
  void ImagesChanged() override { TellChildrenSessionChanged(); }
  void ShowLineState(const std::string& lostText) override;

  // Menu entries by their names ("mnuFileOpen") and toolbar buttons by key ("Program").
  QAction* Menu(const std::string& name) const;
  QAction* Button(const std::string& key) const;
  // The line on which the lists sit, and the hint shown while the frame is empty.
  QToolBar* ListsToolBar() const { return tbLists_; }
  QLabel* EmptyHint() const { return emptyHint_; }
  QLabel* PortDescription() const { return portDescription_; }
  // The status bar's word on the line: why it is lost, hidden while it works.
  QLabel* LineStateLabel() const { return lineState_; }

  // MainFrame
  void EnableMenus(std::initializer_list<const char*> names, bool enabled) override;
  void EnableButtons(std::initializer_list<const char*> keys, bool enabled) override;
  void SetMenuVisible(const char* name, bool visible) override;
  void PopupImageMenu(const QPoint& globalPosition) override;
  int ProgrammerListCount() const override;
  void SetProgrammerListEnabled(bool enabled) override;
  void RunLoadImageDialog(QWidget* parent) override;
  void RunReadImageDialog(QWidget* parent) override;
  void RunProgrammingOptions(QWidget* parent, const ProgrammingOptionsSetup& setup) override;
  void RunSerialization(QWidget* parent, const std::string& family, int32_t eeSize) override;
  bool RunOptionBits(QWidget* parent) override;
  void RunSetAddressDialog(QWidget* parent) override;
  void SelectImageRow(int row) override;
  void LockOtherChildren(MdiChild* except, bool locked) override;
  void ChildClosed(MdiChild* child) override;
  bool VerdictTilesShown() const override { return verdictTiles_; }
  RunTally& SessionTally() override { return tally_; }

  QComboBox* lstAllProgs() const { return lstAllProgs_; }
  QComboBox* lstComm() const { return lstComm_; }
  QMdiArea* MdiArea() const { return mdi_; }
  ImageManagerWindow* ImageManager() const { return imageManager_; }
  ProgramManagerWindow* ProgramManager() const { return programManager_; }
  ArrayProgramWindow* ArrayProgram() const { return arrayProgram_; }
  QString StatusPanelText(const std::string& key) const;
  bool DdeInterfaceEnabled() const { return ddeLink_ != nullptr; }

  // Menu handlers the tests and the toolbar reach directly.
  void mnuViewProgScan_Click();
  // F5 while the scan entry is disabled: scans with the programming manager
  // open, or says why it cannot scan now.
  void RescanKey_Triggered();
  void mnuViewImageMan_Click();
  void mnuViewProgMan_Click();
  void mnuViewMultiMan_Click();
  void mnuViewRunLog_Click();
  RunLogWindow* RunLog() const { return runLog_; }
  void mnuImageDelete_Click();
  void mnuImageUpload_Click();
  // Asks, then resets a damaged security block to no limits and no protection.
  void mnuConfigResetSecurity_Click();
  void mnuImageSerialization_Click();
  void mnuDDEenable_Click();
  // View > Verdict Tiles shows or hides the tiles and remembers it; View >
  // Reset Counters starts the session's counts and run numbers again.
  void mnuViewVerdictTiles_Click();
  void mnuViewResetCounters_Click();
  // Select Firmware: frmFactory chooses a programmer type's file set; on OK
  // the selected programmer is upgraded from it.
  void mnuSelectFirmware_Click();
  void mnuUpgradeFirmware_Click();
  // Upgrades the selected programmer from the chosen file set, rescans, and
  // says how it ended: finished with the revision it runs now, or the error.
  void UpgradeAndReport();
  // The automation interface's name, and whether it starts enabled for this run.
  void SetAutomation(const QString& name, bool enableForThisRun);
  DdeLink* AutomationLink() const { return ddeLink_.get(); }
  void mnuHelpAbout_Click();

  // Runs a child's activation once no operation holds the line.
  void ActivateChild(QPointer<MdiChild> child);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolbar();
  void BuildStatusBar();
  QAction* AddMenu(QMenu* menu, const char* name, const QString& caption);
  // The Window menu's entries for the open child windows.
  void ListOpenWindows();
  // The hint stays while no programmer is listed and no child window is open.
  void UpdateEmptyHint();
  bool eventFilter(QObject* watched, QEvent* event) override;
  void ForwardToActiveChild(void (MdiChild::*method)());
  MdiChild* ActiveChild() const;
  void ListSerialPorts();
  void RestorePlacement();
  void SavePlacement();
  void OpenHelp(const char* document);
  QMdiSubWindow* AddChild(MdiChild* child);

  const PortMap& ports_;
  QMdiArea* mdi_ = nullptr;
  QComboBox* lstAllProgs_ = nullptr;
  QComboBox* lstComm_ = nullptr;
  QProgressBar* pbProgress_ = nullptr;
  QToolBar* tbToolBar_ = nullptr;
  QToolBar* tbLists_ = nullptr;
  QLabel* emptyHint_ = nullptr;
  QLabel* portDescription_ = nullptr;
  QActionGroup* openWindows_ = nullptr;
  std::map<std::string, QLabel*> panels_;
  QLabel* portPath_ = nullptr;
  QLabel* lineState_ = nullptr;
  QAction* rescanKey_ = nullptr;
  std::map<std::string, QAction*> menus_;
  std::map<std::string, QAction*> buttons_;
  QTimer timer1_;
  QPointer<ImageManagerWindow> imageManager_;
  QPointer<ProgramManagerWindow> programManager_;
  QPointer<ArrayProgramWindow> arrayProgram_;
  QPointer<RunLogWindow> runLog_;
  MdiChild* activeChild_ = nullptr;
  void SwitchAutomation(bool on, bool remember);
  // The line was taken or given back: entries that would start another
  // operation are locked meanwhile.
  void LineChanged(bool busy);
  // False, with a beep, while an operation holds the line.
  bool LineFree() const;
  QActionGroup* lineEntries_ = nullptr;   // menu entries and buttons that start an operation
  QWidget* lists_ = nullptr;              // holds lstAllProgs and lstComm
  int lineObserver_ = 0;
  bool closeWhenIdle_ = false;
  std::unique_ptr<DdeLink> ddeLink_;
  std::unique_ptr<DdeServer> ddeServer_;
  QString automationName_ = QStringLiteral("kestrin");
  bool automationForced_ = false;
  QRect normalGeometry_;
  RunTally tally_;
  bool verdictTiles_ = true;
  void TellChildrenSessionChanged();
};

// Pixels to the twips the settings keep (at 96 logical dots per inch), and back.
int PixelsToTwips(int pixels);
int TwipsToPixels(int twips);
