// The option bits windows: frmZ8EOptions, frmZNEOOptions and frmZLFOptions
// show the option bytes kept in the image as named settings, enable the
// settings the device has, and write the choices back on Accept. Closing
// them any other way leaves the bytes as they were.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "options/OptionBits.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class OptionBitsWindow : public QDialog {
  Q_OBJECT
 public:
  // variant: the device's option-bit variant (Z8 Encore! only).
  OptionBitsWindow(OptionBitsKind kind, int variant, QWidget* parent = nullptr);

  // Fills the lists and selects the erased-state entries.
  void Form_Load();
  // Shows the bytes of the image, then enables the device's settings.
  void Form_Activate();
  void btAccept_Click();

  QPushButton* btAccept() const { return btAccept_; }

 protected:
  // The settings the controls show, one per field of the form.
  OptionSettings ShownSettings() const;
  void ShowSettings(const OptionSettings& settings);
  // Called by Accept before the bytes are stored.
  virtual void Accepting() {}

  OptionBitsKind kind_;
  int variant_;
  // Per field of the form: its list (with its frame) or its check box.
  std::vector<QComboBox*> lists_;
  std::vector<QGroupBox*> frames_;
  std::vector<QCheckBox*> checks_;
  QGroupBox* frProtection_ = nullptr;
  QPushButton* btAccept_ = nullptr;
  class QVBoxLayout* extra_ = nullptr;   // room for a window's own frames
};

// frmZ8EOptions, "Z8 Encore! Programming Options".
class Z8eOptionsWindow : public OptionBitsWindow {
  Q_OBJECT
 public:
  explicit Z8eOptionsWindow(int variant, QWidget* parent = nullptr)
      : OptionBitsWindow(OptionBitsKind::Z8Encore, variant, parent) {}
};

// frmZNEOOptions, "ZNEO Programming Options".
class ZneoOptionsWindow : public OptionBitsWindow {
  Q_OBJECT
 public:
  explicit ZneoOptionsWindow(QWidget* parent = nullptr) : OptionBitsWindow(OptionBitsKind::Zneo, 0, parent) {}
};

// frmZLFOptions, "ZLF Programming Options": also chooses the HEX file of the
// Flash Information Block page 3, which holds the option bytes.
class ZlfOptionsWindow : public OptionBitsWindow {
  Q_OBJECT
 public:
  explicit ZlfOptionsWindow(QWidget* parent = nullptr);

  void btUserMemSel_Click();

  QLineEdit* tbEEPROMName() const { return tbEEPROMName_; }
  QLabel* lblEEPROMFile() const { return lblEEPROMFile_; }

 protected:
  void Accepting() override;

 private:
  QGroupBox* frmUserMemory_;
  QPushButton* btUserMemSel_;
  QLineEdit* tbEEPROMName_;
  QLabel* lblEEPROMFile_;
};
