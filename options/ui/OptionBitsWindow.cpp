#include "options/ui/OptionBitsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "devices/ImageState.h"
#include "images/FileSelection.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "options/AvrOptions.h"
#include "platform/AnsiText.h"
#include "state/ErrorState.h"
#include "ui/WindowPlacement.h"

namespace {

// "cbWDT_RES" -> "frWDT_RES"
QString FrameName(const char* control) { return QStringLiteral("fr") + QString::fromLatin1(control + 2); }

}  // namespace

OptionBitsWindow::OptionBitsWindow(OptionBitsKind kind, int variant, QWidget* parent)
    : QDialog(parent), kind_(kind), variant_(variant) {
  const OptionBitsForm& form = OptionBitsFormOf(kind);
  setObjectName(QString::fromLatin1(form.form));
  setWindowTitle(QString::fromLatin1(form.caption));
  // The frames scroll above Accept, byte after byte, in as many columns as
  // the screen has room for (Form_Load places them once their lists are filled).
  const ScrollingDialog body(this);
  QBoxLayout* layout = body.layout;
  KeepOnScreen(this);
  auto* frames = new QGridLayout;
  frames->setObjectName(QStringLiteral("OptionFrames"));
  layout->addLayout(frames);
  int placed = 0;
  QVBoxLayout* protection = nullptr;
  for (const OptionBitField& f : form.fields) {
    if (f.check) {
      if (!frProtection_) {
        frProtection_ = new QGroupBox(tr("Flash Protection"), this);
        frProtection_->setObjectName(QStringLiteral("frProtection"));
        protection = new QVBoxLayout(frProtection_);
        frames->addWidget(frProtection_, placed, 0);
        ++placed;
      }
      auto* check = new QCheckBox(QString::fromLatin1(f.caption), frProtection_);
      check->setObjectName(QString::fromLatin1(f.control));
      protection->addWidget(check);
      checks_.push_back(check);
      lists_.push_back(nullptr);
      frames_.push_back(nullptr);
      continue;
    }
    auto* frame = new QGroupBox(QString::fromLatin1(f.caption), this);
    frame->setObjectName(FrameName(f.control));
    auto* inner = new QVBoxLayout(frame);
    auto* list = new QComboBox(frame);
    list->setObjectName(QString::fromLatin1(f.control));
    inner->addWidget(list);
    frames->addWidget(frame, placed, 0);
    ++placed;
    checks_.push_back(nullptr);
    lists_.push_back(list);
    frames_.push_back(frame);
  }
  extra_ = new QVBoxLayout;
  layout->addLayout(extra_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btAccept_ = new QPushButton(tr("Accept"), this);
  btAccept_->setDefault(true);
  btAccept_->setObjectName(QStringLiteral("btAccept"));
  buttons->addWidget(btAccept_);
  body.outer->addLayout(buttons);
  connect(btAccept_, &QPushButton::clicked, this, [this] { btAccept_Click(); });
}

void OptionBitsWindow::Form_Load() {
  const OptionBitsForm& form = OptionBitsFormOf(kind_);
  for (size_t i = 0; i < form.fields.size(); ++i) {
    if (!lists_[i]) continue;
    lists_[i]->clear();
    for (const char* entry : form.fields[i].entries) lists_[i]->addItem(QString::fromLatin1(entry));
  }
  ShowSettings(PreselectedSettings(kind_));
  if (auto* frames = findChild<QGridLayout*>(QStringLiteral("OptionFrames"))) {
    ArrangeInColumns(frames, BodyRoomWidth(this));
  }
}

void OptionBitsWindow::Form_Activate() {
  ShowSettings(DecodeOptionBytes(kind_, ReadOptionBytes(kind_)));
  const auto enabled = EnabledSettings(kind_, variant_);
  if (!enabled) return;   // a variant without a table keeps the controls as designed
  for (size_t i = 0; i < enabled->size(); ++i) {
    if (checks_[i]) checks_[i]->setEnabled((*enabled)[i]);
    if (lists_[i]) {
      lists_[i]->setEnabled((*enabled)[i]);
      frames_[i]->setEnabled((*enabled)[i]);
    }
  }
}

OptionSettings OptionBitsWindow::ShownSettings() const {
  OptionSettings settings;
  for (size_t i = 0; i < lists_.size(); ++i) {
    settings.push_back(checks_[i] ? (checks_[i]->isChecked() ? 1 : 0) : std::max(lists_[i]->currentIndex(), 0));
  }
  return settings;
}

void OptionBitsWindow::ShowSettings(const OptionSettings& settings) {
  for (size_t i = 0; i < lists_.size() && i < settings.size(); ++i) {
    if (checks_[i]) checks_[i]->setChecked(settings[i] != 0);
    else lists_[i]->setCurrentIndex(settings[i]);
  }
}

void OptionBitsWindow::btAccept_Click() {
  Accepting();
  StoreOptionBytes(kind_, EncodeOptionBytes(kind_, variant_, ShownSettings()));
  accept();
}

// ---- frmZLFOptions ----

ZlfOptionsWindow::ZlfOptionsWindow(QWidget* parent) : OptionBitsWindow(OptionBitsKind::Zlf, 0, parent) {
  frmUserMemory_ = new QGroupBox(tr("Flash Information Block - Page 3"), this);
  frmUserMemory_->setObjectName(QStringLiteral("frmUserMemory"));
  auto* grid = new QGridLayout(frmUserMemory_);
  btUserMemSel_ = new QPushButton(tr("Select HEX File for FIB3"), frmUserMemory_);
  btUserMemSel_->setObjectName(QStringLiteral("btUserMemSel"));
  tbEEPROMName_ = new QLineEdit(frmUserMemory_);
  tbEEPROMName_->setObjectName(QStringLiteral("tbEEPROMName"));
  tbEEPROMName_->setMaxLength(20);
  tbEEPROMName_->setText(FromAnsi(EEName));
  lblEEPROMFile_ = new QLabel(frmUserMemory_);
  lblEEPROMFile_->setObjectName(QStringLiteral("lblEEPROMFile"));
  lblEEPROMFile_->setMinimumWidth(320);
  grid->addWidget(btUserMemSel_, 0, 0);
  grid->addWidget(new QLabel(tr("Image Name"), frmUserMemory_), 0, 1);
  grid->addWidget(tbEEPROMName_, 0, 2);
  grid->addWidget(lblEEPROMFile_, 1, 0, 1, 3);
  extra_->addWidget(frmUserMemory_);
  connect(btUserMemSel_, &QPushButton::clicked, this, [this] { btUserMemSel_Click(); });
}

void ZlfOptionsWindow::btUserMemSel_Click() {
  if (LoadEEFile("")) {
    EepromFileChosen = true;
    lblEEPROMFile_->setText(FromAnsi(EEFilePath));
    tbEEPROMName_->setText(FromAnsi(EepromImageName(EEFileTitle)));
    ShowSettings(DecodeOptionBytes(kind_, ReadOptionBytes(kind_)));
    return;
  }
  if (LastErrorNumber == ErrDialogCancelled) return;   // the page chosen before stays
  // The page holds part of a file that failed; the family always programs
  // the page, so it goes back to erased rather than half a file.
  EEBuffer.assign(257, 0xFF);
  lblEEPROMFile_->clear();
  ShowSettings(DecodeOptionBytes(kind_, ReadOptionBytes(kind_)));
  ShowErrorReport();
}

void ZlfOptionsWindow::Accepting() {
  if (SecondaryEnabled) EEName = ToAnsi(tbEEPROMName_->text());
}
