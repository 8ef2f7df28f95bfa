#include "cli/CliOffline.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "cli/CliJson.h"
#include "devices/DeviceDatabase.h"
#include "link/ErrorRecord.h"
#include "operations/ImageDownload.h"
#include "operations/LoadImage.h"
#include "platform/NumberText.h"
#include "platform/OutputFile.h"
#include "programmers/Selection.h"
#include "state/PublicVars.h"

namespace {

// Programmer type codes the device databases use.
constexpr int HighestTypeCode = 31;

// The database of the firmware generation, as selecting a programmer with
// that firmware chooses it; without --firmware the current firmware's.
void ChooseDatabase(const CliOptions& options) {
  const int generation = options.firmware.empty() ? 3 : FirmwareGeneration(options.firmware);
  FwGen2 = generation >= 2;
  FwGen3 = generation >= 3;
  DeviceFile = generation == 1 ? "\\device_V1.inf" : generation == 2 ? "\\device_V2.inf" : "\\device.inf";
}

// The programmer types to look in: the one of --type, else every code.
bool ChooseTypes(const CliOptions& options, std::vector<int>& types, std::string& error) {
  types.clear();
  if (options.programmerType.empty()) {
    for (int t = 1; t <= HighestTypeCode; ++t) types.push_back(t);
    return true;
  }
  const std::string& text = options.programmerType;
  if (text.size() > 2 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
      std::stoi(text) < 1 || std::stoi(text) > HighestTypeCode) {
    error = "--type takes a programmer type code from 1 to " + std::to_string(HighestTypeCode);
    return false;
  }
  types.push_back(std::stoi(text));
  return true;
}

// The families of ProgType; false with the error report shown when the database cannot be read.
bool LoadFamiliesOf(int type) {
  ProgType = type;
  if (LoadDeviceFamilies()) return true;
  ShowErrorReport();
  return false;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Hex8(int32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", static_cast<uint32_t>(value));
  return text;
}

}  // namespace

int DevicesCommand(const CliOptions& options) {
  std::vector<int> types;
  std::string error;
  if (!ChooseTypes(options, types, error)) {
    std::fprintf(stderr, "kestrin-cli: %s\nsee 'kestrin-cli devices --help'\n", error.c_str());
    return ExitUsage;
  }
  ChooseDatabase(options);
  QJsonArray list;
  if (!options.json) std::printf("# type\tfamily\tdevice\tflash\tsecond\taux\tblank\tid\tvmin\tvmax\n");
  for (int type : types) {
    if (!LoadFamiliesOf(type)) return ExitFailed;
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

int ConvertCommand(const CliOptions& options) {
  if (options.files.empty() || options.files.size() > 4) {
    std::fputs("kestrin-cli: convert needs one to four --file build files\nsee 'kestrin-cli convert --help'\n", stderr);
    return ExitUsage;
  }
  std::vector<int> types;
  std::string error;
  if (!ChooseTypes(options, types, error)) {
    std::fprintf(stderr, "kestrin-cli: %s\nsee 'kestrin-cli convert --help'\n", error.c_str());
    return ExitUsage;
  }
  ChooseDatabase(options);
  // An exact name in any type first, then one that differs only in case.
  bool found = false;
  for (bool ignoreCase : {false, true}) {
    for (size_t i = 0; i < types.size() && !found; ++i) {
      if (!LoadFamiliesOf(types[i])) return ExitFailed;
      found = ignoreCase ? FindDeviceByNameIgnoringCase(options.deviceType) : FindDeviceByName(options.deviceType);
    }
    if (found) break;
  }
  if (!found) {
    std::fprintf(stderr, "kestrin-cli: no device family of %s has the device type \"%s\"\n",
                 types.size() == 1 ? ("programmer type " + std::to_string(types[0])).c_str() : "any programmer type",
                 options.deviceType.c_str());
    return ExitFailed;
  }
  const DeviceRecord& device = DeviceTable[CurDevice];

  ImageLoadSettings settings;
  settings.files = options.files;
  settings.keepSecondMemory = false;
  ClearError();
  if (!ConvertImageForLoad(settings)) {
    ShowErrorReport();
    return ExitFailed;
  }
  const int32_t entire = DownloadChecksum();

  if (!options.out.empty()) {
    // Written whole or not at all.
    const auto size = static_cast<size_t>(std::min<int32_t>(device.DevFlashSize, static_cast<int32_t>(ImageBuffer.size())));
    std::string reason;
    if (!WriteOutputFile(options.out, ImageBuffer.data(), size, reason)) {
      std::fprintf(stderr, "kestrin-cli: %s\n", reason.c_str());
      return ExitFailed;
    }
  }

  if (options.json) {
    QJsonObject document;
    document["command"] = "convert";
    document["type"] = ProgType;
    document["family"] = JsonText(FamilyList[CurFamily]);
    document["device"] = JsonText(device.DevName);
    QJsonArray files;
    for (const std::string& f : options.files) files.append(JsonText(f));
    document["files"] = files;
    document["fileChecksum"] = QString::fromStdString(Hex8(FileChecksum));
    document["entireImageChecksum"] = QString::fromStdString(Hex8(entire));
    document["imageTop"] = ImageTop;
    if (!options.out.empty()) document["out"] = JsonText(options.out);
    return PrintJsonDocument(document, ExitOk);
  }
  std::printf("%s (%s, programmer type %d)\n  File Checksum = %s\n  Entire Image Checksum = %s\n",
              device.DevName.c_str(), FamilyList[CurFamily].c_str(), ProgType, Hex8(FileChecksum).c_str(),
              Hex8(entire).c_str());
  return ExitOk;
}
