// frmAVRFusePopup, "Select Fuse Value": the settings of one bit field of a
// fuse byte (CurByte, CurField); Accept sets the field's bits.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

class AvrFusePopup : public QDialog {
  Q_OBJECT
 public:
  explicit AvrFusePopup(QWidget* parent = nullptr);

  void btAccept_Click();

  QLabel* lblFuse() const { return lblFuse_; }
  QComboBox* cbFuseSelect() const { return cbFuseSelect_; }
  QPushButton* btAccept() const { return btAccept_; }
  QPushButton* btCancel() const { return btCancel_; }

 private:
  QLabel* lblFuse_;
  QComboBox* cbFuseSelect_;
  QPushButton* btAccept_;
  QPushButton* btCancel_;
};
