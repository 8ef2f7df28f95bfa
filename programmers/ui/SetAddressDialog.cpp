#include "programmers/ui/SetAddressDialog.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/Configure.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "programmers/Configuration.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "ui/OkCancelRow.h"
#include "ui/WindowPlacement.h"

namespace {
constexpr int BlinkTicks = 5;   // four of them make the one-second blink
}

SetAddressDialog::SetAddressDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmSetAddress"));
  setWindowTitle(tr("Set Programmer Address"));
  KeepOnScreen(this);   // whole title, on the screen at any scale
  auto* layout = new QVBoxLayout(this);
  lblSetting_ = new QLabel(this);
  lblSetting_->setObjectName(QStringLiteral("lblSetting"));
  layout->addWidget(lblSetting_);
  lstAddress_ = new QListWidget(this);
  lstAddress_->setObjectName(QStringLiteral("lstAddress"));
  layout->addWidget(lstAddress_, 1);
  AddOkCancelRow(this, layout, btOK_, btCancel_);
  connect(btOK_, &QPushButton::clicked, this, &SetAddressDialog::btOK_Click);
  connect(btCancel_, &QPushButton::clicked, this, &SetAddressDialog::btCancel_Click);
  connect(lstAddress_, &QListWidget::itemDoubleClicked, this, [this] { btOK_Click(); });
  resize(300, 340);
}

void SetAddressDialog::Form_Activate() {
  lblSetting_->setText(QStringLiteral("The current address of this programmer is:") +
                       QString::fromStdString(Str(CurrentAddress)));
  lblSetting_->setStyleSheet(QString());
  lblSetting_->setVisible(true);
  lstAddress_->clear();
  for (int address : NewAddressChoices(CurrentAddress)) lstAddress_->addItem(QString::number(address));
  lstAddress_->setCurrentRow(0);
}

void SetAddressDialog::btCancel_Click() { reject(); }

void SetAddressDialog::SetButtonsEnabled(bool enabled) {
  btOK_->setEnabled(enabled);
  btCancel_->setEnabled(enabled);
}

void SetAddressDialog::btOK_Click() {
  if (!lstAddress_->currentItem()) return;
  SetButtonsEnabled(false);
  const int n = lstAddress_->currentItem()->text().toInt();
  switch (ChangeProgrammerAddress(n)) {
    case AddressChange::Conflict:
      MessageBox->MsgBox(AddressConflictMessage(n), vbOKOnly, "Set Programmer Address");
      break;
    case AddressChange::Moved:
      moved_ = true;
      lblSetting_->setText(QStringLiteral("*** Programming New Address *** "));
      lblSetting_->setStyleSheet(QStringLiteral("QLabel { color: #C00000; font-weight: bold; }"));
      lblSetting_->setVisible(true);
      for (int i = 0; i < 4; ++i) {
        PauseTicks(BlinkTicks);
        lblSetting_->setVisible(!lblSetting_->isVisible());
      }
      accept();
      break;
    case AddressChange::Failed:
      break;
  }
  if (LastErrorNumber > 0) ShowErrorReport();
  SetButtonsEnabled(true);
}
