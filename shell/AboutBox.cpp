#include "shell/AboutBox.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "shell/RevisionInfo.h"
#include "state/ProgramFiles.h"
#include "ui/WindowPlacement.h"

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(tr("About Kestrin"));
  KeepOnScreen(this);   // whole title, on the screen at any scale
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel(QStringLiteral("<b>Kestrin</b>"), this);
  title->setObjectName(QStringLiteral("lblTitle"));
  auto* version = new QLabel(tr("Version ") + QCoreApplication::applicationVersion(), this);
  version->setObjectName(QStringLiteral("lblVersion"));
  auto* description = new QLabel(tr("Control program for VRX production device programmers"), this);
  auto* legal = new QLabel(tr("Copyright (C) 2026 the Kestrin developers.\nVRX is a trademark of its owner."), this);
  layout->addWidget(title);
  layout->addWidget(version);
  layout->addWidget(description);
  layout->addWidget(legal);

  tbRevision_ = new QPlainTextEdit(this);
  tbRevision_->setObjectName(QStringLiteral("tbRevision"));
  tbRevision_->setReadOnly(true);
  tbRevision_->setTabStopDistance(24);
  QString history = QString::fromLatin1(RevisionInfoText(ProgramFile("\\RevisionInfo.txt")).c_str());
  history.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  tbRevision_->setPlainText(history);
  layout->addWidget(tbRevision_, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  resize(480, 400);
}
