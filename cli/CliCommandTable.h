// The table of kestrin-cli's commands: name, entry function, one-line
// summary, help text and the options each takes. The parser, the help and
// the lists for shell completion and manual pages all read it.
#pragma once

#include <string>
#include <vector>

#include "cli/CliOptionTable.h"

struct CliCommand {
  const char* name;
  int (*run)(const CliOptions&);
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

// The entry functions.
int ScanCommand(const CliOptions& options);
int FirmwareRevisionCommand(const CliOptions& options);
int ReadFlashCommand(const CliOptions& options);
int WriteFlashCommand(const CliOptions& options);
int CrcCommand(const CliOptions& options);
int ImagesCommand(const CliOptions& options);
int DeleteCommand(const CliOptions& options);
int ResetSecurityCommand(const CliOptions& options);
int ProgramCommand(const CliOptions& options);
int ArrayCommand(const CliOptions& options);
int LoadCommand(const CliOptions& options);
int ConvertCommand(const CliOptions& options);
int SaveCommand(const CliOptions& options);
int ReadTargetCommand(const CliOptions& options);
int DefaultsCommand(const CliOptions& options);
int AteOptionCommand(const CliOptions& options);
int SetAddressCommand(const CliOptions& options);
int UpgradeCommand(const CliOptions& options);
int SerialEntryCommand(const CliOptions& options);
int FusesCommand(const CliOptions& options);
int DevicesCommand(const CliOptions& options);
int LogCommand(const CliOptions& options);
