// frmFactory: chooses the firmware, hardware configuration and vector files
// of a programmer type, for the firmware selection menu.
#pragma once

#include <QDialog>
#include <vector>

#include "programmers/UnitState.h"

class QListWidget;
class QPushButton;

class FactoryWindow : public QDialog {
  Q_OBJECT
 public:
  explicit FactoryWindow(QWidget* parent = nullptr);

  // Reads the three revisions files into the list; false (the list holds what
  // could be read) when one of them failed: the caller shows the report.
  bool Form_Load();
  void lstProgType_Click();
  void btOK_Click();
  void btCancel_Click();
  // "VRX-AVR (generation 2, revision 2.005)": the list entry of a type record.
  static QString FactoryEntryText(const ProgTypeInfo& type, int generation);
  // Cancel, Escape and the window's close all leave no file names behind.
  void reject() override;

  QListWidget* lstProgType() const { return lstProgType_; }
  QPushButton* btOK() const { return btOK_; }
  QPushButton* btCancel() const { return btCancel_; }

 private:
  std::vector<ProgTypeInfo> types_;
  std::vector<int> generations_;
  QListWidget* lstProgType_;
  QPushButton* btOK_;
  QPushButton* btCancel_;
};
