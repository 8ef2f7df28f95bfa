// frmSerialize, "Device Serialization": the memory, target address, size,
// byte order and next serial number written into every programmed device.
// It edits the serialization record in place; opened for a stored image it
// only shows the record read from the programmer.
#pragma once

#include <QDialog>
#include <string>

#include "options/Serialization.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class SerializeDialog : public QDialog {
  Q_OBJECT
 public:
  // The memory captions follow the programmer type, family and device's second-memory size.
  SerializeDialog(int progType, const std::string& family, int32_t eeSize, QWidget* parent = nullptr);

  void Form_Load();
  void Refresh();
  void Memory_Click(uint8_t memory);
  void cbSerialNumBytes_Click();
  void ByteOrder_Click(bool msbFirst);
  void tbAddress_LostFocus();
  // The decimal (base 10) or hexadecimal (base 16) box was left.
  void SerialNumber_LostFocus(int base);
  void btUpdate_Click();

  QRadioButton* optDisabled() const { return optDisabled_; }
  QRadioButton* optFlash() const { return optFlash_; }
  QRadioButton* optEEPROM() const { return optEEPROM_; }
  QRadioButton* optUser() const { return optUser_; }
  QGroupBox* frAddress() const { return frAddress_; }
  QLineEdit* tbAddress() const { return tbAddress_; }
  QGroupBox* frSN() const { return frSN_; }
  QRadioButton* OptMSB() const { return OptMSB_; }
  QRadioButton* OptLSB() const { return OptLSB_; }
  QComboBox* cbSerialNumBytes() const { return cbSerialNumBytes_; }
  QGroupBox* frNSN() const { return frNSN_; }
  QLineEdit* tbSNValue() const { return tbSNValue_; }
  QLineEdit* tbSnValueH() const { return tbSnValueH_; }
  QPushButton* btUpdate() const { return btUpdate_; }
  QPushButton* btDone() const { return btDone_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void EnableSerialControls(bool enabled);
  void SelectListedSize();
  void Refuse(const std::string& message);

  SerialMemoryChoices choices_;
  QGroupBox* frMemory_;
  QRadioButton* optDisabled_;
  QRadioButton* optFlash_;
  QRadioButton* optEEPROM_;
  QRadioButton* optUser_;
  QGroupBox* frAddress_;
  QLabel* lblAddress_;
  QLineEdit* tbAddress_;
  QGroupBox* frSN_;
  QRadioButton* OptMSB_;
  QRadioButton* OptLSB_;
  QLabel* lblSize_;
  QComboBox* cbSerialNumBytes_;
  QGroupBox* frNSN_;
  QLabel* lblDecimal_;
  QLineEdit* tbSNValue_;
  QLabel* lblHex_;
  QLineEdit* tbSnValueH_;
  QPushButton* btUpdate_;
  QPushButton* btDone_;
  bool leaving_ = false;   // an entry is being taken; its message box takes the focus
};
