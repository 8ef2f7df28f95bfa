// The device database and fuse fields: fuses, devices.
#include "cli/CliCommandTable.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliConvert.h"
#include "cli/CliDeviceOptions.h"
#include "cli/CliJson.h"
#include "cli/CliSupport.h"
#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "platform/NumberText.h"
#include "programmers/ProgrammerTypes.h"

namespace {

struct FusesValues : CliCommonValues {
  int address = 0;
  std::string deviceType;
  std::string fuses;                    // the fuse bytes shown, "HH,HH,…"
  bool json = false;
};

struct DevicesValues : CliCommonValues {
  std::string programmerType;           // type code
  std::string family;                   // only this family
  std::string firmware;                 // the firmware revision whose database is used
  bool json = false;
};

}  // namespace

const CliOptionList& FusesOptions() {
  static const CliOptionList list = {
      SharedCliOption("address", &FusesValues::address),
      SharedCliOption("device-type", &FusesValues::deviceType),
      {"fuses", "HH[,HH...]", "the fuse bytes shown (default: the fuse file's)", ValueOf(&FusesValues::fuses)},
      SharedCliOption("json", &FusesValues::json),
  };
  return list;
}

const CliOptionList& DevicesOptions() {
  static const CliOptionList list = {
      {"type", "N", "only programmer type code N", ValueOf(&DevicesValues::programmerType)},
      {"family", "F", "only family F (any case)", ValueOf(&DevicesValues::family)},
      SharedCliOption("firmware", &DevicesValues::firmware),
      SharedCliOption("json", &DevicesValues::json),
  };
  return list;
}

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

int FusesCommand(const FusesValues& options) {
  if (!SelectProgrammerAt(options.address)) return ExitFailed;
  if (!SelectedTypeTraits().hasFuses) {
    std::fprintf(stderr, "kestrin-cli: the programmer at address %d has no fuse definitions (AVR, AVR32 and ARM only)\n",
                 options.address);
    return ExitFailed;
  }
  if (!FindDeviceByNameIgnoringCase(options.deviceType)) {
    std::fprintf(stderr, "kestrin-cli: no device family of this programmer has the device type \"%s\"\n",
                 options.deviceType.c_str());
    return ExitFailed;
  }
  DeviceOptionValues shown;
  shown.fuses = options.fuses;
  int16_t mode = 0;
  if (!TakeDeviceOptions(shown, false, mode)) return ExitFailed;
  if (options.json) {
    PrintFuseFieldsJson(options.address, DeviceTable[CurDevice].DevName);
  } else {
    PrintFuseFields();
  }
  return ExitOk;
}

int DevicesCommand(const DevicesValues& options) {
  std::vector<int> types;
  std::string error;
  if (!ChooseTypes(options.programmerType, types, error)) {
    std::fprintf(stderr, "kestrin-cli: %s\nsee 'kestrin-cli devices --help'\n", error.c_str());
    return ExitUsage;
  }
  ChooseDatabase(options.firmware);
  QJsonArray list;
  if (!options.json) std::printf("# type\tfamily\tdevice\tflash\tsecond\taux\tblank\tid\tvmin\tvmax\n");
  for (int type : types) {
    if (!LoadFamiliesOf(type, true)) return ExitFailed;
    for (int f = 0; f < MaxFamilies && !FamilyList[f].empty(); ++f) {
      if (!options.family.empty() && !SameIgnoringCase(FamilyList[f], options.family)) continue;
      CurFamily = f;
      LoadDeviceTypes();
      for (int d = 0; d < MaxDeviceTypes && !DeviceTable[d].DevName.empty(); ++d) {
        const DeviceRecord& r = DeviceTable[d];
        if (options.json) {
          QJsonObject device;
          device["type"] = type;
          device["family"] = JsonText(FamilyList[f]);
          device["device"] = JsonText(r.DevName);
          device["id"] = r.DevId;
          device["flashSize"] = r.DevFlashSize;
          device["secondSize"] = r.DevEESize;
          device["auxSize"] = r.DevAuxSize;
          device["blank"] = r.DevBlank;
          device["fileType"] = JsonText(r.DevFileType);
          device["vMin"] = std::round(r.DevVMin * 100.0) / 100.0;
          device["vMax"] = std::round(r.DevVMax * 100.0) / 100.0;
          device["flags"] = r.DevFlags;
          list.append(device);
        } else {
          std::printf("%d\t%s\t%s\t%d\t%d\t%d\t%02X\t%d\t%s\t%s\n", type, FamilyList[f].c_str(), r.DevName.c_str(),
                      r.DevFlashSize, r.DevEESize, r.DevAuxSize, r.DevBlank, r.DevId,
                      FormatFixed(r.DevVMin, 2).c_str(), FormatFixed(r.DevVMax, 2).c_str());
        }
      }
    }
  }
  if (!options.json) return ExitOk;
  QJsonObject document;
  document["command"] = "devices";
  document["database"] = JsonText(DeviceFile.substr(1));
  document["devices"] = list;
  return PrintJsonDocument(document, ExitOk);
}

CliBody FusesEntry() { return BodyOf<FusesValues, FusesCommand>(); }
CliBody DevicesEntry() { return BodyOf<DevicesValues, DevicesCommand>(); }
