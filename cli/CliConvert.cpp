#include "cli/CliConvert.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/ProjectState.h"
#include "link/ErrorRecord.h"
#include "operations/ImageDownload.h"
#include "operations/LoadImage.h"
#include "operations/Selection.h"
#include "platform/OutputFile.h"
#include "programmers/RevisionTables.h"
#include "programmers/UnitState.h"

namespace {

// Programmer type codes the device databases use.
constexpr int HighestTypeCode = 31;

// The image's memory taken in one call, not a page fault per page as the
// conversion first writes it: in a process that starts afresh for one
// conversion, the faults of a fresh megabyte cost about what converting it
// does. Where the system cannot, the faults come one by one as before.
void ReserveImage(size_t size) {
  ImageBuffer.reserve(size);
#if defined(MADV_POPULATE_WRITE)
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<uintptr_t>(ImageBuffer.data());
  if (page == 0 || start == 0) return;
  const uintptr_t from = start & ~(page - 1);
  ::madvise(reinterpret_cast<void*>(from), start - from + size, MADV_POPULATE_WRITE);
#endif
}

}  // namespace

std::string Hex8(int32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", static_cast<uint32_t>(value));
  return text;
}

void ChooseDatabase(const std::string& firmware) {
  const int generation = firmware.empty() ? 3 : FirmwareGeneration(firmware);
  FwGen2 = generation >= 2;
  FwGen3 = generation >= 3;
  DeviceFile = generation == 1 ? "\\device_V1.inf" : generation == 2 ? "\\device_V2.inf" : "\\device.inf";
}

bool ChooseTypes(const std::string& programmerType, std::vector<int>& types, std::string& error) {
  types.clear();
  if (programmerType.empty()) {
    for (int t = 1; t <= HighestTypeCode; ++t) types.push_back(t);
    return true;
  }
  const std::string& text = programmerType;
  if (text.size() > 2 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
      std::stoi(text) < 1 || std::stoi(text) > HighestTypeCode) {
    error = "--type takes a programmer type code from 1 to " + std::to_string(HighestTypeCode);
    return false;
  }
  types.push_back(std::stoi(text));
  return true;
}

bool LoadFamiliesOf(int type, bool report) {
  ProgType = type;
  if (LoadDeviceFamilies()) return true;
  if (report) ShowErrorReport();
  return false;
}

int ConvertAndWrite(const ConvertValues& options, bool report, int32_t& entireImageChecksum) {
  if (options.files.empty() || options.files.size() > 4) {
    if (report) {
      std::fputs("kestrin-cli: convert needs one to four --file build files\nsee 'kestrin-cli convert --help'\n",
                 stderr);
    }
    return ExitUsage;
  }
  std::vector<int> types;
  std::string error;
  if (!ChooseTypes(options.programmerType, types, error)) {
    if (report) std::fprintf(stderr, "kestrin-cli: %s\nsee 'kestrin-cli convert --help'\n", error.c_str());
    return ExitUsage;
  }
  ChooseDatabase(options.firmware);
  // An exact name in any type first, then one that differs only in case.
  bool found = false;
  for (bool ignoreCase : {false, true}) {
    for (size_t i = 0; i < types.size() && !found; ++i) {
      if (!LoadFamiliesOf(types[i], report)) return ExitFailed;
      found = ignoreCase ? FindDeviceByNameIgnoringCase(options.deviceType) : FindDeviceByName(options.deviceType);
    }
    if (found) break;
  }
  if (!found) {
    if (report) {
      std::fprintf(stderr, "kestrin-cli: no device family of %s has the device type \"%s\"\n",
                   types.size() == 1 ? ("programmer type " + std::to_string(types[0])).c_str()
                                     : "any programmer type",
                   options.deviceType.c_str());
    }
    return ExitFailed;
  }
  const DeviceRecord& device = DeviceTable[CurDevice];
  if (ImageBuffer.empty()) ReserveImage(static_cast<size_t>(std::max(device.DevFlashSize, 0)) + 1);

  ImageLoadSettings settings;
  settings.files = options.files;
  settings.keepSecondMemory = false;
  ClearError();
  if (!ConvertImageForLoad(settings)) {
    if (report) ShowErrorReport();
    return ExitFailed;
  }
  entireImageChecksum = DownloadChecksum();

  if (!options.out.empty()) {
    // Written whole or not at all, in one write.
    const auto size =
        static_cast<size_t>(std::min<int32_t>(device.DevFlashSize, static_cast<int32_t>(ImageBuffer.size())));
    std::string reason;
    if (!WriteOutputFile(options.out, ImageBuffer.data(), size, reason)) {
      if (report) std::fprintf(stderr, "kestrin-cli: %s\n", reason.c_str());
      return ExitFailed;
    }
  }
  return ExitOk;
}

void PrintConversion(int32_t entireImageChecksum) {
  const DeviceRecord& device = DeviceTable[CurDevice];
  std::printf("%s (%s, programmer type %d)\n  File Checksum = %s\n  Entire Image Checksum = %s\n",
              device.DevName.c_str(), FamilyList[CurFamily].c_str(), ProgType, Hex8(FileChecksum).c_str(),
              Hex8(entireImageChecksum).c_str());
}
