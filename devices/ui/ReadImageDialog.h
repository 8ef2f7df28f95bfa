// frmReadImage, "Read Image from Target": slot, name, target port, family,
// device, voltage, mode, interface and clock, and an optional second-memory
// read; the read itself runs in the programmer.
#pragma once

#include <QDialog>

#include "state/views/ReadImageView.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class ReadImageDialog : public QDialog, public ReadImageView {
  Q_OBJECT
 public:
  explicit ReadImageDialog(QWidget* parent = nullptr);
  ~ReadImageDialog() override;

  void Form_Load();
  void lstDevFamily_Click();
  void lstDevType_Click();
  void cbEERead_Click();
  void tbTgtFreq_LostFocus();
  void btRead_Click();

  // ReadImageView
  void SetPortStatus(const std::string& caption, int64_t backColor, int64_t foreColor) override;
  void ShowStatusPicture(const std::string& file) override;
  void HideStatusPicture() override;

  QComboBox* cbImageNum() const { return cbImageNum_; }
  QComboBox* cbPort() const { return cbPort_; }
  QLineEdit* tbImageName() const { return tbImageName_; }
  QComboBox* lstDevFamily() const { return lstDevFamily_; }
  QComboBox* lstDevType() const { return lstDevType_; }
  QComboBox* lstVoltage() const { return lstVoltage_; }
  QComboBox* lstMode() const { return lstMode_; }
  QLineEdit* tbTgtFreq() const { return tbTgtFreq_; }
  QComboBox* lstFreq() const { return lstFreq_; }
  QGroupBox* frmEEPROM() const { return frmEEPROM_; }
  QCheckBox* cbEERead() const { return cbEERead_; }
  QLineEdit* tbEEPromImage() const { return tbEEPromImage_; }
  QLabel* lblPortStatus() const { return lblPortStatus_; }

 protected:
  void done(int result) override;

 private:
  void FillFamilyList();
  void FillDeviceList();
  void FillVoltageList();
  void FillModeList();
  void FillFreqList();
  void ShowInterfaces();
  int StoredIndex(const char* key) const;

  QComboBox* cbImageNum_;
  QLineEdit* tbImageName_;
  QComboBox* cbPort_;
  QComboBox* lstDevFamily_;
  QComboBox* lstDevType_;
  QComboBox* lstVoltage_;
  QComboBox* lstMode_;
  QLabel* lblMode_;
  QLineEdit* tbTgtFreq_;
  QComboBox* lstFreq_;
  QLabel* lblTgtFreq_;
  QRadioButton* optPDI_;
  QRadioButton* optJTAG_;
  QRadioButton* optSPI_;
  QCheckBox* cbSlowOCDClock_;
  QCheckBox* cbSWIF_;
  QGroupBox* frmEEPROM_;
  QCheckBox* cbEERead_;
  QLineEdit* tbEEPromImage_;
  QLabel* lblEEPROMImage_;
  QLabel* StatusPic_;
  QLabel* lblPortStatus_;
  QPushButton* btRead_;
  QPushButton* btCancel_;
};
