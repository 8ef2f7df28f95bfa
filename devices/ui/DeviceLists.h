// The lists the Load Image and Read Image dialogs fill alike: families,
// device types, voltages, run modes and the clock unit.
#pragma once

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
