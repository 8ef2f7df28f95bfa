// The command line's option declarations: plain data, read by the Qt parser
// of kestrin-cli-qt, by the Qt-free front for its offline convert, by the
// help texts and by whatever lists the commands and their options (shell
// completion, manual pages).
#pragma once

#include <cstdlib>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "cli/CliCommands.h"

// The member an option fills in the values of the command being parsed: a
// member of the command's own values struct (or of a struct it derives from),
// reached from the common values every command's struct derives from.
struct CliValue {
  enum Kind { Switch, Text, List, Number, Volts };
  Kind kind = Switch;
  std::function<void*(CliCommonValues&)> at;
};

namespace cli_detail {
template <class T> struct KindOf;
template <> struct KindOf<bool> { static constexpr CliValue::Kind kind = CliValue::Switch; };
template <> struct KindOf<std::string> { static constexpr CliValue::Kind kind = CliValue::Text; };
template <> struct KindOf<std::vector<std::string>> { static constexpr CliValue::Kind kind = CliValue::List; };
template <> struct KindOf<int> { static constexpr CliValue::Kind kind = CliValue::Number; };
template <> struct KindOf<double> { static constexpr CliValue::Kind kind = CliValue::Volts; };
}  // namespace cli_detail

// Binds a declaration to `member` of the command's values struct S (by
// default the struct declaring the member; name S when the member comes from
// a plain struct S derives from): bool a switch, string a text, vector a
// repeated text, int a number, double volts.
template <class S = void, class T, class M>
CliValue ValueOf(T M::*member) {
  using Values = std::conditional_t<std::is_void<S>::value, M, S>;
  static_assert(std::is_base_of<CliCommonValues, Values>::value, "option values derive from CliCommonValues");
  static_assert(std::is_base_of<M, Values>::value, "the member belongs to the values");
  CliValue value;
  value.kind = cli_detail::KindOf<T>::kind;
  value.at = [member](CliCommonValues& values) -> void* {
    auto* own = dynamic_cast<Values*>(&values);
    if (!own) std::abort();   // a declaration bound to another command's values
    return &(own->*member);
  };
  return value;
}

struct CliOption {
  const char* name;          // without the leading "--"
  const char* valueName;     // nullptr for a switch
  const char* description;   // lines after the first are indented under it in the help
  CliValue value;
  long long low = 0, high = 0;      // Number: the range taken; Volts: above low, up to high / 1000
  const char* allowed = nullptr;    // Number: the only values taken within the range, "38400|115200"
  bool (*valid)(const std::string&) = nullptr;   // Text: the form taken ...
  const char* invalid = nullptr;                 // ... and what is said otherwise
  CliValue given = {};                           // a switch set when the option is on the command line
};

using CliOptionList = std::vector<CliOption>;

// The options every command takes: the line, the data folder, what is shown.
const CliOptionList& GlobalCliOptions();
// The texts of an option several commands take, declared once: address,
// image, json, baud, out, device-type, name, voltage, mode, freq, ports,
// verify, crc-verify, sequential, set, firmware. Without a value bound.
const CliOption& SharedCliOptionText(const char* name);
// The shared option bound to `member` of the command's values, with the
// command's own description when one is given.
template <class S = void, class T, class M>
CliOption SharedCliOption(const char* name, T M::*member, const char* description = nullptr) {
  CliOption option = SharedCliOptionText(name);
  option.value = ValueOf<S>(member);
  if (description) option.description = description;
  return option;
}
// The option with `given` set whenever it is on the command line.
template <class S = void, class M>
CliOption NotingGiven(CliOption option, bool M::*given) {
  option.given = ValueOf<S>(given);
  return option;
}

// The values of convert; kestrin-cli reads them itself as well.
struct ConvertValues : CliCommonValues {
  std::string deviceType;
  std::vector<std::string> files;
  std::string out;
  std::string programmerType;   // type code
  std::string firmware;         // the firmware revision whose database is used
  bool json = false;
};
const CliOptionList& ConvertCliOptions();

// The declaration of --NAME in `list`, or nullptr.
const CliOption* FindCliOption(const CliOptionList& list, const std::string& name);

// Stores the text given for the option in `values` after checking it
// against the declaration; false with the usage error's message.
bool ApplyCliOption(const CliOption& option, const std::string& text, CliCommonValues& values, std::string& error);
// "--NAME VALUE" as the help and the "needs" messages show it, with the range of a number.
std::string CliOptionForm(const CliOption& option, bool withRange);
// The help's lines for a list of options.
std::string CliOptionHelp(const CliOptionList& list);

// Decimal, "0x" hexadecimal or "&H" hexadecimal; whole text, not negative.
bool ParseCliNumber(const std::string& text, long long& value);
