#include "programmers/ui/FactoryWindow.h"

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/AnsiText.h"
#include "programmers/RevisionTables.h"
#include "programmers/UnitState.h"
#include "ui/OkCancelRow.h"
#include "ui/WindowPlacement.h"

FactoryWindow::FactoryWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmFactory"));
  setWindowTitle(tr("Select Firmware"));
  KeepOnScreen(this);   // whole title, on the screen at any scale
  auto* layout = new QVBoxLayout(this);
  lstProgType_ = new QListWidget(this);
  lstProgType_->setObjectName(QStringLiteral("lstProgType"));
  layout->addWidget(lstProgType_, 1);
  AddOkCancelRow(this, layout, btOK_, btCancel_);
  connect(lstProgType_, &QListWidget::currentRowChanged, this, [this](int) { lstProgType_Click(); });
  connect(btOK_, &QPushButton::clicked, this, &FactoryWindow::btOK_Click);
  connect(btCancel_, &QPushButton::clicked, this, &FactoryWindow::btCancel_Click);
  resize(280, 360);
}

QString FactoryWindow::FactoryEntryText(const ProgTypeInfo& type, int generation) {
  QString text = tr("%1 (generation %2").arg(FromAnsi(type.TypeName)).arg(generation);
  if (type.LatestRevision > 0) text += tr(", revision %1").arg(static_cast<double>(type.LatestRevision), 0, 'f', 3);
  return text + QLatin1Char(')');
}

bool FactoryWindow::Form_Load() {
  const bool read = LoadFactoryTypeList(types_, &generations_);
  lstProgType_->clear();
  // The same type name comes once per generation: each entry says which.
  for (size_t i = 0; i < types_.size(); ++i) lstProgType_->addItem(FactoryEntryText(types_[i], generations_[i]));
  if (!types_.empty()) lstProgType_->setCurrentRow(0);
  return read;
}

void FactoryWindow::lstProgType_Click() {
  const int row = lstProgType_->currentRow();
  if (row < 0 || row >= static_cast<int>(types_.size())) return;
  const ProgTypeInfo& t = types_[static_cast<size_t>(row)];
  FirmwareFileName = t.FirmwareFile;
  HwcFileNames = t.HwcFiles;
  VectorFileName = t.VectorFile;
  VectorFileName2 = t.VectorFile2;
}

void FactoryWindow::btOK_Click() {
  // With nothing to choose from there is no choice to keep.
  if (lstProgType_->currentRow() < 0) {
    btCancel_Click();
    return;
  }
  accept();
}

void FactoryWindow::btCancel_Click() { reject(); }

void FactoryWindow::reject() {
  // Every name a choice may have set: none of a type half chosen stays behind.
  FirmwareFileName.clear();
  for (std::string& name : HwcFileNames) name.clear();
  VectorFileName.clear();
  VectorFileName2.clear();
  QDialog::reject();
}
