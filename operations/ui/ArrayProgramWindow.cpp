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
#include "link/LineState.h"
#include "operations/PortStatus.h"
#include "platform/AnsiText.h"
#include "platform/NumberText.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"
#include "state/LineGuard.h"
#include "ui/MainFrame.h"
#include "ui/StatusLabel.h"
#include "ui/VerdictTile.h"
#include "ui/WindowPlacement.h"

namespace {
constexpr int ExtraTwips = 1200;
constexpr int MinWidthTwips = 3100;
}  // namespace

ArrayProgramWindow::ArrayProgramWindow(MainFrame& main) : main_(main) {
  setObjectName(QStringLiteral("frmMultiProg"));
  setWindowTitle(tr("Array Programming Manager"));
  // The panels scroll above the buttons. The whole run's verdict tile stands
  // to the right of everything, under it where the window is too narrow.
  const ScrollingDialog frame(this);
  auto* outer = new QHBoxLayout;
  frame.layout->addLayout(outer);
  StackWhenNarrow(frame.Viewport(), outer);
  auto* layout = new QVBoxLayout;
  outer->addLayout(layout, 1);
  runTile_ = new VerdictTile(tr("Overall"), VerdictTile::Shape::Stacked, 3.0, this);
  runTile_->setObjectName(QStringLiteral("RunTile"));
  runTile_->setMinimumWidth(200);
  outer->addWidget(runTile_);
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
  frame.outer->addLayout(buttons);
  layout->addStretch(1);

  connect(btProgram_, &QPushButton::clicked, this, &ArrayProgramWindow::btProgram_Click);
  connect(btCancel_, &QPushButton::clicked, this, &ArrayProgramWindow::btCancel_Click);
  SessionChanged();
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

  // The panels just added count in the size hint.
  layout()->invalidate();
  layout()->activate();
  const int n = PanelCount();
  const int height = n * PanelHeight + ExtraTwips / TwipsPerPixel;
  const int width = std::max(sizeHint().width(), MinWidthTwips / TwipsPerPixel);
  QWidget* frame = parentWidget() ? parentWidget() : this;
  // The frame around the window gets its own borders and title on top.
  if (frame != this) frame->resize(QSize(width, height) + (frame->sizeHint() - sizeHint()));
  resize(width, height);
  SetUpRunOptions();
  ShowCounts();
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
  // The unit's verdict tile beside its panel, as high as the panel.
  // The row is in the scrolled body first: adding moves the widgets there, and shown after that they stay shown.
  auto* row = new QHBoxLayout;
  panelLayout_->addLayout(row);
  row->addWidget(c.frame, 1);
  c.frame->show();   // now, so that the window is sized with it
  c.tile = new VerdictTile(tr("Unit %1").arg(panel.address), VerdictTile::Shape::Wide, 2.6, this);
  c.tile->setObjectName(QStringLiteral("UnitTile_%1").arg(i));
  c.tile->setFixedHeight(PanelHeight);
  row->addWidget(c.tile);
  c.tile->setVisible(main_.VerdictTilesShown());
  StackWhenNarrow(BodyViewport(this), row);   // the tile under its panel in a narrow window

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
  ShowRunTiles();   // the unit's verdict belongs to the image it was run with
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

// ---- Verdict tiles ----

void ArrayProgramWindow::RunStarted(const std::vector<ArrayPanel>& panels) {
  runNumber_ = main_.SessionTally().NextRun();
  runTime_ = QDateTime::currentDateTime();
  ShowRunTiles();
}

void ArrayProgramWindow::PanelPolled(int panel, const ArrayPanel& unit) {
  controls_[panel].tile->ShowUnit(unit.run);
  runTile_->ShowVerdict([this] {
    std::vector<UnitRun> runs;
    for (const ArrayPanel& p : panels_) runs.push_back(p.run);
    return runs;
  }());
}

void ArrayProgramWindow::RunFinished(const std::vector<ArrayPanel>& panels) {
  runTime_ = QDateTime::currentDateTime();
  for (const ArrayPanel& panel : panels) main_.SessionTally().Count(panel.run);
  ShowRunTiles();
  ShowCounts();
}

void ArrayProgramWindow::ShowRunTiles() {
  if (runNumber_ == 0) return;   // "No run yet" stays
  std::vector<UnitRun> runs;
  bool anyEarlier = false;
  for (int i = 0; i < PanelCount(); ++i) {
    const UnitRun& run = panels_[i].run;
    runs.push_back(run);
    VerdictTile* tile = controls_[i].tile;
    tile->ShowUnit(run);
    tile->SetRun(runNumber_, runTime_);
    if (VerdictOf(run) == Verdict::None) continue;   // not in this run: no image of its own
    tile->SetImage(run.slot, FromAnsi(run.imageName));
    if (!running_ && !RunBelongsToImage(i)) {
      tile->MarkEarlier();
      anyEarlier = true;
    }
  }
  runTile_->ShowVerdict(runs);
  runTile_->SetRun(runNumber_, runTime_);
  if (anyEarlier) runTile_->MarkEarlier();
}

bool ArrayProgramWindow::RunBelongsToImage(int i) {
  const UnitRun& run = panels_[i].run;
  return run.slot == ChosenImage(i) && RunImageCurrent(run);
}

void ArrayProgramWindow::ShowCounts() {
  const RunTally& tally = main_.SessionTally();
  for (int i = 0; i < PanelCount(); ++i) {
    const uint8_t address = panels_[i].address;
    controls_[i].tile->SetCounts(tally.Unit(address));
    QStringList ports;
    for (int port = 0; port < 4; ++port) {
      const PassFail counts = tally.Port(address, port);
      ports << tr("Port %1: pass %2, fail %3, yield %4")
                   .arg(port + 1)
                   .arg(counts.passes)
                   .arg(counts.fails)
                   .arg(QString::fromStdString(YieldText(counts)));
    }
    controls_[i].tile->setToolTip(ports.join(QLatin1Char('\n')));
  }
  runTile_->SetCounts(tally.Session(), tr("Session"));
}

void ArrayProgramWindow::SessionChanged() {
  const bool shown = main_.VerdictTilesShown();
  runTile_->setVisible(shown);
  for (PanelControls& c : controls_) c.tile->setVisible(shown);
  ShowRunTiles();
  ShowCounts();
}
