#include "options/AvrOptions.h"

#include <algorithm>
#include <cctype>

#include "devices/DeviceState.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "options/FuseDefinitions.h"
#include "options/FuseState.h"
#include "programmers/ProgrammerTypes.h"
#include "state/ProgramFiles.h"

const char* const InvalidFuseValueText = "Invalid Fuse Value";
const char* const OsccalRangeText = "Address Out of Range for Device";
const char* const DefaultFusesText = "Default Fuse Values Selected. Click Options to change";

namespace {

const FuseByteDef* ByteDef(int byte) {
  if (byte < 0 || byte > NumFuseBytes || byte >= static_cast<int>(FuseDefs.size())) return nullptr;
  return &FuseDefs[static_cast<size_t>(byte)];
}

int FieldCount(const FuseByteDef& def) { return std::clamp<int>(def.NumFields, 0, MaxFuseFields); }
int OptionCount(const FuseFieldDef& field) { return std::clamp<int>(field.NumOptions, 0, MaxFuseOptions); }

int32_t SelectedMemorySize(bool flash) {
  if (CurDevice < 0) return 0;
  const DeviceRecord& device = DeviceTable[static_cast<size_t>(CurDevice)];
  return flash ? device.DevFlashSize : device.DevEESize;
}

}  // namespace

bool LoadDeviceFuses() {
  const bool loaded = LoadFuseDefinitions(ProgramFile(SelectedTypeTraits().fuseFile));
  SetDefaultFuses();
  return loaded;
}

std::string FuseValueRefusal(int byte, int64_t value, const std::string& given) {
  if (FuseValueFits(byte, value)) return "";
  const FuseByteDef* def = ByteDef(byte);
  return std::string(InvalidFuseValueText) + ": " + given + " for fuse byte " + std::to_string(byte) +
         (def ? " (" + def->Name + ")" : "");
}

std::string FuseHex(int value) {
  static const char digits[] = "0123456789ABCDEF";
  return {digits[(value >> 4) & 0xF], digits[value & 0xF]};
}

int64_t ReadHexText(const std::string& text) {
  size_t i = text.find_first_not_of(' ');
  int64_t value = 0;
  for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    value = std::min<int64_t>(value * 16 + (c <= '9' ? c - '0' : c - 'A' + 10), int64_t{1} << 40);
  }
  return value;
}

bool FuseValueFits(int byte, int64_t value) {
  const FuseByteDef* def = ByteDef(byte);
  if (!def || value < 0 || value > 0xFF) return false;
  for (int f = 0; f < FieldCount(*def); ++f) {
    const FuseFieldDef& field = def->Fields[static_cast<size_t>(f)];
    const auto options = field.OptionValue.begin();
    if (std::find(options, options + OptionCount(field), value & field.Mask) == options + OptionCount(field)) {
      return false;
    }
  }
  return true;
}

int FieldAtBit(int byte, int bit) {
  const FuseByteDef* def = ByteDef(byte);
  if (!def || bit < 0 || bit > 7) return -1;
  for (int f = 0; f < FieldCount(*def); ++f) {
    if (def->Fields[static_cast<size_t>(f)].Mask & (1 << bit)) return f;
  }
  return -1;
}

int CurrentFuseOption(int byte, int field) {
  const FuseByteDef* def = ByteDef(byte);
  if (!def || field < 0 || field >= FieldCount(*def)) return 0;
  const FuseFieldDef& f = def->Fields[static_cast<size_t>(field)];
  const uint8_t current = FuseValues[static_cast<size_t>(byte)] & f.Mask;
  for (int o = 0; o < OptionCount(f); ++o) {
    if (f.OptionValue[static_cast<size_t>(o)] == current) return o;
  }
  return 0;
}

void ApplyFuseOption(int byte, int field, int option) {
  const FuseByteDef* def = ByteDef(byte);
  if (!def || field < 0 || field >= FieldCount(*def)) return;
  const FuseFieldDef& f = def->Fields[static_cast<size_t>(field)];
  if (option < 0 || option >= OptionCount(f)) return;
  uint8_t& value = FuseValues[static_cast<size_t>(byte)];
  // Added, not OR-ed: an option value outside the mask shows as the file wrote it.
  value = static_cast<uint8_t>((value & ~f.Mask) + f.OptionValue[static_cast<size_t>(option)]);
}

std::vector<OsccalChoice> OsccalChoices() {
  std::vector<OsccalChoice> choices{{"None", 0}};
  if (OsccalMask == 16) {
    choices.push_back({"Internal Osc.", 8});
    return choices;
  }
  const OsccalChoice named[] = {{"Int. Osc. - 8MHz", 8}, {"Int. Osc. - 4MHz", 4}, {"Int. Osc. - 2MHz", 2},
                                {"Int. Osc. - 1MHz", 1}};
  for (const OsccalChoice& c : named) {
    if (OsccalMask & c.bit) choices.push_back(c);
  }
  return choices;
}

void SetOsccalValue(uint8_t bit) { OsccalOpt = static_cast<uint8_t>((OsccalOpt & 0x30) | (bit & 0x0F)); }

bool SetOsccalMemory(bool eeprom) {
  OsccalOpt = static_cast<uint8_t>((OsccalOpt & 0x0F) | (eeprom ? 0x10 : 0x20));
  return SetOsccalAddress(OsccalAddress, !eeprom);
}

bool SetOsccalAddress(int64_t address, bool inFlash) {
  if (address < 0 || address > int64_t{SelectedMemorySize(inFlash)} - 1) {
    OsccalAddress = 0;
    return false;
  }
  OsccalAddress = static_cast<int32_t>(address);
  return true;
}

std::string EepromImageName(const std::string& fileName) {
  return fileName.substr(0, std::min<size_t>(fileName.find('.'), 20));
}

std::string HexText(int64_t value) {
  static const char digits[] = "0123456789ABCDEF";
  uint64_t rest = static_cast<uint64_t>(value);
  std::string text;
  do {
    text.insert(text.begin(), digits[rest & 0xF]);
    rest >>= 4;
  } while (rest != 0);
  return text;
}

std::vector<FuseFieldRun> FuseFieldRuns(int byte) {
  std::vector<FuseFieldRun> runs;
  for (int column = 0; column < 8; ++column) {
    const int field = FieldAtBit(byte, 7 - column);
    if (field < 0) continue;
    if (!runs.empty() && runs.back().field == field && runs.back().firstColumn + runs.back().columns == column) {
      ++runs.back().columns;
    } else {
      runs.push_back({field, column, 1});
    }
  }
  return runs;
}

bool HasProgrammingOptions(int progType) { return TypeTraits(progType).hasFuses; }

bool HasOptionsWindow(int progType) { return TypeTraits(progType).optionsWindow != OptionsWindow::None; }

ProgrammingOptionsSetup ProgrammingOptionsFor(int progType, int32_t secondarySize, bool jtagChosen,
                                              bool setBefore) {
  ProgrammingOptionsSetup setup;
  setup.secondaryCaption = TypeTraits(progType).secondaryName;
  setup.showSecondary = progType == 6 && secondarySize >= 1;
  setup.showAvr32Security = progType == 7;
  setup.showJtagId = progType == 6 && jtagChosen;
  setup.setBefore = setBefore;
  return setup;
}

std::string ProgrammingOptionsCaption(int progType, const std::string& deviceName) {
  switch (progType) {
    case 6: return "AVR Programming Options - " + deviceName;
    case 7: return "AVR32 Programming Options - " + deviceName;
    case 9: return "ARM Programming Options - " + deviceName;
    default: return "";
  }
}
