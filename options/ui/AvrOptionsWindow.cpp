#include "options/ui/AvrOptionsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QStyle>
#include <algorithm>
#include <array>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/FileSelection.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "options/FuseState.h"
#include "options/ui/AvrFusePopup.h"
#include "platform/AnsiText.h"
#include "platform/MessageBox.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "ui/WindowPlacement.h"

namespace {

constexpr int CellWidth = 62;
constexpr int HexColumnWidth = 72;   // the same with and without the Update button
constexpr int CellHeight = 20;
const QColor FieldHighlight(0xFF, 0xFF, 0x00);

QTableWidget* NewFuseGrid(QWidget* parent) {
  auto* grid = new QTableWidget(4, 8, parent);
  grid->horizontalHeader()->hide();
  grid->verticalHeader()->hide();
  grid->horizontalHeader()->setMinimumSectionSize(CellWidth);
  grid->verticalHeader()->setMinimumSectionSize(CellHeight);
  grid->horizontalHeader()->setDefaultSectionSize(CellWidth);
  grid->verticalHeader()->setDefaultSectionSize(CellHeight);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionMode(QAbstractItemView::NoSelection);
  grid->setFocusPolicy(Qt::NoFocus);
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setFixedSize(8 * CellWidth + 2 * grid->frameWidth(), 4 * CellHeight + 2 * grid->frameWidth());
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 8; ++c) {
      auto* item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignCenter);
      item->setFlags(Qt::ItemIsEnabled);
      grid->setItem(r, c, item);
    }
  }
  return grid;
}

// Each column wide enough that the names over it (a field's over its run of
// cells, the byte's over all eight) stand whole, and the grid as wide as its columns.
void FitColumnsToNames(QTableWidget* grid) {
  const QFontMetrics metrics(grid->font());
  const int margin = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1) + 2;
  std::array<int, 8> widths;
  widths.fill(CellWidth);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 8; ++c) {
      const QString text = grid->item(r, c)->text();
      const int span = std::max(grid->columnSpan(r, c), 1);
      if (text.isEmpty() || c + span > 8) continue;
      const int each = (metrics.horizontalAdvance(text) + margin + span - 1) / span;
      for (int k = c; k < c + span; ++k) widths[k] = std::max(widths[k], each);
    }
  }
  int total = 0;
  for (int c = 0; c < 8; ++c) {
    grid->setColumnWidth(c, widths[c]);
    total += widths[c];
  }
  grid->setFixedWidth(total + 2 * grid->frameWidth());
}

bool ValidByte(int byte) {
  return byte >= 0 && byte <= NumFuseBytes && byte < static_cast<int>(FuseDefs.size()) && byte < MaxFuseBytes;
}

}  // namespace

AvrOptionsWindow::AvrOptionsWindow(const ProgrammingOptionsSetup& setup, QWidget* parent)
    : QDialog(parent), setup_(setup) {
  setObjectName(QStringLiteral("frmAVROptions"));
  setModal(true);
  // The bytes and frames scroll above Accept, and go under each other as far
  // as the screen is narrow (Form_Load places them).
  const ScrollingDialog frame(this);
  QBoxLayout* layout = frame.layout;
  KeepOnScreen(this);

  auto* bytes = new QGridLayout;
  bytes->setObjectName(QStringLiteral("FuseBytes"));
  for (int b = 0; b < MaxFuseBytes; ++b) {
    byteBox_[b] = new QWidget(this);
    auto* row = new QHBoxLayout(byteBox_[b]);
    row->setContentsMargins(0, 0, 0, 0);
    fgByte_[b] = NewFuseGrid(byteBox_[b]);
    fgByte_[b]->setObjectName(QStringLiteral("fgByte%1").arg(b));
    hexLbl_[b] = new QLabel(tr("Hex Value"), byteBox_[b]);
    hexLbl_[b]->setObjectName(QStringLiteral("HexLbl0_%1").arg(b));
    tbHex_[b] = new QLineEdit(byteBox_[b]);
    tbHex_[b]->setObjectName(QStringLiteral("tbHex%1").arg(b));
    tbHex_[b]->setFixedWidth(HexColumnWidth);
    hexLbl_[b]->setFixedWidth(HexColumnWidth);
    tbHex_[b]->installEventFilter(this);
    btUpdate_[b] = new QPushButton(tr("Update"), byteBox_[b]);
    btUpdate_[b]->setObjectName(QStringLiteral("btUpdate%1").arg(b));
    btUpdate_[b]->setAutoDefault(false);
    btUpdate_[b]->setFixedWidth(HexColumnWidth);
    btUpdate_[b]->hide();   // shown while the hex box has the focus; taking the focus applies the value
    auto* hex = new QVBoxLayout;
    hex->addWidget(hexLbl_[b]);
    hex->addWidget(tbHex_[b]);
    hex->addWidget(btUpdate_[b]);
    hex->addStretch(1);
    row->addWidget(fgByte_[b]);
    row->addLayout(hex);
    bytes->addWidget(byteBox_[b], b / 2, b % 2);
    connect(fgByte_[b], &QTableWidget::cellClicked, this, [this, b](int, int column) { fgByte_Click(b, column); });
  }
  layout->addLayout(bytes);

  auto* frames = new QGridLayout;
  frames->setObjectName(QStringLiteral("OptionFrames"));
  frmEEPROM_ = new QGroupBox(FromAnsi(setup_.secondaryCaption), this);
  frmEEPROM_->setObjectName(QStringLiteral("frmEEPROM"));
  auto* ee = new QGridLayout(frmEEPROM_);
  cbEEPROMImage_ = new QCheckBox(tr("Load Image"), frmEEPROM_);
  cbEEPROMImage_->setObjectName(QStringLiteral("cbEEPROMImage"));
  tbEEPROMName_ = new QLineEdit(frmEEPROM_);
  tbEEPROMName_->setObjectName(QStringLiteral("tbEEPROMName"));
  tbEEPROMName_->setMaxLength(20);
  btEEPROMSel_ = new QPushButton(tr("Select..."), frmEEPROM_);
  btEEPROMSel_->setObjectName(QStringLiteral("btEEPROMSel"));
  btEEPROMSel_->setAutoDefault(false);
  lblEEPROMFile_ = new QLabel(frmEEPROM_);
  lblEEPROMFile_->setObjectName(QStringLiteral("lblEEPROMFile"));
  ee->addWidget(cbEEPROMImage_, 0, 0);
  ee->addWidget(tbEEPROMName_, 0, 1);
  ee->addWidget(btEEPROMSel_, 0, 2);
  ee->addWidget(lblEEPROMFile_, 1, 0, 1, 3);
  frames->addWidget(frmEEPROM_, 0, 0);

  frCalVal_ = new QGroupBox(tr("Write Calibration Value to Target Memory"), this);
  frCalVal_->setObjectName(QStringLiteral("frCalVal"));
  auto* cal = new QGridLayout(frCalVal_);
  cbOsccal_ = new QComboBox(frCalVal_);
  cbOsccal_->setObjectName(QStringLiteral("cbOsccal"));
  optFlash_ = new QRadioButton(tr("Flash"), frCalVal_);
  optFlash_->setObjectName(QStringLiteral("optFlash"));
  optEEPROM_ = new QRadioButton(tr("EEPROM"), frCalVal_);
  optEEPROM_->setObjectName(QStringLiteral("optEEPROM"));
  tbAddress_ = new QLineEdit(frCalVal_);
  tbAddress_->setObjectName(QStringLiteral("tbAddress"));
  tbAddress_->installEventFilter(this);
  cal->addWidget(cbOsccal_, 0, 0, 1, 2);
  cal->addWidget(optFlash_, 1, 0);
  cal->addWidget(optEEPROM_, 1, 1);
  cal->addWidget(new QLabel(tr("Address (Hex)"), frCalVal_), 2, 0);
  cal->addWidget(tbAddress_, 2, 1);
  frames->addWidget(frCalVal_, 0, 1);

  frmAVR32SecurityBit_ = new QGroupBox(tr("Security Bit"), this);
  frmAVR32SecurityBit_->setObjectName(QStringLiteral("frmAVR32SecurityBit"));
  auto* security = new QVBoxLayout(frmAVR32SecurityBit_);
  cbAVR32Security_ = new QCheckBox(tr("Program Security Bit"), frmAVR32SecurityBit_);
  cbAVR32Security_->setObjectName(QStringLiteral("cbAVR32Security"));
  security->addWidget(cbAVR32Security_);
  frames->addWidget(frmAVR32SecurityBit_, 0, 2);

  frJTAGID_ = new QGroupBox(tr("JTAG ID Checking"), this);
  frJTAGID_->setObjectName(QStringLiteral("frJTAGID"));
  auto* jtag = new QGridLayout(frJTAGID_);
  cbJTAGIDEnable_ = new QCheckBox(tr("Check JTAG ID"), frJTAGID_);
  cbJTAGIDEnable_->setObjectName(QStringLiteral("cbJTAGIDEnable"));
  tbJTAGPart_ = new QLineEdit(frJTAGID_);
  tbJTAGPart_->setObjectName(QStringLiteral("tbJTAGPart"));
  tbJTAGPart_->setMaxLength(4);   // the option record carries 16 bits of part number
  tbJTAGPart_->installEventFilter(this);
  tbJTAGVersion_ = new QLineEdit(frJTAGID_);
  tbJTAGVersion_->setObjectName(QStringLiteral("tbJTAGVersion"));
  tbJTAGVersion_->setMaxLength(1);   // and 4 bits of version
  tbJTAGVersion_->installEventFilter(this);
  jtag->addWidget(cbJTAGIDEnable_, 0, 0, 1, 2);
  jtag->addWidget(new QLabel(tr("Part ID (Hex)"), frJTAGID_), 1, 0);
  jtag->addWidget(tbJTAGPart_, 1, 1);
  jtag->addWidget(new QLabel(tr("Version (Hex)"), frJTAGID_), 2, 0);
  jtag->addWidget(tbJTAGVersion_, 2, 1);
  frames->addWidget(frJTAGID_, 0, 3);
  layout->addLayout(frames);

  auto* buttons = new QHBoxLayout;
  btAccept_ = new QPushButton(tr("Accept"), this);
  btAccept_->setObjectName(QStringLiteral("btAccept"));
  btAccept_->setAutoDefault(false);   // Enter in a box must not close the window before the box is read
  buttons->addStretch(1);
  buttons->addWidget(btAccept_);
  frame.outer->addLayout(buttons);

  connect(cbEEPROMImage_, &QCheckBox::clicked, this, [this] { cbEEPROMImage_Click(); });
  connect(btEEPROMSel_, &QPushButton::clicked, this, [this] { btEEPROMSel_Click(); });
  connect(cbOsccal_, QOverload<int>::of(&QComboBox::activated), this, [this](int) { cbOsccal_Click(); });
  connect(optFlash_, &QRadioButton::clicked, this, [this] { OsccalMemory_Click(false); });
  connect(optEEPROM_, &QRadioButton::clicked, this, [this] { OsccalMemory_Click(true); });
  connect(cbAVR32Security_, &QCheckBox::clicked, this, [this] { cbAVR32Security_Click(); });
  connect(cbJTAGIDEnable_, &QCheckBox::clicked, this, [this] { cbJTAGIDEnable_Click(); });
  connect(btAccept_, &QPushButton::clicked, this, [this] { btAccept_Click(); });
}

void AvrOptionsWindow::Form_Load() {
  const std::string device = CurDevice >= 0 ? DeviceTable[CurDevice].DevName : "";
  setWindowTitle(FromAnsi(ProgrammingOptionsCaption(ProgType, device)));
  for (int b = 0; b < MaxFuseBytes; ++b) byteBox_[b]->setVisible(ValidByte(b));
  ShowFuses();

  frmEEPROM_->setVisible(setup_.showSecondary);
  if (setup_.setBefore && EepromFileChosen) {
    tbEEPROMName_->setText(FromAnsi(EEName));
    lblEEPROMFile_->setText(FromAnsi(EEFilePath));
    cbEEPROMImage_->setChecked(true);
  } else {
    cbEEPROMImage_->setChecked(false);
    tbEEPROMName_->clear();
    lblEEPROMFile_->clear();
  }
  tbEEPROMName_->setEnabled(cbEEPROMImage_->isChecked());

  frCalVal_->setVisible(HasOsccal);
  cbOsccal_->clear();
  osccalBits_.clear();
  if (ProgType == 6) {
    for (const OsccalChoice& choice : OsccalChoices()) {
      cbOsccal_->addItem(FromAnsi(choice.text));
      osccalBits_.push_back(choice.bit);
    }
  }
  cbOsccal_->setCurrentIndex(cbOsccal_->count() > 0 ? 0 : -1);
  if (setup_.setBefore) {
    (OsccalOpt & 0x10 ? optEEPROM_ : optFlash_)->setChecked(true);
    const auto at = std::find(osccalBits_.begin(), osccalBits_.end(), OsccalOpt & 0x0F);
    if (at != osccalBits_.end()) cbOsccal_->setCurrentIndex(static_cast<int>(at - osccalBits_.begin()));
  } else {
    optFlash_->setChecked(true);
  }
  ShowOsccalAddress();
  ShowOsccalEnabled();

  frmAVR32SecurityBit_->setVisible(setup_.showAvr32Security);
  cbAVR32Security_->setChecked(AVR32SecurityF);

  frJTAGID_->setVisible(setup_.showJtagId);
  if (setup_.setBefore) {
    cbJTAGIDEnable_->setChecked(JtagIdCheck);
    tbJTAGPart_->setText(FromAnsi(HexText(JtagPart)));
    tbJTAGVersion_->setText(FromAnsi(HexText(JtagVersion)));
  } else {
    cbJTAGIDEnable_->setChecked(false);
    tbJTAGPart_->setText(QStringLiteral("0000"));
    tbJTAGVersion_->setText(QStringLiteral("0"));
  }
  if (!setup_.showJtagId) cbJTAGIDEnable_->setChecked(false);   // a check the operator cannot see is never made
  cbJTAGIDEnable_Click();

  for (const char* name : {"FuseBytes", "OptionFrames"}) {
    if (auto* grid = findChild<QGridLayout*>(QString::fromLatin1(name))) ArrangeInColumns(grid, BodyRoomWidth(this));
  }
}

// ---- Fuse bytes ----

void AvrOptionsWindow::ShowFuses() {
  for (int b = 0; b < MaxFuseBytes; ++b) {
    if (ValidByte(b)) ShowFuseByte(b);
  }
}

void AvrOptionsWindow::ShowFuseByte(int byte) {
  QTableWidget* grid = fgByte_[byte];
  grid->clearSpans();
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 8; ++c) {
      grid->item(r, c)->setText(QString());
      grid->item(r, c)->setToolTip(QString());
      grid->item(r, c)->setBackground(QBrush());
    }
  }
  const FuseByteDef& def = FuseDefs[byte];
  grid->item(0, 0)->setText(FromAnsi(def.Name));
  grid->setSpan(0, 0, 1, 8);
  for (int c = 0; c < 8; ++c) grid->item(1, c)->setText(QString::number(7 - c));
  for (const FuseFieldRun& run : FuseFieldRuns(byte)) {
    const FuseFieldDef& field = def.Fields[run.field];
    grid->item(2, run.firstColumn)->setText(FromAnsi(field.Name));
    grid->item(2, run.firstColumn)->setToolTip(FromAnsi(field.Name + ": " + field.Text));   // names may not fit
    if (run.columns > 1) grid->setSpan(2, run.firstColumn, 1, run.columns);
  }
  FitColumnsToNames(grid);
  const int value = FuseValues[byte];
  for (int c = 0; c < 8; ++c) {
    const int bit = 7 - c;
    if (FieldAtBit(byte, bit) >= 0) grid->item(3, c)->setText((value >> bit) & 1 ? QStringLiteral("1") : QStringLiteral("0"));
  }
  tbHex_[byte]->setText(FromAnsi(FuseHex(value)));
}

void AvrOptionsWindow::HighlightField(int byte, int field) {
  for (int c = 0; c < 8; ++c) {
    if (FieldAtBit(byte, 7 - c) != field) continue;
    fgByte_[byte]->item(2, c)->setBackground(FieldHighlight);
    fgByte_[byte]->item(3, c)->setBackground(FieldHighlight);
  }
}

void AvrOptionsWindow::fgByte_Click(int byte, int column) {
  if (!ValidByte(byte) || column < 0 || column > 7) return;
  CurByte = byte;
  CurField = FieldAtBit(byte, 7 - column);
  if (CurField < 0) {
    MessageBox->MsgBox("Fuse Manager failed to find matching field", vbOKOnly, "Internal Error");
    return;
  }
  HighlightField(byte, CurField);
  AvrFusePopup popup(this);
  popup.exec();
  ShowFuses();
}

void AvrOptionsWindow::tbHex_LostFocus(int byte) {
  btUpdate_[byte]->hide();
  if (!ValidByte(byte)) return;
  const int64_t value = ReadHexText(ToAnsi(tbHex_[byte]->text()));
  if (FuseValueFits(byte, value)) {
    FuseValues[byte] = static_cast<uint8_t>(value);
  } else {
    MessageBox->MsgBox(InvalidFuseValueText, vbOKOnly, "Set Hex Fuse Value");
  }
  ShowFuses();
}

bool AvrOptionsWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::FocusIn && event->type() != QEvent::FocusOut) return QDialog::eventFilter(watched, event);
  const bool in = event->type() == QEvent::FocusIn;
  // The window losing the activation (a message box, another program) is no leaving of the box.
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  if (!in && (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)) return false;
  if (leaving_ && !in) return false;
  for (int b = 0; b < MaxFuseBytes; ++b) {
    if (watched != tbHex_[b]) continue;
    if (in) {
      btUpdate_[b]->show();
    } else {
      leaving_ = true;
      tbHex_LostFocus(b);
      leaving_ = false;
    }
    return false;
  }
  if (in) return false;
  leaving_ = true;
  if (watched == tbAddress_) {
    tbAddress_LostFocus();
  } else if (watched == tbJTAGPart_ || watched == tbJTAGVersion_) {
    auto* box = static_cast<QLineEdit*>(watched);
    box->setText(FromAnsi(HexText(ReadHexText(ToAnsi(box->text())))));
  }
  leaving_ = false;
  return false;
}

// ---- Second memory ----

void AvrOptionsWindow::SetEepromTicked(bool ticked) {
  cbEEPROMImage_->setChecked(ticked);
  tbEEPROMName_->setEnabled(ticked);
  SecondaryEnabled = ticked;
}

void AvrOptionsWindow::cbEEPROMImage_Click() {
  SetEepromTicked(cbEEPROMImage_->isChecked());
  if (cbEEPROMImage_->isChecked() && !EepromFileChosen) btEEPROMSel_Click();
}

void AvrOptionsWindow::btEEPROMSel_Click() {
  if (LoadEEFile("")) {
    EepromFileChosen = true;
    SetEepromTicked(true);
    lblEEPROMFile_->setText(FromAnsi(EEFilePath));
    tbEEPROMName_->setText(FromAnsi(EepromImageName(EEFileTitle)));
    return;
  }
  if (LastErrorNumber == ErrDialogCancelled) return;   // the image chosen before stays
  // The buffer holds part of a file that failed: it is no image to program.
  EepromFileChosen = false;
  lblEEPROMFile_->clear();
  ShowErrorReport();
}

// ---- Calibration value ----

void AvrOptionsWindow::ShowOsccalEnabled() {
  const int at = cbOsccal_->currentIndex();
  const bool chosen = at >= 0 && at < static_cast<int>(osccalBits_.size()) && osccalBits_[at] != 0;
  for (QWidget* w : {static_cast<QWidget*>(optFlash_), static_cast<QWidget*>(optEEPROM_),
                     static_cast<QWidget*>(tbAddress_)}) {
    w->setEnabled(chosen);
  }
}

void AvrOptionsWindow::ShowOsccalAddress() { tbAddress_->setText(FromAnsi(HexText(OsccalAddress))); }

void AvrOptionsWindow::cbOsccal_Click() {
  const int at = cbOsccal_->currentIndex();
  const uint8_t bit = at >= 0 && at < static_cast<int>(osccalBits_.size()) ? osccalBits_[at] : 0;
  SetOsccalValue(bit);
  // A value with no memory yet goes where the window shows it going.
  if (bit != 0 && (OsccalOpt & 0x30) == 0) OsccalMemory_Click(optEEPROM_->isChecked());
  ShowOsccalEnabled();
}

void AvrOptionsWindow::OsccalMemory_Click(bool eeprom) {
  if (!SetOsccalMemory(eeprom)) MessageBox->MsgBox(OsccalRangeText, vbExclamation, "Set OSCCAL Address");
  ShowOsccalAddress();
}

void AvrOptionsWindow::tbAddress_LostFocus() {
  if (!SetOsccalAddress(ReadHexText(ToAnsi(tbAddress_->text())), optFlash_->isChecked())) {
    MessageBox->MsgBox(OsccalRangeText, vbExclamation, "Set OSCCAL Address");
  }
  ShowOsccalAddress();
}

// ---- Security bit and JTAG ID ----

void AvrOptionsWindow::cbAVR32Security_Click() { AVR32SecurityF = cbAVR32Security_->isChecked(); }

void AvrOptionsWindow::cbJTAGIDEnable_Click() {
  tbJTAGPart_->setEnabled(cbJTAGIDEnable_->isChecked());
  tbJTAGVersion_->setEnabled(cbJTAGIDEnable_->isChecked());
}

void AvrOptionsWindow::btAccept_Click() {
  JtagIdCheck = cbJTAGIDEnable_->isChecked();
  JtagPart = static_cast<int32_t>(ReadHexText(ToAnsi(tbJTAGPart_->text())));
  JtagVersion = static_cast<int32_t>(ReadHexText(ToAnsi(tbJTAGVersion_->text())));
  if (SecondaryEnabled) EEName = ToAnsi(tbEEPROMName_->text());
  accept();
}
