#include "options/OptionBits.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "devices/ImageState.h"

namespace {

const std::vector<const char*> Wdt_Res{"Interrupt (WDT_RES=0)", "Reset (WDT_RES=1)"};
const std::vector<const char*> Wdt_Ao{"Automatic (WDT_AO = 0)", "WDT Instruction (WDT_AO=1)"};
const std::vector<const char*> Osc_Sel{"External RC (OSC_SEL[1:0]=00)", "Low Power (OSC_SEL[1:0]=01)",
                                       "Medium Power (OSC_SEL[1:0]=10)", "High Power (OSC_SEL[1:0]=11)"};
const std::vector<const char*> Vbo_Ao{"Disabled (VBO_AO=0)", "Enabled (VBO_AO=1)"};

OptionBitField List(const char* control, const char* caption, int byte, int shift, int width,
                    std::vector<const char*> entries, int preselected) {
  return {control, caption, byte, shift, width, false, std::move(entries), preselected};
}
OptionBitField Check(const char* control, const char* caption, int byte, int shift) {
  return {control, caption, byte, shift, 1, true, {}, 0};
}

const OptionBitsForm Z8Form{
    "frmZ8EOptions",
    "Z8 Encore! Programming Options",
    2,
    {
        List("cbWDT_RES", "Watch-Dog Timer Function", 0, 7, 1, Wdt_Res, 1),
        List("cbWDT_AO", "Watch-Dog Timer Enable", 0, 6, 1, Wdt_Ao, 1),
        List("cbOSC_SEL", "Oscillator Selection", 0, 4, 2, Osc_Sel, 3),
        List("cbVBO_AO", "Voltage Brown-Out in Stop Mode", 0, 3, 1, Vbo_Ao, 1),
        Check("cbRP", "Read Protect", 0, 2),
        Check("cbFHSWP", "High Sector Write Protect", 0, 1),
        Check("cbFWP", "Flash Write Protect", 0, 0),
        List("cbPRAM", "Program RAM Mode Select", 0, 1, 1, {"Register (PRAM_M=0)", "Program (PRAM_M=1)"}, 0),
        List("cbVBO_RES", "Voltage Brown-Out Function", 1, 7, 1, {"Interrupt (VBO_RES=0)", "Reset (VBO_RES=1)"}, 1),
        List("cbXTLDIS", "XTAL Oscillator Reset State", 1, 4, 1, {"Enabled (XTLDIS=0)", "Disabled (XTLDIS=1)"}, 1),
        List("cbFLTSEL", "Reset/Fault0 Select", 1, 7, 1, {"Fault0 (FLTSEL=0)", "Reset (FLTSEL=1)"}, 1),
        List("cbLPDEN", "Low Power Divide Mode Enable", 1, 6, 1, {"Enabled (LPDEN=0)", "Disabled (LPDEN=1)"}, 1),
        List("cbPWM2EN", "PWM 2 Output Enable", 1, 4, 1, {"Enable (PWM2EN=0)", "Disable (PWM2EN=1)"}, 1),
        List("cbPWM1EN", "PWM 1 Output Enable", 1, 3, 1, {"Enable (PWM1EN=0)", "Disable (PWM1EN=1)"}, 1),
        List("cbPWM0EN", "PWM 0 Output Enable", 1, 2, 1, {"Enable (PWM0EN=0)", "Disable (PWM0EN=1)"}, 1),
        List("cbPWMHI", "PWM High Side Default Off State", 1, 1, 1, {"Low (PWMHI=0)", "High (PWMHI=1)"}, 1),
        List("cbPWMLO", "PWM Low Side Default Off State", 1, 0, 1, {"Low (PWMLO=0)", "High (PWMLO=1)"}, 1),
        List("cbEXTLTMG", "External XTAL Reset Timing", 1, 6, 2,
             {"3000 (EXTLTMG=00)", "5000 (EXTLTMG=01)", "10000 (EXTLTMG=10)", "20000 (EXTLTMG=11)"}, 0),
        List("cbEXTL_AO", "External XTAL Always On", 1, 4, 1, {"Enable (EXTL_AO=0)", "Disable (EXTL_AO=1)"}, 0),
        List("cbX2_mode", "Secondary XTAL Mode", 1, 1, 1, {"RC/Clock (X2_MODE=0)", "32KHz XTAL (X2_MODE=1)"}, 0),
        List("cbX2TL_AO", "Secondary XTAL Always On", 1, 0, 1, {"Enable (X2TL_AO=0)", "Disable (X2TL_AO=1)"}, 0),
    }};

const OptionBitsForm ZneoForm{
    "frmZNEOOptions",
    "ZNEO Programming Options",
    4,
    {
        List("cbOSC_SEL", "Oscillator Selection", 0, 6, 2, Osc_Sel, 3),
        List("cbWDT_RES", "Watch-Dog Timer Function", 0, 5, 1, Wdt_Res, 1),
        List("cbWDT_AO", "Watch-Dog Timer Enable", 0, 4, 1, Wdt_Ao, 1),
        List("cbVBO_AO", "Voltage Brown-Out in Stop Mode", 0, 3, 1, Vbo_Ao, 1),
        List("cbDGBUART", "Debug UART Enable", 0, 2, 1, {"Enabled (DBGUART=0)", "Disabled (DBGUART=1)"}, 1),
        Check("cbFWP", "Flash Write Protect", 0, 1),
        Check("cbRP", "Read Protect", 0, 0),
        List("cbMCEN", "Motor Control Enable", 1, 2, 1, {"Disabled (MCEN=0)", "Enabed (MCEN=1)"}, 1),
        List("cbOFFH", "High Side Off State", 1, 1, 1, {"0 (OFFH=0)", "1 (OFFH=1)"}, 1),
        List("cbOFFL", "Low Side Off State", 1, 0, 1, {"0 (OFFL=0)", "1 (OFFL=1)"}, 1),
        List("cbLPOPT", "Low Power Option", 3, 6, 1, {"Enabled (LPOPT=0)", "Disabled (LPOPT=1)"}, 1),
    }};

const OptionBitsForm ZlfForm{
    "frmZLFOptions",
    "ZLF Programming Options",
    2,
    {
        List("cbWDT_Enable", "Watch-Dog Timer Enable", 0, 7, 1,
             {"WDT Always Enabled(WDT=0)", "WDT Enabled by WDT Instr. Only(WDT=1)"}, 1),
        List("cbPort4Pullups", "Port 4 Pullups", 0, 6, 1, {"Pullups Enabled(P4PU=0)", "Pullups Disabled(P4PU=1)"}, 1),
        List("cbPort3Pullups", "Port 3 Pullups", 0, 5, 1, {"Pullups Enabled(P3PU=0)", "Pullups Disabled(P3PU=1)"}, 1),
        List("cbPort2Pullups", "Port 2 Pullups", 0, 4, 1, {"Pullups Enabled(P2PU=0)", "Pullups Disabled(P2PU=1)"}, 1),
        List("cbPort1HPullups", "Port 1 High Nibble Pullups", 0, 3, 1,
             {"Pullups Enabled(P1HPU=0)", "Pullups Disabled(P1HPU=1)"}, 1),
        List("cbPort1LPullups", "Port 1 Low Nibble Pullups", 0, 2, 1,
             {"Pullups Enabled(P1LPU=0)", "Pullups Disabled(P1LPU=1)"}, 1),
        List("cbPort0HPullups", "Port 0 High Nibble Pullups", 0, 1, 1,
             {"Pullups Enabled(P0HPU=0)", "Pullups Disabled(P0HPU=1)"}, 1),
        List("cbPort0LPullups", "Port 0 Low Nibble Pullups", 0, 0, 1,
             {"Pullups Enabled(P0LPU=0)", "Pullups Disabled(P0LPU=1)"}, 1),
        List("cb16BitStack", "16-Bit Stack", 1, 3, 1, {"16-bit Stack(16BITSTK=0)", "8-bit Stack(16BITSTK=1)"}, 1),
        List("cbDivByOne", "System Clock Divide by 1", 1, 2, 1,
             {"Clock = XTAL1 (DIVBY1=0)", "Clock = XTAL1/2 (DIVBY1=1)"}, 1),
        List("cbFlashProt1", "Flash Lower Half Protect", 1, 1, 1,
             {"Flash Lower Half Protected (FLPROT1=0)", "Flash Lower Half Not Protected(FLPROT1=1)"}, 1),
        List("cbFlashProt", "Flash Protect", 1, 0, 1,
             {"Flash Protected (FLRWP=0)", "Flash Not Protected  (FLRWP=1)"}, 1),
    }};

const OptionBitsForm NoForm{"", "", 0, {}};

// One byte as the encoder builds it: a constant for the fixed bits plus the
// fields that byte holds in the layout.
struct ByteLayout {
  uint8_t constant;
  std::vector<const char*> fields;
};

const char* const Z8Byte0[] = {"cbWDT_RES", "cbWDT_AO", "cbOSC_SEL", "cbVBO_AO", "cbRP", "cbFWP"};

std::vector<ByteLayout> LayoutOf(OptionBitsKind kind, int variant) {
  switch (kind) {
    case OptionBitsKind::Z8Encore: {
      ByteLayout b0{0, std::vector<const char*>(std::begin(Z8Byte0), std::end(Z8Byte0))};
      b0.fields.push_back(variant == 6 ? "cbPRAM" : "cbFHSWP");
      if (variant == 8) {
        return {b0, {0x20, {"cbFLTSEL", "cbLPDEN", "cbPWM2EN", "cbPWM1EN", "cbPWM0EN", "cbPWMHI", "cbPWMLO"}}};
      }
      if (variant == 6) return {b0, {0x2C, {"cbEXTLTMG", "cbEXTL_AO", "cbX2_mode", "cbX2TL_AO"}}};
      return {b0, {0x6F, {"cbVBO_RES", "cbXTLDIS"}}};
    }
    case OptionBitsKind::Zneo:
      return {{0, {"cbOSC_SEL", "cbWDT_RES", "cbWDT_AO", "cbVBO_AO", "cbDGBUART", "cbFWP", "cbRP"}},
              {0xF8, {"cbMCEN", "cbOFFH", "cbOFFL"}},
              {0xFF, {}},
              {0xBF, {"cbLPOPT"}}};
    case OptionBitsKind::Zlf:
      return {{0, {"cbWDT_Enable", "cbPort4Pullups", "cbPort3Pullups", "cbPort2Pullups", "cbPort1HPullups",
                   "cbPort1LPullups", "cbPort0HPullups", "cbPort0LPullups"}},
              {0xF0, {"cb16BitStack", "cbDivByOne", "cbFlashProt1", "cbFlashProt"}}};
    case OptionBitsKind::None:
      break;
  }
  return {};
}

// The Z8 Encore! settings each variant has; variants without a row keep the designed state.
std::optional<std::vector<const char*>> Z8VariantSettings(int variant) {
  const std::vector<const char*> common{"cbWDT_RES", "cbWDT_AO", "cbRP", "cbFWP"};
  auto with = [&](std::initializer_list<const char*> more) {
    std::vector<const char*> all = common;
    all.insert(all.end(), more);
    return all;
  };
  switch (variant) {
    case 0: return with({"cbOSC_SEL", "cbVBO_AO", "cbFHSWP"});
    case 1: return with({"cbFHSWP"});
    case 2: return with({"cbOSC_SEL", "cbVBO_AO"});
    case 3: return with({"cbOSC_SEL", "cbVBO_AO", "cbVBO_RES", "cbXTLDIS"});
    case 4: return with({"cbVBO_AO"});
    case 5: return with({"cbOSC_SEL", "cbVBO_AO", "cbXTLDIS"});
    case 6: return with({"cbOSC_SEL", "cbVBO_AO", "cbPRAM", "cbEXTLTMG", "cbEXTL_AO", "cbX2_mode", "cbX2TL_AO"});
    case 8:
      return with({"cbOSC_SEL", "cbVBO_AO", "cbFLTSEL", "cbLPDEN", "cbPWM0EN", "cbPWM1EN", "cbPWM2EN", "cbPWMHI",
                   "cbPWMLO"});
    default: return std::nullopt;
  }
}

int FieldIndex(const OptionBitsForm& form, const char* control) {
  for (size_t i = 0; i < form.fields.size(); ++i) {
    if (std::strcmp(form.fields[i].control, control) == 0) return static_cast<int>(i);
  }
  return -1;
}

uint8_t FieldMask(const OptionBitField& f) { return static_cast<uint8_t>(((1 << f.width) - 1) << f.shift); }

std::string Hex2(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

}  // namespace

OptionBitsKind OptionBitsKindFor(int progType, const std::string& family) {
  if (progType == 5) return OptionBitsKind::Zneo;
  if (progType != 2) return OptionBitsKind::None;
  if (family == "ZLF645") return OptionBitsKind::Zlf;
  if (family == "ZNeo") return OptionBitsKind::Zneo;
  return OptionBitsKind::Z8Encore;
}

int Z8Variant(int16_t devFlags) { return devFlags & 0x7F; }

const OptionBitsForm& OptionBitsFormOf(OptionBitsKind kind) {
  switch (kind) {
    case OptionBitsKind::Z8Encore: return Z8Form;
    case OptionBitsKind::Zneo: return ZneoForm;
    case OptionBitsKind::Zlf: return ZlfForm;
    case OptionBitsKind::None: break;
  }
  return NoForm;
}

OptionSettings PreselectedSettings(OptionBitsKind kind) {
  OptionSettings settings;
  for (const OptionBitField& f : OptionBitsFormOf(kind).fields) settings.push_back(f.check ? 0 : f.preselected);
  return settings;
}

OptionSettings DecodeOptionBytes(OptionBitsKind kind, const std::vector<uint8_t>& bytes) {
  OptionSettings settings;
  for (const OptionBitField& f : OptionBitsFormOf(kind).fields) {
    const int b = f.byte < static_cast<int>(bytes.size()) ? bytes[static_cast<size_t>(f.byte)] : 0xFF;
    const int value = (b & FieldMask(f)) >> f.shift;
    settings.push_back(f.check ? (value == 0 ? 1 : 0) : value);
  }
  return settings;
}

std::vector<uint8_t> EncodeOptionBytes(OptionBitsKind kind, int variant, const OptionSettings& settings) {
  const OptionBitsForm& form = OptionBitsFormOf(kind);
  std::vector<uint8_t> bytes;
  for (const ByteLayout& layout : LayoutOf(kind, variant)) {
    int value = layout.constant;
    for (const char* control : layout.fields) {
      const int i = FieldIndex(form, control);
      const OptionBitField& f = form.fields[static_cast<size_t>(i)];
      const int setting = i < static_cast<int>(settings.size()) ? settings[static_cast<size_t>(i)] : 0;
      const int field = f.check ? (setting ? 0 : 1) : std::clamp(setting, 0, (1 << f.width) - 1);
      value += field << f.shift;
    }
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

std::optional<std::vector<bool>> EnabledSettings(OptionBitsKind kind, int variant) {
  const OptionBitsForm& form = OptionBitsFormOf(kind);
  if (kind != OptionBitsKind::Z8Encore) return std::vector<bool>(form.fields.size(), true);
  const auto named = Z8VariantSettings(variant);
  if (!named) return std::nullopt;
  std::vector<bool> enabled(form.fields.size(), false);
  for (const char* control : *named) enabled[static_cast<size_t>(FieldIndex(form, control))] = true;
  return enabled;
}

OptionBytesPlace OptionBytesPlaceOf(OptionBitsKind kind) {
  switch (kind) {
    case OptionBitsKind::Z8Encore: return {false, 0, 2};
    case OptionBitsKind::Zneo: return {false, 0, 4};
    case OptionBitsKind::Zlf: return {true, 0xFE, 2};
    case OptionBitsKind::None: break;
  }
  return {};
}

std::vector<uint8_t> ReadOptionBytes(OptionBitsKind kind) {
  const OptionBytesPlace place = OptionBytesPlaceOf(kind);
  const std::vector<uint8_t>& buffer = place.secondMemory ? EEBuffer : ImageBuffer;
  std::vector<uint8_t> bytes;
  for (int i = 0; i < place.count; ++i) {
    const size_t at = static_cast<size_t>(place.first + i);
    bytes.push_back(at < buffer.size() ? buffer[at] : 0xFF);
  }
  return bytes;
}

bool StoreOptionBytes(OptionBitsKind kind, const std::vector<uint8_t>& bytes) {
  const OptionBytesPlace place = OptionBytesPlaceOf(kind);
  if (place.count == 0 || static_cast<int>(bytes.size()) != place.count) return false;
  std::vector<uint8_t>& buffer = place.secondMemory ? EEBuffer : ImageBuffer;
  const size_t end = static_cast<size_t>(place.first + place.count);
  if (buffer.size() < end) buffer.resize(end, 0xFF);
  std::copy(bytes.begin(), bytes.end(), buffer.begin() + place.first);
  return true;
}

bool OptionBytesAllowed(OptionBitsKind kind, int variant, const std::vector<uint8_t>& bytes, std::string& why) {
  const OptionBitsForm& form = OptionBitsFormOf(kind);
  if (static_cast<int>(bytes.size()) != form.byteCount) {
    why = "needs " + std::to_string(form.byteCount) + " option bytes, given " + std::to_string(bytes.size());
    return false;
  }
  const auto enabled = EnabledSettings(kind, variant);
  const std::vector<uint8_t> erased =
      EncodeOptionBytes(kind, variant, DecodeOptionBytes(kind, std::vector<uint8_t>(bytes.size(), 0xFF)));
  const std::vector<ByteLayout> layout = LayoutOf(kind, variant);
  for (size_t b = 0; b < layout.size(); ++b) {
    uint8_t settable = 0;
    for (const char* control : layout[b].fields) {
      const int i = FieldIndex(form, control);
      if (!enabled || (*enabled)[static_cast<size_t>(i)]) settable |= FieldMask(form.fields[static_cast<size_t>(i)]);
    }
    const uint8_t fixed = static_cast<uint8_t>(~settable);
    if ((bytes[b] & fixed) != (erased[b] & fixed)) {
      why = "option byte " + std::to_string(b) + " = " + Hex2(bytes[b]) + ": the bits " + Hex2(fixed) +
            " must stay " + Hex2(erased[b] & fixed) + " (only " + Hex2(settable) + " can be set on this device)";
      return false;
    }
  }
  return true;
}
