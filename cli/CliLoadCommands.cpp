// Images from build files: load into a slot, convert offline.
#include "cli/CliCommandTable.h"

#include <cstdio>
#include <string>

#include "cli/CliConvert.h"
#include "cli/CliDeviceOptions.h"
#include "cli/CliJson.h"
#include "cli/CliSerialOptions.h"
#include "cli/CliSupport.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/ImageSettings.h"
#include "images/ProjectFile.h"
#include "images/ProjectState.h"
#include "operations/LoadImage.h"
#include "operations/SaveImage.h"
#include "platform/NumberText.h"
#include "programmers/FirmwareArea.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"
#include "state/ErrorState.h"

const CliOptionList& LoadOptions() {
  static const CliOptionList list = {
      SharedCliOption("address"),
      SharedCliOption("image"),
      {"project", "FILE.vrx", "a project file: its files, device type and settings", TextOf(&CliOptions::project)},
      SharedCliOption("device-type"),
      {"file", "X.hex", "a build file (Intel HEX, S-record, ELF, or binary as FILE.bin@ADDR);\none to four",
       ListOf(&CliOptions::files)},
      {"eeprom", "E.hex", "the second memory's build file", TextOf(&CliOptions::eeprom)},
      {"eeprom-name", "S", "the second memory's name (with --eeprom)", TextOf(&CliOptions::eepromName)},
      SharedCliOption("name"),
      SharedCliOption("voltage"),
      SharedCliOption("mode"),
      SharedCliOption("freq"),
      {"protect", nullptr, "read-protect the image", SwitchOf(&CliOptions::protect)},
      {"count", "N", "the number of devices the image may program, 1..2147483647", NumberOf(&CliOptions::count), 1,
       2147483647},
      {"fuses", "HH[,HH...]", "every fuse byte in hex, byte 0 first; each must fit\nthe options of its fields (see kestrin-cli fuses)",
       TextOf(&CliOptions::fuses)},
      {"osccal", "NONE|8MHZ|4MHZ|2MHZ|1MHZ|INTERNAL", "calibration value to write (AVR)", TextOf(&CliOptions::osccal)},
      {"osccal-memory", "flash|eeprom", "where the calibration value goes", TextOf(&CliOptions::osccalMemory)},
      {"osccal-address", "HEX", "the calibration value's address", TextOf(&CliOptions::osccalAddress)},
      {"jtag-id", "PART,VERSION", "check the JTAG ID first (AVR, with --mode 4: JTAG)", TextOf(&CliOptions::jtagId)},
      {"avr32-security", nullptr, "program the AVR32 security bit", SwitchOf(&CliOptions::avr32Security)},
      {"serial-memory", "flash|eeprom|user", "the memory the serial number is written to",
       TextOf(&CliOptions::serialMemory)},
      {"serial-address", "HEX", "the serial number's address", TextOf(&CliOptions::serialAddress)},
      {"serial-size", "2|4|6", "the serial number's size in bytes", TextOf(&CliOptions::serialSize)},
      {"serial-next", "N", "the first serial number: decimal, or hex with 0x; it\nmust fit the size",
       TextOf(&CliOptions::serialNext)},
      {"serial-order", "msb|lsb", "byte order in the device (default lsb)", TextOf(&CliOptions::serialOrder)},
      {"option-bytes", "HH[,HH...]",
       "byte 0 first: Z8 Encore! 2 bytes (image addresses 0, 1), ZNEO 4\n(addresses 0..3), ZLF645 2 (FIB3 page bytes FE, FF; an erased page\nunless --eeprom gives one)",
       TextOf(&CliOptions::optionBytes)},
  };
  return list;
}

namespace {

// Takes the files, device and settings of a project file as a load's options.
bool TakeProject(CliOptions& options) {
  if (!ReadProjectForLoad(options.project)) {
    if (LastErrorNumber != 0) ReportLastError();
    return false;
  }
  options.files.assign(FileList.begin(), FileList.begin() + FileCount);
  options.deviceType = ProjDevice;
  options.name = ProjName;
  options.voltage = ProjVoltage;
  options.freq = ProjFreq;
  if (EepromFileChosen) {
    options.eeprom = EEFilePath;
    options.eepromName = EEFileTitle;
  }
  return true;
}

}  // namespace

int LoadCommand(const CliOptions& given) {
  CliOptions options = given;
  const bool fromProject = !options.project.empty();
  // The device comes with the files or with the project, not both.
  if (options.deviceType.empty() && !fromProject) {
    return UsageError(options.command, "load needs --device-type NAME (or --project FILE.vrx)");
  }
  if (fromProject && (!options.files.empty() || !options.deviceType.empty())) {
    return UsageError(options.command, "--project brings its own files and device type");
  }
  if (!fromProject && (options.files.empty() || options.files.size() > 4)) {
    return UsageError(options.command, "load needs one to four --file build files");
  }
  if (!options.eeprom.empty() && options.eepromName.empty()) {
    return UsageError(options.command, "--eeprom needs --eeprom-name");
  }
  std::string serialError;
  if (!CheckSerialOptions(options, serialError)) return UsageError(options.command, serialError);
  if (!SelectProgrammerAt(options)) return ExitFailed;
  if (fromProject && !TakeProject(options)) return ExitFailed;
  double volts = 0;
  if (!PrepareSlotAndDevice(options, volts)) return ExitFailed;

  ImageLoadSettings settings;
  settings.image = options.image;
  settings.files = options.files;
  settings.secondFile = options.eeprom;
  settings.secondName = options.eepromName;
  // A project keeps the whole mode word; options are taken as the automation interface takes them.
  auto mode = fromProject ? static_cast<int16_t>(ProjMode)
                          : static_cast<int16_t>(options.mode + (options.eeprom.empty() ? 0 : 2) + DeviceModeBits());
  if (!TakeDeviceOptions(options, fromProject, mode)) return ExitFailed;
  if (!TakeSerialOptions(options)) return ExitFailed;
  if (!TakeOptionBytes(options.optionBytes, settings, mode)) return ExitFailed;
  settings.modeWord = [mode] { return mode; };
  settings.name = options.name;
  settings.voltage = static_cast<uint8_t>(RoundHalfEven(volts / 0.02));
  settings.freq = static_cast<int16_t>(options.freq);
  settings.readProtect = options.protect;
  settings.count = options.count;
  if (!LoadImageFromFiles(settings)) {
    ReportLastError();
    return ExitFailed;
  }
  std::printf("Image Load Complete\n  File Checksum = %08X\n  Entire Image Checksum = %08X\n",
              static_cast<uint32_t>(FileChecksum), static_cast<uint32_t>(EntireImageChecksum));
  return ExitOk;
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
