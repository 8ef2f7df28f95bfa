#include "devices/ui/ReadImageDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "devices/ui/DeviceLists.h"
#include "images/ImageSettings.h"
#include "link/ErrorRecord.h"
#include "operations/ImageDirectory.h"
#include "operations/LoadImage.h"
#include "operations/PortStatus.h"
#include "operations/ReadTarget.h"
#include "operations/RunState.h"
#include "platform/AnsiText.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/SettingsStore.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "ui/StatusLabel.h"
#include "ui/WindowPlacement.h"

ReadImageDialog::ReadImageDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmReadImage"));
  setWindowTitle(tr("Read Image from Target"));
  KeepOnScreen(this);   // whole title, on the screen at any scale
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  cbImageNum_ = new QComboBox(this);
  tbImageName_ = new QLineEdit(this);
  tbImageName_->setMaxLength(20);
  cbPort_ = new QComboBox(this);
  lstDevFamily_ = new QComboBox(this);
  lstDevType_ = new QComboBox(this);
  lstVoltage_ = new QComboBox(this);
  lstMode_ = new QComboBox(this);
  lblMode_ = new QLabel(tr("Mode"), this);
  form->addRow(tr("Image"), cbImageNum_);
  form->addRow(tr("Image Name"), tbImageName_);
  form->addRow(tr("Target Port"), cbPort_);
  form->addRow(tr("Device Family"), lstDevFamily_);
  form->addRow(tr("Device Type"), lstDevType_);
  form->addRow(tr("Target Voltage"), lstVoltage_);
  form->addRow(lblMode_, lstMode_);
  auto* freq = new QHBoxLayout;
  tbTgtFreq_ = new QLineEdit(this);
  lstFreq_ = new QComboBox(this);
  freq->addWidget(tbTgtFreq_);
  freq->addWidget(lstFreq_);
  lblTgtFreq_ = new QLabel(tr("Target Clock"), this);
  form->addRow(lblTgtFreq_, freq);
  layout->addLayout(form);

  auto* options = new QHBoxLayout;
  optPDI_ = new QRadioButton(tr("PDI"), this);
  optJTAG_ = new QRadioButton(tr("JTAG"), this);
  optSPI_ = new QRadioButton(tr("SPI"), this);
  cbSlowOCDClock_ = new QCheckBox(tr("Use Slow OCD Clock"), this);
  cbSWIF_ = new QCheckBox(tr("SWIF"), this);
  for (QWidget* w : {static_cast<QWidget*>(optPDI_), static_cast<QWidget*>(optJTAG_), static_cast<QWidget*>(optSPI_),
                     static_cast<QWidget*>(cbSlowOCDClock_), static_cast<QWidget*>(cbSWIF_)}) {
    options->addWidget(w);
  }
  layout->addLayout(options);

  frmEEPROM_ = new QGroupBox(this);
  auto* ee = new QHBoxLayout(frmEEPROM_);
  cbEERead_ = new QCheckBox(tr("Enable Read"), frmEEPROM_);
  lblEEPROMImage_ = new QLabel(tr("Image Name"), frmEEPROM_);
  tbEEPromImage_ = new QLineEdit(frmEEPROM_);
  ee->addWidget(cbEERead_);
  ee->addWidget(lblEEPROMImage_);
  ee->addWidget(tbEEPromImage_);
  layout->addWidget(frmEEPROM_);

  auto* status = new QHBoxLayout;
  StatusPic_ = new QLabel(this);
  StatusPic_->setFixedSize(36, 36);
  StatusPic_->hide();
  lblPortStatus_ = new QLabel(this);
  lblPortStatus_->setAutoFillBackground(true);
  lblPortStatus_->setMinimumWidth(200);
  status->addWidget(StatusPic_);
  status->addWidget(lblPortStatus_, 1);
  layout->addLayout(status);

  auto* buttons = new QHBoxLayout;
  btRead_ = new QPushButton(tr("Read Image"), this);
  btRead_->setDefault(true);
  btCancel_ = new QPushButton(tr("Cancel"), this);
  buttons->addStretch(1);
  buttons->addWidget(btRead_);
  buttons->addWidget(btCancel_);
  layout->addLayout(buttons);

  connect(cbImageNum_, QOverload<int>::of(&QComboBox::activated), this, [](int i) { ImageNumber = i + 1; });
  connect(cbPort_, QOverload<int>::of(&QComboBox::activated), this, [](int i) { ReadPort = i + 1; });
  connect(lstDevFamily_, QOverload<int>::of(&QComboBox::activated), this, [this](int) { lstDevFamily_Click(); });
  connect(lstDevType_, QOverload<int>::of(&QComboBox::activated), this, [this](int) { lstDevType_Click(); });
  connect(cbEERead_, &QCheckBox::clicked, this, [this] { cbEERead_Click(); });
  connect(tbTgtFreq_, &QLineEdit::editingFinished, this, [this] { tbTgtFreq_LostFocus(); });
  connect(btRead_, &QPushButton::clicked, this, [this] { btRead_Click(); });
  connect(btCancel_, &QPushButton::clicked, this, &QDialog::reject);
  frmReadImage = this;
}

ReadImageDialog::~ReadImageDialog() {
  if (frmReadImage == this) frmReadImage = nullptr;
}

int ReadImageDialog::StoredIndex(const char* key) const {
  return std::atoi(Settings->GetSetting(ProgTypeName, key, "0").c_str());
}

void ReadImageDialog::Form_Load() {
  frmEEPROM_->setTitle(FromAnsi("Read " + SecondaryName));
  cbPort_->clear();
  for (int port = 1; port <= 4; ++port) cbPort_->addItem(QString::number(port));
  cbPort_->setCurrentIndex(0);
  ReadPort = 1;
  FillSlotList(cbImageNum_);

  FillFamilyList();
  const int family = StoredIndex("Family");
  if (family >= 0 && family < lstDevFamily_->count()) lstDevFamily_->setCurrentIndex(family);
  lstDevFamily_Click();
  const int device = StoredIndex("DevType");
  if (device >= 0 && device < lstDevType_->count()) lstDevType_->setCurrentIndex(device);
  lstDevType_Click();
  const int voltage = StoredIndex("Voltage");
  if (voltage >= 0 && voltage < lstVoltage_->count()) lstVoltage_->setCurrentIndex(voltage);
  const int mode = StoredIndex("ProgMode");
  if (mode >= 0 && mode < lstMode_->count()) lstMode_->setCurrentIndex(mode);
  FillFreqList();
  ShowInterfaces();
  cbSWIF_->setVisible(ProgType == 1);
  cbSlowOCDClock_->setVisible(SelectedTypeTraits().hasTargetClock);
}

void ReadImageDialog::FillFamilyList() {
  FillFamilies(lstDevFamily_);
}

void ReadImageDialog::FillDeviceList() {
  FillDeviceTypes(lstDevType_);
}

void ReadImageDialog::lstDevFamily_Click() {
  CurFamily = std::max(lstDevFamily_->currentIndex(), 0);
  LoadDeviceTypes();
  FillDeviceList();
}

void ReadImageDialog::lstDevType_Click() {
  CurDevice = std::max(lstDevType_->currentIndex(), 0);
  FillVoltageList();
  FillModeList();
  ShowInterfaces();
}

void ReadImageDialog::FillVoltageList() {
  FillVoltages(lstVoltage_, lstDevType_->count() > 0);
}

void ReadImageDialog::FillModeList() {
  const bool any = FillModeNames(lstMode_);
  lstMode_->setVisible(any);
  lblMode_->setVisible(any);
  const bool interfaces = SelectedTypeTraits().choosesInterface;
  optJTAG_->setVisible(interfaces);
  optSPI_->setVisible(interfaces);
  optPDI_->setVisible(interfaces);
  const bool secondMemory = ProgType == 6 && DeviceTable[CurDevice].DevEESize > 0;
  frmEEPROM_->setVisible(secondMemory);
  if (secondMemory) frmEEPROM_->setTitle(tr("Read EEPROM"));
  cbEERead_->setChecked(false);
  cbEERead_Click();
}

void ReadImageDialog::ShowInterfaces() {
  const bool interfaces = SelectedTypeTraits().choosesInterface;
  for (QRadioButton* o : {optPDI_, optJTAG_, optSPI_}) {
    o->setVisible(interfaces);
    o->setEnabled(false);
    o->setAutoExclusive(false);
    o->setChecked(false);
    o->setAutoExclusive(true);
  }
  if (!interfaces) return;
  const int16_t flags = DeviceTable[CurDevice].DevFlags;
  if (flags & 4) {
    optPDI_->setEnabled(true);
    optPDI_->setChecked(true);
  }
  if (flags & 8) {
    optJTAG_->setEnabled(true);
    optJTAG_->setChecked(true);
  }
  const bool spi = flags & 16;
  if (spi) {
    optSPI_->setEnabled(true);
    optSPI_->setChecked(true);
  }
  for (QWidget* w : {static_cast<QWidget*>(tbTgtFreq_), static_cast<QWidget*>(lstFreq_),
                     static_cast<QWidget*>(lblTgtFreq_)}) {
    w->setVisible(spi);
  }
}

void ReadImageDialog::FillFreqList() {
  const bool clocked = FillFrequencyUnits(lstFreq_, tbTgtFreq_);
  for (QWidget* w : {static_cast<QWidget*>(lstFreq_), static_cast<QWidget*>(tbTgtFreq_),
                     static_cast<QWidget*>(lblTgtFreq_)}) {
    w->setVisible(clocked);
  }
}

void ReadImageDialog::cbEERead_Click() {
  tbEEPromImage_->setEnabled(cbEERead_->isChecked());
  lblEEPROMImage_->setEnabled(cbEERead_->isChecked());
}

void ReadImageDialog::tbTgtFreq_LostFocus() {
  NormalizeFrequencyBox(tbTgtFreq_, lstFreq_);
}

void ReadImageDialog::btRead_Click() {
  const DeviceRecord& device = DeviceTable[CurDevice];
  if (SelectedTypeTraits().powerOnNote && (device.DevFlags & 0x80)) {
    MessageBox->MsgBox("NOTE: Power-on Programming Required\r\n\r\n"
                       "Programming of this device must be initiated with device power OFF.\r\n"
                       "Device power must then be applied within ten seconds of initiating programming.",
                       vbInformation, "Device Specific Information");
  }
  if (tbImageName_->text().isEmpty()) {
    MessageBox->MsgBox("Image Name is Blank", vbOKOnly, "Read Image from Target");
    return;
  }
  // A stored image is replaced only when the operator says so; No sends nothing.
  if (SlotHoldsImage(ImageNumber) && MessageBox->MsgBox(ReplaceImageQuestion(ImageNumber),
                                                        vbYesNo + vbQuestion + vbDefaultButton2,
                                                        "Read Image from Target") != vbYes) {
    return;
  }
  btCancel_->hide();
  const bool eeRead = cbEERead_->isChecked();
  const bool slow = cbSlowOCDClock_->isChecked();
  // The whole mode index counts here, not a bit per mode.
  int mode = std::max(lstMode_->currentIndex(), 0);
  switch (ProgType) {
    case 2: mode += (slow ? 2 : 0) + (eeRead ? 4 : 0); break;
    case 6: mode += (eeRead ? 2 : 0) + (optJTAG_->isChecked() ? 4 : 0) + (slow ? 32 : 0); break;
    case 7: mode += eeRead ? 2 : 0; break;
    case 1:
      mode += (FamilyList[CurFamily] == "CapSense" ? 2 : 0) + ((device.DevFlags & 2) ? 8 : 0) +
              (cbSWIF_->isChecked() ? 32 : 0);
      break;
    default: break;
  }
  TargetReadSettings settings;
  settings.image = ImageNumber;
  settings.port = ReadPort;
  settings.name = ToAnsi(tbImageName_->text());
  settings.secondName = eeRead ? ToAnsi(tbEEPromImage_->text()) : EEName;
  settings.mode = static_cast<int16_t>(mode);
  settings.voltage = VoltageCode(ToAnsi(lstVoltage_->currentText()));
  settings.freq = ImageFreq;
  if (SelectedTypeTraits().hasTargetClock) {
    // Whole units of what the box shows, halves to even, then KHz.
    const double value = ValWithin(ToAnsi(tbTgtFreq_->text()), 0, 32767);
    const int64_t whole = RoundHalfEven(value) * (lstFreq_->currentText() == QStringLiteral("MHz") ? 1000 : 1);
    settings.freq = static_cast<int16_t>(std::min<int64_t>(whole, 32767));
  }
  if (ReadTargetIntoSlot(settings)) {
    MessageBox->MsgBox("Image Load Complete", vbOKOnly, "Read Target Image to Programmer");
  } else {
    ShowErrorReport();
  }
  accept();
}

void ReadImageDialog::done(int result) {
  Settings->SaveSetting(ProgTypeName, "Family", std::to_string(lstDevFamily_->currentIndex()));
  Settings->SaveSetting(ProgTypeName, "DevType", std::to_string(lstDevType_->currentIndex()));
  Settings->SaveSetting(ProgTypeName, "Voltage", std::to_string(lstVoltage_->currentIndex()));
  QDialog::done(result);
}

void ReadImageDialog::SetPortStatus(const std::string& caption, int64_t backColor, int64_t foreColor) {
  PaintStatusLabel(lblPortStatus_, caption, backColor, foreColor);
}

void ReadImageDialog::ShowStatusPicture(const std::string& file) {
  StatusPic_->setPixmap(QPixmap(QString::fromStdString(file)));
  StatusPic_->show();
}

void ReadImageDialog::HideStatusPicture() { StatusPic_->hide(); }
