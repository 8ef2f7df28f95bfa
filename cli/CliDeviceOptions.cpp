#include "cli/CliDeviceOptions.h"

#include <cctype>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliJson.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/ProjectFile.h"
#include "link/ErrorRecord.h"
#include "operations/LoadImage.h"
#include "options/AvrOptions.h"
#include "options/FuseDefinitions.h"
#include "options/FuseState.h"
#include "options/OptionBits.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"
#include "state/ErrorState.h"

namespace {

bool Refuse(const std::string& message) {
  std::fprintf(stderr, "kestrin-cli: %s\n", message.c_str());
  return false;
}

// Hex digits only (an "0x" or "&H" in front is allowed), at most `digits` of them.
bool ParseHex(std::string text, size_t digits, int64_t& value) {
  if (text.size() > 2 && (text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0 ||
                          text.compare(0, 2, "&H") == 0 || text.compare(0, 2, "&h") == 0)) {
    text.erase(0, 2);
  }
  if (text.empty() || text.size() > digits) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  value = ReadHexText(text);
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

std::string HexText(int64_t value) {
  char text[20];
  std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
  return text;
}

// The calibration choices by the names the command line takes.
std::string OsccalName(uint8_t bit) {
  switch (bit) {
    case 0: return "NONE";
    case 8: return OsccalMask == 16 ? "INTERNAL" : "8MHZ";
    case 4: return "4MHZ";
    case 2: return "2MHZ";
    default: return "1MHZ";
  }
}

bool TakeFuses(const std::string& text) {
  const std::vector<std::string> parts = Split(text, ',');
  if (static_cast<int>(parts.size()) != NumFuseBytes + 1) {
    return Refuse("--fuses needs " + std::to_string(NumFuseBytes + 1) + " bytes for " +
                  DeviceTable[CurDevice].DevName + ", given " + std::to_string(parts.size()));
  }
  std::vector<uint8_t> values;
  for (int b = 0; b <= NumFuseBytes; ++b) {
    int64_t value = 0;
    if (!ParseHex(parts[b], 8, value)) return Refuse("--fuses takes hex bytes, e.g. 62,D9,FF; not \"" + parts[b] + "\"");
    const std::string refusal = FuseValueRefusal(b, value, parts[b]);
    if (!refusal.empty()) return Refuse(refusal);
    values.push_back(static_cast<uint8_t>(value));
  }
  std::copy(values.begin(), values.end(), FuseValues.begin());
  return true;
}

bool TakeOsccal(const DeviceOptionValues& options) {
  if (!options.osccal.empty()) {
    const std::vector<OsccalChoice> choices = ProgType == 6 && HasOsccal ? OsccalChoices() : std::vector<OsccalChoice>{};
    const OsccalChoice* chosen = nullptr;
    std::string offered;
    for (const OsccalChoice& c : choices) {
      offered += (offered.empty() ? "" : ", ") + OsccalName(c.bit);
      if (OsccalName(c.bit) == options.osccal) chosen = &c;
    }
    if (!chosen && options.osccal != "NONE") {
      return Refuse(DeviceTable[CurDevice].DevName + " offers no calibration value " + options.osccal +
                    (offered.empty() ? "" : " (it offers " + offered + ")"));
    }
    SetOsccalValue(chosen ? chosen->bit : 0);
  }
  bool eeprom = OsccalOpt & 0x10;
  if (!options.osccalMemory.empty()) {
    if (options.osccalMemory != "flash" && options.osccalMemory != "eeprom") {
      return Refuse("--osccal-memory takes flash or eeprom");
    }
    eeprom = options.osccalMemory == "eeprom";
  }
  if ((OsccalOpt & 0x0F) == 0) return true;
  if (!SetOsccalMemory(eeprom)) return Refuse(std::string(OsccalRangeText) + ": " + HexText(OsccalAddress));
  if (!options.osccalAddress.empty()) {
    int64_t address = 0;
    if (!ParseHex(options.osccalAddress, 8, address)) return Refuse("--osccal-address takes a hex address");
    if (!SetOsccalAddress(address, !eeprom)) return Refuse(std::string(OsccalRangeText) + ": " + options.osccalAddress);
  }
  return true;
}

}  // namespace

bool HasDeviceOptions(const DeviceOptionValues& o) {
  return !o.fuses.empty() || !o.osccal.empty() || !o.osccalMemory.empty() || !o.osccalAddress.empty() ||
         !o.jtagId.empty() || o.avr32Security;
}

bool TakeDeviceOptions(const DeviceOptionValues& options, bool fromProject, int16_t& mode) {
  if (!SelectedTypeTraits().hasFuses) {
    return !HasDeviceOptions(options) || Refuse("fuse and calibration options are for AVR, AVR32 and ARM programmers");
  }
  if (!LoadDeviceFuses()) {
    std::fprintf(stderr, "kestrin-cli: %s\n", LastErrorText.c_str());
    return false;
  }
  if (fromProject && !TakeProjectOptions()) {
    ShowErrorReport();
    return false;
  }
  if (!options.fuses.empty() && !TakeFuses(options.fuses)) return false;
  if ((!options.osccalMemory.empty() || !options.osccalAddress.empty()) && options.osccal.empty() &&
      (OsccalOpt & 0x0F) == 0) {
    return Refuse("--osccal-memory and --osccal-address go with --osccal");
  }
  if (!TakeOsccal(options)) return false;
  if (!options.jtagId.empty()) {
    const std::vector<std::string> parts = Split(options.jtagId, ',');
    int64_t part = 0, version = 0;
    if (parts.size() != 2 || !ParseHex(parts[0], 8, part) || !ParseHex(parts[1], 1, version)) {
      return Refuse("--jtag-id takes PART,VERSION in hex, e.g. 9502,0");
    }
    if (ProgType != 6 || !(mode & 4)) return Refuse("--jtag-id needs an AVR image with the JTAG interface (--mode 4)");
    JtagIdCheck = true;
    JtagPart = static_cast<int32_t>(part);
    JtagVersion = static_cast<int32_t>(version);
  }
  if (options.avr32Security) {
    if (ProgType != 7) return Refuse("--avr32-security is for AVR32 programmers");
    AVR32SecurityF = true;
  }
  // The image's mode word says what the options ask of the programmer.
  if (ProgType == 6 && JtagIdCheck) mode |= 16;
  if (ProgType == 7 && AVR32SecurityF) mode |= 4;
  return true;
}

void PrintFuseFieldsJson(int address, const std::string& deviceType) {
  QJsonObject document;
  document["command"] = "fuses";
  document["address"] = address;
  document["device"] = JsonText(deviceType);
  QJsonArray bytes;
  for (int b = 0; b <= NumFuseBytes; ++b) {
    const FuseByteDef& def = FuseDefs[b];
    QJsonArray fields;
    for (int f = 0; f < def.NumFields; ++f) {
      const FuseFieldDef& field = def.Fields[f];
      const int current = CurrentFuseOption(b, f);
      const bool matches = field.NumOptions > 0 && (FuseValues[b] & field.Mask) == field.OptionValue[current];
      QJsonArray choices;
      for (int o = 0; o < field.NumOptions; ++o) {
        choices.append(QJsonObject{{"text", JsonText(field.OptionText[o])},
                                   {"value", QString::fromStdString(FuseHex(field.OptionValue[o]))},
                                   {"current", matches && o == current}});
      }
      fields.append(QJsonObject{{"field", JsonText(field.Name)}, {"description", JsonText(field.Text)},
                                {"mask", QString::fromStdString(FuseHex(field.Mask))}, {"options", choices}});
    }
    bytes.append(QJsonObject{{"byte", b}, {"name", JsonText(def.Name)},
                             {"value", QString::fromStdString(FuseHex(FuseValues[b]))}, {"fields", fields}});
  }
  document["bytes"] = bytes;
  if (ProgType == 6 && HasOsccal) {
    QJsonArray osccal;
    for (const OsccalChoice& c : OsccalChoices()) osccal.append(JsonText(OsccalName(c.bit)));
    document["osccal"] = osccal;
  }
  PrintJsonDocument(document, ExitOk);
}

void PrintFuseFields() {
  std::printf("# byte\tname\tvalue\tfield\tdescription\tmask\toptions (* current)\n");
  for (int b = 0; b <= NumFuseBytes; ++b) {
    const FuseByteDef& def = FuseDefs[b];
    for (int f = 0; f < def.NumFields; ++f) {
      const FuseFieldDef& field = def.Fields[f];
      std::string line = std::to_string(b) + "\t" + def.Name + "\t" + FuseHex(FuseValues[b]) + "\t" + field.Name +
                         "\t" + field.Text + "\t" + FuseHex(field.Mask);
      const int current = CurrentFuseOption(b, f);
      const bool matches = field.NumOptions > 0 && (FuseValues[b] & field.Mask) == field.OptionValue[current];
      for (int o = 0; o < field.NumOptions; ++o) {
        line += std::string("\t") + (matches && o == current ? "*" : "") + field.OptionText[o] + "=" +
                FuseHex(field.OptionValue[o]);
      }
      std::printf("%s\n", line.c_str());
    }
  }
  if (ProgType == 6 && HasOsccal) {
    std::string line = "osccal";
    for (const OsccalChoice& c : OsccalChoices()) line += "\t" + OsccalName(c.bit);
    std::printf("%s\n", line.c_str());
  }
}

bool TakeOptionBytes(const std::string& text, ImageLoadSettings& settings, int16_t& mode) {
  if (text.empty()) return true;
  const DeviceRecord& device = DeviceTable[CurDevice];
  const OptionBitsKind kind = OptionBitsKindFor(ProgType, FamilyList[CurFamily]);
  if (kind == OptionBitsKind::None) {
    return Refuse("--option-bytes is for Z8 Encore!, ZNEO and ZLF645 devices; " + device.DevName + " has none");
  }
  std::vector<uint8_t> bytes;
  for (const std::string& part : Split(text, ',')) {
    int64_t value = 0;
    if (!ParseHex(part, 2, value)) return Refuse("--option-bytes takes hex bytes, e.g. FA,FF; not \"" + part + "\"");
    bytes.push_back(static_cast<uint8_t>(value));
  }
  std::string why;
  if (!OptionBytesAllowed(kind, Z8Variant(device.DevFlags), bytes, why)) {
    return Refuse("--option-bytes for " + device.DevName + ": " + why);
  }
  if (kind == OptionBitsKind::Zlf && settings.secondFile.empty()) {
    // The family always programs its FIB3 page; without a file it starts erased.
    EEBuffer.assign(257, 0xFF);
    SecondaryEnabled = true;
    mode = static_cast<int16_t>(mode | 4);
  }
  settings.optionKind = kind;
  settings.optionBytes = bytes;
  return true;
}
