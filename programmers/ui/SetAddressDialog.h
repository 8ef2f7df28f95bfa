// frmSetAddress: moves the selected programmer to another bus address.
#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

class SetAddressDialog : public QDialog {
  Q_OBJECT
 public:
  explicit SetAddressDialog(QWidget* parent = nullptr);

  void Form_Activate();
  void btOK_Click();
  void btCancel_Click();

  // True once the programmer was told to take the new address: the caller
  // scans the line again, where it is now listed at that address.
  bool Moved() const { return moved_; }

  QLabel* lblSetting() const { return lblSetting_; }
  QListWidget* lstAddress() const { return lstAddress_; }
  QPushButton* btOK() const { return btOK_; }
  QPushButton* btCancel() const { return btCancel_; }

 private:
  void SetButtonsEnabled(bool enabled);

  QLabel* lblSetting_;
  QListWidget* lstAddress_;
  QPushButton* btOK_;
  QPushButton* btCancel_;
  bool moved_ = false;
};
