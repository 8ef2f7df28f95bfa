#include "options/ui/AvrFusePopup.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "options/AvrOptions.h"
#include "options/FuseState.h"
#include "platform/AnsiText.h"
#include "ui/WindowPlacement.h"

AvrFusePopup::AvrFusePopup(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAVRFusePopup"));
  setWindowTitle(tr("Select Fuse Value"));
  KeepOnScreen(this);   // whole title, on the screen at any scale
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  lblFuse_ = new QLabel(this);
  lblFuse_->setObjectName(QStringLiteral("lblFuse"));
  cbFuseSelect_ = new QComboBox(this);
  cbFuseSelect_->setObjectName(QStringLiteral("cbFuseSelect"));
  layout->addWidget(lblFuse_);
  layout->addWidget(cbFuseSelect_);
  auto* buttons = new QHBoxLayout;
  btAccept_ = new QPushButton(tr("Accept"), this);
  btAccept_->setObjectName(QStringLiteral("btAccept"));
  btCancel_ = new QPushButton(tr("Cancel"), this);
  btCancel_->setObjectName(QStringLiteral("btCancel"));
  btAccept_->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(btAccept_);
  buttons->addWidget(btCancel_);
  layout->addLayout(buttons);

  const bool known = CurByte >= 0 && CurByte <= NumFuseBytes && CurByte < static_cast<int>(FuseDefs.size()) &&
                     CurField >= 0 && CurField < std::min<int>(FuseDefs[CurByte].NumFields, MaxFuseFields);
  if (known) {
    const FuseFieldDef& field = FuseDefs[CurByte].Fields[CurField];
    lblFuse_->setText(FromAnsi(field.Name + ": " + field.Text));
    for (int o = 0; o < std::min<int>(field.NumOptions, MaxFuseOptions); ++o) {
      cbFuseSelect_->addItem(FromAnsi(field.OptionText[o]));
    }
    cbFuseSelect_->setCurrentIndex(CurrentFuseOption(CurByte, CurField));
  }

  connect(btAccept_, &QPushButton::clicked, this, [this] { btAccept_Click(); });
  connect(btCancel_, &QPushButton::clicked, this, &QDialog::reject);   // Escape rejects too
}

void AvrFusePopup::btAccept_Click() {
  ApplyFuseOption(CurByte, CurField, cbFuseSelect_->currentIndex());
  accept();
}
