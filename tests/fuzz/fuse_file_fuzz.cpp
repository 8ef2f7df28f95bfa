// Any bytes as a fuse definition file, read for an AVR and an ARM device: the
// model loads or the reason is recorded, and nothing reads or writes outside
// its bounds, including the defaults taken from it and the edits made on it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "devices/DeviceState.h"
#include "options/AvrOptions.h"
#include "options/FuseDefinitions.h"
#include "options/FuseState.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "tests/fuzz/FuzzStandIns.h"
#include "tests/support/ProgramState.h"

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
    // What the options window and the command line do with whatever model came out.
    for (int b = -1; b <= MaxFuseBytes; ++b) {
      FuseValueFits(b, size ? data[0] : 0);
      for (int bit = 0; bit < 8; ++bit) {
        const int field = FieldAtBit(b, bit);
        ApplyFuseOption(b, field, CurrentFuseOption(b, field) + (bit & 1));
      }
    }
    OsccalChoices();
  }
  return 0;
}
