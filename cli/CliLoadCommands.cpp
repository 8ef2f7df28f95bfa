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

namespace {

struct LoadValues : CliCommonValues, DeviceOptionValues, SerialOptionValues {
  int address = 0;
  int image = 0;
  std::string project;                  // a project file instead of files and device
  std::string deviceType;
  std::vector<std::string> files;
  std::string eeprom;
  std::string eepromName;
  std::string name;
  double voltage = 0;                   // 0: not given
  int mode = 0;
  int freq = 0;
  bool protect = false;
  int count = -1;                       // -1: no limit
  std::string optionBytes;              // Z8 Encore!, ZNEO, ZLF645 option bytes, "HH,HH,…"
};

}  // namespace

const CliOptionList& LoadOptions() {
  static const CliOptionList list = {
      SharedCliOption("address", &LoadValues::address),
      SharedCliOption("image", &LoadValues::image),
      {"project", "FILE.vrx", "a project file: its files, device type and settings", ValueOf(&LoadValues::project)},
      SharedCliOption("device-type", &LoadValues::deviceType),
      {"file", "X.hex", "a build file (Intel HEX, S-record, ELF, or binary as FILE.bin@ADDR);\none to four",
       ValueOf(&LoadValues::files)},
      {"eeprom", "E.hex", "the second memory's build file", ValueOf(&LoadValues::eeprom)},
      {"eeprom-name", "S", "the second memory's name (with --eeprom)", ValueOf(&LoadValues::eepromName)},
      SharedCliOption("name", &LoadValues::name),
      SharedCliOption("voltage", &LoadValues::voltage),
      SharedCliOption("mode", &LoadValues::mode),
      SharedCliOption("freq", &LoadValues::freq),
      {"protect", nullptr, "read-protect the image", ValueOf(&LoadValues::protect)},
      {"count", "N", "the number of devices the image may program, 1..2147483647", ValueOf(&LoadValues::count), 1,
       2147483647},
      {"fuses", "HH[,HH...]", "every fuse byte in hex, byte 0 first; each must fit\nthe options of its fields (see kestrin-cli fuses)",
       ValueOf<LoadValues>(&LoadValues::fuses)},
      {"osccal", "NONE|8MHZ|4MHZ|2MHZ|1MHZ|INTERNAL", "calibration value to write (AVR)", ValueOf<LoadValues>(&LoadValues::osccal)},
      {"osccal-memory", "flash|eeprom", "where the calibration value goes", ValueOf<LoadValues>(&LoadValues::osccalMemory)},
      {"osccal-address", "HEX", "the calibration value's address", ValueOf<LoadValues>(&LoadValues::osccalAddress)},
      {"jtag-id", "PART,VERSION", "check the JTAG ID first (AVR, with --mode 4: JTAG)", ValueOf<LoadValues>(&LoadValues::jtagId)},
      {"avr32-security", nullptr, "program the AVR32 security bit", ValueOf<LoadValues>(&LoadValues::avr32Security)},
      {"serial-memory", "flash|eeprom|user", "the memory the serial number is written to",
       ValueOf<LoadValues>(&LoadValues::serialMemory)},
      {"serial-address", "HEX", "the serial number's address", ValueOf<LoadValues>(&LoadValues::serialAddress)},
      {"serial-size", "2|4|6", "the serial number's size in bytes", ValueOf<LoadValues>(&LoadValues::serialSize)},
      {"serial-next", "N", "the first serial number: decimal, or hex with 0x; it\nmust fit the size",
       ValueOf<LoadValues>(&LoadValues::serialNext)},
      {"serial-order", "msb|lsb", "byte order in the device (default lsb)", ValueOf<LoadValues>(&LoadValues::serialOrder)},
      {"option-bytes", "HH[,HH...]",
       "byte 0 first: Z8 Encore! 2 bytes (image addresses 0, 1), ZNEO 4\n(addresses 0..3), ZLF645 2 (FIB3 page bytes FE, FF; an erased page\nunless --eeprom gives one)",
       ValueOf(&LoadValues::optionBytes)},
  };
  return list;
}

namespace {

// Takes the files, device and settings of a project file as a load's options.
bool TakeProject(LoadValues& options) {
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

int LoadCommand(const LoadValues& given) {
  LoadValues options = given;
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
  if (!SelectProgrammerAt(options.address)) return ExitFailed;
  if (fromProject && !TakeProject(options)) return ExitFailed;
  double volts = 0;
  if (!PrepareSlotAndDevice(options.address, options.image, options.deviceType, options.voltage, volts)) return ExitFailed;

  ImageLoadSettings settings;
  settings.image = options.image;
  settings.files = options.files;
  settings.secondFile = options.eeprom;
  settings.secondName = options.eepromName;
  // A project keeps the whole mode word; options are taken as the automation interface takes them.
  auto mode = fromProject ? static_cast<int16_t>(ProjMode)
                          : static_cast<int16_t>(options.mode + (options.eeprom.empty() ? 0 : 2) + DeviceModeBits());
  if (!TakeDeviceOptions(options, fromProject, mode)) return ExitFailed;
  if (!TakeSerialOptions(options, options.address)) return ExitFailed;
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

int ConvertCommand(const ConvertValues& options) {
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

CliBody LoadEntry() { return BodyOf<LoadValues, LoadCommand>(); }
CliBody ConvertEntry() { return BodyOf<ConvertValues, ConvertCommand>(); }
