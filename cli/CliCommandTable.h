// The table of kestrin-cli's commands: name, body with its values, one-line
// summary, help text and the options each takes. The parser, the help and
// the lists for shell completion and manual pages all read it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/CliOptionTable.h"

// A command's body and the values it takes: the parser fills a fresh set of
// the command's values, the body gets them back as their own type.
struct CliBody {
  std::unique_ptr<CliCommonValues> (*values)();
  int (*run)(const CliCommonValues&);
};

template <class S, int (*Run)(const S&)>
CliBody BodyOf() {
  static_assert(std::is_base_of<CliCommonValues, S>::value, "command values derive from CliCommonValues");
  return {[]() -> std::unique_ptr<CliCommonValues> { return std::make_unique<S>(); },
          [](const CliCommonValues& values) { return Run(static_cast<const S&>(values)); }};
}

struct CliCommand {
  const char* name;
  CliBody body;
  const char* summary;    // one line
  const char* synopsis;   // the command line's forms, "scan [--port N | --device PATH] [--json]"
  const char* details;    // the help's paragraphs
  const CliOptionList& (*options)();       // the command's own options; the global ones come with every command
  std::vector<const char*> required;       // options without which the command does not run, in the order checked
};

const std::vector<CliCommand>& CliCommandTable();
const CliCommand* FindCliCommand(const std::string& name);

// The option lists of the commands, each beside its command's body.
const CliOptionList& ScanOptions();
const CliOptionList& FwrevOptions();
const CliOptionList& ReadFlashOptions();
const CliOptionList& WriteFlashOptions();
const CliOptionList& CrcOptions();
const CliOptionList& ImagesOptions();
const CliOptionList& DeleteOptions();
const CliOptionList& ResetSecurityOptions();
const CliOptionList& ProgramOptions();
const CliOptionList& ArrayOptions();
const CliOptionList& LoadOptions();
const CliOptionList& SaveOptions();
const CliOptionList& ReadTargetOptions();
const CliOptionList& DefaultsOptions();
const CliOptionList& AteOptionOptions();
const CliOptionList& SetAddressOptions();
const CliOptionList& UpgradeOptions();
const CliOptionList& SerialOptions();
const CliOptionList& FusesOptions();
const CliOptionList& DevicesOptions();
const CliOptionList& LogOptions();

// The commands' bodies with their values, each beside its command's options.
CliBody ScanEntry();
CliBody FirmwareRevisionEntry();
CliBody ReadFlashEntry();
CliBody WriteFlashEntry();
CliBody CrcEntry();
CliBody ImagesEntry();
CliBody DeleteEntry();
CliBody ResetSecurityEntry();
CliBody ProgramEntry();
CliBody ArrayEntry();
CliBody LoadEntry();
CliBody ConvertEntry();
CliBody SaveEntry();
CliBody ReadTargetEntry();
CliBody DefaultsEntry();
CliBody AteOptionEntry();
CliBody SetAddressEntry();
CliBody UpgradeEntry();
CliBody SerialEntryEntry();
CliBody FusesEntry();
CliBody DevicesEntry();
CliBody LogEntry();
