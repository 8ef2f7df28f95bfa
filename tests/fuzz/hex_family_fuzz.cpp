// Any bytes as the image file of a device of a family whose files carry
// several memories in address sections. The first byte picks the family
// (PSoC3, PSoC5, AVR32, Nuvoton), the rest is the file. The conversion must
// keep every memory at its size, fail only with the loaders' error numbers,
// and on success leave the image top inside the part's flash.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/HexLoader.h"
#include "images/Loaders.h"
#include "link/CommDefs.h"
#include "platform/MessageBox.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/MainWindowView.h"
#include "tests/fuzz/FuzzStandIns.h"
#include "tests/support/ProgramState.h"

namespace {

constexpr int32_t FlashSize = 32768;
constexpr int32_t EESize = 512;
constexpr int32_t AuxSize = 4096;

std::string FuzzFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/kestrin-fuzz-XXXXXX";
    return std::string(mkdtemp(pattern));
  }();
  return folder;
}

const char* const Families[] = {"PSoC3", "PSoC5", "AVR32", "Nuvoton"};

void Check(bool condition, const char* family, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "hex_family_fuzz (%s): %s (LastErrorNumber %d, %s; ImageTop %d)\n", family, what,
                 LastErrorNumber, LastErrorText.c_str(), ImageTop);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static SilentMessageBox messages;
  static NullMainWindow window;
  ResetProgramState();   // each input starts from a fresh program
  MessageBox = &messages;
  frmMain = &window;

  const int choice = data[0] % 4;
  const char* family = Families[choice];
  const std::string path = FuzzFolder() + "/input.hex";
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
  } else {
    return 0;
  }

  ProgType = 6;
  FamilyList[0] = family;
  CurFamily = 0;
  DeviceTable[0].DevName = "FuzzPart";
  DeviceTable[0].DevFlashSize = FlashSize;
  DeviceTable[0].DevBlank = 0xFF;
  DeviceTable[0].DevEESize = EESize;
  DeviceTable[0].DevAuxSize = AuxSize;
  CurDevice = 0;
  FileList[0] = path;
  FileCount = 1;

  const bool ok = ConvertImageFiles();

  if (ok) {
    Check(LastErrorNumber == 0, family, "success with an error number");
    Check(ImageTop >= 0 && ImageTop < FlashSize, family, "image top outside the part's flash");
    Check(static_cast<size_t>(ImageTop) < ImageBuffer.size(), family, "image top outside the image buffer");
  } else {
    Check(LastErrorNumber == ErrFileNotFound || LastErrorNumber == 1501 || LastErrorNumber == 1502 ||
              LastErrorNumber == 1510,
          family, "failure with an unexpected error number");
  }

  // Every memory keeps the size the family gives it.
  size_t imageSize = static_cast<size_t>(FlashSize) + 1;
  if (choice == 0) imageSize = PSoC3BufferTop + 1;
  if (choice == 1) imageSize = PSoCBufferTop + 1;
  Check(ImageBuffer.size() == imageSize, family, "image buffer resized");
  if (choice >= 2) Check(EEBuffer.size() == static_cast<size_t>(EESize) + 1, family, "second memory resized");
  if (choice == 3) Check(AuxBuffer.size() == static_cast<size_t>(AuxSize) + 1, family, "third memory resized");
  return 0;
}
