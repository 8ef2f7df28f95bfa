#include "cli/CliOptionTable.h"

#include <cerrno>
#include <cstdlib>

bool ParseCliNumber(const std::string& text, long long& value) {
  std::string digits = text;
  int base = 10;
  if (digits.size() > 2 && (digits.compare(0, 2, "0x") == 0 || digits.compare(0, 2, "0X") == 0 ||
                            digits.compare(0, 2, "&H") == 0 || digits.compare(0, 2, "&h") == 0)) {
    digits = digits.substr(2);
    base = 16;
  }
  if (digits.empty() || digits[0] == '-' || digits[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(digits.c_str(), &end, base);
  return errno == 0 && end && *end == '\0';
}

const CliOptionList& GlobalCliOptions() {
  static const CliOptionList list = {
      {"port", "N", "serial port number 1..16 (default: the saved port)", ValueOf(&CliCommonValues::port), 1, 16},
      {"device", "PATH", "a serial device path instead of a port number", ValueOf(&CliCommonValues::device)},
      {"port-map", "MAP", "port numbers to device paths, e.g. \"1=/dev/ttyUSB0,3=/tmp/vrx-line\"",
       ValueOf(&CliCommonValues::portMap)},
      {"data-dir", "DIR", "folder of the program's data files", ValueOf(&CliCommonValues::dataDir)},
      {"verbose", nullptr, "show status texts and progress on standard error", ValueOf(&CliCommonValues::verbose)},
      {"help", nullptr, "this text", ValueOf(&CliCommonValues::help)},
      {"version", nullptr, "the program's version", ValueOf(&CliCommonValues::version)},
  };
  return list;
}

namespace {

const CliOptionList& SharedOptions() {
  static const CliOptionList list = {
      {"address", "A", "the programmer's bus address 1..16", {}, 1, 16},
      {"image", "N", "the image slot 1..4", {}, 1, 4},
      {"json", nullptr, "one JSON document on standard output instead of lines", {}},
      {"baud", "38400|115200", "the line speed (default: the first at which the programmer answers)",
       {}, 38400, 115200, "38400|115200"},
      {"out", "FILE", "the file written", {}},
      {"device-type", "NAME", "the device type, by name (in any case when no name matches exactly)",
       {}},
      {"name", "S", "the image's name", {}},
      {"voltage", "V", "the target voltage, e.g. 3.3 (default: 3.3, or the part's highest)",
       {}, 0, 5100},
      {"mode", "M", "the programming mode 0..255", {}, 0, 255},
      {"freq", "KHZ", "the programming frequency in kHz 0..32767", {}, 0, 32767},
      {"ports", "1,3", "the ports enabled, 1..4 (default: all four)", {}, 0, 0, nullptr,
       nullptr, nullptr},
      {"verify", nullptr, "verify only, without programming", {}},
      {"crc-verify", nullptr, "verify by CRC", {}},
      {"sequential", nullptr, "program the ports one after another", {}},
      {"set", nullptr, "write the record before reading it back", {}},
      {"firmware", "REV", "the device database of a programmer with firmware REV (1.x, 2.x; default: the current)",
       {}},
  };
  return list;
}

}  // namespace

const CliOption& SharedCliOptionText(const char* name) {
  const CliOption* option = FindCliOption(SharedOptions(), name);
  if (!option) std::abort();   // a declaration names a shared option that does not exist
  return *option;
}

const CliOptionList& ConvertCliOptions() {
  static const CliOptionList list = {
      SharedCliOption("device-type", &ConvertValues::deviceType,
                      "the device type, looked up in every programmer type (or in type N only)"),
      {"file", "FILE", "a build file: Intel HEX, S-record, ELF, or binary as FILE.bin@ADDR; one to four",
       ValueOf(&ConvertValues::files)},
      SharedCliOption("out", &ConvertValues::out,
                      "write the main image as it would be downloaded (whole or not at all)"),
      {"type", "N", "look in programmer type code N only", ValueOf(&ConvertValues::programmerType)},
      SharedCliOption("firmware", &ConvertValues::firmware),
      SharedCliOption("json", &ConvertValues::json),
  };
  return list;
}

const CliOption* FindCliOption(const CliOptionList& list, const std::string& name) {
  for (const CliOption& option : list) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

namespace {

// "38400|115200" → "38400 or 115200".
std::string AllowedText(const std::string& allowed) {
  std::vector<std::string> items;
  size_t start = 0;
  for (size_t bar = allowed.find('|'); bar != std::string::npos; bar = allowed.find('|', start)) {
    items.push_back(allowed.substr(start, bar - start));
    start = bar + 1;
  }
  items.push_back(allowed.substr(start));
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == items.size() ? " or " : ", ") + items[i];
  }
  return text;
}

bool AllowedValue(const std::string& allowed, long long value) {
  const std::string wanted = std::to_string(value);
  size_t start = 0;
  while (start <= allowed.size()) {
    size_t bar = allowed.find('|', start);
    if (bar == std::string::npos) bar = allowed.size();
    if (allowed.compare(start, bar - start, wanted) == 0 && bar - start == wanted.size()) return true;
    start = bar + 1;
  }
  return false;
}

}  // namespace

bool ApplyCliOption(const CliOption& option, const std::string& text, CliCommonValues& values, std::string& error) {
  const std::string flag = std::string("--") + option.name;
  const CliValue& value = option.value;
  switch (value.kind) {
    case CliValue::Switch:
      *static_cast<bool*>(value.at(values)) = true;
      break;
    case CliValue::Text:
      if (option.valid && !option.valid(text)) {
        error = option.invalid;
        return false;
      }
      *static_cast<std::string*>(value.at(values)) = text;
      break;
    case CliValue::List:
      static_cast<std::vector<std::string>*>(value.at(values))->push_back(text);
      break;
    case CliValue::Number: {
      long long parsed = 0;
      if (!ParseCliNumber(text, parsed) || parsed < option.low || parsed > option.high) {
        error = flag + " takes a number from " + std::to_string(option.low) + " to " + std::to_string(option.high);
        return false;
      }
      if (option.allowed && !AllowedValue(option.allowed, parsed)) {
        error = flag + " takes " + AllowedText(option.allowed);
        return false;
      }
      *static_cast<int*>(value.at(values)) = static_cast<int>(parsed);
      break;
    }
    case CliValue::Volts: {
      char* end = nullptr;
      const double volts = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || volts <= option.low / 1000.0 || volts > option.high / 1000.0) {
        error = flag + " takes volts, e.g. 3.3";
        return false;
      }
      *static_cast<double*>(value.at(values)) = volts;
      break;
    }
  }
  if (option.given.at) *static_cast<bool*>(option.given.at(values)) = true;
  return true;
}

std::string CliOptionForm(const CliOption& option, bool withRange) {
  std::string form = std::string("--") + option.name;
  if (option.valueName) form += std::string(" ") + option.valueName;
  if (withRange && option.value.kind == CliValue::Number && !option.allowed) {
    form += " (" + std::to_string(option.low) + ".." + std::to_string(option.high) + ")";
  }
  return form;
}

std::string CliOptionHelp(const CliOptionList& list) {
  const size_t column = 28;
  std::string text;
  for (const CliOption& option : list) {
    std::string line = "  " + CliOptionForm(option, false);
    line += line.size() + 2 > column ? "\n" + std::string(column, ' ') : std::string(column - line.size(), ' ');
    const std::string description = option.description;
    for (char c : description) line += c == '\n' ? "\n" + std::string(column, ' ') : std::string(1, c);
    text += line + "\n";
  }
  return text;
}
