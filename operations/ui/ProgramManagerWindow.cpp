#include "operations/ui/ProgramManagerWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/Configure.h"
#include "operations/ImageDirectory.h"
#include "operations/PortStatus.h"
#include "operations/ProgramRun.h"
#include "operations/RunState.h"
#include "operations/Serialize.h"
#include "options/SerialState.h"
#include "options/Serialization.h"
#include "platform/AnsiText.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/SettingsStore.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/LineGuard.h"
#include "state/SlotContents.h"
#include "ui/MainFrame.h"
#include "ui/StatusLabel.h"
#include "ui/VerdictTile.h"
#include "ui/WindowPlacement.h"

namespace {
constexpr int AteOptionsAddress = 0xE8;
const char* const StopRunQuestion =
    "A programming run is in progress.\r\nStop the run and close the Programming Manager?";

void SetFrameCaption(QGroupBox* frame, const QString& caption, const QColor& colour) {
  frame->setTitle(caption);
  frame->setStyleSheet(QStringLiteral("QGroupBox { color: %1; }").arg(colour.name()));
}
}  // namespace

ProgramManagerWindow::ProgramManagerWindow(MainFrame& main) : main_(main) {
  setObjectName(QStringLiteral("frmProgram"));
  setWindowTitle(tr("Programming Manager"));
  // The rows scroll above the buttons, which stay in reach on a small screen.
  const ScrollingDialog frame(this);
  QBoxLayout* layout = frame.layout;
  // The run's verdict tile stands to the right of the image and port rows,
  // under them where the window is too narrow.
  auto* upper = new QHBoxLayout;
  StackWhenNarrow(frame.Viewport(), upper);
  auto* specified = new QVBoxLayout;
  upper->addLayout(specified, 1);
  layout->addLayout(upper);

  auto* top = new QHBoxLayout;
  auto* frmImage = new QGroupBox(tr("Image"), this);
  frmImage->setObjectName(QStringLiteral("frmImage"));
  auto* imageLayout = new QVBoxLayout(frmImage);
  lstImage_ = new QComboBox(frmImage);
  lstImage_->setObjectName(QStringLiteral("lstImage"));
  imageLayout->addWidget(lstImage_);
  top->addWidget(frmImage);

  auto* frmActivity = new QGroupBox(tr("Image Information"), this);
  frmActivity->setObjectName(QStringLiteral("frmActivity"));
  auto* info = new QGridLayout(frmActivity);
  const char* names[] = {"Image Name", "Device Type", "Voltage", "Programming Mode"};
  for (int i = 0; i < 4; ++i) {
    lbl1_[i] = new QLabel(tr(names[i]), frmActivity);
    lbl1_[i]->setObjectName(QStringLiteral("lbl1_%1").arg(i));
    lblVal_[i] = new QLabel(frmActivity);
    lblVal_[i]->setObjectName(QStringLiteral("lblVal_%1").arg(i));
    info->addWidget(lbl1_[i], i, 0);
    info->addWidget(lblVal_[i], i, 1);
  }
  top->addWidget(frmActivity, 1);
  specified->addLayout(top);

  auto* portRow = new QHBoxLayout;
  auto* frmPorts = new QGroupBox(tr("Ports"), this);
  frmPorts->setObjectName(QStringLiteral("frmPorts"));
  auto* checks = new QVBoxLayout(frmPorts);
  frmStatus_ = new QGroupBox(tr("Port Status"), this);
  frmStatus_->setObjectName(QStringLiteral("frmStatus"));
  auto* ports = new QGridLayout(frmStatus_);
  for (int i = 0; i < 4; ++i) {
    ChkPortEnbl_[i] = new QCheckBox(tr("Port %1").arg(i + 1), frmPorts);
    ChkPortEnbl_[i]->setObjectName(QStringLiteral("ChkPortEnbl_%1").arg(i));
    ChkPortEnbl_[i]->setToolTip(tr("Enable/Disable Programmer Port %1").arg(i + 1));
    checks->addWidget(ChkPortEnbl_[i]);
    valPortSts_[i] = new QLabel(frmStatus_);
    valPortSts_[i]->setObjectName(QStringLiteral("valPortSts_%1").arg(i));
    valPortSts_[i]->setToolTip(tr("Port %1 Status").arg(i + 1));
    valPortSts_[i]->setAutoFillBackground(true);
    valPortSts_[i]->setMinimumWidth(180);
    valPortSts_[i]->setFrameShape(QFrame::Panel);
    valPortSts_[i]->setFrameShadow(QFrame::Sunken);
    Serial_[i] = new QLabel(frmStatus_);
    Serial_[i]->setObjectName(QStringLiteral("Serial_%1").arg(i));
    ports->addWidget(valPortSts_[i], i, 0);
    ports->addWidget(Serial_[i], i, 1);
  }
  portRow->addWidget(frmPorts);
  portRow->addWidget(frmStatus_, 1);
  specified->addLayout(portRow);

  runTile_ = new VerdictTile(tr("Overall"), VerdictTile::Shape::Stacked, 3.5, this);
  runTile_->setObjectName(QStringLiteral("RunTile"));
  runTile_->setMinimumWidth(230);
  upper->addWidget(runTile_);
  portTileRow_ = new QWidget(this);
  portTileRow_->setObjectName(QStringLiteral("PortTiles"));
  auto* tiles = new QHBoxLayout(portTileRow_);
  tiles->setContentsMargins(0, 0, 0, 0);
  for (int i = 0; i < 4; ++i) {
    portTiles_[i] = new VerdictTile(tr("Port %1").arg(i + 1), VerdictTile::Shape::Stacked, 3.0, portTileRow_);
    portTiles_[i]->setObjectName(QStringLiteral("PortTile_%1").arg(i));
    tiles->addWidget(portTiles_[i], 1);
  }
  layout->addWidget(portTileRow_);

  auto* options = new QHBoxLayout;
  cbCRCVerify_ = new QCheckBox(tr("CRC Verify Only"), this);
  cbCRCVerify_->setObjectName(QStringLiteral("cbCRCVerify"));
  cbSequential_ = new QCheckBox(tr("Program Multiple Images"), this);
  cbSequential_->setObjectName(QStringLiteral("cbSequential"));
  cbEnableSound_ = new QCheckBox(tr("Enable Sound"), this);
  cbEnableSound_->setObjectName(QStringLiteral("cbEnableSound"));
  cbEnableSound_->setToolTip(tr("Enable audible warning on programming failure"));
  options->addWidget(cbCRCVerify_);
  options->addWidget(cbSequential_);
  options->addWidget(cbEnableSound_);
  options->addStretch(1);
  layout->addLayout(options);

  auto* buttons = new QHBoxLayout;
  btStart_ = new QPushButton(tr("Program"), this);
  btStart_->setObjectName(QStringLiteral("btStart"));
  btStart_->setToolTip(tr("Start a Program/Verify Operation"));
  btVerify_ = new QPushButton(tr("Verify"), this);
  btVerify_->setObjectName(QStringLiteral("btVerify"));
  btVerify_->setToolTip(tr("Start a Verify-Only Operation"));
  btCancel_ = new QPushButton(tr("Cancel"), this);
  btCancel_->setObjectName(QStringLiteral("btCancel"));
  btCancel_->setToolTip(tr("Cancel the Active Operation"));
  btClose_ = new QPushButton(tr("Close"), this);
  btClose_->setObjectName(QStringLiteral("btClose"));
  DummyFocus_ = new QWidget(this);
  DummyFocus_->setObjectName(QStringLiteral("DummyFocus"));
  DummyFocus_->setFocusPolicy(Qt::StrongFocus);
  DummyFocus_->setFixedSize(1, 1);
  buttons->addWidget(DummyFocus_);
  buttons->addStretch(1);
  for (QPushButton* b : {btStart_, btVerify_, btCancel_, btClose_}) buttons->addWidget(b);
  frame.outer->addLayout(buttons);

  connect(btStart_, &QPushButton::clicked, this, &ProgramManagerWindow::btStart_Click);
  connect(btVerify_, &QPushButton::clicked, this, &ProgramManagerWindow::btVerify_Click);
  connect(btCancel_, &QPushButton::clicked, this, &ProgramManagerWindow::btCancel_Click);
  connect(btClose_, &QPushButton::clicked, this, &ProgramManagerWindow::btClose_Click);
  connect(lstImage_, QOverload<int>::of(&QComboBox::activated), this, [this](int) { lstImage_Click(); });

  frmProgram = this;
  SessionChanged();
  // The tiles need more room than the labels alone.
  resize(sizeHint().expandedTo(QSize(560, 380)));
}

ProgramManagerWindow::~ProgramManagerWindow() {
  if (frmProgram == this) frmProgram = nullptr;
}

void ProgramManagerWindow::Form_Load() {
  main_.SetProgrammerListEnabled(false);
  main_.EnableMenus({"mnuViewProgScan", "mnuViewMultiMan"}, false);
  main_.EnableButtons({"Program", "ProgScan", "ArrayMan"}, false);
  const int enables = std::atoi(Settings->GetSetting("Settings", "PortEnables", "15").c_str());
  for (int i = 0; i < 4; ++i) {
    valPortSts_[i]->clear();
    ChkPortEnbl_[i]->setChecked(enables & (1 << i));
  }
  cbCRCVerify_->setChecked(enables & 0x10);
}

void ProgramManagerWindow::Form_Activate() {
  if (running_) return;
  btCancel_->hide();
  btClose_->show();
  std::array<uint8_t, 8> ate{};
  HasAteOptions = false;
  if (ReadFlash(AteOptionsAddress, static_cast<int32_t>(ate.size()), ate.data(), false)) {
    for (uint8_t b : ate) HasAteOptions |= b < 255;
  }
  main_.EnableMenus({"mnuFileClose", "mnuProgram"}, true);
  main_.EnableMenus({"mnuViewProgMan"}, false);

  ShowImages();
  ShowRunTiles();
}

void ProgramManagerWindow::ShowImages() {
  lstImage_->clear();
  for (int slot = 1; slot <= SlotCount(); ++slot) {
    if (slot < static_cast<int>(ImageDirectory.size()) && ImageDirectory[slot].Size > 0) {
      lstImage_->addItem(QString::number(slot), slot);
    }
  }
  lstImage_->setCurrentIndex(lstImage_->findData(ImageNumber));
  for (QLabel* s : Serial_) s->hide();

  ShowImageInformation();
  SetUpRunOptions();
}

void ProgramManagerWindow::DirectoryChanged() {
  if (running_) return;
  ShowImages();
  ShowRunTiles();
}

void ProgramManagerWindow::Form_Deactivate() {
  main_.EnableMenus({"mnuProgram", "mnuConfigSetDefaults", "mnuConfigViewDefaults"}, false);
  main_.SetMenuVisible("mnuConfigSetATEopts", false);
  main_.SetMenuVisible("mnuConfigViewATEopts", false);
}

void ProgramManagerWindow::lstImage_Click() {
  ImageNumber = lstImage_->currentData().toInt();
  for (QLabel* s : Serial_) s->hide();
  ShowImageInformation();
  ImageChoiceChanged();   // every window's verdicts look again, these too
}

void ProgramManagerWindow::SetRunButtonsEnabled(bool enabled) {
  btStart_->setEnabled(enabled);
  btVerify_->setEnabled(enabled);
  main_.EnableMenus({"mnuProgram", "mnuProgramStart", "mnuProgramVerify"}, enabled);
  if (enabled) {
    main_.EnableMenus({"mnuConfigSetDefaults", "mnuConfigViewDefaults", "mnuConfig"}, true);
    main_.EnableMenus({"mnuProgramCancel"}, false);
    main_.SetMenuVisible("mnuConfigSetATEopts", HasAteOptions);
    main_.SetMenuVisible("mnuConfigViewATEopts", HasAteOptions);
  }
}

void ProgramManagerWindow::ShowImageInformation() {
  const bool holdsImage = ImageNumber >= 1 && ImageNumber < static_cast<int>(ImageDirectory.size()) &&
                          ImageNumber < fgImages.Rows && ImageDirectory[ImageNumber].Size > 0;
  const bool showMode = SelectedTypeTraits().managerShowsMode;
  lbl1_[3]->setVisible(showMode);
  lblVal_[3]->setVisible(showMode);
  if (!holdsImage) {
    lblVal_[0]->setText(tr("-- No Image Selected --"));
    for (int i = 1; i < 4; ++i) lblVal_[i]->clear();
    SetRunButtonsEnabled(false);
    return;
  }
  lblVal_[0]->setText(FromAnsi(fgImages.TextMatrix(ImageNumber, ColName)).trimmed());
  lblVal_[1]->setText(FromAnsi(fgImages.TextMatrix(ImageNumber, ColDeviceType)));
  lblVal_[2]->setText(FromAnsi(fgImages.TextMatrix(ImageNumber, ColVoltage)));
  lblVal_[3]->setText(showMode && fgImages.Cols > ColMode ? FromAnsi(fgImages.TextMatrix(ImageNumber, ColMode))
                                                          : QString());
  SetRunButtonsEnabled(true);
}

void ProgramManagerWindow::SetUpRunOptions() {
  const VerifyCheck check = SelectedTypeTraits().verifyCheck;
  if (check == VerifyCheck::Crc) cbCRCVerify_->setText(tr("CRC Verify"));
  if (check == VerifyCheck::Checksum) cbCRCVerify_->setText(tr("Checksum Verify"));
  const bool capSense = ProgType == 1 && lblVal_[3]->text() == QStringLiteral("CapSense");
  cbCRCVerify_->setVisible(check != VerifyCheck::None && !capSense);
  if (ProgType == 2) {
    const double revision = Val(ProgrammerTable[SelectedProgrammer].FwRevision);
    const bool familyTwo = ImageNumber >= 1 && ImageNumber < static_cast<int>(ImageDirectory.size()) &&
                           ImageDirectory[ImageNumber].Family == 2;
    if (revision <= 3.0 || familyTwo) {
      cbSequential_->setChecked(false);
      cbSequential_->setVisible(false);
    } else {
      cbSequential_->setVisible(true);
    }
  }
}

void ProgramManagerWindow::btStart_Click() {
  if (!RunOperation(false) || !SerialSupported || closeRequested_) return;
  ShowRunSerials();
}

void ProgramManagerWindow::ShowRunSerials() {
  bool active = false;
  if (!ReadRunSerials(ImageNumber, active)) {
    ShowErrorReport();
    return;
  }
  if (!active) return;
  for (int port = 0; port < 4; ++port) {
    if (valPortSts_[port]->text() != QStringLiteral("Done")) continue;
    Serial_[port]->setText(FromAnsi(LastSerialShownText(LastSerials[port], SerialSize(SerialFormat))));
    Serial_[port]->show();
  }
}

void ProgramManagerWindow::btVerify_Click() { RunOperation(true); }

void ProgramManagerWindow::LockForRun(bool locked) {
  btStart_->setEnabled(!locked);
  btVerify_->setEnabled(!locked);
  for (QCheckBox* c : ChkPortEnbl_) c->setEnabled(!locked);
  cbCRCVerify_->setEnabled(!locked);
  cbSequential_->setEnabled(!locked);
  main_.LockOtherChildren(this, locked);
  main_.EnableMenus({"mnuProgramStart", "mnuProgramVerify", "mnuConfig"}, !locked);
  main_.EnableMenus({"mnuProgramCancel"}, locked);
  btClose_->setVisible(!locked);
  btCancel_->setVisible(locked);
  if (!locked) main_.EnableMenus({"mnuFileClose"}, true);
}

bool ProgramManagerWindow::RunOperation(bool verifyOnly) {
  if (running_ || LineBusy()) return false;
  DummyFocus_->setFocus();
  for (QLabel* s : Serial_) s->hide();
  LockForRun(true);
  CancelRequest = false;
  SetFrameCaption(frmStatus_, tr("Programmer Port Status"), QColor(0, 0, 255));
  QApplication::setOverrideCursor(Qt::WaitCursor);

  running_ = true;
  const bool ok = ProgramImage(verifyOnly);
  running_ = false;

  LockForRun(false);
  QApplication::restoreOverrideCursor();
  // The run counted devices: Images Remaining is read again (the outcome stays the run's).
  if (ok) RefreshImageDirectory();
  if (!ok) ShowErrorReport();
  if (closeRequested_) QTimer::singleShot(0, this, [this] { parentWidget()->close(); });
  return ok && !CancelRequest;
}

void ProgramManagerWindow::btCancel_Click() {
  CancelRequest = true;
  SetFrameCaption(frmStatus_, tr("* Programming Operation Cancelled *"), QColor(255, 0, 0));
  for (QLabel* l : valPortSts_) l->clear();
}

void ProgramManagerWindow::btClose_Click() { parentWidget()->close(); }

void ProgramManagerWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    btClose_Click();
    return;
  }
  MdiChild::keyPressEvent(event);
}

void ProgramManagerWindow::closeEvent(QCloseEvent* event) {
  if (running_) {
    // Asked first; confirmed, the run stops at its next wait step (its ports
    // end stopped) and the window goes once the run has returned.
    event->ignore();
    if (closeRequested_ || MessageBox->MsgBox(StopRunQuestion, vbYesNo + vbQuestion + vbDefaultButton2,
                                              "Programming Manager") != vbYes) {
      return;
    }
    CancelRequest = true;
    closeRequested_ = true;
    return;
  }
  CancelRequest = true;
  Form_Deactivate();
  main_.SetProgrammerListEnabled(true);
  main_.EnableMenus({"mnuViewProgScan", "mnuViewMultiMan"}, true);
  main_.EnableButtons({"ProgScan", "ArrayMan", "Program"}, true);
  frmProgram = nullptr;
  main_.ChildClosed(this);
  event->accept();
}

// ---- Defaults and ATE options ----

void ProgramManagerWindow::SetDefaults(int option) {
  if (running_) return;
  ProgrammerDefaults d;
  d.imageNumber = ImageNumber;
  d.sequential = cbSequential_->isChecked();
  d.crcVerify = cbCRCVerify_->isChecked();
  for (int i = 0; i < 4; ++i) d.ports[i] = ChkPortEnbl_[i]->isChecked();
  if (!SaveProgrammerDefaults(option, d)) {
    ShowErrorReport();
    return;
  }
  MessageBox->MsgBox(DefaultsSetMessage(option), vbOKOnly, DefaultsSetTitle(option));
}

void ProgramManagerWindow::ViewDefaults(int option) {
  if (running_) return;
  ProgrammerDefaults d;
  if (!ReadProgrammerDefaults(option, d)) {
    ShowErrorReport();   // the check boxes stay as they were
    return;
  }
  for (int i = 0; i < 4; ++i) ChkPortEnbl_[i]->setChecked(d.ports[i]);
  cbCRCVerify_->setChecked(d.crcVerify);
  cbSequential_->setChecked(d.sequential);
  // A record never written (erased flash) names no slot of this programmer:
  // the image stays as it is.
  if (d.imageNumber >= 1 && d.imageNumber <= SlotCount()) {
    main_.SelectImageRow(d.imageNumber);
    lstImage_->setCurrentIndex(lstImage_->findData(ImageNumber));
    for (QLabel* s : Serial_) s->hide();
    ShowImageInformation();
  }
  MessageBox->MsgBox(DefaultsReadMessage(option), vbOKOnly, DefaultsReadTitle(option));
}

// ---- ProgramManagerView ----

bool ProgramManagerWindow::PortEnabled(int port) { return ChkPortEnbl_[port]->isChecked(); }
bool ProgramManagerWindow::CrcVerifyOnly() { return cbCRCVerify_->isChecked(); }
bool ProgramManagerWindow::Sequential() { return cbSequential_->isChecked(); }
bool ProgramManagerWindow::SoundEnabled() { return cbEnableSound_->isChecked(); }

void ProgramManagerWindow::SetPortStatus(int port, const std::string& caption, int64_t backColor,
                                         int64_t foreColor) {
  PaintStatusLabel(valPortSts_[port], caption, backColor, foreColor);
}

void ProgramManagerWindow::SetStatusFrameVisible(bool visible) { frmStatus_->setVisible(visible); }

// ---- Verdict tiles ----

void ProgramManagerWindow::RunStarted(const UnitRun& run) {
  lastRun_ = run;
  hasRun_ = true;
  runNumber_ = main_.SessionTally().NextRun();
  runTime_ = QDateTime::currentDateTime();
  ShowRunTiles();
  ShowCounts();   // the unit's counts, should the run be on another one
}

void ProgramManagerWindow::RunPolled(const UnitRun& run) {
  lastRun_ = run;
  ShowRunTiles();
}

void ProgramManagerWindow::RunFinished(const UnitRun& run) {
  lastRun_ = run;
  runTime_ = QDateTime::currentDateTime();
  main_.SessionTally().Count(run);
  ShowRunTiles();
  ShowCounts();
}

void ProgramManagerWindow::ShowRunTiles() {
  if (!hasRun_) return;   // "No run yet" stays
  const bool earlier = !running_ && !RunBelongsToImage();
  const QString name = FromAnsi(lastRun_.imageName);
  for (int port = 0; port < 4; ++port) {
    portTiles_[port]->ShowPort(lastRun_, port);
    portTiles_[port]->SetRun(runNumber_, runTime_);
    portTiles_[port]->SetImage(lastRun_.slot, name);
    if (earlier) portTiles_[port]->MarkEarlier();
  }
  runTile_->ShowVerdict({lastRun_});
  runTile_->SetRun(runNumber_, runTime_);
  runTile_->SetImage(lastRun_.slot, name);
  if (earlier) runTile_->MarkEarlier();
}

bool ProgramManagerWindow::RunBelongsToImage() const {
  return lastRun_.address == CurrentAddress && lastRun_.slot == ImageNumber && RunImageCurrent(lastRun_);
}

void ProgramManagerWindow::ShowCounts() {
  const uint8_t address = hasRun_ ? lastRun_.address : CurrentAddress;
  const RunTally& tally = main_.SessionTally();
  for (int port = 0; port < 4; ++port) portTiles_[port]->SetCounts(tally.Port(address, port));
  runTile_->SetCounts(tally.Unit(address), tr("Unit %1").arg(address));
}

void ProgramManagerWindow::SessionChanged() {
  const bool shown = main_.VerdictTilesShown();
  runTile_->setVisible(shown);
  portTileRow_->setVisible(shown);
  ShowRunTiles();
  ShowCounts();
}
