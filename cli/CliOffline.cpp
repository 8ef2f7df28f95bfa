#include "cli/CliOffline.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "cli/CliConvert.h"
#include "cli/CliJson.h"
#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/ProjectState.h"
#include "link/ErrorRecord.h"
#include "operations/ImageDownload.h"
#include "operations/LoadImage.h"
#include "operations/Selection.h"
#include "platform/NumberText.h"
#include "platform/OutputFile.h"
#include "programmers/UnitState.h"

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
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

int ConvertCommand(const CliOptions& options) {
  int32_t entire = 0;
  if (const int status = ConvertAndWrite(options, true, entire)) return status;
  if (!options.json) {
    PrintConversion(entire);
    return ExitOk;
  }
  const DeviceRecord& device = DeviceTable[CurDevice];
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
