// Any bytes as an Intel HEX file for the general loader: on a programmer type
// with the extended data sections (8) and on one without (6), and through the
// one-file entry. Nothing may be written outside the 4 KiB image or the
// extended data block, a failure carries one of the loader's error numbers,
// and the two entries must agree where their rules are the same.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "devices/ImageState.h"
#include "images/HexLoader.h"
#include "link/CommDefs.h"
#include "platform/MessageBox.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/MainWindowView.h"
#include "tests/fuzz/FuzzStandIns.h"
#include "tests/support/ProgramState.h"

namespace {

constexpr int32_t ImageSize = 4096;

std::string FuzzFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/kestrin-fuzz-XXXXXX";
    return std::string(mkdtemp(pattern));
  }();
  return folder;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "hex_general_fuzz: %s (LastErrorNumber %d, %s)\n", what, LastErrorNumber,
                 LastErrorText.c_str());
    std::abort();
  }
}

bool KnownLoadError(int32_t number) {
  return number == ErrFileNotFound || number == 1501 || number == 1502 || number == 1510;
}

struct Outcome {
  bool ok = false;
  int32_t error = 0;
  int32_t top = 0;
  std::vector<uint8_t> image;
};

// The result of one load, checked on its own.
Outcome Checked(bool ok, std::vector<uint8_t>& image, int32_t top) {
  if (ok) {
    Check(LastErrorNumber == 0, "success with an error number");
    Check(top >= 0 && top < ImageSize, "image top outside the image");
  } else {
    Check(KnownLoadError(LastErrorNumber), "failure with an unexpected error number");
  }
  Check(image.size() == static_cast<size_t>(ImageSize), "image buffer resized beyond its size");
  return {ok, LastErrorNumber, top, image};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentMessageBox messages;
  static NullMainWindow window;
  ResetProgramState();   // each input starts from a fresh program
  MessageBox = &messages;
  frmMain = &window;

  const std::string path = FuzzFolder() + "/input.hex";
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  } else {
    return 0;
  }

  // Types 8 (extended data block and skipped sections) and 6 (plain).
  Outcome plain;
  for (uint8_t type : {8, 6}) {
    ProgType = type;
    std::vector<uint8_t> image;
    int32_t top = -1;
    const bool ok = LoadHexFile(image, ImageSize, top, 0xFF, &path, 1);
    Outcome outcome = Checked(ok, image, top);
    if (type == 6) plain = outcome;
  }

  // The one-file entry has the plain rules and adds to the running checksum.
  {
    ProgType = 6;
    int32_t before = 0;
    {
      std::vector<uint8_t> image;
      int32_t top = -1;
      LoadHexFile(image, ImageSize, top, 0xFF, &path, 1);
      before = ImageChecksum;   // the sum of this file's bytes alone
    }
    const int32_t running = 0x12345678;
    ImageChecksum = running;
    std::vector<uint8_t> image;
    int32_t top = -1;
    const bool ok = LoadHexBuffer(image, ImageSize, top, 0xFF, path);
    const Outcome single = Checked(ok, image, top);
    Check(single.ok == plain.ok && single.error == plain.error, "the one-file entry disagrees on the result");
    if (single.ok) {
      Check(single.top == plain.top, "the one-file entry disagrees on the image top");
      Check(single.image == plain.image, "the one-file entry disagrees on the image");
      Check(static_cast<uint32_t>(ImageChecksum) == static_cast<uint32_t>(running) + static_cast<uint32_t>(before),
            "the one-file entry did not add the file's sum to the running checksum");
    }
  }

  // A second file that cannot be opened: the load fails, with 53 unless the
  // first file already failed.
  {
    ProgType = 6;
    const std::string files[2] = {path, FuzzFolder() + "/missing.hex"};
    std::vector<uint8_t> image;
    int32_t top = -1;
    const bool ok = LoadHexFile(image, ImageSize, top, 0xFF, files, 2);
    Check(!ok, "a missing second file was not reported");
    Check(KnownLoadError(LastErrorNumber), "failure with an unexpected error number");
    if (plain.ok) Check(LastErrorNumber == ErrFileNotFound, "a missing second file gave another error");
  }
  return 0;
}
