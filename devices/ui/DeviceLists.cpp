#include "devices/ui/DeviceLists.h"

#include <QComboBox>
#include <QLineEdit>
#include <algorithm>

#include "devices/DeviceState.h"
#include "images/ImageSettings.h"
#include "operations/ImageDirectory.h"
#include "platform/AnsiText.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"

namespace {
void SelectFirst(QComboBox* list) {
  if (list->count() > 0) list->setCurrentIndex(0);
}
}  // namespace

void FillFamilies(QComboBox* list) {
  list->clear();
  for (int i = 0; i < MaxFamilies && !FamilyList[i].empty(); ++i) list->addItem(FromAnsi(FamilyList[i]));
  SelectFirst(list);
}

void FillDeviceTypes(QComboBox* list) {
  list->clear();
  for (int i = 0; i < MaxDeviceTypes && !DeviceTable[i].DevName.empty(); ++i) {
    list->addItem(FromAnsi(DeviceTable[i].DevName));
  }
  SelectFirst(list);
}

void FillVoltages(QComboBox* list, bool haveDevice) {
  list->clear();
  if (!haveDevice) return;
  const DeviceRecord& device = DeviceTable[CurDevice];
  for (const std::string& v : VoltageChoices(device.DevVMin, device.DevVMax)) list->addItem(FromAnsi(v));
  SelectFirst(list);
}

bool FillModeNames(QComboBox* list) {
  list->clear();
  for (const std::string& name : StartModeNames) {
    if (name.empty()) break;
    list->addItem(FromAnsi(name));
  }
  SelectFirst(list);
  return list->count() > 0;
}

bool FillFrequencyUnits(QComboBox* units, QLineEdit* value) {
  units->clear();
  if (!SelectedTypeTraits().hasTargetClock) return false;
  units->addItems({QStringLiteral("KHz"), QStringLiteral("MHz")});
  value->setText(QStringLiteral("1.000"));
  units->setCurrentText(QStringLiteral("MHz"));
  return true;
}

void NormalizeFrequencyBox(QLineEdit* value, QComboBox* units) {
  bool mhz = units->currentText() == QStringLiteral("MHz");
  value->setText(FromAnsi(NormalizeFrequency(ToAnsi(value->text()), mhz)));
  units->setCurrentText(mhz ? QStringLiteral("MHz") : QStringLiteral("KHz"));
}

QString SlotListText(int slot) {
  const QString number = QString::number(slot);
  if (!SlotHoldsImage(slot)) return number;
  return number + QStringLiteral(" \u2013 ") + FromAnsi(SlotImageName(slot));
}

void FillSlotList(QComboBox* list) {
  list->clear();
  for (int n = 1; n <= SlotCount(); ++n) list->addItem(SlotListText(n));
  list->setCurrentIndex(std::clamp(ImageNumber, 1, std::max(SlotCount(), 1)) - 1);
  ImageNumber = list->currentIndex() + 1;
}
