// The programmer's own settings and files: defaults, ate-option, upgrade.
#include "cli/CliCommandTable.h"

#include <cstdio>
#include <string>

#include "cli/CliSupport.h"
#include "operations/Configure.h"
#include "operations/FirmwareUpgrade.h"
#include "operations/ImageDirectory.h"
#include "programmers/RevisionTables.h"
#include "programmers/UnitState.h"

namespace {

// defaults and ate-option: --image, --ports, --crc-verify and --sequential
// are the record written with --set.
struct DefaultsValues : CliCommonValues {
  int address = 0;
  bool set = false;                     // write before reading back
  int image = 0;
  std::string ports = "1,2,3,4";
  bool portsGiven = false;              // --ports was on the command line
  bool crcVerify = false;
  bool sequential = false;
};

struct UpgradeValues : CliCommonValues {
  int address = 0;
  std::string programmerType;           // the type whose files are written
};

}  // namespace

const CliOptionList& DefaultsOptions() {
  static const CliOptionList list = {
      SharedCliOption("address", &DefaultsValues::address),
      SharedCliOption("set", &DefaultsValues::set),
      SharedCliOption("image", &DefaultsValues::image, "with --set: the image slot 1..4"),
      NotingGiven(SharedCliOption("ports", &DefaultsValues::ports, "with --set: the ports enabled (default: all four)"),
                  &DefaultsValues::portsGiven),
      SharedCliOption("crc-verify", &DefaultsValues::crcVerify, "with --set: verify by CRC"),
      SharedCliOption("sequential", &DefaultsValues::sequential, "with --set: program the ports one after another"),
  };
  return list;
}

const CliOptionList& AteOptionOptions() { return DefaultsOptions(); }

const CliOptionList& UpgradeOptions() {
  static const CliOptionList list = {
      SharedCliOption("address", &UpgradeValues::address),
      {"type", "NAME", "write the files of programmer type NAME", ValueOf(&UpgradeValues::programmerType)},
  };
  return list;
}

namespace {

void PrintDefaults(const ProgrammerDefaults& d) {
  std::string ports;
  for (int port = 0; port < 4; ++port) {
    if (d.ports[port]) ports += (ports.empty() ? "" : ",") + std::to_string(port + 1);
  }
  std::printf("image\t%d\nports\t%s\ncrc-verify\t%s\nsequential\t%s\n", d.imageNumber,
              ports.empty() ? "none" : ports.c_str(), d.crcVerify ? "on" : "off", d.sequential ? "on" : "off");
}

// Writes the record when --set is given, then prints what the programmer holds.
int DefaultsRecordCommand(const DefaultsValues& options, int option) {
  ProgrammerDefaults d;
  if (options.set) {
    if (options.image == 0) return UsageError(options.command, "--set needs --image N (1..4)");
    if (!ParsePorts(options.ports, d.ports)) {
      return UsageError(options.command, "--ports takes port numbers 1..4, e.g. 1,3");
    }
    d.imageNumber = options.image;
    d.crcVerify = options.crcVerify;
    d.sequential = options.sequential;
  } else if (options.image != 0 || options.portsGiven || options.crcVerify || options.sequential) {
    return UsageError(options.command, "--image, --ports, --crc-verify and --sequential go with --set");
  }
  if (!SelectProgrammerAt(options.address)) return ExitFailed;
  if (options.set && options.image > SlotCount()) {
    std::fprintf(stderr, "kestrin-cli: the programmer at address %d has no image slot %d\n", options.address,
                 options.image);
    return ExitFailed;
  }
  if (options.set && !SaveProgrammerDefaults(option, d)) {
    ReportLastError();
    return ExitFailed;
  }
  if (!ReadProgrammerDefaults(option, d)) {
    ReportLastError();
    return ExitFailed;
  }
  PrintDefaults(d);
  return ExitOk;
}

}  // namespace

int DefaultsCommand(const DefaultsValues& options) {
  if (!options.arguments.empty()) return UsageError(options.command, "defaults takes no arguments");
  return DefaultsRecordCommand(options, -1);
}

int AteOptionCommand(const DefaultsValues& options) {
  long long option = -1;
  if (options.arguments.size() != 1 || !ParseNumber(options.arguments[0], option) || option >= AteOptionCount) {
    return UsageError(options.command, "ate-option needs the option number 0..3");
  }
  return DefaultsRecordCommand(options, static_cast<int>(option));
}

namespace {

// The file set of another programmer type, as the factory window chooses
// it: the record of that name in the table of the programmer's generation,
// else in the newest table that has one.
bool ChooseTypeFiles(const std::string& typeName) {
  const ProgTypeInfo* found = nullptr;
  auto search = [&](const auto& table) {
    for (const ProgTypeInfo& t : table) {
      if (!found && !t.TypeName.empty() && t.TypeName == typeName) found = &t;
    }
  };
  if (FwGen3) search(TypeTableV3);
  else if (FwGen2) search(TypeTableV2);
  else search(TypeTableV1);
  search(TypeTableV3);
  search(TypeTableV2);
  search(TypeTableV1);
  if (!found) return false;
  FirmwareFileName = found->FirmwareFile;
  HwcFileNames = found->HwcFiles;
  VectorFileName = found->VectorFile;
  VectorFileName2 = found->VectorFile2;
  return true;
}

}  // namespace

int UpgradeCommand(const UpgradeValues& options) {
  const std::string what = options.arguments.size() == 1 ? options.arguments[0] : "";
  if (what != "firmware" && what != "hwc" && what != "vectors" && what != "extended-vectors") {
    return UsageError(options.command, "upgrade needs one of firmware, hwc, vectors, extended-vectors");
  }
  if (!SelectProgrammerAt(options.address)) return ExitFailed;
  if (!options.programmerType.empty() && !ChooseTypeFiles(options.programmerType)) {
    std::fprintf(stderr, "kestrin-cli: the revisions files list no programmer type \"%s\"\n",
                 options.programmerType.c_str());
    return ExitFailed;
  }
  const std::string& vectors = what == "vectors" ? VectorFileName : VectorFileName2;
  if ((what == "vectors" || what == "extended-vectors") && vectors.empty()) {
    std::fprintf(stderr, "kestrin-cli: this programmer type has no %s file; nothing written\n",
                 what == "vectors" ? "vector" : "extended vector");
    return ExitOk;
  }
  const UpgradeJob job = what == "firmware"  ? UpgradeJob::Firmware
                        : what == "hwc"     ? UpgradeJob::HardwareConfiguration
                        : what == "vectors" ? UpgradeJob::Vectors
                                            : UpgradeJob::ExtendedVectors;
  // The revision printed is the one the programmer is found with again afterwards.
  const bool ok = UpgradeAndRescan(job, RescanScope::Address);
  if (!ok) {
    ReportLastError();
    return ExitFailed;
  }
  if (what == "firmware") std::printf("%s\n", ProgrammerTable[SelectedProgrammer].FwRevision.c_str());
  return ExitOk;
}

CliBody DefaultsEntry() { return BodyOf<DefaultsValues, DefaultsCommand>(); }
CliBody AteOptionEntry() { return BodyOf<DefaultsValues, AteOptionCommand>(); }
CliBody UpgradeEntry() { return BodyOf<UpgradeValues, UpgradeCommand>(); }
