// Images out of the programmer and into it from a target: save, read-target.
#include "cli/CliCommandTable.h"

#include <cstdio>

#include "cli/CliSupport.h"
#include "devices/ImageState.h"
#include "operations/ImageDirectory.h"
#include "operations/LoadImage.h"
#include "operations/ReadTarget.h"
#include "operations/SaveImage.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "programmers/FirmwareArea.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"

namespace {

struct SaveValues : CliCommonValues {
  int address = 0;
  int image = 0;
  std::string out;
  bool iic = false;
};

struct ReadTargetValues : CliCommonValues {
  int address = 0;
  int image = 0;
  int targetPort = 1;                   // the port of the target device
  std::string deviceType;
  std::string name;
  double voltage = 0;                   // 0: not given
  int mode = 0;
  int freq = 0;
};

}  // namespace

const CliOptionList& SaveOptions() {
  static const CliOptionList list = {
      SharedCliOption("address", &SaveValues::address),
      SharedCliOption("image", &SaveValues::image),
      SharedCliOption("out", &SaveValues::out, "the Intel HEX file written"),
      {"iic", nullptr, "write an IIC script instead", ValueOf(&SaveValues::iic)},
  };
  return list;
}

const CliOptionList& ReadTargetOptions() {
  static const CliOptionList list = {
      SharedCliOption("address", &ReadTargetValues::address),
      SharedCliOption("image", &ReadTargetValues::image),
      {"target-port", "P", "the port of the target device 1..4", ValueOf(&ReadTargetValues::targetPort), 1, 4},
      SharedCliOption("device-type", &ReadTargetValues::deviceType),
      SharedCliOption("name", &ReadTargetValues::name),
      SharedCliOption("voltage", &ReadTargetValues::voltage),
      SharedCliOption("mode", &ReadTargetValues::mode),
      SharedCliOption("freq", &ReadTargetValues::freq),
  };
  return list;
}

int SaveCommand(const SaveValues& options) {
  if (options.out.empty()) return UsageError(options.command, "save needs --out FILE");
  if (!SelectProgrammerAt(options.address)) return ExitFailed;
  ImageNumber = options.image;
  fgImages.Row = options.image;
  if (SlotHoldsImage(ImageNumber) && SlotReadProtected(ImageNumber)) {
    MessageBox->MsgBox(ReadProtectedMessage, vbOKOnly, "Save Image to File");
    return ExitFailed;
  }
  // The save refuses an empty slot itself (and logs the refusal); said here in one line.
  if (!SaveImageAs(options.out, options.iic)) {
    if (!SlotHoldsImage(options.image)) {
      std::fprintf(stderr, "kestrin-cli: image slot %d of the programmer at address %d holds no image\n", options.image,
                   options.address);
    } else {
      ReportLastError();
    }
    return ExitFailed;
  }
  return ExitOk;
}

int ReadTargetCommand(const ReadTargetValues& options) {
  if (!SelectProgrammerAt(options.address)) return ExitFailed;
  double volts = 0;
  if (!PrepareSlotAndDevice(options.address, options.image, options.deviceType, options.voltage, volts)) return ExitFailed;
  TargetReadSettings settings;
  settings.image = options.image;
  settings.port = options.targetPort;
  settings.name = options.name;
  settings.secondName = EEName;
  settings.mode = static_cast<int16_t>(options.mode);
  settings.freq = static_cast<int16_t>(options.freq);
  settings.voltage = static_cast<uint8_t>(RoundHalfEven(volts / 0.02));
  if (!ReadTargetIntoSlot(settings)) {
    ReportLastError();
    return ExitFailed;
  }
  std::printf("Image Load Complete\n");
  return ExitOk;
}

CliBody SaveEntry() { return BodyOf<SaveValues, SaveCommand>(); }
CliBody ReadTargetEntry() { return BodyOf<ReadTargetValues, ReadTargetCommand>(); }
