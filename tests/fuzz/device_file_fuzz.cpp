// Any bytes as the device file: families and every family's devices load or
// report "Bad Device File", and nothing reads or writes outside the tables.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "platform/MessageBox.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "tests/fuzz/FuzzStandIns.h"
#include "tests/support/ProgramState.h"

namespace {
std::string FuzzFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/kestrin-fuzz-XXXXXX";
    return std::string(mkdtemp(pattern));
  }();
  return folder;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentMessageBox messages;
  ResetProgramState();   // each input starts from a fresh program
  MessageBox = &messages;
  AppPath = FuzzFolder();
  DeviceFile = "\\device.inf";
  if (FILE* file = std::fopen((AppPath + "/device.inf").c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  for (uint8_t type : {1, 2, 6, 9}) {
    ProgType = type;
    LoadDeviceFamilies();
    for (int f = 0; f < 4 && !FamilyList[f].empty(); ++f) {
      CurFamily = f;
      LoadDeviceTypes();
    }
  }
  return 0;
}
