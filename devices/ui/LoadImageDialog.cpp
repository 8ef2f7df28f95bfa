#include "devices/ui/LoadImageDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstdio>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "devices/ui/DeviceLists.h"
#include "images/FileSelection.h"
#include "images/ImageSettings.h"
#include "images/Loaders.h"
#include "images/ProjectFile.h"
#include "images/ProjectState.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/ImageDirectory.h"
#include "operations/LoadImage.h"
#include "options/AvrOptions.h"
#include "options/FuseDefinitions.h"
#include "options/FuseState.h"
#include "options/SerialState.h"
#include "options/Serialization.h"
#include "platform/AnsiText.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/SettingsStore.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/MainWindowView.h"
#include "ui/MainFrame.h"
#include "ui/WindowPlacement.h"

namespace {


bool ShowsEraseEEPROM(const std::string& family) {
  return family == "PSoC3" || family == "PSoC5" || family == "PSoC5LP";
}

}  // namespace

LoadImageDialog::LoadImageDialog(MainFrame& main, QWidget* parent) : QDialog(parent), main_(main) {
  setObjectName(QStringLiteral("frmLoadImage"));
  setWindowTitle(tr("Load Image From File"));
  KeepOnScreen(this);   // whole title, on the screen at any scale
  // Everything but the button row scrolls, so at a large scale factor on a
  // small screen the buttons stay on it.
  const ScrollingDialog frame(this);
  QBoxLayout* layout = frame.layout;
  auto* form = new QFormLayout;
  cbImageNum_ = new QComboBox(this);
  tbImageName_ = new QLineEdit(this);
  tbImageName_->setMaxLength(20);
  lstDevFamily_ = new QComboBox(this);
  lstDevType_ = new QComboBox(this);
  lstVoltage_ = new QComboBox(this);
  lstMode_ = new QComboBox(this);
  lblMode_ = new QLabel(tr("Mode"), this);
  form->addRow(tr("Image"), cbImageNum_);
  form->addRow(tr("Image Name"), tbImageName_);
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

  frmInterface_ = new QGroupBox(tr("Programming Interface"), this);
  auto* interfaces = new QHBoxLayout(frmInterface_);
  optSPI_ = new QRadioButton(tr("SPI"), frmInterface_);
  optJTAG_ = new QRadioButton(tr("JTAG"), frmInterface_);
  optPDI_ = new QRadioButton(tr("PDI"), frmInterface_);
  optTPI_ = new QRadioButton(tr("TPI"), frmInterface_);
  for (QRadioButton* o : {optSPI_, optJTAG_, optPDI_, optTPI_}) interfaces->addWidget(o);
  layout->addWidget(frmInterface_);
  auto* checks = new QHBoxLayout;
  cbFusesFirst_ = new QCheckBox(tr("Fuses First"), this);
  cbSlowOCDClock_ = new QCheckBox(tr("Use Slow Clock"), this);
  cbEraseEEPROM_ = new QCheckBox(tr("Erase EEPROM"), this);
  cbSWIF_ = new QCheckBox(tr("SWIF"), this);
  for (QCheckBox* c : {cbFusesFirst_, cbSlowOCDClock_, cbEraseEEPROM_, cbSWIF_}) checks->addWidget(c);
  layout->addLayout(checks);

  auto* files = new QGroupBox(tr("Image Files"), this);
  auto* fileGrid = new QGridLayout(files);
  for (int i = 0; i < 4; ++i) {
    lblFile_[i] = new QLabel(files);
    lblFile_[i]->setMinimumWidth(320);
    btFileAdd_[i] = new QPushButton(tr("Add..."), files);
    btFileDelete_[i] = new QPushButton(tr("Delete"), files);
    fileGrid->addWidget(lblFile_[i], i, 0);
    fileGrid->addWidget(btFileAdd_[i], i, 1);
    fileGrid->addWidget(btFileDelete_[i], i, 2);
    connect(btFileAdd_[i], &QPushButton::clicked, this, [this, i] { btFileAdd_Click(i); });
    connect(btFileDelete_[i], &QPushButton::clicked, this, [this, i] { btFileDelete_Click(i); });
  }
  layout->addWidget(files);

  auto* security = new QHBoxLayout;
  cbRestricted_ = new QCheckBox(tr("Restricted Count"), this);
  tbCount_ = new QLineEdit(this);
  lblCount_ = new QLabel(tr("Devices"), this);
  cbReadProtect_ = new QCheckBox(tr("Read Protect"), this);
  security->addWidget(cbRestricted_);
  security->addWidget(tbCount_);
  security->addWidget(lblCount_);
  security->addWidget(cbReadProtect_);
  layout->addLayout(security);

  lblProjectPath_ = new QLabel(this);
  layout->addWidget(lblProjectPath_);
  auto* buttons = new QHBoxLayout;
  btOptions_ = new QPushButton(tr("Options"), this);
  btSerialDetails_ = new QPushButton(tr("Serialization"), this);
  btSaveProject_ = new QPushButton(tr("Save Project"), this);
  btLoad_ = new QPushButton(tr("Load Image"), this);
  btLoad_->setDefault(true);
  btCancel_ = new QPushButton(tr("Cancel"), this);
  for (QPushButton* b : {btOptions_, btSerialDetails_, btSaveProject_}) buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(btLoad_);
  buttons->addWidget(btCancel_);
  frame.outer->addLayout(buttons);
  frame.FitToContents();

  connect(cbImageNum_, QOverload<int>::of(&QComboBox::activated), this, [this](int i) { ImageNumber = i + 1; });
  connect(lstDevFamily_, QOverload<int>::of(&QComboBox::activated), this, [this](int) { lstDevFamily_Click(); });
  connect(lstDevType_, QOverload<int>::of(&QComboBox::activated), this, [this](int) { lstDevType_Click(); });
  connect(cbRestricted_, &QCheckBox::clicked, this, [this] { cbRestricted_Click(); });
  connect(tbCount_, &QLineEdit::editingFinished, this,
          [this] { tbCount_->setText(QString::number(static_cast<qint64>(ValWithin(ToAnsi(tbCount_->text()), -2147483648.0, 2147483647.0)))); });
  connect(tbTgtFreq_, &QLineEdit::editingFinished, this, [this] { tbTgtFreq_LostFocus(); });
  connect(btSaveProject_, &QPushButton::clicked, this, [this] { btSaveProject_Click(); });
  connect(btOptions_, &QPushButton::clicked, this, [this] { btOptions_Click(); });
  connect(btSerialDetails_, &QPushButton::clicked, this, [this] { btSerialDetails_Click(); });
  connect(btLoad_, &QPushButton::clicked, this, [this] { btLoad_Click(); });
  connect(btCancel_, &QPushButton::clicked, this, &QDialog::reject);
  btOptions_->hide();
  btSerialDetails_->hide();
  btSerialDetails_->setObjectName(QStringLiteral("btSerialDetails"));

  frmLoadImage = this;
}

LoadImageDialog::~LoadImageDialog() {
  if (frmLoadImage == this) frmLoadImage = nullptr;
}

int LoadImageDialog::StoredIndex(const char* key, int defaultValue) const {
  return std::atoi(Settings->GetSetting(ProgTypeName, key, std::to_string(defaultValue)).c_str());
}

void LoadImageDialog::Form_Load() {
  starting_ = true;
  const bool projectRequested = OpenProjectRequest;
  SecondaryEnabled = false;
  btCancel_->show();
  btCancel_->setEnabled(true);
  cbRestricted_->setChecked(false);
  tbCount_->setEnabled(false);
  tbCount_->setText(tr("Unrestricted"));

  ProjectLoaded = OpenProjectRequest ? OpenProject() : false;

  FillSlotList(cbImageNum_);

  FillFamilyList();
  if (ProjectLoaded) {
    const int at = lstDevFamily_->findText(FromAnsi(ProjFamily), Qt::MatchExactly);
    if (at >= 0) lstDevFamily_->setCurrentIndex(at);
    else MessageBox->MsgBox("Can't Find Device Family " + ProjFamily, vbExclamation, "Load Project");
  } else {
    const int stored = StoredIndex("Family", 0);
    if (stored >= 0 && stored < lstDevFamily_->count()) lstDevFamily_->setCurrentIndex(stored);
  }
  lstDevFamily_Click();

  if (ProjectLoaded) {
    const int at = lstDevType_->findText(FromAnsi(ProjDevice), Qt::MatchExactly);
    if (at >= 0) lstDevType_->setCurrentIndex(at);
    else MessageBox->MsgBox("Can't Find Device " + ProjDevice, vbExclamation, "Load Project");
  } else {
    const int stored = StoredIndex("DevType", 0);
    if (stored >= 0 && stored < lstDevType_->count()) lstDevType_->setCurrentIndex(stored);
  }
  CurDevice = std::max(lstDevType_->currentIndex(), 0);
  fusesFailed_ = false;
  if (HasProgrammingOptions(ProgType)) {
    LoadFuses();
    if (ProjectLoaded) {
      // A fuse value the device cannot take stops the load, as a damaged fuse file does.
      if (!fusesFailed_ && !TakeProjectOptions()) {
        fusesFailed_ = true;
        fuseError_ = LastErrorText;
        ShowErrorReport();
      }
    } else {
      // A JTAG ID check of an earlier project is not carried into a new image unseen.
      JtagIdCheck = false;
      JtagPart = 0;
      JtagVersion = 0;
    }
  }
  FillFreqList();
  if (ProjectLoaded && SelectedTypeTraits().hasTargetClock) {
    if (ProjFreq < 1000) {
      tbTgtFreq_->setText(QString::number(ProjFreq));
      lstFreq_->setCurrentText(QStringLiteral("KHz"));
    } else {
      tbTgtFreq_->setText(QString::fromStdString(FormatFixed(ProjFreq / 1000.0, 3)));
    }
  }

  FillVoltageList();
  if (ProjectLoaded) {
    int found = -1;
    for (int i = 0; i < lstVoltage_->count(); ++i) {
      if (VoltageCode(ToAnsi(lstVoltage_->itemText(i))) == VoltageCode(FormatFixed(ProjVoltage, 2))) found = i;
    }
    if (found >= 0) lstVoltage_->setCurrentIndex(found);
    else MessageBox->MsgBox("Invalid Target Voltage " + FormatFixed(ProjVoltage, 2), vbExclamation, "Load Project");
  } else {
    const int stored = StoredIndex("Voltage", 0);
    if (stored >= 0 && stored < lstVoltage_->count()) lstVoltage_->setCurrentIndex(stored);
  }

  ShowInterfaces();
  FillModeList();
  if (ProjectLoaded) {
    ApplyProjectMode();
  } else {
    const int stored = StoredIndex("ProgMode", 0);
    if (stored >= 0 && stored < lstMode_->count()) lstMode_->setCurrentIndex(stored);
  }

  if (ProjectLoaded && ProgType == 6 && (ProjMode & 2)) {
    SecondaryEnabled = LoadEEFile(EEFilePath);
    EepromFileChosen = SecondaryEnabled;
    if (SecondaryEnabled) EEName = EepromImageName(EEFileTitle);
  }

  // A new image starts without serialization; the dialog of the button sets it up.
  SerialMemory = SerialOff;
  SerialFormat = 0;
  SerialAddress = 0;
  SerialNumber = {};
  const std::string family = ToAnsi(lstDevFamily_->currentText());
  cbEraseEEPROM_->setVisible(ShowsEraseEEPROM(family));
  cbSWIF_->setVisible(ProgType == 1);

  if (!ProjectLoaded) {
    FileCount = 0;
    FileList.fill("");
    lblProjectPath_->clear();
  } else {
    lblProjectPath_->setText(FromAnsi(ProjectFile));
  }
  ShowFileSlots();
  cbReadProtect_->setChecked(StoredIndex("RP", 0) != 0);
  OpenProjectRequest = ProjectLoaded;
  starting_ = false;
  Form_Activate();
  if (!projectRequested) btFileAdd_Click(0);   // the file dialog opens at once
}

void LoadImageDialog::ApplyProjectMode() {
  switch (ProgType) {
    case 2:
      cbSlowOCDClock_->setChecked(ProjMode & 2);
      SecondaryEnabled = ProjMode & 4;
      break;
    case 6:
      SecondaryEnabled = ProjMode & 2;
      if (ProjMode & 4) optJTAG_->setChecked(true);
      else if (optPDI_->isEnabled()) optPDI_->setChecked(true);
      else if (optTPI_->isEnabled()) optTPI_->setChecked(true);
      else optSPI_->setChecked(true);
      cbFusesFirst_->setChecked(ProjMode & 8);
      cbSlowOCDClock_->setChecked(ProjMode & 32);
      break;
    case 7:
      SecondaryEnabled = ProjMode & 2;
      AVR32SecurityF = ProjMode & 4;
      break;
    case 1:
    case 8:
      cbEraseEEPROM_->setChecked(ProjMode & 16);
      cbSWIF_->setChecked(ProjMode & 32);
      break;
    default:
      break;
  }
  if (lstMode_->count() > 0) lstMode_->setCurrentIndex(std::min<int>(ProjMode & 1, lstMode_->count() - 1));
}

void LoadImageDialog::Form_Activate() {
  const bool countSupport = FwGen2;
  const std::string family = ToAnsi(lstDevFamily_->currentText());
  cbRestricted_->setVisible(countSupport);
  tbCount_->setVisible(countSupport);
  lblCount_->setVisible(countSupport);
  btSerialDetails_->setVisible(countSupport && SerialOffered());
  if (!countSupport && family == "CapSense") {
    MessageBox->MsgBox("CapSense Support requires VRX-V2 or later hardware", vbOKOnly, "Device Support Warning");
  }
}

void LoadImageDialog::FillFamilyList() {
  FillFamilies(lstDevFamily_);
}

void LoadImageDialog::FillDeviceList() {
  FillDeviceTypes(lstDevType_);
  CurDevice = std::max(lstDevType_->currentIndex(), 0);
  btSerialDetails_->setVisible(FwGen2 && SerialOffered());
}

bool LoadImageDialog::SerialOffered() const {
  return SerialSupported && ToAnsi(lstDevFamily_->currentText()) != "CapSense";
}

void LoadImageDialog::btSerialDetails_Click() {
  SerialEditable = true;
  main_.RunSerialization(this, FamilyList[CurFamily], DeviceTable[CurDevice].DevEESize);
}

void LoadImageDialog::lstDevFamily_Click() {
  CurFamily = std::max(lstDevFamily_->currentIndex(), 0);
  LoadDeviceTypes();
  FillDeviceList();
  const std::string family = FamilyList[CurFamily];
  if (ProgType == 2) {
    if (family == "ZLF645") {
      EEBuffer.assign(257, 0xFF);
      SecondaryEnabled = true;
      EepromFileChosen = true;
      lstMode_->setCurrentIndex(0);
      lstMode_->setEnabled(false);
    } else {
      SecondaryEnabled = false;
      lstMode_->setEnabled(true);
    }
  }
  const bool zneo = family == "ZNeo";
  for (QWidget* w : {static_cast<QWidget*>(cbSlowOCDClock_), static_cast<QWidget*>(lblTgtFreq_),
                     static_cast<QWidget*>(tbTgtFreq_), static_cast<QWidget*>(lstFreq_)}) {
    if (zneo) w->hide();
  }
  cbEraseEEPROM_->setVisible(ShowsEraseEEPROM(family));
  if (!starting_) lstDevType_Click();
}

void LoadImageDialog::lstDevType_Click() {
  CurDevice = std::max(lstDevType_->currentIndex(), 0);
  // Option bytes chosen for another device are not carried over unseen.
  optionKind_ = OptionBitsKind::None;
  optionBytes_.clear();
  FillVoltageList();
  FillModeList();
  ShowInterfaces();
  if (!starting_ && HasProgrammingOptions(ProgType)) {
    LoadFuses();
    MessageBox->MsgBox(DefaultFusesText, vbInformation, "Load Image");
  }
}

void LoadImageDialog::LoadFuses() {
  fusesFailed_ = !LoadDeviceFuses();
  fuseError_ = fusesFailed_ ? LastErrorText : "";
  optionsShown_ = false;
  if (fusesFailed_) ShowFuseDefinitionError();
}

void LoadImageDialog::btOptions_Click() {
  if (SelectedTypeTraits().optionsWindow == OptionsWindow::OptionBits) {
    btOptions_OptionBits();
    return;
  }
  if (!HasProgrammingOptions(ProgType)) return;
  const bool jtag = optJTAG_->isEnabled() && optJTAG_->isChecked();
  main_.RunProgrammingOptions(
      this, ProgrammingOptionsFor(ProgType, DeviceTable[CurDevice].DevEESize, jtag, ProjectLoaded || optionsShown_));
  optionsShown_ = true;
}

void LoadImageDialog::btOptions_OptionBits() {
  const OptionBitsKind kind = OptionBitsKindFor(ProgType, FamilyList[CurFamily]);
  if (kind == OptionBitsKind::None) return;
  if (!OptionBytesPlaceOf(kind).secondMemory) {
    // The bytes are part of the flash image: the window shows them as the
    // files give them, or as chosen before for this device.
    ClearError();
    ErrorTitle = "Convert Image Files";
    if (!ConvertImageFiles()) {
      ShowErrorReport();
      return;
    }
    if (optionKind_ == kind && !optionBytes_.empty()) StoreOptionBytes(kind, optionBytes_);
  }
  if (!main_.RunOptionBits(this)) return;
  optionKind_ = kind;
  optionBytes_ = ReadOptionBytes(kind);
}

void LoadImageDialog::FillVoltageList() {
  FillVoltages(lstVoltage_, lstDevType_->count() > 0);
}

void LoadImageDialog::FillModeList() {
  const bool any = FillModeNames(lstMode_);
  lstMode_->setVisible(any);
  lblMode_->setVisible(any);
  cbSlowOCDClock_->setVisible(SelectedTypeTraits().hasTargetClock);
  if (ProgType == 2) cbSlowOCDClock_->setChecked(StoredIndex("SlowOCD", 0) != 0);
  const bool interfaces = SelectedTypeTraits().choosesInterface;
  frmInterface_->setVisible(interfaces);
  cbFusesFirst_->setVisible(interfaces);
  if (interfaces) {
    const std::string stored = Settings->GetSetting(ProgTypeName, "SPIJTAG", "");
    QRadioButton* option = stored == "SPI" ? optSPI_ : stored == "JTAG" ? optJTAG_ : stored == "PDI" ? optPDI_
                         : stored == "TPI" ? optTPI_ : nullptr;
    if (option && option->isEnabled()) option->setChecked(true);
  }
}

void LoadImageDialog::ShowInterfaces() {
  if (!SelectedTypeTraits().choosesInterface) return;
  const int16_t flags = DeviceTable[CurDevice].DevFlags;
  for (QRadioButton* o : {optSPI_, optJTAG_, optPDI_, optTPI_}) {
    o->setEnabled(false);
    o->setAutoExclusive(false);
    o->setChecked(false);
    o->setAutoExclusive(true);
  }
  const std::pair<int, QRadioButton*> order[] = {{4, optPDI_}, {8, optJTAG_}, {16, optSPI_}, {2, optTPI_}};
  for (auto [bit, option] : order) {
    if (flags & bit) {
      option->setEnabled(true);
      option->setChecked(true);
    }
  }
}

void LoadImageDialog::FillFreqList() {
  const bool clocked = FillFrequencyUnits(lstFreq_, tbTgtFreq_);
  for (QWidget* w : {static_cast<QWidget*>(lstFreq_), static_cast<QWidget*>(tbTgtFreq_),
                     static_cast<QWidget*>(lblTgtFreq_)}) {
    w->setVisible(clocked);
  }
}

void LoadImageDialog::tbTgtFreq_LostFocus() {
  NormalizeFrequencyBox(tbTgtFreq_, lstFreq_);
}

void LoadImageDialog::cbRestricted_Click() {
  if (cbRestricted_->isChecked()) {
    tbCount_->setText(QStringLiteral("1000"));
    tbCount_->setEnabled(true);
    cbReadProtect_->setChecked(true);
  } else {
    tbCount_->setText(tr("Unrestricted"));
    tbCount_->setEnabled(false);
  }
}

void LoadImageDialog::ShowFileSlots() {
  for (int i = 0; i < 4; ++i) {
    const bool listed = i < FileCount;
    lblFile_[i]->setText(listed ? FromAnsi(FileList[i]) : QString());
    btFileDelete_[i]->setVisible(listed);
    btFileAdd_[i]->setVisible(i == FileCount);
  }
  SetFilesPresent(FileCount > 0);
}

void LoadImageDialog::SetFilesPresent(bool present) {
  btLoad_->setEnabled(present);
  btOptions_->setVisible(present && HasOptionsWindow(ProgType));
  btSaveProject_->setEnabled(present);
  if (!present) lblProjectPath_->hide();
  else lblProjectPath_->show();
}

void LoadImageDialog::btFileAdd_Click(int index) {
  if (!SelectImageFile(index)) {
    if (LastErrorNumber != ErrDialogCancelled) ShowErrorReport();
    return;
  }
  FileCount = index + 1;
  ShowFileSlots();
}

void LoadImageDialog::btFileDelete_Click(int index) {
  if (index >= FileCount) return;
  for (int i = index; i + 1 < FileCount; ++i) FileList[i] = FileList[i + 1];
  --FileCount;
  FileList[FileCount].clear();
  ShowFileSlots();
}

std::string LoadImageDialog::SelectedInterface() const {
  if (optSPI_->isChecked()) return "SPI";
  if (optJTAG_->isChecked()) return "JTAG";
  if (optPDI_->isChecked()) return "PDI";
  return "TPI";
}

uint8_t LoadImageDialog::ChosenVoltage() const { return VoltageCode(ToAnsi(lstVoltage_->currentText())); }

int16_t LoadImageDialog::ChosenFrequency() const {
  return FrequencyKHz(ToAnsi(tbTgtFreq_->text()), lstFreq_->currentText() == QStringLiteral("MHz"));
}

int16_t LoadImageDialog::ChosenModeWord() const {
  ModeChoices choices;
  choices.modeIndex = lstMode_->currentIndex();
  choices.eraseEEPROM = cbEraseEEPROM_->isVisibleTo(this) && cbEraseEEPROM_->isChecked();
  choices.swif = cbSWIF_->isChecked();
  choices.slowClock = cbSlowOCDClock_->isChecked();
  choices.jtag = optJTAG_->isChecked();
  choices.fusesFirst = cbFusesFirst_->isChecked();
  return ImageModeWord(ProgType, FamilyList[CurFamily], DeviceTable[CurDevice].DevFlags, choices);
}

void LoadImageDialog::btSaveProject_Click() {
  LastFunction = "Save Project";
  FileDialogRequest request;
  request.save = true;
  request.mustExist = false;
  request.filter = "VRX Project Files|*.vrx";
  request.title = "Select Project File";
  request.defaultExtension = "vrx";
  if (lblProjectPath_->text().isEmpty()) {
    request.initialFolder = Settings->GetSetting(ProgTypeName, "ProjectPath", AppPath);
    request.initialName = "NewProject.vrx";
  } else {
    request.initialName = ToAnsi(lblProjectPath_->text());
  }
  std::string chosen;
  if (!FileDial1 || !FileDial1->Show(request, chosen)) return;
  ProjectFile = chosen;
  lblProjectPath_->setText(FromAnsi(chosen));
  Settings->SaveSetting(ProgTypeName, "ProjectPath", FolderOf(chosen));
  ImageVoltage = ChosenVoltage();
  ImageFreq = ChosenFrequency();
  ImageMode = ChosenModeWord();
  if (!WriteProjectFile(chosen, ToAnsi(tbImageName_->text()), ToAnsi(lstDevFamily_->currentText()),
                        ToAnsi(lstDevType_->currentText()))) {
    ShowErrorReport();
  }
}

void LoadImageDialog::btLoad_Click() {
  if (fusesFailed_) {
    MessageBox->MsgBox(fuseError_, vbOKOnly, "Error Parsing Fuses");
    return;
  }
  // A stored image is replaced only when the operator says so; No sends nothing.
  if (SlotHoldsImage(ImageNumber) && MessageBox->MsgBox(ReplaceImageQuestion(ImageNumber),
                                                        vbYesNo + vbQuestion + vbDefaultButton2,
                                                        "Load New Image to Programmer") != vbYes) {
    return;
  }
  const DeviceRecord& device = DeviceTable[CurDevice];
  if (SelectedTypeTraits().powerOnNote && (device.DevFlags & 0x80)) {
    MessageBox->MsgBox("NOTE: Power-on Programming Required\r\n\r\n"
                       "Programming of this device must be initiated with device power OFF.\r\n"
                       "Device power must then be applied within ten seconds of initiating programming.",
                       vbInformation, "Device Specific Information");
  }
  SetLoading(true);
  frmMain->SetStatusPanel("ExtStatus1", "");
  frmMain->SetStatusPanel("ExtStatus2", "");
  auto reenable = [this] { SetLoading(false); };

  if (!SerialInsideDevice(PlaceSerialNumber(ProgType, SerialMemory, SerialAddress), SerialSize(SerialFormat),
                          device)) {
    MessageBox->MsgBox(SerialRangeMessage, vbExclamation, SerialRangeTitle);
    reenable();
    return;
  }
  if (device.DevEESize >= 1 && SecondaryEnabled && !EepromFileChosen) {
    MessageBox->MsgBox("No " + SecondaryName + " Image. Open an Image or Disable " + SecondaryName + " Programming.",
                       vbOKOnly, "Load New Image to Programmer");
    reenable();
    return;
  }
  ImageLoadSettings settings;
  settings.image = ImageNumber;
  settings.files.assign(FileList.begin(), FileList.begin() + std::clamp(FileCount, 0, 4));
  settings.name = ToAnsi(tbImageName_->text());
  settings.optionKind = optionKind_;
  settings.optionBytes = optionBytes_;
  settings.voltage = ChosenVoltage();
  settings.freq = ChosenFrequency();
  settings.modeWord = [this] { return ChosenModeWord(); };   // after the conversion: it may find a second memory
  settings.readProtect = cbReadProtect_->isChecked();
  settings.count = cbRestricted_->isChecked()
                       ? static_cast<int32_t>(ValWithin(ToAnsi(tbCount_->text()), -2147483648.0, 2147483647.0))
                       : -1;
  const bool loaded = LoadImageFromFiles(settings);
  CancelRequest = false;   // a Cancel pressed as the load ended is spent
  if (!loaded && ErrorTitle == "Convert Image Files") {   // nothing was written: the files can be fixed
    reenable();
    ShowErrorReport();
    return;
  }
  if (loaded) {
    char text[160];
    std::snprintf(text, sizeof text, "Image Load Complete\r\n  File Checksum = %08X\r\n  Entire Image Checksum = %08X",
                  static_cast<uint32_t>(FileChecksum), static_cast<uint32_t>(EntireImageChecksum));
    MessageBox->MsgBox(text, vbOKOnly, "Load New Image to Programmer");
  } else if (LastErrorNumber == ErrCancelled) {
    // The operator's own choice, not a fault of the line: no error report.
    MessageBox->MsgBox(LoadCancelledText, vbInformation, "Load New Image to Programmer");
  } else {
    ShowErrorReport();
  }
  reenable();
  accept();
}

void LoadImageDialog::done(int result) {
  // Form_Unload: the choices are remembered for this programmer type.
  Settings->SaveSetting(ProgTypeName, "Family", std::to_string(lstDevFamily_->currentIndex()));
  Settings->SaveSetting(ProgTypeName, "DevType", std::to_string(lstDevType_->currentIndex()));
  Settings->SaveSetting(ProgTypeName, "Voltage", std::to_string(lstVoltage_->currentIndex()));
  Settings->SaveSetting(ProgTypeName, "SlowOCD", cbSlowOCDClock_->isChecked() ? "1" : "0");
  Settings->SaveSetting(ProgTypeName, "RP", cbReadProtect_->isChecked() ? "1" : "0");
  Settings->SaveSetting(ProgTypeName, "SPIJTAG", SelectedInterface());
  for (const char* panel : {"Status", "ExtStatus1", "ExtStatus2"}) frmMain->SetStatusPanel(panel, "");
  QDialog::done(result);
}

void LoadImageDialog::SetLoading(bool on) {
  loading_ = on;
  if (on) {
    // Everything but Cancel, which stops the download between two blocks.
    locked_.clear();
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (w == btCancel_ || !w->isEnabled()) continue;
      w->setEnabled(false);
      locked_.push_back(w);
    }
  } else {
    for (QWidget* w : locked_) w->setEnabled(true);
    locked_.clear();
  }
  btCancel_->setEnabled(true);
  btCancel_->show();
}

void LoadImageDialog::reject() {
  if (loading_) {   // Cancel, Escape or the window's close: the download stops, then the dialog closes
    CancelRequest = true;
    btCancel_->setEnabled(false);
    return;
  }
  QDialog::reject();
}

void LoadImageDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    reject();
    return;
  }
  QDialog::keyPressEvent(event);
}

void LoadImageDialog::SetImageName(const std::string& name) { tbImageName_->setText(FromAnsi(name)); }
void LoadImageDialog::SetProjectPath(const std::string& path) { lblProjectPath_->setText(FromAnsi(path)); }
void LoadImageDialog::SetFileLabel(int index, const std::string& path) {
  if (index >= 0 && index < 4) lblFile_[index]->setText(FromAnsi(path));
}
