#include "cli/CliSerialOptions.h"

#include <array>
#include <cstdio>
#include <string>

#include "cli/CliCommandTable.h"
#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/CliJson.h"
#include "devices/DeviceState.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "operations/ImageDirectory.h"
#include "operations/RunState.h"
#include "operations/Serialize.h"
#include "options/SerialState.h"
#include "options/Serialization.h"
#include "programmers/UnitState.h"

namespace {

bool Refuse(const std::string& message) {
  std::fprintf(stderr, "kestrin-cli: %s\n", message.c_str());
  return false;
}

uint8_t MemoryCode(const std::string& name) {
  if (name == "flash") return SerialFlash;
  if (name == "eeprom") return SerialEeprom;
  if (name == "user") return SerialUser;
  return SerialOff;
}

const char* MemoryName(uint8_t code) {
  switch (code) {
    case SerialOff: return "off";
    case SerialFlash: return "flash";
    case SerialEeprom: return "eeprom";
    case SerialUser: return "user";
    default: return "unknown";
  }
}

// "N" decimal, or "0xN" hexadecimal.
bool ReadNext(const std::string& text, int size, SerialBytes& number, std::string& error) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  std::string message;
  if (text.find(' ') != std::string::npos ||
      !SerialFromEntry(hex ? text.substr(2) : text, hex ? 16 : 10, size, number, message)) {
    error = "--serial-next " + text + ": " + (message.empty() ? "takes a decimal number, or hexadecimal with 0x" : message);
    return false;
  }
  return true;
}

struct SerialRequest {
  uint8_t memory = SerialOff;
  int32_t address = 0;
  int size = 0;
  bool msbFirst = false;
  SerialBytes next{};
};

bool ReadRequest(const SerialOptionValues& o, SerialRequest& r, std::string& error) {
  r.memory = MemoryCode(o.serialMemory);
  if (r.memory == SerialOff) {
    error = "--serial-memory takes flash, eeprom or user";
    return false;
  }
  if (o.serialAddress.empty() || o.serialSize.empty() || o.serialNext.empty()) {
    error = "serialization needs --serial-memory, --serial-address, --serial-size and --serial-next";
    return false;
  }
  std::string message;
  if (!SerialAddressFromEntry(o.serialAddress, r.address, message) ||
      o.serialAddress.find(' ') != std::string::npos) {
    error = "--serial-address " + o.serialAddress + ": takes a hexadecimal address";
    return false;
  }
  if (o.serialSize != "2" && o.serialSize != "4" && o.serialSize != "6") {
    error = "--serial-size takes 2, 4 or 6";
    return false;
  }
  r.size = o.serialSize[0] - '0';
  if (!o.serialOrder.empty() && o.serialOrder != "msb" && o.serialOrder != "lsb") {
    error = "--serial-order takes msb or lsb";
    return false;
  }
  r.msbFirst = o.serialOrder == "msb";
  return ReadNext(o.serialNext, r.size, r.next, error);
}

}  // namespace

bool HasSerialOptions(const SerialOptionValues& o) {
  return !o.serialMemory.empty() || !o.serialAddress.empty() || !o.serialSize.empty() || !o.serialOrder.empty() ||
         !o.serialNext.empty();
}

bool CheckSerialOptions(const SerialOptionValues& options, std::string& error) {
  if (!HasSerialOptions(options)) return true;
  SerialRequest request;
  return ReadRequest(options, request, error);
}

bool TakeSerialOptions(const SerialOptionValues& options, int address) {
  SerialMemory = SerialOff;
  SerialFormat = 0;
  SerialAddress = 0;
  SerialNumber = {};
  if (!HasSerialOptions(options)) return true;
  SerialRequest r;
  std::string error;
  if (!ReadRequest(options, r, error)) return Refuse(error);
  if (!SerialSupported) {
    return Refuse("the programmer at address " + std::to_string(address) + " does not write serial numbers");
  }
  const DeviceRecord& device = DeviceTable[CurDevice];
  if (!SerialInsideDevice(PlaceSerialNumber(ProgType, r.memory, r.address), r.size, device)) {
    const int64_t memorySize = r.memory == SerialFlash ? device.DevFlashSize
                               : r.memory == SerialEeprom ? device.DevEESize
                                                          : device.DevAuxSize;
    char detail[160];
    std::snprintf(detail, sizeof detail, " (%d bytes at 0x%s; %s %s has %lld bytes)", r.size,
                  SerialAddressText(r.address).c_str(), device.DevName.c_str(), MemoryName(r.memory),
                  static_cast<long long>(memorySize));
    return Refuse(std::string(SerialRangeMessage) + detail);
  }
  SerialMemory = r.memory;
  SerialAddress = r.address;
  SerialFormat = SerialFormatWithOrder(SerialFormatWith(0, r.size), r.msbFirst);
  SerialNumber = r.next;
  return true;
}

namespace {

// The serial command's values.
struct SerialValues : CliCommonValues {
  int address = 0;
  int image = 0;
  bool json = false;
};

int SerialJsonFailure(const SerialValues& options) {
  if (!options.json) return ExitFailed;
  QJsonObject document;
  document["command"] = "serial";
  document["address"] = options.address;
  document["image"] = options.image;
  document["error"] = JsonLastError();
  return PrintJsonDocument(document, ExitFailed);
}

// The serial command: prints the slot's serialization record and the last
// serial number written on each port. Returns the exit status.
int SerialCommand(const SerialValues& options) {
  if (options.image > SlotCount()) {
    std::fprintf(stderr, "kestrin-cli: the programmer at address %d has no image slot %d\n", options.address,
                 options.image);
    return SerialJsonFailure(options);
  }
  if (!SerialSupported) {
    Refuse("the programmer at address " + std::to_string(options.address) + " does not write serial numbers");
    return SerialJsonFailure(options);
  }
  std::array<std::string, 4> serials;
  if (!ReadImageSerialization(options.image) || !GetLastSerials(serials)) {
    ShowErrorReport();
    return SerialJsonFailure(options);
  }
  LastSerials = serials;
  const int recorded = SerialSize(SerialFormat);
  const int size = recorded == 2 || recorded == 4 || recorded == 6 ? recorded : 6;
  const SerialTexts next = SerialRefreshTexts(SerialNumber, size);
  if (options.json) {
    QJsonObject document;
    document["command"] = "serial";
    document["address"] = options.address;
    document["image"] = options.image;
    document["memory"] = MemoryName(SerialMemory);
    document["serialAddress"] = QString::fromStdString("0x" + SerialAddressText(SerialAddress));
    document["size"] = recorded;
    document["order"] = (SerialFormat & SerialMsbFirst) ? "msb" : "lsb";
    document["next"] = QJsonObject{{"decimal", JsonText(next.decimal)}, {"hex", JsonText("0x" + next.hex)}};
    QJsonArray ports;
    for (int port = 0; port < 4; ++port) {
      SerialBytes last{};
      for (int i = 0; i < 6 && LastSerials[port].size() >= 12; ++i) {
        last[static_cast<size_t>(i)] = static_cast<uint8_t>(std::stoi(LastSerials[port].substr(2 * i, 2), nullptr, 16));
      }
      const SerialTexts texts = SerialRefreshTexts(last, size);
      ports.append(QJsonObject{{"port", port + 1}, {"lastDecimal", JsonText(texts.decimal)},
                               {"lastHex", JsonText("0x" + texts.hex)}});
    }
    document["ports"] = ports;
    return PrintJsonDocument(document, ExitOk);
  }
  std::printf("memory\t%s\n", MemoryName(SerialMemory));
  std::printf("address\t0x%s\n", SerialAddressText(SerialAddress).c_str());
  std::printf("size\t%d\n", recorded);
  std::printf("order\t%s\n", (SerialFormat & SerialMsbFirst) ? "msb" : "lsb");
  std::printf("next\t%s\t0x%s\n", next.decimal.c_str(), next.hex.c_str());
  for (int port = 0; port < 4; ++port) {
    SerialBytes last{};
    for (int i = 0; i < 6 && LastSerials[port].size() >= 12; ++i) {
      last[static_cast<size_t>(i)] = static_cast<uint8_t>(std::stoi(LastSerials[port].substr(2 * i, 2), nullptr, 16));
    }
    const SerialTexts texts = SerialRefreshTexts(last, size);
    std::printf("port %d\t%s\t0x%s\n", port + 1, texts.decimal.c_str(), texts.hex.c_str());
  }
  return ExitOk;
}

int SerialEntryCommand(const SerialValues& options) {
  // Without the programmer, exit 3, and with --json the document that says so.
  return SelectProgrammerAt(options.address) ? SerialCommand(options) : SerialJsonFailure(options);
}

}  // namespace

const CliOptionList& SerialOptions() {
  static const CliOptionList list = {SharedCliOption("address", &SerialValues::address),
                                     SharedCliOption("image", &SerialValues::image),
                                     SharedCliOption("json", &SerialValues::json)};
  return list;
}

CliBody SerialEntryEntry() { return BodyOf<SerialValues, SerialEntryCommand>(); }
