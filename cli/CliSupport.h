// What the command line's commands share: numbers and ports as typed, the
// line opened and the programmer found, and the selected programmer's slots
// as JSON.
#pragma once

#include <QJsonObject>
#include <array>
#include <cstdint>
#include <string>

#include "cli/CliCommands.h"

// Decimal, "0x" hexadecimal or "&H" hexadecimal; whole text, not negative.
bool ParseNumber(const std::string& text, long long& value);
void ReportLastError();
// The usage error's two lines on stderr; returns ExitUsage.
int UsageError(const std::string& command, const std::string& message);
bool OpenLine();
// The speed of the address: the one given, or the first at which it answers FwRev.
bool ChooseLineSpeed(int address, int baud, std::string* revision);
// A unit answering at both speeds is listed twice, at 38400 first.
int EntryLineSpeed(int index);
// Says on stderr when the programmer at CurrentAddress holds an upgrade cut
// short; true when it does.
bool WarnIfFirmwareIncomplete(const std::string& revision);
// Finds and selects the programmer at --address as the windows would.
bool SelectProgrammerAt(int address);
// A cell as one field of a tab-separated line.
std::string ListedCell(const std::string& text);
// A slot of the image directory: the grid's cells under their headings, its size and CRC.
QJsonObject SlotJson(int slot);
// The selected programmer as the JSON documents name it.
void ProgrammerJson(QJsonObject& document);
// "1,3" → ports 1 and 3.
bool ParsePorts(const std::string& text, std::array<bool, 4>& ports);
// SIGINT during a run: passed on as the Cancel button.
void OnInterrupt(int);
// The slot and device of a load or a read: the slot must exist, the device
// type is found by name, and the voltage must suit the part.
bool PrepareSlotAndDevice(int address, int image, const std::string& deviceType, double voltage, double& volts);
