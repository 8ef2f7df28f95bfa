#include "sim/OptionParse.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

namespace vrxsim {
namespace {

constexpr long kMaxMemory = 16L * 1024 * 1024;

using KeyValues = std::vector<std::pair<std::string, std::string>>;

bool SplitPairs(const std::string& text, KeyValues& out, std::string& error) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string item = text.substr(start, comma - start);
    if (!item.empty()) {
      size_t eq = item.find('=');
      if (eq == std::string::npos || eq == 0) {
        error = "expected key=value, got '" + item + "'";
        return false;
      }
      out.emplace_back(item.substr(0, eq), item.substr(eq + 1));
    }
    start = comma + 1;
  }
  if (out.empty()) {
    error = "empty setting";
    return false;
  }
  return true;
}

// Decimal, or hexadecimal with 0x; the whole text must be the number.
bool ParseNumber(const std::string& text, long lo, long hi, long& out) {
  if (text.empty()) return false;
  const char* s = text.c_str();
  bool hex = text.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(hex ? s + 2 : s, &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || end == (hex ? s + 2 : s)) return false;
  if (v < lo || v > hi) return false;
  out = v;
  return true;
}

bool NumberSetting(const std::string& key, const std::string& value, long lo, long hi, long& out,
                   std::string& error) {
  if (ParseNumber(value, lo, hi, out)) return true;
  error = key + "=" + value + ": expected a number from " + std::to_string(lo) + " to " + std::to_string(hi);
  return false;
}

// "3.010" is major 3, minor 10; "3.1" reads as 3.100, like the revision's value.
bool ParseRevision(const std::string& text, int& major, int& minor) {
  size_t dot = text.find('.');
  std::string majorText = text.substr(0, dot);
  std::string minorText = dot == std::string::npos ? "0" : text.substr(dot + 1);
  if (minorText.empty() || minorText.size() > 3) return false;
  for (char c : minorText)
    if (c < '0' || c > '9') return false;
  long ma = 0;
  if (!ParseNumber(majorText, 0, 255, ma)) return false;
  while (minorText.size() < 3) minorText += '0';
  // The unit reports its revision as two bytes: the minor number is 0..255.
  if (std::atoi(minorText.c_str()) > 255) return false;
  major = int(ma);
  minor = std::atoi(minorText.c_str());
  return true;
}

bool ParseCodes(const std::string& key, const std::string& text, std::vector<uint8_t>& out, std::string& error) {
  out.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t colon = text.find(':', start);
    if (colon == std::string::npos) colon = text.size();
    long code = 0;
    if (!ParseNumber(text.substr(start, colon - start), 0, 255, code)) {
      error = key + "=" + text + ": expected status codes 0..255 separated by ':'";
      return false;
    }
    out.push_back(uint8_t(code));
    start = colon + 1;
  }
  return true;
}

bool ParseFlag(const std::string& key, const std::string& value, bool& out, std::string& error) {
  long v = 0;
  if (!NumberSetting(key, value, 0, 1, v, error)) return false;
  out = v != 0;
  return true;
}

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i);
  return v;
}

}  // namespace

bool ParseUnitSpec(const std::string& text, UnitConfig& out, std::string& error) {
  KeyValues pairs;
  if (!SplitPairs(text, pairs, error)) return false;
  UnitConfig c;
  for (const auto& [key, value] : pairs) {
    long v = 0;
    if (key == "address") {
      if (!NumberSetting(key, value, 1, 16, v, error)) return false;
      c.address = int(v);
    } else if (key == "type") {
      if (!NumberSetting(key, value, 0, 254, v, error)) return false;
      c.type = int(v);
    } else if (key == "fw") {
      if (!ParseRevision(value, c.fwMajor, c.fwMinor)) {
        error = "fw=" + value + ": expected a revision such as 3.010 (minor 0..255)";
        return false;
      }
    } else if (key == "slots") {
      if (!NumberSetting(key, value, 1, 254, v, error)) return false;
      c.slots = int(v);
    } else if (key == "slotsize") {
      // KiB as configuration byte 28 holds it: 256 and 512 have codes of their own.
      if (!ParseNumber(value, 2, 512, v) || (v > 254 && v != 256 && v != 512)) {
        error = "slotsize=" + value + ": expected a slot size in KiB: 2..254, 256 or 512";
        return false;
      }
      c.slotSizeCode = v == 256 ? 0 : v == 512 ? 1 : int(v);
    } else if (key == "baud") {
      if (value == "38400") c.baud = Baud::B38400;
      else if (value == "115200") c.baud = Baud::B115200;
      else if (value == "both") c.baud = Baud::Both;
      else {
        error = "baud=" + value + ": expected 38400, 115200 or both";
        return false;
      }
    } else if (key == "serial") {
      if (!ParseFlag(key, value, c.serialization, error)) return false;
    } else if (key == "noconfig") {
      if (!ParseFlag(key, value, c.failConfigRead, error)) return false;
    } else if (key == "ate") {
      if (!ParseFlag(key, value, c.ateOptions, error)) return false;
    } else if (key == "reload") {
      if (value == "never") {
        c.reloadSilenceMs = -1;
      } else {
        if (!NumberSetting(key, value, 0, 600000, v, error)) return false;
        c.reloadSilenceMs = int(v);
      }
    } else if (key == "reloadfw") {
      if (!ParseRevision(value, c.reloadFwMajor, c.reloadFwMinor)) {
        error = "reloadfw=" + value + ": expected a revision such as 3.011";
        return false;
      }
    } else {
      error = "unknown programmer setting '" + key + "'";
      return false;
    }
  }
  out = c;
  return true;
}

bool ParseTargetSpec(const std::string& text, UnitConfig* units, size_t unitCount, std::string& error) {
  KeyValues pairs;
  if (!SplitPairs(text, pairs, error)) return false;
  std::optional<long> address, port;
  // Settings are checked first and applied only when the whole text is good.
  std::vector<std::function<void(TargetConfig&)>> changes;
  for (const auto& [key, value] : pairs) {
    long v = 0;
    if (key == "address") {
      if (!NumberSetting(key, value, 1, 16, v, error)) return false;
      address = v;
    } else if (key == "port") {
      if (!NumberSetting(key, value, 1, 4, v, error)) return false;
      port = v;
    } else if (key == "present") {
      bool present = false;
      if (!ParseFlag(key, value, present, error)) return false;
      changes.push_back([present](TargetConfig& t) { t.present = present; });
    } else if (key == "program" || key == "verify" || key == "read") {
      std::vector<uint8_t> codes;
      if (!ParseCodes(key, value, codes, error)) return false;
      if (key == "program") changes.push_back([codes](TargetConfig& t) { t.programSteps = codes; });
      if (key == "verify") changes.push_back([codes](TargetConfig& t) { t.verifySteps = codes; });
      if (key == "read") changes.push_back([codes](TargetConfig& t) { t.readSteps = codes; });
    } else if (key == "result") {
      if (!NumberSetting(key, value, 0, 255, v, error)) return false;
      changes.push_back([v](TargetConfig& t) { t.result = uint8_t(v); });
    } else if (key == "step") {
      if (!NumberSetting(key, value, 0, 600000, v, error)) return false;
      changes.push_back([v](TargetConfig& t) { t.stepMs = int(v); });
    } else if (key == "memory") {
      std::ifstream in(value, std::ios::binary);
      if (!in) {
        error = "memory=" + value + ": cannot read the file";
        return false;
      }
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      changes.push_back([bytes](TargetConfig& t) { t.memory = bytes; });
    } else if (key == "memsize") {
      if (!NumberSetting(key, value, 1, kMaxMemory, v, error)) return false;
      changes.push_back([v](TargetConfig& t) { t.memory = Pattern(size_t(v)); });
    } else {
      error = "unknown target setting '" + key + "'";
      return false;
    }
  }
  if (!port) {
    error = "target '" + text + "': port=1..4 is required";
    return false;
  }
  if (!address && unitCount != 1) {
    error = "target '" + text + "': address= is required when the line has more than one programmer";
    return false;
  }
  bool found = false;
  for (size_t i = 0; i < unitCount; ++i) {
    if (address && units[i].address != *address) continue;
    found = true;
    for (const auto& change : changes) change(units[i].targets[*port - 1]);
  }
  if (!found) {
    error = "target '" + text + "': no programmer at that address";
    return false;
  }
  return true;
}

bool ParseImageSpec(const std::string& text, UnitConfig* units, size_t unitCount, std::string& error) {
  KeyValues pairs;
  if (!SplitPairs(text, pairs, error)) return false;
  std::optional<long> address;
  StoredImage image;
  bool haveSlot = false;
  for (const auto& [key, value] : pairs) {
    long v = 0;
    if (key == "address") {
      if (!NumberSetting(key, value, 1, 16, v, error)) return false;
      address = v;
    } else if (key == "slot") {
      if (!NumberSetting(key, value, 1, 4, v, error)) return false;
      image.slot = int(v);
      haveSlot = true;
    } else if (key == "name") {
      image.name = value;
    } else if (key == "eename") {
      image.secondName = value;
    } else if (key == "device") {
      if (!NumberSetting(key, value, 0, 1023, v, error)) return false;
      image.device = int(v);
    } else if (key == "family") {
      if (!NumberSetting(key, value, 0, 63, v, error)) return false;
      image.family = int(v);
    } else if (key == "size") {
      if (!NumberSetting(key, value, 1, kMaxMemory, v, error)) return false;
      image.size = int32_t(v);
    } else if (key == "voltage") {
      char* end = nullptr;
      const double volts = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || volts < 0 || volts > 5.1) {
        error = "voltage=" + value + ": expected volts from 0 to 5.1";
        return false;
      }
      image.voltage = int(volts / 0.02 + 0.5);
    } else if (key == "mode") {
      if (!NumberSetting(key, value, 0, 255, v, error)) return false;
      image.mode = int(v);
    } else if (key == "freq") {
      if (!NumberSetting(key, value, 0, 32767, v, error)) return false;
      image.freq = int(v);
    } else if (key == "count") {
      if (!NumberSetting(key, value, -1, 2147483647L, v, error)) return false;
      image.count = int32_t(v);
    } else if (key == "protect") {
      if (!ParseFlag(key, value, image.protect, error)) return false;
    } else {
      error = "unknown image setting '" + key + "'";
      return false;
    }
  }
  if (!haveSlot) {
    error = "image '" + text + "': slot=1..4 is required";
    return false;
  }
  if (!address && unitCount != 1) {
    error = "image '" + text + "': address= is required when the line has more than one programmer";
    return false;
  }
  bool found = false;
  for (size_t i = 0; i < unitCount; ++i) {
    if (address && units[i].address != *address) continue;
    found = true;
    units[i].images.push_back(image);
  }
  if (!found) {
    error = "image '" + text + "': no programmer at that address";
    return false;
  }
  return true;
}

bool ParseFaultSpec(const std::string& text, FaultConfig& out, std::string& error) {
  KeyValues pairs;
  if (!SplitPairs(text, pairs, error)) return false;
  static const std::pair<const char*, FaultKind> kKinds[] = {
      {"drop", FaultKind::Drop},         {"corrupt", FaultKind::Corrupt},
      {"delay", FaultKind::Delay},       {"noise", FaultKind::Noise},
      {"trailing", FaultKind::Trailing}, {"endless", FaultKind::Endless},
      {"wrongaddr", FaultKind::WrongAddress}, {"wrongid", FaultKind::WrongId},
      {"status", FaultKind::Status},     {"flip", FaultKind::Flip},
      {"cut", FaultKind::Cut},
  };
  FaultConfig f{FaultKind::Drop};
  bool haveKind = false;
  for (const auto& [key, value] : pairs) {
    long v = 0;
    if (key == "kind") {
      for (const auto& k : kKinds)
        if (value == k.first) {
          f.kind = k.second;
          haveKind = true;
        }
      if (!haveKind) {
        error = "kind=" + value + ": unknown fault kind";
        return false;
      }
    } else if (key == "every") {
      if (!NumberSetting(key, value, 1, 1000000, v, error)) return false;
      f.every = int(v);
    } else if (key == "after") {
      if (!NumberSetting(key, value, 0, 1000000000, v, error)) return false;
      f.after = int(v);
    } else if (key == "count") {
      if (!NumberSetting(key, value, -1, 1000000000, v, error)) return false;
      f.count = int(v);
    } else if (key == "command") {
      if (!NumberSetting(key, value, 0, 255, v, error)) return false;
      f.command = int(v);
    } else if (key == "ms") {
      if (!NumberSetting(key, value, 0, 600000, v, error)) return false;
      f.ms = int(v);
    } else if (key == "code") {
      if (!NumberSetting(key, value, 0, 255, v, error)) return false;
      f.code = int(v);
    } else if (key == "byte") {
      if (!NumberSetting(key, value, 0, 300, v, error)) return false;
      f.byte = int(v);
    } else if (key == "bit") {
      if (!NumberSetting(key, value, 0, 7, v, error)) return false;
      f.bit = int(v);
    } else {
      error = "unknown fault setting '" + key + "'";
      return false;
    }
  }
  if (!haveKind) {
    error = "fault '" + text + "': kind= is required";
    return false;
  }
  out = f;
  return true;
}

}  // namespace vrxsim
