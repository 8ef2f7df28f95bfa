// The table of commands: each command's body and options live in the file of
// its group (CliScanCommands, CliImageCommands, CliProgramCommands,
// CliLoadCommands, CliSaveCommands, CliConfigCommands, CliSerialOptions,
// CliFuseCommands, CliLog).
#include "cli/CliCommands.h"

#include "cli/CliCommandTable.h"
#include "cli/CliLog.h"
#include "cli/CliSupport.h"
#include "link/ErrorRecord.h"
#include "state/LineGuard.h"

const std::vector<CliCommand>& CliCommandTable() {
  static const std::vector<CliCommand> table = {
    {"scan", ScanEntry(), "find the programmers on the line",
     "scan [--port N | --device PATH] [--json]\n",
     "  Finds the programmers on the line. One line per programmer, tab-separated:\n"
     "  address, line speed, firmware revision, type code, slots, slot size in bytes.\n"
     "  Exits 3 when none answers. A programmer whose last firmware upgrade was cut\n"
     "  short is named on stderr (\"firmware incomplete, upgrade again\"; --json:\n"
     "  firmwareIncomplete).\n",
     ScanOptions, {}},
    {"images", ImagesEntry(), "print a programmer's image directory",
     "images --address A [--json]\n",
     "  Selects the programmer at address A and prints its image directory as the\n"
     "  image manager's grid holds it: the header row, then one line per slot,\n"
     "  cells separated by tabs. --json adds each image's size and CRC.\n",
     ImagesOptions, {"address"}},
    {"program", ProgramEntry(), "program or verify the devices on the ports from an image slot",
     "program --address A --image N [--ports 1,3] [--verify] [--crc-verify] [--sequential] [--json]\n",
     "  Programs (or with --verify only verifies) devices on the enabled ports from\n"
     "  image slot N and prints each change of a port's status, then a summary:\n"
     "  \"program: address A image N: P passed, F failed, R not run (S s)\", with\n"
     "  \", S stopped\" and \", L line lost\" after \"not run\" when any. Exits 1\n"
     "  when a port failed, 3 when a command failed or a port was stopped or lost\n"
     "  with the line. Ctrl-C cancels the run.\n",
     ProgramOptions, {"address", "image"}},
    {"array", ArrayEntry(), "run several programmers at once",
     "array --run A:IMAGE[:PORTS] [--run A:IMAGE[:PORTS] ...] [--verify] [--sequential] [--json]\n",
     "  Array programming: starts the programmer at each address A on image slot\n"
     "  IMAGE (ports 1..4 unless PORTS, e.g. 1,3, is given) in the order given, with\n"
     "  the verify and program-multiple-images options, and follows all of them.\n"
     "  Prints each change of a port's status as address, port and status, then one\n"
     "  line per unit: address, outcome (done, port failed, start failed, not\n"
     "  started, no reply, cancelled) and the last status of ports 1 to 4, all\n"
     "  tab-separated. Exits 1 when a port failed, 3 when a unit did not run\n"
     "  through. Ctrl-C cancels every started unit.\n",
     ArrayOptions, {}},
    {"load", LoadEntry(), "convert build files and download the image into a slot",
     "load --address A --image N --device-type NAME --file X.hex [--file Y.hex ...]\n"
     "     [--eeprom E.hex --eeprom-name S] [--name S] [--voltage 3.3] [--mode M] [--freq KHZ]\n"
     "     [--protect] [--count N] [DEVICE OPTIONS]\n"
     "load --project FILE.vrx --address A --image N [--protect] [--count N] [DEVICE OPTIONS]\n",
     "  Converts the build files for the device type (found by name in the programmer's\n"
     "  families) and downloads the image into slot N, verifying every byte; prints\n"
     "  the file checksum and the entire image checksum.\n"
     "  Build files (--file, --eeprom) may be Intel HEX, Motorola S-record or ELF (the\n"
     "  loadable segments at their load addresses), told apart by their content, or\n"
     "  raw binary with its load address after the name: --file app.bin@0x08000000\n"
     "  (decimal, or hexadecimal with 0x).\n"
     "  The device options (--fuses, --osccal..., --jtag-id, --avr32-security) of AVR,\n"
     "  AVR32 and ARM images are the fuse file's defaults, or the project's values,\n"
     "  unless given. Serial numbers (--serial-...) are written by the programmer into\n"
     "  every device it programs; one outside the device's memory is refused before\n"
     "  anything is sent. Option bytes (--option-bytes) of Z8 Encore!, ZNEO and ZLF645\n"
     "  images are written as the Options window writes them and replace what the\n"
     "  files give: only the settings the device's Options window enables may change;\n"
     "  every other bit, and every fixed bit, must be 1 (its erased value). E.g. the\n"
     "  Z8 Encore! F64xx parts have no high sector write protect and nothing in byte 1,\n"
     "  so bit 1 of byte 0 and all of byte 1 stay 1.\n",
     LoadOptions, {"address", "image"}},
    {"serial", SerialEntryEntry(), "print a slot's serialization record",
     "serial --address A --image N [--json]\n",
     "  Prints the serialization record of slot N, one tab-separated line each:\n"
     "  memory, address, size, order, next (decimal, hex); then per port the last\n"
     "  serial number written (\"port P\", decimal, hex).\n",
     SerialOptions, {"address", "image"}},
    {"fuses", FusesEntry(), "print a device's fuse fields",
     "fuses --address A --device-type NAME [--fuses HH[,HH...]] [--json]\n",
     "  Prints the device's fuse fields from the fuse file, one line per field,\n"
     "  tab-separated: byte, byte name, byte value, field, description, mask, then\n"
     "  one column per option, text=value, the current one marked with *. Without\n"
     "  --fuses the values are the file's defaults.\n",
     FusesOptions, {"address", "device-type"}},
    {"save", SaveEntry(), "write the image in a slot to a file",
     "save --address A --image N --out FILE.hex [--iic]\n",
     "  Uploads the image in slot N and writes it as Intel HEX (or, with --iic, as\n"
     "  an IIC script). A read-protected image is refused.\n",
     SaveOptions, {"address", "image"}},
    {"read-target", ReadTargetEntry(), "read a target device into a slot",
     "read-target --address A --image N --target-port P --device-type NAME [--name S]\n"
     "     [--voltage V] [--mode M] [--freq KHZ]\n",
     "  Reads the target device on port P into slot N of the programmer.\n",
     ReadTargetOptions, {"address", "device-type", "image"}},
    {"delete", DeleteEntry(), "delete the image in a slot",
     "delete --address A --image N\n",
     "  Deletes the image in slot N (its directory entry).\n",
     DeleteOptions, {"address", "image"}},
    {"reset-security", ResetSecurityEntry(), "reset a damaged security block",
     "reset-security --address A [--yes]\n",
     "  Resets a damaged security block (one whose check bytes do not match it) to no\n"
     "  count limits and no read protection, after asking on the terminal; --yes\n"
     "  answers for scripts. Without a terminal and without --yes nothing is reset.\n"
     "  While the block is damaged every image counts as read protected, and loads,\n"
     "  target reads and program runs are refused. An intact block is not reset.\n",
     ResetSecurityOptions, {"address"}},
    {"upgrade", UpgradeEntry(), "write the programmer's firmware, configuration tables or vectors",
     "upgrade --address A firmware|hwc|vectors|extended-vectors [--type NAME]\n",
     "  Writes the programmer's firmware, its hardware configuration tables or one of\n"
     "  its vector tables from the files the revisions files name for its type (or\n"
     "  for the type NAME), verifying every byte. firmware then has the programmer\n"
     "  install it, waits until it answers again and prints its new revision. A file\n"
     "  that is missing, cut short or of another kind is refused before anything is\n"
     "  written. Exits 3 when the programmer then runs another revision than the\n"
     "  file brings (\"... now runs 2.004, expected 2.005\"). Every upgrade ends by\n"
     "  finding the programmer at A again and selecting it.\n",
     UpgradeOptions, {"address"}},
    {"fwrev", FirmwareRevisionEntry(), "print a programmer's firmware revision",
     "fwrev --address A [--baud 38400|115200]\n",
     "  Prints the firmware revision of the programmer at address A; says on stderr\n"
     "  when its last firmware upgrade was cut short (\"firmware incomplete, upgrade\n"
     "  again\").\n",
     FwrevOptions, {"address"}},
    {"read-flash", ReadFlashEntry(), "read programmer flash",
     "read-flash --address A ADDR COUNT [--out FILE] [--baud 38400|115200]\n",
     "  Reads COUNT bytes of programmer flash from ADDR: as hex to standard output,\n"
     "  or as binary to FILE.\n",
     ReadFlashOptions, {"address"}},
    {"write-flash", WriteFlashEntry(), "write programmer flash",
     "write-flash --address A ADDR FILE [--baud 38400|115200]\n",
     "  Writes the bytes of a binary FILE to programmer flash from ADDR.\n",
     WriteFlashOptions, {"address"}},
    {"crc", CrcEntry(), "print the CRC of programmer flash",
     "crc --address A ADDR LEN [--baud 38400|115200]\n",
     "  Prints the programmer's CRC of LEN flash bytes from ADDR as four hex digits,\n"
     "  in reply order.\n",
     CrcOptions, {"address"}},
    {"set-address", SetAddressEntry(), "move a programmer to another address",
     "set-address --address A --to N\n",
     "  Moves the programmer at address A to address N (1..16), unless another\n"
     "  programmer answers at N; then finds it there and prints its line as scan does.\n",
     SetAddressOptions, {"address", "to"}},
    {"defaults", DefaultsEntry(), "print or set a programmer's power-on defaults",
     "defaults --address A [--set --image N [--ports 1,3] [--crc-verify] [--sequential]]\n",
     "  Prints the programmer's power-on defaults, one tab-separated line each:\n"
     "  image, ports enabled, crc-verify, sequential. With --set they are written\n"
     "  first (ports not given are disabled; --ports defaults to all four).\n",
     DefaultsOptions, {"address"}},
    {"devices", DevicesEntry(), "list the device types of the device database",
     "devices [--type N] [--family F] [--firmware REV] [--json]\n",
     "  Lists the device types of the delivered device database without a programmer,\n"
     "  one line each, tab-separated: programmer type code, family, device type, flash,\n"
     "  second memory and auxiliary memory sizes in bytes, blank value (hex), device\n"
     "  code, lowest and highest voltage. --type keeps one programmer type, --family\n"
     "  one family (any case). The database is the one a programmer with firmware REV\n"
     "  uses (1.x: device_V1.inf, 2.x: device_V2.inf); without --firmware, that of\n"
     "  the current firmware (device.inf).\n",
     DevicesOptions, {}},
    {"convert", ConvertEntry(), "convert build files offline and print their checksums",
     "convert --device-type NAME --file X.hex [--file Y.hex ...] [--out IMAGE.bin] [--type N]\n"
     "        [--firmware REV] [--json]\n",
     "  Converts the build files (Intel HEX, S-record, ELF, or binary as FILE.bin@ADDR)\n"
     "  for the device type offline, as load does before it\n"
     "  sends anything, and prints the file checksum and the entire image checksum\n"
     "  that load and the Load Image dialog show for them. The device type is looked\n"
     "  up in every programmer type of the database (see devices), or in type N only.\n"
     "  --out writes the main image as it would be downloaded (the device's whole\n"
     "  flash, blank where no file sets a byte); the file is written whole or not at all.\n",
     ConvertCliOptions, {"device-type"}},
    {"log", LogEntry(), "print the run log",
     "log [--since YYYY-MM-DD] [--json]\n",
LogDetails,
     LogOptions, {}},
    {"ate-option", AteOptionEntry(), "print or set an ATE option's defaults",
     "ate-option --address A OPTION [--set --image N [--ports 1,3] [--crc-verify] [--sequential]]\n",
     "  The same for ATE option OPTION (0..3), the option sets test equipment selects.\n",
     AteOptionOptions, {"address"}},  };
  return table;
}

const CliCommand* FindCliCommand(const std::string& name) {
  for (const CliCommand& command : CliCommandTable()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

int RunCliCommand(const CliCommonValues& values) {
  const CliCommand* command = FindCliCommand(values.command);
  if (!command) return UsageError("", "unknown command " + values.command);
  ClearError();
  const LineOperation operation(LineUser::CommandLine);
  return command->body.run(values);
}
