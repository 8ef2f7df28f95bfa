#include "shell/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QScreen>
#include <QSerialPortInfo>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <cstdio>

#include "automation/DdeLink.h"
#include "automation/DdeServer.h"
#include "devices/DeviceState.h"
#include "devices/ui/LoadImageDialog.h"
#include "devices/ui/ReadImageDialog.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "operations/DeleteImage.h"
#include "operations/FirmwareUpgrade.h"
#include "operations/ImageDirectory.h"
#include "operations/SaveImage.h"
#include "operations/Selection.h"
#include "operations/Serialize.h"
#include "operations/ui/ArrayProgramWindow.h"
#include "operations/ui/ImageManagerWindow.h"
#include "operations/ui/ProgramManagerWindow.h"
#include "options/OptionBits.h"
#include "options/SerialState.h"
#include "options/ui/AvrOptionsWindow.h"
#include "options/ui/OptionBitsWindow.h"
#include "options/ui/SerializeDialog.h"
#include "platform/AnsiText.h"
#include "platform/DocumentOpener.h"
#include "platform/InputFile.h"
#include "platform/MessageBox.h"
#include "platform/PortMap.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "programmers/Discovery.h"
#include "programmers/RevisionTables.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "programmers/ui/FactoryWindow.h"
#include "programmers/ui/SetAddressDialog.h"
#include "shell/AboutBox.h"
#include "shell/HelpDocuments.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/ProgramFiles.h"
#include "ui/AppIcon.h"
#include "ui/MdiChild.h"
#include "ui/WindowPlacement.h"

int PixelsToTwips(int pixels) { return pixels * 15; }
int TwipsToPixels(int twips) { return twips / 15; }

namespace {
int SettingNumber(const char* key, int defaultValue) {
  return std::atoi(Settings->GetSetting("Settings", key, std::to_string(defaultValue)).c_str());
}

// A port's device path with the system's description of it, if it has one.
QString PortText(const std::string& path) {
  const QString device = QString::fromStdString(path);
  const QString description = QSerialPortInfo(device).description();
  return description.isEmpty() ? device : QStringLiteral("%1 (%2)").arg(device, description);
}

// Where Tab goes from a control: the next one that takes the focus by Tab,
// in the main window's chain.
bool TakesTab(const QWidget* w, const QWidget* window) {
  return (w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() && w->window() == window;
}

// The frame of a child window. Tab from its last control goes on to the main
// window's controls (the programmer and port lists) instead of back to its
// first one; Shift+Tab from its first likewise.
class ChildFrame : public QMdiSubWindow {
 public:
  using QMdiSubWindow::QMdiSubWindow;

 protected:
  bool focusNextPrevChild(bool next) override {
    QWidget* from = QApplication::focusWidget();
    if (!from || !isAncestorOf(from) || !mdiArea()) return QMdiSubWindow::focusNextPrevChild(next);
    auto step = [next](QWidget* w) { return next ? w->nextInFocusChain() : w->previousInFocusChain(); };
    for (QWidget* w = step(from); w && w != from; w = step(w)) {
      if (!TakesTab(w, window())) continue;
      if (isAncestorOf(w)) break;   // still inside the child: as usual
      if (w == mdiArea() || mdiArea()->isAncestorOf(w)) continue;   // other children are reached by Ctrl+Tab
      w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
      return true;
    }
    return QMdiSubWindow::focusNextPrevChild(next);
  }
};

// A child window newly opened: at the size that shows all of it, no larger
// than the work area and inside it.
void PlaceChild(QMdiArea* mdi, MdiChild* child) {
  auto* window = qobject_cast<QMdiSubWindow*>(child->parentWidget());
  if (!window) return;
  // What the child has just shown (its image grid, its panels) counts in its
  // size hint. Measured with its tiles side by side; once sized, those that do
  // not fit go under each other, and the second pass measures that.
  SideBySide(child);
  const QSize frame = window->size() - child->size();
  for (int pass = 0; pass < 2; ++pass) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QSize wanted = FitBody(child, mdi->viewport()->size() - frame);
    if (!wanted.isValid()) wanted = child->sizeHint();
    window->resize(wanted.expandedTo(child->minimumSizeHint()) + frame);
  }
  FitIntoArea(window, mdi->viewport()->rect());
}

// Entries that never start an operation: they stay usable while one runs.
bool LeavesTheLineAlone(const std::string& name) {
  static const char* const entries[] = {"mnuFileExit", "mnuEditCut", "mnuEditCopy", "mnuEditPaste",
                                        "mnuProgramCancel", "mnuWindowCascade", "mnuWindowTileHorizontal",
                                        "mnuWindowTileVertical", "mnuHelpManual", "mnuHelpVRXArray",
                                        "mnuHelpDDE", "mnuHelpAbout", "mnuViewRunLog", "Cut", "Copy", "Paste"};
  for (const char* entry : entries) {
    if (name == entry) return true;
  }
  return false;
}
}  // namespace

MainWindow::MainWindow(const PortMap& ports, QWidget* parent) : QMainWindow(parent), ports_(ports) {
  setWindowTitle(QStringLiteral("Kestrin"));
  setObjectName(QStringLiteral("frmMain"));
  mdi_ = new QMdiArea(this);
  mdi_->setObjectName(QStringLiteral("MdiArea"));
  setCentralWidget(mdi_);
  if (QApplication::windowIcon().isNull()) QApplication::setWindowIcon(KestrinIcon());
  setWindowIcon(QApplication::windowIcon());
  emptyHint_ = new QLabel(tr("No programmers yet \u2014 press F5 or View > Scan for Programmers"), mdi_->viewport());
  emptyHint_->setObjectName(QStringLiteral("EmptyHint"));
  emptyHint_->setAlignment(Qt::AlignCenter);
  emptyHint_->setWordWrap(true);
  emptyHint_->setStyleSheet(QStringLiteral("color: #5a6470; font-size: 13pt;"));
  mdi_->viewport()->installEventFilter(this);
  // A disabled group disables its actions and gives each its own state back
  // when enabled again, so the windows' enabling is not lost.
  lineEntries_ = new QActionGroup(this);
  lineEntries_->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
    MdiChild* child = window ? qobject_cast<MdiChild*>(window->widget()) : nullptr;
    if (child == activeChild_) return;
    if (activeChild_) activeChild_->Form_Deactivate();
    activeChild_ = child;
    // Activation talks to the programmer and so lets events run: not from
    // inside Qt's own show and focus handling, and not inside another command.
    if (child) QTimer::singleShot(0, this, [this, target = QPointer<MdiChild>(child)] { ActivateChild(target); });
  });

  BuildMenus();
  BuildToolbar();
  BuildStatusBar();
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { UpdateEmptyHint(); });

  timer1_.setTimerType(Qt::PreciseTimer);
  timer1_.setInterval(50);
  connect(&timer1_, &QTimer::timeout, this, [] { Timer1_Timer(); });
  timer1_.start();
  lineObserver_ = AddLineObserver([this](bool busy) { LineChanged(busy); });
}

MainWindow::~MainWindow() {
  RemoveLineObserver(lineObserver_);
  if (frmMain == this) frmMain = nullptr;
}

QAction* MainWindow::AddMenu(QMenu* menu, const char* name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  menus_[name] = action;
  if (!LeavesTheLineAlone(name)) lineEntries_->addAction(action);
  return action;
}

void MainWindow::LineChanged(bool busy) {
  lineEntries_->setEnabled(!busy);
  lists_->setEnabled(!busy);
  // A window's own operation keeps its window (and its Cancel button); an
  // automation command leaves nothing to click.
  mdi_->setEnabled(!busy || LineHolder() != LineUser::Automation);
  if (!busy && closeWhenIdle_) QTimer::singleShot(0, this, &QWidget::close);
}

bool MainWindow::LineFree() const {
  if (!LineBusy()) return true;
  QApplication::beep();
  return false;
}

QAction* MainWindow::Menu(const std::string& name) const {
  auto it = menus_.find(name);
  return it == menus_.end() ? nullptr : it->second;
}

QAction* MainWindow::Button(const std::string& key) const {
  auto it = buttons_.find(key);
  return it == buttons_.end() ? nullptr : it->second;
}

void MainWindow::EnableMenus(std::initializer_list<const char*> names, bool enabled) {
  for (const char* name : names) {
    if (QAction* a = Menu(name)) a->setEnabled(enabled);
  }
}

void MainWindow::EnableButtons(std::initializer_list<const char*> keys, bool enabled) {
  for (const char* key : keys) {
    if (QAction* a = Button(key)) a->setEnabled(enabled);
  }
}

MdiChild* MainWindow::ActiveChild() const {
  QMdiSubWindow* window = mdi_->activeSubWindow();
  return window ? qobject_cast<MdiChild*>(window->widget()) : nullptr;
}

void MainWindow::ForwardToActiveChild(void (MdiChild::*method)()) {
  // Cancel must get through while a run holds the line.
  if (method != &MdiChild::mnuProgramCancel && !LineFree()) return;
  if (MdiChild* child = ActiveChild()) (child->*method)();
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  auto topMenu = [this, bar](const char* name, const QString& caption) {
    QMenu* menu = bar->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    menus_[name] = menu->menuAction();
    return menu;
  };
  auto forward = [this](QAction* action, void (MdiChild::*method)()) {
    connect(action, &QAction::triggered, this, [this, method] { ForwardToActiveChild(method); });
  };

  QMenu* file = topMenu("mnuFile", tr("&File"));
  forward(AddMenu(file, "mnuFileOpen", tr("&Open")), &MdiChild::mnuFileOpen);
  forward(AddMenu(file, "mnuFileProject", tr("Open Pro&ject")), &MdiChild::mnuFileProject);
  forward(AddMenu(file, "mnuFileClose", tr("&Close")), &MdiChild::mnuFileClose);
  file->addSeparator();
  connect(AddMenu(file, "mnuFileExit", tr("E&xit")), &QAction::triggered, this, &QWidget::close);

  // Kept from the window template: no window of this program has a text control to exchange.
  QMenu* edit = topMenu("mnuEdit", tr("&Edit"));
  AddMenu(edit, "mnuEditCut", tr("Cu&t"));
  AddMenu(edit, "mnuEditCopy", tr("&Copy"));
  AddMenu(edit, "mnuEditPaste", tr("&Paste"));

  QMenu* view = topMenu("mnuView", tr("&View"));
  connect(AddMenu(view, "mnuViewProgScan", tr("&Scan for Programmers")), &QAction::triggered, this,
          &MainWindow::mnuViewProgScan_Click);
  connect(AddMenu(view, "mnuViewImageMan", tr("&Image Manager")), &QAction::triggered, this,
          &MainWindow::mnuViewImageMan_Click);
  connect(AddMenu(view, "mnuViewProgMan", tr("&Programming Manager")), &QAction::triggered, this,
          &MainWindow::mnuViewProgMan_Click);
  connect(AddMenu(view, "mnuViewMultiMan", tr("&Array Programming")), &QAction::triggered, this,
          &MainWindow::mnuViewMultiMan_Click);
  connect(AddMenu(view, "mnuViewRunLog", tr("&Run Log")), &QAction::triggered, this, &MainWindow::mnuViewRunLog_Click);
  view->addSeparator();
  // Neither starts an operation, so neither is locked while one runs.
  QAction* tiles = view->addAction(tr("&Verdict Tiles"));
  tiles->setObjectName(QStringLiteral("mnuViewVerdictTiles"));
  tiles->setCheckable(true);
  tiles->setChecked(verdictTiles_);
  menus_["mnuViewVerdictTiles"] = tiles;
  connect(tiles, &QAction::triggered, this, &MainWindow::mnuViewVerdictTiles_Click);
  QAction* reset = view->addAction(tr("Reset &Counters"));
  reset->setObjectName(QStringLiteral("mnuViewResetCounters"));
  menus_["mnuViewResetCounters"] = reset;
  connect(reset, &QAction::triggered, this, &MainWindow::mnuViewResetCounters_Click);

  QMenu* image = topMenu("mnuImage", tr("&Image"));
  forward(AddMenu(image, "mnuImageNew", tr("Load Image from &File")), &MdiChild::mnuImageNew);
  forward(AddMenu(image, "mnuImageRead", tr("&Read Image from Target")), &MdiChild::mnuImageRead);
  connect(AddMenu(image, "mnuImageDelete", tr("&Delete Image")), &QAction::triggered, this,
          &MainWindow::mnuImageDelete_Click);
  connect(AddMenu(image, "mnuImageUpload", tr("&Save Image to File")), &QAction::triggered, this,
          &MainWindow::mnuImageUpload_Click);
  connect(AddMenu(image, "mnuImageSerialization", tr("&View Serialization")), &QAction::triggered, this,
          &MainWindow::mnuImageSerialization_Click);

  QMenu* program = topMenu("mnuProgram", tr("&Program"));
  forward(AddMenu(program, "mnuProgramStart", tr("&Program")), &MdiChild::mnuProgramStart);
  forward(AddMenu(program, "mnuProgramVerify", tr("&Verify")), &MdiChild::mnuProgramVerify);
  forward(AddMenu(program, "mnuProgramCancel", tr("&Cancel")), &MdiChild::mnuProgramCancel);

  QMenu* config = topMenu("mnuConfig", tr("&Configure"));
  forward(AddMenu(config, "mnuConfigSetDefaults", tr("&Set Defaults")), &MdiChild::mnuConfigSetDefaults);
  forward(AddMenu(config, "mnuConfigViewDefaults", tr("&View Defaults")), &MdiChild::mnuConfigViewDefaults);
  QMenu* setAte = config->addMenu(tr("Set &ATE Options"));
  menus_["mnuConfigSetATEopts"] = setAte->menuAction();
  QMenu* viewAte = config->addMenu(tr("View AT&E Options"));
  menus_["mnuConfigViewATEopts"] = viewAte->menuAction();
  for (int n = 0; n < 4; ++n) {
    const QString caption = tr("Option &%1").arg(n);
    const std::string setName = "mnuConfigSetATEOption" + std::to_string(n);
    const std::string viewName = "mnuConfigViewATEOPT" + std::to_string(n);
    QAction* set = AddMenu(setAte, setName.c_str(), caption);
    QAction* show = AddMenu(viewAte, viewName.c_str(), caption);
    connect(set, &QAction::triggered, this, [this, n] {
      if (MdiChild* c = ActiveChild(); c && LineFree()) c->mnuConfigSetATEOption(n);
    });
    connect(show, &QAction::triggered, this, [this, n] {
      if (MdiChild* c = ActiveChild(); c && LineFree()) c->mnuConfigViewATEOption(n);
    });
  }
  forward(AddMenu(config, "mnuConfigSetAddress", tr("Set Programmer Add&ress")), &MdiChild::mnuConfigSetAddress);
  connect(AddMenu(config, "mnuConfigResetSecurity", tr("Reset Security &Block")), &QAction::triggered, this,
          &MainWindow::mnuConfigResetSecurity_Click);
  config->addSeparator();
  connect(AddMenu(config, "mnuUpgradeFirmware", tr("Upgrade &Firmware")), &QAction::triggered, this,
          &MainWindow::mnuUpgradeFirmware_Click);
  connect(AddMenu(config, "mnuSelectFirmware", tr("Se&lect Firmware")), &QAction::triggered, this,
          &MainWindow::mnuSelectFirmware_Click);

  QMenu* dde = topMenu("mnuDDE", tr("&DDE"));
  QAction* ddeEnable = AddMenu(dde, "mnuDDEenable", tr("&Enable"));
  ddeEnable->setCheckable(true);
  connect(ddeEnable, &QAction::triggered, this, &MainWindow::mnuDDEenable_Click);

  QMenu* window = topMenu("mnuWindow", tr("&Window"));
  connect(AddMenu(window, "mnuWindowCascade", tr("&Cascade")), &QAction::triggered, mdi_,
          &QMdiArea::cascadeSubWindows);
  connect(AddMenu(window, "mnuWindowTileHorizontal", tr("Tile &Horizontal")), &QAction::triggered, mdi_,
          &QMdiArea::tileSubWindows);
  connect(AddMenu(window, "mnuWindowTileVertical", tr("Tile &Vertical")), &QAction::triggered, this, [this] {
    const auto windows = mdi_->subWindowList();
    if (windows.isEmpty()) return;
    const int width = mdi_->viewport()->width() / windows.size();
    for (int i = 0; i < windows.size(); ++i) {
      windows[i]->setGeometry(i * width, 0, width, mdi_->viewport()->height());
    }
  });
  window->addSeparator();
  openWindows_ = new QActionGroup(window);
  connect(window, &QMenu::aboutToShow, this, &MainWindow::ListOpenWindows);

  QMenu* help = topMenu("mnuHelp", tr("&Help"));
  connect(AddMenu(help, "mnuHelpManual", tr("&VRX Manual")), &QAction::triggered, this,
          [this] { OpenHelp("\\VRXManual.pdf"); });
  connect(AddMenu(help, "mnuHelpVRXArray", tr("VRX A&rray Interface Board")), &QAction::triggered, this,
          [this] { OpenHelp("\\VRX_AIB.pdf"); });
  connect(AddMenu(help, "mnuHelpDDE", tr("&DDE Automation Interface")), &QAction::triggered, this,
          [this] { OpenHelp("\\VRX_DDE.pdf"); });
  connect(AddMenu(help, "mnuHelpAbout", tr("&About ")), &QAction::triggered, this, &MainWindow::mnuHelpAbout_Click);

  const struct { const char* name; QKeySequence keys; } shortcuts[] = {
      {"mnuViewProgScan", QKeySequence(Qt::Key_F5)},         {"mnuHelpManual", QKeySequence(Qt::Key_F1)},
      {"mnuFileExit", QKeySequence(Qt::CTRL | Qt::Key_Q)},   {"mnuImageNew", QKeySequence(Qt::CTRL | Qt::Key_L)},
      {"mnuProgramStart", QKeySequence(Qt::CTRL | Qt::Key_P)}, {"mnuProgramCancel", QKeySequence(Qt::Key_Escape)},
  };
  for (const auto& shortcut : shortcuts) Menu(shortcut.name)->setShortcut(shortcut.keys);
  // F5 while the scan entry is disabled still answers: the key moves to an
  // entry of its own, so that only one entry holds it at a time.
  rescanKey_ = new QAction(this);
  rescanKey_->setObjectName(QStringLiteral("RescanKey"));
  addAction(rescanKey_);
  connect(rescanKey_, &QAction::triggered, this, &MainWindow::RescanKey_Triggered);
  QAction* scan = Menu("mnuViewProgScan");
  const auto placeKey = [this, scan] {
    const QKeySequence key(Qt::Key_F5), none;
    const bool onEntry = scan->isEnabled();
    if (scan->shortcut() != (onEntry ? key : none)) scan->setShortcut(onEntry ? key : none);
    if (rescanKey_->shortcut() != (onEntry ? none : key)) rescanKey_->setShortcut(onEntry ? none : key);
  };
  connect(scan, &QAction::changed, this, placeKey);
  placeKey();

  // The pop-up menu of the image grid, never in the menu bar.
  auto* popup = new QMenu(tr("Image Action"), this);
  popup->setObjectName(QStringLiteral("mnuImageAction"));
  menus_["mnuImageAction"] = popup->menuAction();
  struct Entry { const char* name; const char* caption; const char* same; };
  const Entry entries[] = {
      {"mnuImageActionLoad", "&Load Image from File", "mnuImageNew"},
      {"mnuImageActionProject", "Load &Project", "mnuFileProject"},
      {"mnuImageActionProgram", "Pro&gram Devices with Image", "mnuViewProgMan"},
      {"mnuImageActionRead", "&Read Image from Target", "mnuImageRead"},
      {"mnuIMageActionSave", "&Save Image to File", "mnuImageUpload"},
      {"mnuImageActionDelete", "&Delete Image from Programmer", "mnuImageDelete"},
      {"mnuImageActionSerial", "&View Serialization", "mnuImageSerialization"},
  };
  for (const Entry& e : entries) {
    QAction* action = AddMenu(popup, e.name, tr(e.caption));
    QAction* same = Menu(e.same);
    connect(action, &QAction::triggered, same, &QAction::trigger);
  }
}

void MainWindow::BuildToolbar() {
  tbToolBar_ = addToolBar(tr("Toolbar"));
  tbToolBar_->setObjectName(QStringLiteral("tbToolBar"));
  tbToolBar_->setMovable(false);
  struct Entry { const char* key; const char* tip; const char* same; };
  const Entry entries[] = {
      {"Open", "Open", "mnuFileOpen"},          {"Project", "Open Project", "mnuFileProject"},
      {"Load", "Load Image from File", "mnuImageNew"}, {"Cut", "Cut", "mnuEditCut"},
      {"Copy", "Copy", "mnuEditCopy"},          {"Paste", "Paste", "mnuEditPaste"},
      {"Program", "Programming Manager", "mnuViewProgMan"}, {"ImageMan", "Image Manager", "mnuViewImageMan"},
      {"Delete", "Delete Image", "mnuImageDelete"}, {"ProgScan", "Scan for Programmers", "mnuViewProgScan"},
      {"ArrayMan", "Array Programming", "mnuViewMultiMan"},
  };
  for (const Entry& e : entries) {
    const QIcon icon(QString::fromStdString(ProgramFile(std::string("\\tb_") + e.key + ".png")));
    QAction* button = tbToolBar_->addAction(icon, tr(e.tip));
    button->setObjectName(QStringLiteral("Button") + QString::fromLatin1(e.key));
    buttons_[e.key] = button;
    if (!LeavesTheLineAlone(e.key)) lineEntries_->addAction(button);
    QAction* same = Menu(e.same);
    connect(button, &QAction::triggered, same, &QAction::trigger);
    if (std::string(e.key) == "Paste" || std::string(e.key) == "Delete") tbToolBar_->addSeparator();
  }
  // The lists get a row of their own, so a narrow window never hides them
  // behind the toolbar's overflow.
  addToolBarBreak();
  tbLists_ = addToolBar(tr("Programmer and Port"));
  tbLists_->setObjectName(QStringLiteral("tbLists"));
  tbLists_->setMovable(false);
  // One holder for both lists, locked while an operation runs; the windows
  // enable and disable the lists themselves independently of it.
  lists_ = new QWidget(tbLists_);
  auto* lists = new QHBoxLayout(lists_);
  lists->setContentsMargins(0, 0, 0, 0);
  lists->addWidget(new QLabel(tr(" Programmer: "), lists_));
  lstAllProgs_ = new QComboBox(lists_);
  lstAllProgs_->setObjectName(QStringLiteral("lstAllProgs"));
  lstAllProgs_->setMinimumContentsLength(14);
  lists->addWidget(lstAllProgs_);
  connect(lstAllProgs_, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
    if (index + 1 != SelectedProgrammer && LineFree()) SelectProgrammer();
  });
  lists->addWidget(new QLabel(tr("  Port: "), lists_));
  lstComm_ = new QComboBox(lists_);
  lstComm_->setObjectName(QStringLiteral("lstComm"));
  lstComm_->setMinimumContentsLength(7);
  lists->addWidget(lstComm_);
  portDescription_ = new QLabel(lists_);
  portDescription_->setObjectName(QStringLiteral("PortDescription"));
  lists->addWidget(portDescription_);
  tbLists_->addWidget(lists_);
  connect(lstComm_, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
    if (index < 0) return;
    const int port = lstComm_->itemData(index).toInt();
    MSComm1->SetCommPort(port);
    portPath_->setText(QStringLiteral("COM%1: %2").arg(port).arg(QString::fromStdString(ports_.DevicePath(port))));
    portDescription_->setText(lstComm_->itemData(index, Qt::ToolTipRole).toString());
  });
}

void MainWindow::BuildStatusBar() {
  for (const char* key : {"Status", "ExtStatus1", "ExtStatus2"}) {
    auto* panel = new QLabel(statusBar());
    panel->setObjectName(QString::fromLatin1(key));
    panel->setMinimumWidth(160);
    statusBar()->addWidget(panel, 1);
    panels_[key] = panel;
  }
  pbProgress_ = new QProgressBar(statusBar());
  pbProgress_->setObjectName(QStringLiteral("pbProgress"));
  pbProgress_->setRange(0, 100);
  pbProgress_->setMaximumWidth(200);
  pbProgress_->hide();
  statusBar()->addPermanentWidget(pbProgress_);
  portPath_ = new QLabel(statusBar());
  portPath_->setObjectName(QStringLiteral("PortPath"));
  statusBar()->addPermanentWidget(portPath_);
  lineState_ = new QLabel(statusBar());
  lineState_->setObjectName(QStringLiteral("LineState"));
  lineState_->setStyleSheet(QStringLiteral("QLabel { color: #b00020; font-weight: bold; }"));
  lineState_->hide();
  statusBar()->addPermanentWidget(lineState_);
}

void MainWindow::Form_Load() {
  if (!LoadRevisionTables()) ShowErrorReport();
  ListSerialPorts();

  ClearProgrammerList();
  EnableMenus({"mnuImage", "mnuImageDelete", "mnuImageNew", "mnuImageRead", "mnuImageUpload", "mnuFileOpen",
               "mnuFileProject", "mnuFileClose", "mnuConfig", "mnuConfigSetAddress", "mnuConfigSetDefaults",
               "mnuConfigViewDefaults", "mnuUpgradeFirmware", "mnuProgram", "mnuProgramCancel", "mnuProgramStart",
               "mnuProgramVerify", "mnuViewProgMan", "mnuViewMultiMan"},
              false);
  EnableButtons({"Delete", "Open", "Project", "Program", "ArrayMan"}, false);
  Menu("mnuConfigSetATEopts")->setVisible(false);
  Menu("mnuConfigViewATEopts")->setVisible(false);

  RestorePlacement();

  std::string reason;
  Menu("mnuSelectFirmware")->setVisible(CheckInputFile(ProgramFile("\\zul_eng.v"), reason) == 0);

  verdictTiles_ = Settings->GetSetting("Settings", "VerdictTiles", "True") != "False";
  Menu("mnuViewVerdictTiles")->setChecked(verdictTiles_);
  TellChildrenSessionChanged();

  SwitchAutomation(false, false);
  if (Settings->GetSetting("Settings", "DDE Enable", "False") == "True") {
    mnuDDEenable_Click();
  } else if (automationForced_) {
    SwitchAutomation(true, false);   // for this run only
  }
}

void MainWindow::ListSerialPorts() {
  const int saved = SettingNumber("CommPort", 1);
  lstComm_->blockSignals(true);
  lstComm_->clear();
  int remembered = -1;
  for (int port = 1; port <= PortMap::MaxPort; ++port) {
    MSComm1->SetCommPort(port);
    int32_t number = 0;
    std::string text;
    MSComm1->Open(number, text);
    if (MSComm1->IsOpen()) {
      lstComm_->addItem(QStringLiteral("COM%1").arg(port), port);
      lstComm_->setItemData(lstComm_->count() - 1, PortText(ports_.DevicePath(port)), Qt::ToolTipRole);
      if (port == saved) remembered = lstComm_->count() - 1;
    }
    MSComm1->Close();
  }
  lstComm_->setCurrentIndex(-1);
  lstComm_->blockSignals(false);
  MSComm1->SetCommPort(saved);
  if (remembered >= 0) lstComm_->setCurrentIndex(remembered);
}

void MainWindow::RestorePlacement() {
  QRect placement;
  if (Settings->GetSetting("Settings", "MainWidth", "").empty()) {
    // First start: the stored default would hide the lists on today's screens.
    const QScreen* screen = QGuiApplication::primaryScreen();
    // Room for a child window beside the lists: all of a small screen, less the window's frame.
    const QRect room = screen ? QRect(screen->availableGeometry().topLeft(), ScreenRoom(this)) : QRect();
    placement = FirstStartPlacement(room, minimumSizeHint().expandedTo(QSize(900, 620)));
  } else {
    const int left = SettingNumber("MainLeft", 1000), top = SettingNumber("MainTop", 1000);
    const int width = SettingNumber("MainWidth", 8550), height = SettingNumber("MainHeight", 6500);
    placement = QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
    // Saved on a larger screen or at another scale factor: keep it reachable.
    const QScreen* screen = QGuiApplication::screenAt(placement.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) placement = FitToScreen(placement, screen->availableGeometry());
  }
  move(placement.topLeft());
  resize(placement.size());
  normalGeometry_ = QRect(pos(), size());
}

void MainWindow::ListOpenWindows() {
  for (QAction* entry : openWindows_->actions()) delete entry;
  const auto windows = mdi_->subWindowList();
  QMenu* menu = qobject_cast<QMenu*>(openWindows_->parent());
  for (int i = 0; i < windows.size(); ++i) {
    QMdiSubWindow* window = windows[i];
    const QString caption = i < 9 ? QStringLiteral("&%1 %2").arg(i + 1).arg(window->windowTitle())
                                  : window->windowTitle();
    QAction* entry = menu->addAction(caption);
    entry->setCheckable(true);
    entry->setChecked(window == mdi_->activeSubWindow());
    openWindows_->addAction(entry);
    connect(entry, &QAction::triggered, this, [this, target = QPointer<QMdiSubWindow>(window)] {
      if (target) mdi_->setActiveSubWindow(target);
    });
  }
}

void MainWindow::UpdateEmptyHint() {
  if (!lstAllProgs_) return;
  const bool empty = lstAllProgs_->count() == 0 && mdi_->subWindowList().isEmpty();
  emptyHint_->setGeometry(mdi_->viewport()->rect().adjusted(24, 24, -24, -24));
  emptyHint_->setVisible(empty);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mdi_->viewport()) {
    if (event->type() == QEvent::Resize) UpdateEmptyHint();
    // A closing window is still listed while it goes.
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved) {
      QTimer::singleShot(0, this, &MainWindow::UpdateEmptyHint);
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::SavePlacement() {
  Settings->SaveSetting("Settings", "MainLeft", std::to_string(PixelsToTwips(normalGeometry_.x())));
  Settings->SaveSetting("Settings", "MainTop", std::to_string(PixelsToTwips(normalGeometry_.y())));
  Settings->SaveSetting("Settings", "MainWidth", std::to_string(PixelsToTwips(normalGeometry_.width())));
  Settings->SaveSetting("Settings", "MainHeight", std::to_string(PixelsToTwips(normalGeometry_.height())));
}

void MainWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange && !isMinimized() && !isMaximized()) {
    normalGeometry_ = QRect(pos(), size());
  }
  QMainWindow::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (LineBusy()) {   // a run stops at its next wait; the window goes once the line is free
    event->ignore();
    if (closeWhenIdle_ ||
        MessageBox->MsgBox("An operation is in progress on the programmer line.\r\nStop it and close Kestrin?",
                           vbYesNo + vbQuestion + vbDefaultButton2, "Kestrin") != vbYes) {
      return;
    }
    CancelRequest = true;
    closeWhenIdle_ = true;
    return;
  }
  if (lstComm_->currentIndex() >= 0) {
    Settings->SaveSetting("Settings", "CommPort", std::to_string(lstComm_->currentData().toInt()));
  }
  if (!isMinimized()) {
    if (!isMaximized()) normalGeometry_ = QRect(pos(), size());
    SavePlacement();
  }
  mdi_->closeAllSubWindows();
  MSComm1->Close();
  event->accept();
}

// ---- MainWindowView ----

void MainWindow::SetEnabled(bool enabled) { setEnabled(enabled); }

void MainWindow::SetProgressVisible(bool visible) { pbProgress_->setVisible(visible); }

void MainWindow::SetProgressValue(int percent) { pbProgress_->setValue(std::clamp(percent, 0, 100)); }

void MainWindow::SetStatusPanel(const std::string& key, const std::string& text) {
  if (auto it = panels_.find(key); it != panels_.end()) it->second->setText(FromAnsi(text));
}

QString MainWindow::StatusPanelText(const std::string& key) const {
  auto it = panels_.find(key);
  return it == panels_.end() ? QString() : it->second->text();
}

void MainWindow::ClearProgrammerList() {
  lstAllProgs_->clear();
  UpdateEmptyHint();
}

void MainWindow::AddProgrammerItem(const std::string& key, const std::string& text, const std::string& image) {
  const QIcon icon(QString::fromStdString(ProgramFile("\\programmer.png")));
  lstAllProgs_->addItem(icon, FromAnsi(text), FromAnsi(key));
  UpdateEmptyHint();
}

void MainWindow::SelectProgrammerItem(int index) { lstAllProgs_->setCurrentIndex(index - 1); }

int MainWindow::SelectedProgrammerItem() { return lstAllProgs_->currentIndex() + 1; }

void MainWindow::SetPortListEnabled(bool enabled) { lstComm_->setEnabled(enabled); }

int MainWindow::SelectedCommPort() {
  return lstComm_->currentIndex() >= 0 ? lstComm_->currentData().toInt() : MSComm1->CommPort();
}

bool MainWindow::SelectCommPortEntry(int port) {
  const int at = lstComm_->findData(port);
  if (at < 0) return false;
  lstComm_->setCurrentIndex(at);
  return true;
}

void MainWindow::SetArrayProgrammingEnabled(bool enabled) {
  EnableMenus({"mnuViewMultiMan"}, enabled);
  EnableButtons({"ArrayMan"}, enabled);
}

// A selected programmer can have its firmware and tables upgraded.
void MainWindow::SetConfigMenuEnabled(bool enabled) { EnableMenus({"mnuConfig", "mnuUpgradeFirmware"}, enabled); }

void MainWindow::CloseImageManager() {
  // Its deletion waits for the event loop: a scan that shows it again right
  // after must make a new one, not find the one going away.
  if (imageManager_ && imageManager_->parentWidget()->close()) imageManager_ = nullptr;
}

void MainWindow::ShowImageManager() {
  if (!imageManager_) {
    imageManager_ = new ImageManagerWindow(*this);
    QMdiSubWindow* window = AddChild(imageManager_);
    window->show();
    imageManager_->ShowLineState(LineLostText);
    imageManager_->Form_Load();
    PlaceChild(mdi_, imageManager_);
  }
  mdi_->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(imageManager_->parentWidget()));
}

void MainWindow::ShowLineState(const std::string& lostText) {
  lineState_->setText(FromAnsi(lostText));
  lineState_->setVisible(!lostText.empty());
  if (imageManager_) imageManager_->ShowLineState(lostText);
}

QMdiSubWindow* MainWindow::AddChild(MdiChild* child) {
  child->setAttribute(Qt::WA_DeleteOnClose);
  auto* window = new ChildFrame;
  window->setWidget(child);
  window->setAttribute(Qt::WA_DeleteOnClose);
  mdi_->addSubWindow(window);
  return window;
}

void MainWindow::ActivateChild(QPointer<MdiChild> child) {
  if (!child || child != activeChild_) return;
  if (LineBusy()) {
    QTimer::singleShot(50, this, [this, child] { ActivateChild(child); });
    return;
  }
  const LineOperation operation;
  child->Form_Activate();
}

void MainWindow::ChildClosed(MdiChild* child) {
  if (child == activeChild_) activeChild_ = nullptr;
}

// ---- MainFrame ----

void MainWindow::SetMenuVisible(const char* name, bool visible) {
  if (QAction* a = Menu(name)) a->setVisible(visible);
}

void MainWindow::PopupImageMenu(const QPoint& globalPosition) {
  if (QAction* popup = Menu("mnuImageAction")) popup->menu()->popup(globalPosition);
}

int MainWindow::ProgrammerListCount() const { return lstAllProgs_->count(); }

void MainWindow::SetProgrammerListEnabled(bool enabled) { lstAllProgs_->setEnabled(enabled); }

void MainWindow::RunLoadImageDialog(QWidget* parent) {
  LoadImageDialog dialog(*this, parent);
  dialog.Form_Load();
  dialog.exec();
}

void MainWindow::RunReadImageDialog(QWidget* parent) {
  ReadImageDialog dialog(parent);
  dialog.Form_Load();
  dialog.exec();
}

void MainWindow::RunProgrammingOptions(QWidget* parent, const ProgrammingOptionsSetup& setup) {
  AvrOptionsWindow window(setup, parent);
  window.Form_Load();
  window.exec();
}

void MainWindow::RunSerialization(QWidget* parent, const std::string& family, int32_t eeSize) {
  SerializeDialog dialog(ProgType, family, eeSize, parent);
  dialog.Form_Load();
  dialog.exec();
}

bool MainWindow::RunOptionBits(QWidget* parent) {
  std::unique_ptr<OptionBitsWindow> window;
  switch (OptionBitsKindFor(ProgType, FamilyList[std::max(CurFamily, 0)])) {
    case OptionBitsKind::Z8Encore:
      window = std::make_unique<Z8eOptionsWindow>(Z8Variant(DeviceTable[std::max(CurDevice, 0)].DevFlags), parent);
      break;
    case OptionBitsKind::Zneo: window = std::make_unique<ZneoOptionsWindow>(parent); break;
    case OptionBitsKind::Zlf: window = std::make_unique<ZlfOptionsWindow>(parent); break;
    case OptionBitsKind::None: return false;
  }
  window->Form_Load();
  window->Form_Activate();
  return window->exec() == QDialog::Accepted;
}

void MainWindow::RunSetAddressDialog(QWidget* parent) {
  bool moved = false;
  {
    SetAddressDialog dialog(parent);
    dialog.Form_Activate();
    dialog.exec();
    moved = dialog.Moved();
  }
  // The dialog is gone before the scan closes the window it was opened over.
  if (moved) AcquireProgrammers();
}

void MainWindow::SelectImageRow(int row) {
  if (!imageManager_ || row < 1 || row >= fgImages.Rows) return;
  imageManager_->Grid()->selectRow(row - 1);
  imageManager_->fgImages_Click(row);
}

void MainWindow::LockOtherChildren(MdiChild* except, bool locked) {
  for (QMdiSubWindow* window : mdi_->subWindowList()) {
    if (window->widget() != except) window->widget()->setEnabled(!locked);
  }
}

// ---- Menu handlers ----

void MainWindow::mnuViewProgScan_Click() {
  if (LineFree()) ScanProgrammers();
}

void MainWindow::RescanKey_Triggered() {
  if (LineBusy()) {
    QApplication::beep();
    SetStatusPanel("Status", "Scan for Programmers: wait until the operation under way has ended");
    return;
  }
  if (!programManager_) {
    QApplication::beep();
    SetStatusPanel("Status", "Scan for Programmers is not available now");
    return;
  }
  // The programming manager stays open on the programmer it had, found again.
  const int address =
      SelectedProgrammer >= 1 && SelectedProgrammer <= ProgCount ? ProgrammerTable[SelectedProgrammer].Address : 0;
  bool found = false;
  {
    const LineOperation operation;
    found = RescanProgrammers(address);
  }
  if (!found) ShowErrorReport();
  if (programManager_) mdi_->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(programManager_->parentWidget()));
}

void MainWindow::mnuViewImageMan_Click() {
  if (!LineFree()) return;
  const LineOperation operation;   // opening it selects the programmer
  ClearError();
  ShowImageManager();
  if (LastErrorNumber != 0 && !imageManager_) ShowErrorReport();
}

void MainWindow::mnuViewProgMan_Click() {
  if (!LineFree()) return;
  if (!programManager_) {
    programManager_ = new ProgramManagerWindow(*this);
    AddChild(programManager_)->show();
    programManager_->Form_Load();
    PlaceChild(mdi_, programManager_);
  }
  mdi_->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(programManager_->parentWidget()));
}

void MainWindow::mnuViewMultiMan_Click() {
  if (!LineFree()) return;
  if (!arrayProgram_) {
    arrayProgram_ = new ArrayProgramWindow(*this);
    AddChild(arrayProgram_)->show();
    arrayProgram_->Form_Load();
    PlaceChild(mdi_, arrayProgram_);
  }
  mdi_->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(arrayProgram_->parentWidget()));
}

// Only reads the log's files: open while the line is busy as well.
void MainWindow::mnuViewRunLog_Click() {
  if (!runLog_) {
    runLog_ = new RunLogWindow(*this);
    AddChild(runLog_)->show();
    PlaceChild(mdi_, runLog_);
  } else {
    runLog_->btRefresh_Click();
  }
  mdi_->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(runLog_->parentWidget()));
}

void MainWindow::mnuImageDelete_Click() {
  // Taken before the question, so that nothing changes the slot while it is asked.
  if (!LineFree()) return;
  const LineOperation operation;
  const int n = fgImages.Row;
  if (n < 1 || n >= fgImages.Rows || !SlotHoldsImage(n)) return;   // an empty slot has nothing to delete
  const std::string question = DeleteImageQuestion(n, fgImages.TextMatrix(n, ColName));
  if (MessageBox->MsgBox(question, vbYesNo + vbDefaultButton2, "Delete Stored Image") != vbYes) return;
  SetEnabled(false);
  if (!DeleteImage(n)) ShowErrorReport();
  ShowImageDirectory();
  SetEnabled(true);
}

void MainWindow::mnuConfigResetSecurity_Click() {
  if (!LineFree() || SelectedProgrammer < 1) return;
  const LineOperation operation;
  if (MessageBox->MsgBox(ResetSecurityQuestion(), vbYesNo + vbQuestion, ResetSecurityTitle) != vbYes) return;
  SetEnabled(false);
  if (!ResetSecurityBlock()) ShowErrorReport();
  ShowImageDirectory();
  SetEnabled(true);
}

void MainWindow::mnuImageUpload_Click() {
  if (!LineFree()) return;
  const LineOperation operation;
  SetEnabled(false);
  // An empty slot is refused by the save itself, whatever protection it kept.
  if (SlotHoldsImage(ImageNumber) && SlotReadProtected(ImageNumber)) {
    MessageBox->MsgBox(ReadProtectedMessage, vbOKOnly, "Save Image to File");
  } else if (!SaveImageToFile("")) {
    ShowErrorReport();
  }
  SetEnabled(true);
}

void MainWindow::mnuImageSerialization_Click() {
  if (!LineFree()) return;
  const int n = ImageNumber;
  if (n < 1 || n >= fgImages.Rows || !SlotHoldsImage(n)) return;
  SetEnabled(false);
  const bool read = ReadImageSerialization(n);
  SetEnabled(true);
  if (!read) {
    ShowErrorReport();
    return;
  }
  SerialEditable = false;
  RunSerialization(this, fgImages.TextMatrix(n, ColFamily), 0);
}

void MainWindow::mnuSelectFirmware_Click() {
  if (!LineFree()) return;
  FactoryWindow factory(this);
  if (!factory.Form_Load()) ShowErrorReport();
  const bool chosen = factory.exec() == QDialog::Accepted;
  if (!chosen || FirmwareFileName.empty()) return;   // cancelled: nothing to do
  UpgradeAndReport();
}

void MainWindow::mnuUpgradeFirmware_Click() {
  if (!LineFree()) return;
  const LineOperation operation;   // nothing changes the programmer while it is asked
  std::string question;
  if (!UpgradeQuestion(question)) {
    ShowErrorReport();
    return;
  }
  if (MessageBox->MsgBox(question, vbYesNo + vbQuestion + vbDefaultButton2, "Upgrade Firmware") != vbYes) return;
  UpgradeAndReport();
}

void MainWindow::UpgradeAndReport() {
  const int address =
      SelectedProgrammer >= 1 && SelectedProgrammer <= ProgCount ? ProgrammerTable[SelectedProgrammer].Address : 0;
  if (!UpgradeAndRescan(UpgradeJob::Programmer, RescanScope::Line)) {
    ShowErrorReport();
    return;
  }
  MessageBox->MsgBox(UpgradeFinishedMessage(address), vbInformation, "Upgrade Firmware");
}

void MainWindow::mnuDDEenable_Click() {
  if (LineFree()) SwitchAutomation(!ddeLink_, true);   // never under a command that is running
}

void MainWindow::SetAutomation(const QString& name, bool enableForThisRun) {
  automationName_ = name;
  automationForced_ = enableForThisRun;
}

void MainWindow::SwitchAutomation(bool on, bool remember) {
  ddeServer_.reset();
  ddeLink_.reset();
  if (on) {
    ddeLink_ = std::make_unique<DdeLink>();
    ddeServer_ = std::make_unique<DdeServer>(*ddeLink_, automationName_);
    if (!ddeServer_->Listening()) {
      const std::string message = "The automation interface \"" + automationName_.toStdString() +
                                  "\" could not be opened: " + ddeServer_->ErrorText().toStdString();
      // A headless station has no one to read the box: say it where logs and the status bar show it.
      std::fprintf(stderr, "kestrin: %s\n", message.c_str());
      SetStatusPanel("Status", message);
      MessageBox->MsgBox(message, vbExclamation, "DDE Enable");
    }
  }
  if (remember) Settings->SaveSetting("Settings", "DDE Enable", on ? "True" : "False");
  Menu("mnuDDEenable")->setChecked(on);
}

void MainWindow::mnuViewVerdictTiles_Click() {
  verdictTiles_ = !verdictTiles_;
  Settings->SaveSetting("Settings", "VerdictTiles", verdictTiles_ ? "True" : "False");
  Menu("mnuViewVerdictTiles")->setChecked(verdictTiles_);
  TellChildrenSessionChanged();
}

void MainWindow::mnuViewResetCounters_Click() {
  const PassFail session = tally_.Session();
  const std::string question = "Reset the pass and fail counts of this session (" + std::to_string(tally_.Runs()) +
                               " runs: " + std::to_string(session.passes) + " passed, " +
                               std::to_string(session.fails) + " failed) and number runs from 1 again?";
  if (MessageBox->MsgBox(question, vbYesNo + vbQuestion + vbDefaultButton2, "Reset Counters") != vbYes) return;
  tally_.Reset();
  TellChildrenSessionChanged();
}

void MainWindow::TellChildrenSessionChanged() {
  for (QMdiSubWindow* window : mdi_->subWindowList()) {
    if (auto* child = qobject_cast<MdiChild*>(window->widget())) child->SessionChanged();
  }
}

void MainWindow::mnuHelpAbout_Click() {
  AboutBox about(this);
  about.exec();
}

void MainWindow::OpenHelp(const char* document) { OpenHelpDocument(ProgramFile(document)); }
