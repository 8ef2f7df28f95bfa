#include "options/ui/SerializeDialog.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "options/SerialState.h"
#include "platform/AnsiText.h"
#include "platform/MessageBox.h"
#include "state/Bindings.h"
#include "ui/WindowPlacement.h"

namespace {
const char* const EntryTitle = "Device Serialization";
}

SerializeDialog::SerializeDialog(int progType, const std::string& family, int32_t eeSize, QWidget* parent)
    : QDialog(parent), choices_(SerialMemoryChoicesFor(progType, family, eeSize)) {
  setObjectName(QStringLiteral("frmSerialize"));
  setWindowTitle(tr("Device Serialization"));
  KeepOnScreen(this);   // whole title, on the screen at any scale
  // The frames scroll and Done stays, as on a small screen at a large scale.
  const ScrollingDialog frame(this);
  QBoxLayout* layout = frame.layout;

  frMemory_ = new QGroupBox(tr("Memory"), this);
  frMemory_->setObjectName(QStringLiteral("frMemory"));
  auto* memory = new QVBoxLayout(frMemory_);
  optDisabled_ = new QRadioButton(tr("Disabled"), frMemory_);
  optFlash_ = new QRadioButton(frMemory_);
  optEEPROM_ = new QRadioButton(frMemory_);
  optUser_ = new QRadioButton(frMemory_);
  const std::pair<QRadioButton*, const char*> memories[] = {
      {optDisabled_, "optDisabled"}, {optFlash_, "optFlash"}, {optEEPROM_, "optEEPROM"}, {optUser_, "optUser"}};
  uint8_t code = SerialOff;
  for (auto [option, name] : memories) {
    option->setObjectName(QString::fromLatin1(name));
    memory->addWidget(option);
    connect(option, &QRadioButton::clicked, this, [this, code] { Memory_Click(code); });
    ++code;
  }
  layout->addWidget(frMemory_);

  frAddress_ = new QGroupBox(tr("Target Address"), this);
  frAddress_->setObjectName(QStringLiteral("frAddress"));
  auto* address = new QHBoxLayout(frAddress_);
  lblAddress_ = new QLabel(tr("0x"), frAddress_);
  lblAddress_->setObjectName(QStringLiteral("lblAddress"));
  tbAddress_ = new QLineEdit(frAddress_);
  tbAddress_->setObjectName(QStringLiteral("tbAddress"));
  address->addWidget(lblAddress_);
  address->addWidget(tbAddress_);
  layout->addWidget(frAddress_);

  frSN_ = new QGroupBox(tr("Serial Number"), this);
  frSN_->setObjectName(QStringLiteral("frSN"));
  auto* sn = new QGridLayout(frSN_);
  OptMSB_ = new QRadioButton(tr("MSB First"), frSN_);
  OptMSB_->setObjectName(QStringLiteral("OptMSB"));
  OptLSB_ = new QRadioButton(tr("LSB First"), frSN_);
  OptLSB_->setObjectName(QStringLiteral("OptLSB"));
  lblSize_ = new QLabel(tr("Size (Bytes)"), frSN_);
  lblSize_->setObjectName(QStringLiteral("lblSize"));
  cbSerialNumBytes_ = new QComboBox(frSN_);
  cbSerialNumBytes_->setObjectName(QStringLiteral("cbSerialNumBytes"));
  sn->addWidget(OptMSB_, 0, 0);
  sn->addWidget(OptLSB_, 1, 0);
  sn->addWidget(lblSize_, 0, 1);
  sn->addWidget(cbSerialNumBytes_, 1, 1);
  layout->addWidget(frSN_);

  frNSN_ = new QGroupBox(tr("Next Serial Number"), this);
  frNSN_->setObjectName(QStringLiteral("frNSN"));
  auto* nsn = new QGridLayout(frNSN_);
  lblDecimal_ = new QLabel(tr("Decimal"), frNSN_);
  lblDecimal_->setObjectName(QStringLiteral("lblDecimal"));
  tbSNValue_ = new QLineEdit(frNSN_);
  tbSNValue_->setObjectName(QStringLiteral("tbSNValue"));
  tbSNValue_->setToolTip(tr("Next serial # value to be used"));
  lblHex_ = new QLabel(tr("Hex"), frNSN_);
  lblHex_->setObjectName(QStringLiteral("lblHex"));
  tbSnValueH_ = new QLineEdit(frNSN_);
  tbSnValueH_->setObjectName(QStringLiteral("tbSnValueH"));
  tbSnValueH_->setToolTip(tr("Next serial # value to be used"));
  btUpdate_ = new QPushButton(tr("Update"), frNSN_);
  btUpdate_->setObjectName(QStringLiteral("btUpdate"));
  btUpdate_->setAutoDefault(false);
  nsn->addWidget(lblDecimal_, 0, 0);
  nsn->addWidget(tbSNValue_, 0, 1);
  nsn->addWidget(lblHex_, 1, 0);
  nsn->addWidget(tbSnValueH_, 1, 1);
  nsn->addWidget(btUpdate_, 2, 1);
  layout->addWidget(frNSN_);

  btDone_ = new QPushButton(tr("Done"), this);
  btDone_->setObjectName(QStringLiteral("btDone"));
  btDone_->setAutoDefault(false);
  frame.outer->addWidget(btDone_);
  frame.FitToContents();

  connect(OptMSB_, &QRadioButton::clicked, this, [this] { ByteOrder_Click(true); });
  connect(OptLSB_, &QRadioButton::clicked, this, [this] { ByteOrder_Click(false); });
  connect(cbSerialNumBytes_, QOverload<int>::of(&QComboBox::activated), this, [this](int) { cbSerialNumBytes_Click(); });
  connect(btUpdate_, &QPushButton::clicked, this, [this] { btUpdate_Click(); });
  connect(btDone_, &QPushButton::clicked, this, &QDialog::accept);
  for (QLineEdit* box : {tbAddress_, tbSNValue_, tbSnValueH_}) box->installEventFilter(this);
  for (QLineEdit* box : {tbSNValue_, tbSnValueH_}) {
    connect(box, &QLineEdit::textEdited, btUpdate_, &QWidget::show);
  }
}

void SerializeDialog::Form_Load() {
  btUpdate_->hide();
  optFlash_->setText(FromAnsi(choices_.flash));
  optEEPROM_->setText(FromAnsi(choices_.eeprom));
  optEEPROM_->setEnabled(choices_.eepromEnabled);
  optUser_->setText(FromAnsi(choices_.user));
  optUser_->setVisible(choices_.userVisible);
  optUser_->setEnabled(choices_.userEnabled);

  cbSerialNumBytes_->clear();
  for (const char* size : {"2", "4", "6"}) cbSerialNumBytes_->addItem(QString::fromLatin1(size));
  SelectListedSize();
  SerialFormat = SerialFormatWith(SerialFormat, ListedSerialSize(SerialFormat));
  tbAddress_->setText(QStringLiteral("0x") + FromAnsi(SerialAddressText(SerialAddress)));
  Refresh();

  // Shown for a stored image, nothing here is sent anywhere: it cannot be
  // changed, and Enter closes it. Being edited, Enter takes a box's entry.
  frMemory_->setEnabled(SerialEditable);
  btDone_->setDefault(!SerialEditable);
  EnableSerialControls(SerialMemory != SerialOff);
}

void SerializeDialog::SelectListedSize() {
  const int size = ListedSerialSize(SerialFormat);
  cbSerialNumBytes_->setCurrentIndex(size == 2 ? 0 : size == 4 ? 1 : 2);
}

void SerializeDialog::Refresh() {
  const SerialTexts texts = SerialRefreshTexts(SerialNumber, SerialSize(SerialFormat));
  tbSnValueH_->setText(QString::fromStdString(texts.hex));
  tbSNValue_->setText(QString::fromStdString(texts.decimal));

  // Read from a stored image the code is shown as the unit has it, even where this device offers no such memory.
  if (SerialEditable) SerialMemory = SelectableSerialMemory(SerialMemory, choices_);
  QRadioButton* selected = SerialMemory == SerialFlash    ? optFlash_
                           : SerialMemory == SerialEeprom ? optEEPROM_
                           : SerialMemory == SerialUser   ? optUser_
                                                          : optDisabled_;
  selected->setChecked(true);
  EnableSerialControls(SerialMemory != SerialOff);

  tbAddress_->setText(FromAnsi(SerialAddressText(SerialAddress)));
  ((SerialFormat & SerialMsbFirst) ? OptMSB_ : OptLSB_)->setChecked(true);
  btUpdate_->hide();
}

void SerializeDialog::EnableSerialControls(bool enabled) {
  for (QWidget* w : {static_cast<QWidget*>(frSN_), static_cast<QWidget*>(frNSN_), static_cast<QWidget*>(frAddress_)}) {
    w->setEnabled(enabled && SerialEditable);
  }
  for (QWidget* w : {static_cast<QWidget*>(cbSerialNumBytes_), static_cast<QWidget*>(tbAddress_),
                     static_cast<QWidget*>(lblAddress_), static_cast<QWidget*>(lblSize_),
                     static_cast<QWidget*>(lblDecimal_), static_cast<QWidget*>(lblHex_),
                     static_cast<QWidget*>(OptMSB_), static_cast<QWidget*>(OptLSB_)}) {
    w->setEnabled(enabled);
  }
}

void SerializeDialog::Memory_Click(uint8_t memory) {
  SerialMemory = memory;
  EnableSerialControls(memory != SerialOff);
}

void SerializeDialog::cbSerialNumBytes_Click() {
  const int size = cbSerialNumBytes_->currentText().toInt();
  if (!SerialFits(SerialNumber, size)) {
    // A smaller size would cut the next number; it stays as it was.
    SelectListedSize();
    Refuse("The next serial number does not fit in " + std::to_string(size) + " bytes. Enter a smaller number first.");
    return;
  }
  SerialFormat = SerialFormatWith(SerialFormat, size);
  Refresh();
}

void SerializeDialog::ByteOrder_Click(bool msbFirst) { SerialFormat = SerialFormatWithOrder(SerialFormat, msbFirst); }

void SerializeDialog::tbAddress_LostFocus() {
  int32_t address = 0;
  std::string message;
  if (SerialAddressFromEntry(ToAnsi(tbAddress_->text()), address, message)) {
    SerialAddress = address;
    Refresh();
  } else {
    Refresh();   // the stored address is shown again
    Refuse(message);
  }
}

void SerializeDialog::SerialNumber_LostFocus(int base) {
  QLineEdit* box = base == 16 ? tbSnValueH_ : tbSNValue_;
  const int size = SerialSize(SerialFormat);
  const SerialTexts shown = SerialRefreshTexts(SerialNumber, size);
  const std::string text = ToAnsi(box->text());
  if (text == (base == 16 ? shown.hex : shown.decimal)) {
    btUpdate_->hide();
    return;
  }
  std::string message;
  const bool taken = SerialFromEntry(text, base, size, SerialNumber, message);
  Refresh();   // a refused entry shows the number kept
  if (!taken) Refuse(message);
}

void SerializeDialog::btUpdate_Click() {
  // A box still being typed in is taken first.
  if (tbSnValueH_->isModified()) SerialNumber_LostFocus(16);
  else if (tbSNValue_->isModified()) SerialNumber_LostFocus(10);
  tbSNValue_->setModified(false);
  tbSnValueH_->setModified(false);
  Refresh();
}

void SerializeDialog::Refuse(const std::string& message) {
  const bool was = leaving_;
  leaving_ = true;   // the box gives the focus to the message box: no second entry
  MessageBox->MsgBox(message, vbExclamation, EntryTitle);
  leaving_ = was;
}
bool SerializeDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::FocusIn && event->type() != QEvent::FocusOut) return QDialog::eventFilter(watched, event);
  auto* box = qobject_cast<QLineEdit*>(watched);
  if (!box) return false;
  if (event->type() == QEvent::FocusIn) {
    box->selectAll();
    return false;
  }
  // The window losing the activation (a message box, another program) is no leaving of the box.
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || leaving_) return false;
  leaving_ = true;
  if (box == tbAddress_) tbAddress_LostFocus();
  else SerialNumber_LostFocus(box == tbSnValueH_ ? 16 : 10);
  box->setModified(false);
  leaving_ = false;
  return false;
}
