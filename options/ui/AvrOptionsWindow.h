// frmAVROptions, the programming options of an AVR, AVR32 or ARM image: the
// fuse bytes bit by bit and as hex, the second-memory image, the oscillator
// calibration value, the AVR32 security bit and the JTAG ID check. Fuse
// bytes, calibration and security change at once; the JTAG ID check and the
// second-memory image name only by Accept.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <vector>

#include "options/AvrOptions.h"
#include "options/FuseState.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

class AvrOptionsWindow : public QDialog {
  Q_OBJECT
 public:
  explicit AvrOptionsWindow(const ProgrammingOptionsSetup& setup, QWidget* parent = nullptr);

  // Shows the options of the selected device as the model holds them.
  void Form_Load();

  void fgByte_Click(int byte, int column);
  void tbHex_LostFocus(int byte);
  void cbEEPROMImage_Click();
  void btEEPROMSel_Click();
  void cbOsccal_Click();
  void OsccalMemory_Click(bool eeprom);
  void tbAddress_LostFocus();
  void cbAVR32Security_Click();
  void cbJTAGIDEnable_Click();
  void btAccept_Click();

  // Controls, for tests.
  QTableWidget* fgByte(int i) const { return fgByte_[i]; }
  QLineEdit* tbHex(int i) const { return tbHex_[i]; }
  QPushButton* btUpdate(int i) const { return btUpdate_[i]; }
  QGroupBox* frmEEPROM() const { return frmEEPROM_; }
  QCheckBox* cbEEPROMImage() const { return cbEEPROMImage_; }
  QLineEdit* tbEEPROMName() const { return tbEEPROMName_; }
  QLabel* lblEEPROMFile() const { return lblEEPROMFile_; }
  QGroupBox* frCalVal() const { return frCalVal_; }
  QComboBox* cbOsccal() const { return cbOsccal_; }
  QRadioButton* optFlash() const { return optFlash_; }
  QRadioButton* optEEPROM() const { return optEEPROM_; }
  QLineEdit* tbAddress() const { return tbAddress_; }
  QGroupBox* frmAVR32SecurityBit() const { return frmAVR32SecurityBit_; }
  QCheckBox* cbAVR32Security() const { return cbAVR32Security_; }
  QGroupBox* frJTAGID() const { return frJTAGID_; }
  QCheckBox* cbJTAGIDEnable() const { return cbJTAGIDEnable_; }
  QLineEdit* tbJTAGPart() const { return tbJTAGPart_; }
  QLineEdit* tbJTAGVersion() const { return tbJTAGVersion_; }
  QPushButton* btAccept() const { return btAccept_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowFuses();
  void ShowFuseByte(int byte);
  void HighlightField(int byte, int field);
  void ShowOsccalEnabled();
  void ShowOsccalAddress();
  void SetEepromTicked(bool ticked);

  ProgrammingOptionsSetup setup_;
  std::array<QWidget*, MaxFuseBytes> byteBox_{};
  std::array<QTableWidget*, MaxFuseBytes> fgByte_{};
  std::array<QLabel*, MaxFuseBytes> hexLbl_{};
  std::array<QLineEdit*, MaxFuseBytes> tbHex_{};
  std::array<QPushButton*, MaxFuseBytes> btUpdate_{};
  QGroupBox* frmEEPROM_;
  QCheckBox* cbEEPROMImage_;
  QLineEdit* tbEEPROMName_;
  QPushButton* btEEPROMSel_;
  QLabel* lblEEPROMFile_;
  QGroupBox* frCalVal_;
  QComboBox* cbOsccal_;
  QRadioButton* optFlash_;
  QRadioButton* optEEPROM_;
  QLineEdit* tbAddress_;
  QGroupBox* frmAVR32SecurityBit_;
  QCheckBox* cbAVR32Security_;
  QGroupBox* frJTAGID_;
  QCheckBox* cbJTAGIDEnable_;
  QLineEdit* tbJTAGPart_;
  QLineEdit* tbJTAGVersion_;
  QPushButton* btAccept_;
  std::vector<uint8_t> osccalBits_;   // the OsccalOpt bits of cbOsccal's entries
  bool leaving_ = false;              // a lost-focus check is running (its message box takes the focus)
};
