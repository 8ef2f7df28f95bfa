#include "operations/ui/ArrayProgramWindow.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "link/ErrorRecord.h"
#include "operations/PortStatus.h"
#include "platform/AnsiText.h"
#include "platform/NumberText.h"
#include "programmers/ProgrammerTypes.h"
#include "state/LineGuard.h"
#include "state/PublicVars.h"
#include "ui/MainFrame.h"
#include "ui/StatusLabel.h"

namespace {
constexpr int ExtraTwips = 1200;
constexpr int MinWidthTwips = 3100;
}  // namespace

ArrayProgramWindow::ArrayProgramWindow(MainFrame& main) : main_(main) {
  setObjectName(QStringLiteral("frmMultiProg"));
  setWindowTitle(tr("Array Programming Manager"));
  auto* layout = new QVBoxLayout(this);
  panelLayout_ = new QVBoxLayout;
  panelLayout_->setSpacing(0);
  layout->addLayout(panelLayout_);

  auto* options = new QHBoxLayout;
  cbCRCVerify_ = new QCheckBox(tr("CRC Verify"), this);
  cbCRCVerify_->setObjectName(QStringLiteral("cbCRCVerify"));
  cbSequential_ = new QCheckBox(tr("Program Multiple Images"), this);
  cbSequential_->setObjectName(QStringLiteral("cbSequential"));
  options->addWidget(cbCRCVerify_);
  options->addWidget(cbSequential_);
  options->addStretch(1);
  layout->addLayout(options);

  auto* buttons = new QHBoxLayout;
  btProgram_ = new QPushButton(tr("Program"), this);
  btProgram_->setObjectName(QStringLiteral("btProgram"));
  btCancel_ = new QPushButton(tr("Cancel"), this);
  btCancel_->setObjectName(QStringLiteral("btCancel"));
  btCancel_->hide();
  buttons->addStretch(1);
  buttons->addWidget(btProgram_);
  buttons->addWidget(btCancel_);
  layout->addLayout(buttons);
  layout->addStretch(1);

  connect(btProgram_, &QPushButton::clicked, this, &ArrayProgramWindow::btProgram_Click);
  connect(btCancel_, &QPushButton::clicked, this, &ArrayProgramWindow::btCancel_Click);
}

ArrayProgramWindow::~ArrayProgramWindow() = default;

void ArrayProgramWindow::Form_Load() {
  // A scan would replace the programmers the panels belong to.
  main_.SetProgrammerListEnabled(false);
  main_.EnableMenus({"mnuViewProgScan", "mnuViewMultiMan"}, false);
  main_.EnableButtons({"ProgScan", "ArrayMan"}, false);
  panels_ = OpenArrayProgramming([](const ArrayPanel&) { ShowErrorReport(); });
  controls_.assign(panels_.size(), PanelControls{});
  for (int i = 0; i < PanelCount(); ++i) AddPanel(i);

  const int n = PanelCount();
  const int height = n * PanelHeight + ExtraTwips / TwipsPerPixel;
  const int width = std::max(sizeHint().width(), MinWidthTwips / TwipsPerPixel);
  QWidget* frame = parentWidget() ? parentWidget() : this;
  resize(width, height);
  if (frame != this) frame->adjustSize();
  SetUpRunOptions();
}

void ArrayProgramWindow::AddPanel(int i) {
  const ArrayPanel& panel = panels_[i];
  PanelControls& c = controls_[i];
  c.frame = new QGroupBox(FromAnsi(panel.caption), this);
  c.frame->setObjectName(QStringLiteral("frProg_%1").arg(i));
  c.frame->setFixedHeight(PanelHeight);
  auto* grid = new QGridLayout(c.frame);
  c.enable = new QCheckBox(c.frame);
  c.enable->setObjectName(QStringLiteral("cbProgEnbl_%1").arg(i));
  c.enable->setToolTip(tr("Check to Enable this Programmer"));
  grid->addWidget(c.enable, 0, 0);
  c.image = new QComboBox(c.frame);
  c.image->setObjectName(QStringLiteral("cbImage_%1").arg(i));
  c.image->setToolTip(tr("Select Image to Program"));
  c.image->addItem(QStringLiteral("Image #"));
  for (int slot : panel.images) c.image->addItem(FromAnsi(Str(slot)));
  grid->addWidget(c.image, 1, 0);
  for (int port = 0; port < 4; ++port) {
    c.ports[port] = new QCheckBox(tr("Port %1").arg(port + 1), c.frame);
    c.ports[port]->setObjectName(QStringLiteral("cbPort%1_%2").arg(port + 1).arg(i));
    grid->addWidget(c.ports[port], 0, port + 1);
    c.status[port] = new QLabel(c.frame);
    c.status[port]->setObjectName(QStringLiteral("lblStatus%1_%2").arg(port + 1).arg(i));
    c.status[port]->setAutoFillBackground(true);
    c.status[port]->setFrameShape(QFrame::Panel);
    c.status[port]->setFrameShadow(QFrame::Sunken);
    c.status[port]->setMinimumWidth(110);
    c.status[port]->hide();
    grid->addWidget(c.status[port], 1, port + 1);
  }
  panelLayout_->addWidget(c.frame);

  SetPanelControlsEnabled(i, false);
  // Each image found enables the panel; the first one is preselected.
  if (panel.prepared && !panel.images.empty()) {
    SetPanelControlsEnabled(i, true);
    c.image->setCurrentIndex(1);
  }
  connect(c.enable, &QCheckBox::clicked, this, [this, i] {
      // Without a chosen image there is nothing to program: the tick does not take.
      if (controls_[i].image->currentIndex() < 1) controls_[i].enable->setChecked(false);
      cbProgEnbl_Click(i);
    });
  connect(c.image, QOverload<int>::of(&QComboBox::activated), this, [this, i](int) { cbImage_Click(i); });
}

void ArrayProgramWindow::SetPanelControlsEnabled(int i, bool enabled) {
  PanelControls& c = controls_[i];
  if (enabled) {
    for (QCheckBox* p : c.ports) p->setChecked(true);
    c.enable->setChecked(true);
    cbProgEnbl_Click(i);
  }
  c.frame->setEnabled(enabled);
  c.image->setEnabled(enabled);
  c.enable->setEnabled(enabled);
  for (QCheckBox* p : c.ports) p->setEnabled(enabled);
  for (QLabel* l : c.status) l->setEnabled(enabled);
}

void ArrayProgramWindow::SetUpRunOptions() {
  const VerifyCheck check = SelectedTypeTraits().verifyCheck;
  if (check == VerifyCheck::Crc) cbCRCVerify_->setText(tr("CRC Verify"));
  if (check == VerifyCheck::Checksum) cbCRCVerify_->setText(tr("Checksum Verify"));
  cbCRCVerify_->setVisible(check != VerifyCheck::None);
  if (check == VerifyCheck::None) cbCRCVerify_->setChecked(false);
  if (ProgType == 2) {
    const bool multiple = SelectedProgrammer >= 1 && Val(ProgrammerTable[SelectedProgrammer].FwRevision) > 3;
    if (!multiple) cbSequential_->setChecked(false);
    cbSequential_->setVisible(multiple);
  }
}

void ArrayProgramWindow::Form_Activate() {
  // The programming manager took this entry away while it was active.
  main_.EnableMenus({"mnuViewProgMan"}, true);
}

void ArrayProgramWindow::cbProgEnbl_Click(int panel) {
  const bool on = controls_[panel].enable->isChecked();
  for (QLabel* l : controls_[panel].status) {
    l->clear();
    l->setVisible(on);
  }
}

void ArrayProgramWindow::cbImage_Click(int panel) {
  controls_[panel].enable->setChecked(controls_[panel].image->currentIndex() >= 1);
  cbProgEnbl_Click(panel);
}

void ArrayProgramWindow::btProgram_Click() {
  if (running_ || LineBusy() || !btProgram_->isEnabled()) return;
  btProgram_->setEnabled(false);
  btCancel_->show();
  cbCRCVerify_->setEnabled(false);
  cbSequential_->setEnabled(false);
  main_.LockOtherChildren(this, true);
  main_.EnableMenus({"mnuProgramCancel"}, true);
  CancelRequest = false;
  for (PanelControls& c : controls_) {
    for (QLabel* l : c.status) PaintStatusLabel(l, "", ColorButtonFace, ColorTeal);
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);

  running_ = true;
  const bool ok = RunArray(*this, panels_);
  running_ = false;

  QApplication::restoreOverrideCursor();
  main_.EnableMenus({"mnuProgramCancel"}, false);
  main_.LockOtherChildren(this, false);
  cbCRCVerify_->setEnabled(true);
  cbSequential_->setEnabled(true);
  btCancel_->hide();
  // The unit whose start was refused is marked in red.
  for (int i = 0; i < PanelCount(); ++i) {
    controls_[i].frame->setStyleSheet(panels_[i].startFailed || panels_[i].lost
                                          ? QStringLiteral("QGroupBox { color: #ff0000; }")
                                          : QString());
  }
  if (!ok) ShowErrorReport();
  btProgram_->setEnabled(true);
  if (closeRequested_) QTimer::singleShot(0, this, [this] { parentWidget()->close(); });
}

void ArrayProgramWindow::btCancel_Click() { CancelRequest = true; }

void ArrayProgramWindow::closeEvent(QCloseEvent* event) {
  if (running_) {   // every started unit is stopped, then the window goes
    CancelRequest = true;
    closeRequested_ = true;
    event->ignore();
    return;
  }
  RestoreSavedAddress();
  main_.SetProgrammerListEnabled(true);
  main_.EnableMenus({"mnuViewProgScan", "mnuViewMultiMan"}, true);
  main_.EnableButtons({"ProgScan", "ArrayMan"}, true);
  main_.ChildClosed(this);
  event->accept();
}

// ---- ArrayProgramView ----

bool ArrayProgramWindow::ProgrammerEnabled(int panel) { return controls_[panel].enable->isChecked(); }
bool ArrayProgramWindow::PortEnabled(int panel, int port) { return controls_[panel].ports[port]->isChecked(); }
int ArrayProgramWindow::ChosenImage(int panel) {
  return static_cast<int>(Val(ToAnsi(controls_[panel].image->currentText())));
}
bool ArrayProgramWindow::CrcVerify() { return !cbCRCVerify_->isHidden() && cbCRCVerify_->isChecked(); }
bool ArrayProgramWindow::Sequential() { return !cbSequential_->isHidden() && cbSequential_->isChecked(); }
void ArrayProgramWindow::SetPanelEnabled(int panel, bool enabled) { controls_[panel].frame->setEnabled(enabled); }
void ArrayProgramWindow::SetPortStatus(int panel, int port, const std::string& caption, int64_t backColor,
                                       int64_t foreColor) {
  PaintStatusLabel(controls_[panel].status[port], caption, backColor, foreColor);
}
