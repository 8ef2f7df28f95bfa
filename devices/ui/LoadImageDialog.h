// frmLoadImage, "Load Image From File": slot, name, family, device, voltage,
// mode and interface, clock, up to four input files, count restriction and
// read protection; converts the files and downloads the image.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "options/OptionBits.h"
#include "state/views/LoadImageView.h"

class MainFrame;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QGroupBox;

class LoadImageDialog : public QDialog, public LoadImageView {
  Q_OBJECT
 public:
  LoadImageDialog(MainFrame& main, QWidget* parent = nullptr);
  ~LoadImageDialog() override;

  void Form_Load();
  void Form_Activate();

  void lstDevFamily_Click();
  void lstDevType_Click();
  void cbRestricted_Click();
  void tbTgtFreq_LostFocus();
  void btFileAdd_Click(int index);
  void btFileDelete_Click(int index);
  void btSaveProject_Click();
  void btOptions_Click();
  void btSerialDetails_Click();
  void btLoad_Click();

  // LoadImageView
  void SetImageName(const std::string& name) override;
  void SetProjectPath(const std::string& path) override;
  void SetFileLabel(int index, const std::string& path) override;

  // Controls, for tests.
  QComboBox* cbImageNum() const { return cbImageNum_; }
  QLineEdit* tbImageName() const { return tbImageName_; }
  QComboBox* lstDevFamily() const { return lstDevFamily_; }
  QComboBox* lstDevType() const { return lstDevType_; }
  QComboBox* lstVoltage() const { return lstVoltage_; }
  QComboBox* lstMode() const { return lstMode_; }
  QLineEdit* tbTgtFreq() const { return tbTgtFreq_; }
  QComboBox* lstFreq() const { return lstFreq_; }
  QLabel* lblFile(int i) const { return lblFile_[i]; }
  QPushButton* btFileAdd(int i) const { return btFileAdd_[i]; }
  QPushButton* btFileDelete(int i) const { return btFileDelete_[i]; }
  QCheckBox* cbRestricted() const { return cbRestricted_; }
  QLineEdit* tbCount() const { return tbCount_; }
  QCheckBox* cbReadProtect() const { return cbReadProtect_; }
  QPushButton* btLoad() const { return btLoad_; }
  QPushButton* btCancel() const { return btCancel_; }
  QPushButton* btSaveProject() const { return btSaveProject_; }
  QPushButton* btOptions() const { return btOptions_; }
  QPushButton* btSerialDetails() const { return btSerialDetails_; }
  QLabel* lblProjectPath() const { return lblProjectPath_; }
  QRadioButton* optJTAG() const { return optJTAG_; }

  // While an image goes down, Cancel (Escape, the window's close) asks the
  // download to stop before its next block instead of closing the dialog.
  void reject() override;

 protected:
  void done(int result) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Locks all but Cancel while an image goes down, and gives them back.
  void SetLoading(bool on);
  void FillFamilyList();
  void FillDeviceList();
  void FillVoltageList();
  void FillModeList();
  void FillFreqList();
  // The programmer writes serial numbers and the family takes them.
  bool SerialOffered() const;
  void ShowInterfaces();
  // The voltage code, clock and mode word the controls give.
  uint8_t ChosenVoltage() const;
  int16_t ChosenFrequency() const;
  int16_t ChosenModeWord() const;
  void ShowFileSlots();
  void SetFilesPresent(bool present);
  void ApplyProjectMode();
  std::string SelectedInterface() const;
  int StoredIndex(const char* key, int defaultValue) const;
  // The fuse definitions of the chosen device; a failure is shown and remembered.
  void LoadFuses();
  // Options on programmer types whose option bytes live in the image.
  void btOptions_OptionBits();

  MainFrame& main_;
  QComboBox* cbImageNum_;
  QLineEdit* tbImageName_;
  QComboBox* lstDevFamily_;
  QComboBox* lstDevType_;
  QComboBox* lstVoltage_;
  QComboBox* lstMode_;
  QLabel* lblMode_;
  QLineEdit* tbTgtFreq_;
  QComboBox* lstFreq_;
  QLabel* lblTgtFreq_;
  QGroupBox* frmInterface_;
  QRadioButton* optSPI_;
  QRadioButton* optJTAG_;
  QRadioButton* optPDI_;
  QRadioButton* optTPI_;
  QCheckBox* cbFusesFirst_;
  QCheckBox* cbSlowOCDClock_;
  QCheckBox* cbEraseEEPROM_;
  QCheckBox* cbSWIF_;
  std::array<QLabel*, 4> lblFile_{};
  std::array<QPushButton*, 4> btFileAdd_{};
  std::array<QPushButton*, 4> btFileDelete_{};
  QCheckBox* cbRestricted_;
  QLineEdit* tbCount_;
  QLabel* lblCount_;
  QCheckBox* cbReadProtect_;
  QPushButton* btOptions_;
  QPushButton* btSerialDetails_;
  QPushButton* btSaveProject_;
  QLabel* lblProjectPath_;
  QPushButton* btLoad_;
  QPushButton* btCancel_;
  bool starting_ = false;
  // The chosen device's fuse definitions failed to load: no download may
  // program fuse bytes the operator never saw. The reason is kept to show again.
  bool fusesFailed_ = false;
  std::string fuseError_;
  // The options window was opened for this device: it shows what it set.
  bool optionsShown_ = false;
  // Option bytes accepted in the option bits window for the chosen device:
  // the conversion on Load fills the image afresh, so they go in after it.
  OptionBitsKind optionKind_ = OptionBitsKind::None;
  std::vector<uint8_t> optionBytes_;
  bool loading_ = false;           // an image is going down
  std::vector<QWidget*> locked_;   // what SetLoading locked
};
