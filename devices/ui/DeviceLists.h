// The lists the Load Image and Read Image dialogs fill alike: families,
// device types, voltages, run modes and the clock unit.
#pragma once

#include <QString>

class QComboBox;
class QLineEdit;

// Every name up to the empty terminator; the first one selected.
void FillFamilies(QComboBox* list);
void FillDeviceTypes(QComboBox* list);
// The voltages of DeviceTable[CurDevice]; empty when `list` of devices is empty.
void FillVoltages(QComboBox* list, bool haveDevice);
// StartModeNames up to the first empty one; true when there is any.
bool FillModeNames(QComboBox* list);
// "KHz" and "MHz" with 1.000 MHz, on types with a target clock; false elsewhere.
bool FillFrequencyUnits(QComboBox* units, QLineEdit* value);
// The clock box after editing: KHz up to 1000, else MHz up to 32.5.
void NormalizeFrequencyBox(QLineEdit* value, QComboBox* units);
// The selected programmer's image slots, a slot in use named with its image
// ("2 \u2013 Read back p1"), a free one by its number alone; ImageNumber
// selected (index = slot - 1) and brought into range.
void FillSlotList(QComboBox* list);
QString SlotListText(int slot);
