// The OK and Cancel buttons at the foot of a small dialog, right-aligned,
// OK the default button.
#pragma once

#include <QBoxLayout>
#include <QHBoxLayout>
#include <QObject>
#include <QPushButton>

inline void AddOkCancelRow(QWidget* dialog, QBoxLayout* layout, QPushButton*& ok, QPushButton*& cancel) {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  ok = new QPushButton(QObject::tr("OK"), dialog);
  ok->setObjectName(QStringLiteral("btOK"));
  ok->setDefault(true);
  cancel = new QPushButton(QObject::tr("Cancel"), dialog);
  cancel->setObjectName(QStringLiteral("btCancel"));
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
}
