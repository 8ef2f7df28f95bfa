#include "cli/CliSupport.h"

#include <cstdio>
#include <string>

#include "cli/CliJson.h"
#include "cli/CliOptionTable.h"
#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/FirmwareUpgrade.h"
#include "operations/ImageDirectory.h"
#include "operations/Selection.h"
#include "platform/SerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/FirmwareArea.h"
#include "programmers/RevisionTables.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"

volatile std::sig_atomic_t InterruptRequested = 0;

bool ParseNumber(const std::string& text, long long& value) { return ParseCliNumber(text, value); }

void ReportLastError() { ShowErrorReport(); }

int UsageError(const std::string& command, const std::string& message) {
  std::fputs(CliUsageError(command, message).c_str(), stderr);
  return ExitUsage;
}

bool OpenLine() {
  int32_t number = 0;
  std::string text;
  if (MSComm1->Open(number, text)) {
    MSComm1->SetRThreshold(1);
    return true;
  }
  LastFunction = "Open Communications Port";
  RaiseError(number, "Open Communications Port", "Error Opening Communications Port - " + text);
  CaptureError();
  ReportLastError();
  return false;
}

// The speed of the address: the one given, or the first at which it answers FwRev.
bool ChooseLineSpeed(int address, int baud, std::string* revision) {
  CurrentAddress = static_cast<uint8_t>(address);
  if (baud != 0) {
    MSComm1->SetSettings(baud == 38400 ? LineSettings[0] : LineSettings[1]);
    return revision == nullptr || FwRev(*revision);
  }
  std::string ignored;
  for (const char* settings : LineSettings) {
    MSComm1->SetSettings(settings);
    if (FwRev(revision ? *revision : ignored)) return true;
  }
  return false;
}

// A unit answering at both speeds is listed twice, at 38400 first.
int EntryLineSpeed(int index) {
  const uint8_t address = ProgrammerTable[index].Address;
  if (index < ProgCount && ProgrammerTable[index + 1].Address == address) return 38400;
  if (index > 1 && ProgrammerTable[index - 1].Address == address) return 115200;
  return ProgSettings[address] == LineSettings[0] ? 38400 : 115200;
}

// Says on stderr when the programmer at CurrentAddress holds an upgrade cut
// short; true when it does.
bool WarnIfFirmwareIncomplete(const std::string& revision) {
  const ErrorRecordCopy before;
  const bool incomplete = CheckFirmwareAreaOf(revision) == FirmwareArea::Incomplete;
  before.Restore();
  if (incomplete) {
    std::fprintf(stderr, "kestrin-cli: programmer at address %d: %s\n", CurrentAddress, FirmwareIncompleteText);
  }
  return incomplete;
}

// Finds and selects the programmer at --address as the windows would.
bool SelectProgrammerAt(int address) {
  if (!LoadRevisionTables()) ShowErrorReport();   // a warning: selection still works
  if (!AcquireProgrammerAt(address)) {
    ReportLastError();
    return false;
  }
  SelectProgrammer();
  // A directory or security block that could not be read is reported already;
  // nothing may act on what it left.
  if (LastErrorNumber != 0) return false;
  // Nor on device types read from a damaged device file ("Bad Device File").
  if (!CheckDeviceFile()) {
    ReportLastError();
    return false;
  }
  if (SecurityDamaged) {
    std::fprintf(stderr,
                 "kestrin-cli: the security block of the programmer at address %d is damaged: every image counts as "
                 "read protected, and no image is loaded, read or programmed with it until it is reset with "
                 "kestrin-cli reset-security --address %d\n",
                 address, address);
  }
  return true;
}

// A cell as one field of a tab-separated line: names read from a programmer
// may hold tabs and line breaks of their own.
std::string ListedCell(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

// "XXXX": a slot's CRC as the crc command prints it, in reply order.
static QString CrcText(const std::array<uint8_t, 2>& crc) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X", crc[0], crc[1]);
  return text;
}

// A slot of the image directory: the grid's cells under their headings, its size and CRC.
QJsonObject SlotJson(int slot) {
  QJsonObject entry;
  entry["slot"] = slot;
  const bool held = slot < static_cast<int>(ImageDirectory.size()) && ImageDirectory[slot].Size > 0;
  entry["empty"] = !held;
  if (held) {
    entry["size"] = ImageDirectory[slot].Size;
    entry["crc"] = CrcText(ImageDirectory[slot].ImageCrc);
  }
  QJsonObject cells;
  for (int col = 0; col < fgImages.Cols && slot < fgImages.Rows; ++col) {
    const std::string& heading = fgImages.TextMatrix(0, col);
    if (!heading.empty()) cells[JsonText(heading)] = JsonText(fgImages.TextMatrix(slot, col));
  }
  entry["cells"] = cells;
  return entry;
}

// The selected programmer as the JSON documents name it.
void ProgrammerJson(QJsonObject& document) {
  const ProgrammerRecord& p = ProgrammerTable[SelectedProgrammer];
  document["address"] = p.Address;
  document["firmware"] = JsonText(p.FwRevision);
  document["type"] = p.ProgType;
}


// "1,3" → ports 1 and 3.
bool ParsePorts(const std::string& text, std::array<bool, 4>& ports) {
  ports.fill(false);
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = text.substr(start, comma - start);
    if (item.size() != 1 || item[0] < '1' || item[0] > '4') return false;
    ports[item[0] - '1'] = true;
    start = comma + 1;
  }
  return true;
}

void OnInterrupt(int) { InterruptRequested = 1; }


// The slot and device of a load or a read: the slot must exist, the device
// type is found by name, and the voltage (3.3 V, or the part's highest when
// 3.3 V is outside its range, unless given) must suit the part.
bool PrepareSlotAndDevice(int address, int image, const std::string& deviceType, double voltage, double& volts) {
  if (image > SlotCount()) {
    std::fprintf(stderr, "kestrin-cli: the programmer at address %d has no image slot %d\n", address,
                 image);
    return false;
  }
  if (!FindDeviceByNameIgnoringCase(deviceType)) {
    std::fprintf(stderr, "kestrin-cli: no device family of this programmer has the device type \"%s\"\n",
                 deviceType.c_str());
    return false;
  }
  const DeviceRecord& device = DeviceTable[CurDevice];
  volts = voltage;
  if (volts == 0) volts = (device.DevVMin <= 3.3f && 3.3f <= device.DevVMax) ? 3.3 : device.DevVMax;
  if (volts < device.DevVMin - 1e-6 || volts > device.DevVMax + 1e-6) {
    std::fprintf(stderr, "kestrin-cli: %s takes %.2f V to %.2f V\n", device.DevName.c_str(), device.DevVMin,
                 device.DevVMax);
    return false;
  }
  return true;
}

