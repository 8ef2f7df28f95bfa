// The command line's option declarations: plain data, read by the Qt parser
// of kestrin-cli-qt, by the Qt-free front for its offline convert, by the
// help texts and by whatever lists the commands and their options (shell
// completion, manual pages).
#pragma once

#include <string>
#include <vector>

#include "cli/CliCommands.h"

// The value an option fills in CliOptions; exactly one member pointer is set.
struct CliValue {
  enum Kind { Switch, Text, List, Number, Volts };
  Kind kind = Switch;
  bool CliOptions::*flag = nullptr;
  std::string CliOptions::*text = nullptr;
  std::vector<std::string> CliOptions::*list = nullptr;
  int CliOptions::*number = nullptr;
  double CliOptions::*volts = nullptr;
};

inline CliValue SwitchOf(bool CliOptions::*member) { CliValue v; v.kind = CliValue::Switch; v.flag = member; return v; }
inline CliValue TextOf(std::string CliOptions::*member) { CliValue v; v.kind = CliValue::Text; v.text = member; return v; }
inline CliValue ListOf(std::vector<std::string> CliOptions::*member) {
  CliValue v;
  v.kind = CliValue::List;
  v.list = member;
  return v;
}
inline CliValue NumberOf(int CliOptions::*member) { CliValue v; v.kind = CliValue::Number; v.number = member; return v; }
inline CliValue VoltsOf(double CliOptions::*member) { CliValue v; v.kind = CliValue::Volts; v.volts = member; return v; }

struct CliOption {
  const char* name;          // without the leading "--"
  const char* valueName;     // nullptr for a switch
  const char* description;   // lines after the first are indented under it in the help
  CliValue value;
  long long low = 0, high = 0;      // Number: the range taken; Volts: above low, up to high / 1000
  const char* allowed = nullptr;    // Number: the only values taken within the range, "38400|115200"
  bool (*valid)(const std::string&) = nullptr;   // Text: the form taken ...
  const char* invalid = nullptr;                 // ... and what is said otherwise
  bool CliOptions::*given = nullptr;             // set when the option is on the command line
};

using CliOptionList = std::vector<CliOption>;

// The options every command takes: the line, the data folder, what is shown.
const CliOptionList& GlobalCliOptions();
// An option several commands take, declared once: address, image, json,
// baud, out, device-type, name, voltage, mode, freq, ports, verify,
// crc-verify, sequential, set, firmware.
const CliOption& SharedCliOption(const char* name);
// The same with the command's own description.
CliOption SharedCliOption(const char* name, const char* description);
// The options of convert: read by kestrin-cli itself as well.
const CliOptionList& ConvertCliOptions();

// The declaration of --NAME in `list`, or nullptr.
const CliOption* FindCliOption(const CliOptionList& list, const std::string& name);

// Stores the text given for the option in `options` after checking it
// against the declaration; false with the usage error's message.
bool ApplyCliOption(const CliOption& option, const std::string& text, CliOptions& options, std::string& error);
// "--NAME VALUE" as the help and the "needs" messages show it, with the range of a number.
std::string CliOptionForm(const CliOption& option, bool withRange);
// The help's lines for a list of options.
std::string CliOptionHelp(const CliOptionList& list);

// Decimal, "0x" hexadecimal or "&H" hexadecimal; whole text, not negative.
bool ParseCliNumber(const std::string& text, long long& value);
