// Any bytes as a fuse definition file, read for an AVR and an ARM device: the
// model loads or the reason is recorded, and nothing reads or writes outside
// its bounds, including the defaults taken from it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "options/FuseDefinitions.h"
#include "state/PublicVars.h"
#include "tests/fuzz/FuzzStandIns.h"

namespace {
std::string FuzzFile() {
  static const std::string path = [] {
    char pattern[] = "/tmp/kestrin-fuzz-XXXXXX";
    return std::string(mkdtemp(pattern)) + "/Fuses.inf";
  }();
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentMessageBox messages;
  if (FILE* file = std::fopen(FuzzFile().c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  for (uint8_t type : {6, 9}) {
    ResetProgramState();   // each input starts from a fresh program
    MessageBox = &messages;
    ProgType = type;
    DeviceTable[0].DevId = 1;
    CurDevice = 0;
    CurFamily = 1;
    LoadFuseDefinitions(FuzzFile());
    SetDefaultFuses();
  }
  return 0;
}
