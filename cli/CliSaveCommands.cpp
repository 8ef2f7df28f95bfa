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

const CliOptionList& SaveOptions() {
  static const CliOptionList list = {
      SharedCliOption("address"),
      SharedCliOption("image"),
      SharedCliOption("out", "the Intel HEX file written"),
      {"iic", nullptr, "write an IIC script instead", SwitchOf(&CliOptions::iic)},
  };
  return list;
}

const CliOptionList& ReadTargetOptions() {
  static const CliOptionList list = {
      SharedCliOption("address"),
      SharedCliOption("image"),
      {"target-port", "P", "the port of the target device 1..4", NumberOf(&CliOptions::targetPort), 1, 4},
      SharedCliOption("device-type"),
      SharedCliOption("name"),
      SharedCliOption("voltage"),
      SharedCliOption("mode"),
      SharedCliOption("freq"),
  };
  return list;
}

int SaveCommand(const CliOptions& options) {
  if (options.out.empty()) return UsageError(options.command, "save needs --out FILE");
  if (!SelectProgrammerAt(options)) return ExitFailed;
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

int ReadTargetCommand(const CliOptions& options) {
  if (!SelectProgrammerAt(options)) return ExitFailed;
  double volts = 0;
  if (!PrepareSlotAndDevice(options, volts)) return ExitFailed;
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

