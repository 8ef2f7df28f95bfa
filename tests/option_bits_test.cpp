// The option bytes of Z8 Encore!, ZNEO and ZLF645 images: what the windows
// show for given bytes, what they write back for each layout, which settings
// a Z8 Encore! variant has, where the bytes are kept, and which bytes the
// command line takes. Expected bytes are worked out by hand from the bit
// tables of each family.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "devices/ImageState.h"
#include "options/OptionBits.h"
#include "programmers/ProgrammerTypes.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Named = std::map<std::string, int>;

int Index(OptionBitsKind kind, const std::string& control) {
  const OptionBitsForm& form = OptionBitsFormOf(kind);
  for (size_t i = 0; i < form.fields.size(); ++i) {
    if (form.fields[i].control == control) return static_cast<int>(i);
  }
  ADD_FAILURE() << "no control " << control;
  return 0;
}

// The settings an erased image shows, with the named ones changed.
OptionSettings With(OptionBitsKind kind, const Named& changes) {
  OptionSettings settings = DecodeOptionBytes(kind, Bytes(4, 0xFF));
  for (const auto& [control, value] : changes) settings[static_cast<size_t>(Index(kind, control))] = value;
  return settings;
}

void ExpectShows(OptionBitsKind kind, const OptionSettings& settings, const Named& expected, const std::string& name) {
  for (const auto& [control, value] : expected) {
    EXPECT_EQ(settings[static_cast<size_t>(Index(kind, control))], value) << name << " " << control;
  }
}

TEST(OptionBitsTest, Z8EncoreDecodeFillsEveryLayoutsControls) {
  struct Case {
    const char* name;
    Bytes bytes;
    Named shown;
  };
  for (const Case& c : {
           Case{"Erased",
                {0xFF, 0xFF},
                {{"cbWDT_RES", 1}, {"cbWDT_AO", 1}, {"cbOSC_SEL", 3}, {"cbVBO_AO", 1}, {"cbRP", 0},
                 {"cbFHSWP", 0}, {"cbFWP", 0}, {"cbPRAM", 1}, {"cbVBO_RES", 1}, {"cbXTLDIS", 1},
                 {"cbEXTLTMG", 3}, {"cbFLTSEL", 1}, {"cbPWMLO", 1}}},
           // 0101 1010 / 1001 1100
           Case{"Mixed",
                {0x5A, 0x9C},
                {{"cbWDT_RES", 0}, {"cbWDT_AO", 1}, {"cbOSC_SEL", 1}, {"cbVBO_AO", 1}, {"cbRP", 1},
                 {"cbFHSWP", 0}, {"cbPRAM", 1}, {"cbFWP", 1},
                 {"cbVBO_RES", 1}, {"cbXTLDIS", 1},
                 {"cbEXTLTMG", 2}, {"cbEXTL_AO", 1}, {"cbX2_mode", 0}, {"cbX2TL_AO", 0},
                 {"cbFLTSEL", 1}, {"cbLPDEN", 0}, {"cbPWM2EN", 1}, {"cbPWM1EN", 1}, {"cbPWM0EN", 1},
                 {"cbPWMHI", 0}, {"cbPWMLO", 0}}},
           // 0010 0101 / 0100 0011
           Case{"Protections",
                {0x25, 0x43},
                {{"cbWDT_RES", 0}, {"cbWDT_AO", 0}, {"cbOSC_SEL", 2}, {"cbVBO_AO", 0}, {"cbRP", 0},
                 {"cbFHSWP", 1}, {"cbPRAM", 0}, {"cbFWP", 0}, {"cbEXTLTMG", 1}, {"cbLPDEN", 1},
                 {"cbX2_mode", 1}, {"cbX2TL_AO", 1}}},
       }) {
    ExpectShows(OptionBitsKind::Z8Encore, DecodeOptionBytes(OptionBitsKind::Z8Encore, c.bytes), c.shown, c.name);
  }
}

TEST(OptionBitsTest, Z8EncoreEncodeByVariant) {
  const auto kind = OptionBitsKind::Z8Encore;
  struct Case {
    const char* name;
    int variant;
    OptionSettings settings;
    Bytes bytes;
  };
  const OptionSettings mixed = DecodeOptionBytes(kind, {0x5A, 0x9C});
  for (const Case& c : {
           Case{"ErasedVariant0", 0, DecodeOptionBytes(kind, {0xFF, 0xFF}), {0xFF, 0xFF}},
           Case{"PreselectedVariant0", 0, PreselectedSettings(kind), {0xFF, 0xFF}},
           Case{"ReadAndFlashProtectVariant2", 2, With(kind, {{"cbRP", 1}, {"cbFWP", 1}}), {0xFA, 0xFF}},
           // Byte 1 takes the variant's fixed bits whatever the image held.
           Case{"MixedVariant0", 0, mixed, {0x5A, 0xFF}},
           Case{"MixedVariant6", 6, mixed, {0x5A, 0xBC}},
           Case{"MixedVariant8", 8, mixed, {0x5A, 0xBC}},
           Case{"MixedUnknownVariant", 7, mixed, {0x5A, 0xFF}},
           // Bit 1 of byte 0: PRAM_M on variant 6, the high sector box elsewhere.
           Case{"PramProgramBeatsTickedHighSector", 6, With(kind, {{"cbPRAM", 1}, {"cbFHSWP", 1}}), {0xFF, 0xFF}},
           Case{"PramRegisterVariant6", 6, With(kind, {{"cbPRAM", 0}, {"cbFHSWP", 0}}), {0xFD, 0xFF}},
           Case{"HighSectorTickedVariant0", 0, With(kind, {{"cbPRAM", 1}, {"cbFHSWP", 1}}), {0xFD, 0xFF}},
           Case{"EveryPwmAndFaultAtZeroVariant8", 8,
                With(kind, {{"cbFLTSEL", 0}, {"cbLPDEN", 0}, {"cbPWM2EN", 0}, {"cbPWM1EN", 0}, {"cbPWM0EN", 0},
                            {"cbPWMHI", 0}, {"cbPWMLO", 0}}),
                {0xFF, 0x20}},
           Case{"VboResAndXtalVariant3", 3, With(kind, {{"cbVBO_RES", 0}, {"cbXTLDIS", 0}}), {0xFF, 0x6F}},
           Case{"XtalTimingVariant6", 6,
                With(kind, {{"cbEXTLTMG", 1}, {"cbEXTL_AO", 0}, {"cbX2_mode", 1}, {"cbX2TL_AO", 0}}),
                {0xFF, 0x6E}},
           Case{"OscillatorAndWatchdogVariant5", 5,
                With(kind, {{"cbWDT_RES", 0}, {"cbWDT_AO", 0}, {"cbOSC_SEL", 0}, {"cbVBO_AO", 0}}),
                {0x07, 0xFF}},
       }) {
    EXPECT_EQ(EncodeOptionBytes(kind, c.variant, c.settings), c.bytes) << c.name;
  }
}

TEST(OptionBitsTest, Z8EncoreVariantsEnableTheirSettings) {
  const auto kind = OptionBitsKind::Z8Encore;
  const std::vector<std::string> byte0{"cbWDT_RES", "cbWDT_AO", "cbRP", "cbFWP"};
  struct Case {
    int16_t devFlags;
    std::vector<std::string> more;
  };
  for (const Case& c : {
           Case{0, {"cbOSC_SEL", "cbVBO_AO", "cbFHSWP"}},
           Case{1, {"cbFHSWP"}},
           Case{0x82, {"cbOSC_SEL", "cbVBO_AO"}},   // the power-on bit is no part of the variant
           Case{3, {"cbOSC_SEL", "cbVBO_AO", "cbVBO_RES", "cbXTLDIS"}},
           Case{4, {"cbVBO_AO"}},
           Case{5, {"cbOSC_SEL", "cbVBO_AO", "cbXTLDIS"}},
           Case{6, {"cbOSC_SEL", "cbVBO_AO", "cbPRAM", "cbEXTLTMG", "cbEXTL_AO", "cbX2_mode", "cbX2TL_AO"}},
           Case{8, {"cbOSC_SEL", "cbVBO_AO", "cbFLTSEL", "cbLPDEN", "cbPWM0EN", "cbPWM1EN", "cbPWM2EN", "cbPWMHI",
                    "cbPWMLO"}},
       }) {
    const auto enabled = EnabledSettings(kind, Z8Variant(c.devFlags));
    ASSERT_TRUE(enabled.has_value()) << c.devFlags;
    const OptionBitsForm& form = OptionBitsFormOf(kind);
    for (size_t i = 0; i < form.fields.size(); ++i) {
      const std::string control = form.fields[i].control;
      const bool expected = std::count(byte0.begin(), byte0.end(), control) + std::count(c.more.begin(), c.more.end(), control) > 0;
      EXPECT_EQ((*enabled)[i], expected) << "flags " << c.devFlags << " " << control;
    }
  }
  for (int16_t undefined : {7, 9, 0x7F, 0xFF}) EXPECT_FALSE(EnabledSettings(kind, Z8Variant(undefined))) << undefined;
}

TEST(OptionBitsTest, ZneoDecodeAndEncode) {
  const auto kind = OptionBitsKind::Zneo;
  const OptionSettings erased = DecodeOptionBytes(kind, {0xFF, 0xFF, 0xFF, 0xFF});
  ExpectShows(kind, erased,
              {{"cbOSC_SEL", 3}, {"cbWDT_RES", 1}, {"cbWDT_AO", 1}, {"cbVBO_AO", 1}, {"cbDGBUART", 1}, {"cbFWP", 0},
               {"cbRP", 0}, {"cbMCEN", 1}, {"cbOFFH", 1}, {"cbOFFL", 1}, {"cbLPOPT", 1}},
              "Erased");
  EXPECT_EQ(erased, PreselectedSettings(kind));
  // 0011 0110: OSC_SEL 00, WDT_RES 1, WDT_AO 1, VBO_AO 0, DBGUART 1, FWP 1, RP 0.
  const OptionSettings mixed = DecodeOptionBytes(kind, {0x36, 0x00, 0x00, 0x00});
  ExpectShows(kind, mixed,
              {{"cbOSC_SEL", 0}, {"cbWDT_RES", 1}, {"cbWDT_AO", 1}, {"cbVBO_AO", 0}, {"cbDGBUART", 1}, {"cbFWP", 0},
               {"cbRP", 1}, {"cbMCEN", 0}, {"cbOFFH", 0}, {"cbOFFL", 0}, {"cbLPOPT", 0}},
              "Mixed");
  struct Case {
    const char* name;
    OptionSettings settings;
    Bytes bytes;
  };
  for (const Case& c : {
           Case{"Erased", erased, {0xFF, 0xFF, 0xFF, 0xFF}},
           Case{"ReadProtectAlone", With(kind, {{"cbRP", 1}}), {0xFE, 0xFF, 0xFF, 0xFF}},
           Case{"FlashWriteProtectAlone", With(kind, {{"cbFWP", 1}}), {0xFD, 0xFF, 0xFF, 0xFF}},
           Case{"LowPowerEnabled", With(kind, {{"cbLPOPT", 0}}), {0xFF, 0xFF, 0xFF, 0xBF}},
           Case{"MotorControl", With(kind, {{"cbMCEN", 0}, {"cbOFFH", 1}, {"cbOFFL", 0}}), {0xFF, 0xFA, 0xFF, 0xFF}},
           Case{"MixedKeepsTheFixedBits", mixed, {0x36, 0xF8, 0xFF, 0xBF}},
       }) {
    EXPECT_EQ(EncodeOptionBytes(kind, 0, c.settings), c.bytes) << c.name;
  }
  const auto enabled = EnabledSettings(kind, 0);
  ASSERT_TRUE(enabled);
  EXPECT_EQ(std::count(enabled->begin(), enabled->end(), false), 0);
}

TEST(OptionBitsTest, ZlfDecodeAndEncode) {
  const auto kind = OptionBitsKind::Zlf;
  ExpectShows(kind, DecodeOptionBytes(kind, {0x00, 0xFF}),
              {{"cbWDT_Enable", 0}, {"cbPort4Pullups", 0}, {"cbPort3Pullups", 0}, {"cbPort2Pullups", 0},
               {"cbPort1HPullups", 0}, {"cbPort1LPullups", 0}, {"cbPort0HPullups", 0}, {"cbPort0LPullups", 0},
               {"cb16BitStack", 1}, {"cbDivByOne", 1}, {"cbFlashProt1", 1}, {"cbFlashProt", 1}},
              "PullupsOn");
  // 1010 0101 / 0000 0110
  const OptionSettings mixed = DecodeOptionBytes(kind, {0xA5, 0x06});
  ExpectShows(kind, mixed,
              {{"cbWDT_Enable", 1}, {"cbPort4Pullups", 0}, {"cbPort3Pullups", 1}, {"cbPort2Pullups", 0},
               {"cbPort1HPullups", 0}, {"cbPort1LPullups", 1}, {"cbPort0HPullups", 0}, {"cbPort0LPullups", 1},
               {"cb16BitStack", 0}, {"cbDivByOne", 1}, {"cbFlashProt1", 1}, {"cbFlashProt", 0}},
              "Mixed");
  EXPECT_EQ(EncodeOptionBytes(kind, 0, mixed), (Bytes{0xA5, 0xF6}));
  EXPECT_EQ(EncodeOptionBytes(kind, 0, With(kind, {{"cbFlashProt", 0}})), (Bytes{0xFF, 0xFE}));
  EXPECT_EQ(EncodeOptionBytes(kind, 0, PreselectedSettings(kind)), (Bytes{0xFF, 0xFF}));
}

TEST(OptionBitsTest, ListsHoldOneEntryPerFieldValue) {
  for (OptionBitsKind kind : {OptionBitsKind::Z8Encore, OptionBitsKind::Zneo, OptionBitsKind::Zlf}) {
    for (const OptionBitField& f : OptionBitsFormOf(kind).fields) {
      if (f.check) EXPECT_TRUE(f.entries.empty()) << f.control;
      else EXPECT_EQ(f.entries.size(), size_t{1} << f.width) << f.control;
    }
  }
  EXPECT_STREQ(OptionBitsFormOf(OptionBitsKind::Z8Encore).fields[0].entries[1], "Reset (WDT_RES=1)");
}

TEST(OptionBitsTest, WindowByTypeAndFamily) {
  struct Case {
    int type;
    const char* family;
    OptionBitsKind kind;
  };
  for (const Case& c : {
           Case{2, "Z8 Encore! F64xx", OptionBitsKind::Z8Encore},
           Case{2, "Z8 Encore! XP F0822", OptionBitsKind::Z8Encore},
           Case{2, "ZLF645", OptionBitsKind::Zlf},
           Case{2, "ZNeo", OptionBitsKind::Zneo},
           Case{5, "ZNeo", OptionBitsKind::Zneo},
           Case{5, "ZNeo Z16FMC", OptionBitsKind::Zneo},
           Case{6, "ZLF645", OptionBitsKind::None},
           Case{1, "PSoC1", OptionBitsKind::None},
       }) {
    EXPECT_EQ(OptionBitsKindFor(c.type, c.family), c.kind) << c.type << " " << c.family;
  }
  EXPECT_EQ(TypeTraits(2).optionsWindow, OptionsWindow::OptionBits);
  EXPECT_EQ(TypeTraits(5).optionsWindow, OptionsWindow::OptionBits);
  EXPECT_EQ(TypeTraits(6).optionsWindow, OptionsWindow::Fuses);
  EXPECT_EQ(TypeTraits(1).optionsWindow, OptionsWindow::None);
}

TEST(OptionBitsTest, BytesAreKeptInTheirBuffers) {
  ImageBuffer.assign(8, 0x11);
  EEBuffer.assign(257, 0x22);
  ASSERT_TRUE(StoreOptionBytes(OptionBitsKind::Z8Encore, {0xFA, 0x6F}));
  EXPECT_EQ(ImageBuffer, (Bytes{0xFA, 0x6F, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11}));
  EXPECT_EQ(ReadOptionBytes(OptionBitsKind::Z8Encore), (Bytes{0xFA, 0x6F}));

  ASSERT_TRUE(StoreOptionBytes(OptionBitsKind::Zneo, {1, 2, 3, 4}));
  EXPECT_EQ(ImageBuffer, (Bytes{1, 2, 3, 4, 0x11, 0x11, 0x11, 0x11}));

  ASSERT_TRUE(StoreOptionBytes(OptionBitsKind::Zlf, {0xA5, 0xF6}));
  EXPECT_EQ(EEBuffer[0xFD], 0x22);
  EXPECT_EQ(EEBuffer[0xFE], 0xA5);
  EXPECT_EQ(EEBuffer[0xFF], 0xF6);
  EXPECT_EQ(EEBuffer[0x100], 0x22);
  EXPECT_EQ(ImageBuffer[0], 1);   // the FIB3 bytes leave the flash image alone

  // A wrong count stores nothing.
  EXPECT_FALSE(StoreOptionBytes(OptionBitsKind::Z8Encore, {0x00}));
  EXPECT_FALSE(StoreOptionBytes(OptionBitsKind::None, {}));
  EXPECT_EQ(ImageBuffer[0], 1);

  // A page shorter than the option bytes reads them erased and grows erased to take them.
  EEBuffer.assign(16, 0x00);
  EXPECT_EQ(ReadOptionBytes(OptionBitsKind::Zlf), (Bytes{0xFF, 0xFF}));
  ASSERT_TRUE(StoreOptionBytes(OptionBitsKind::Zlf, {0x12, 0xF4}));
  ASSERT_EQ(EEBuffer.size(), 0x100u);
  EXPECT_EQ(EEBuffer[0x0F], 0x00);
  EXPECT_EQ(EEBuffer[0x10], 0xFF);
  EXPECT_EQ(EEBuffer[0xFE], 0x12);
  EXPECT_EQ(EEBuffer[0xFF], 0xF4);
}

TEST(OptionBitsTest, OnlyTheVariantsSettingsMayLeaveTheErasedState) {
  struct Case {
    OptionBitsKind kind;
    int variant;
    Bytes bytes;
    bool allowed;
  };
  const auto z8 = OptionBitsKind::Z8Encore;
  for (const Case& c : {
           Case{z8, 0, {0xFF, 0xFF}, true},
           Case{z8, 0, {0x00, 0xFF}, true},
           Case{z8, 0, {0xFF, 0x7F}, false},   // VBO_RES is not on variant 0
           Case{z8, 1, {0x3E, 0xFF}, true},    // WDT_RES, WDT_AO, FWP
           Case{z8, 1, {0xEF, 0xFF}, false},   // OSC_SEL
           Case{z8, 1, {0xF7, 0xFF}, false},   // VBO_AO
           Case{z8, 2, {0xFA, 0xFF}, true},
           Case{z8, 2, {0xFD, 0xFF}, false},   // high sector protect
           Case{z8, 3, {0xFA, 0x6F}, true},
           Case{z8, 3, {0xFF, 0xFE}, false},   // a fixed bit of byte 1
           Case{z8, 5, {0xFF, 0xEF}, true},    // XTLDIS
           Case{z8, 5, {0xFF, 0x7F}, false},   // VBO_RES
           Case{z8, 6, {0xFD, 0x6E}, true},    // PRAM_M and the crystal settings
           Case{z8, 6, {0xFF, 0xDF}, false},   // bit 5 of byte 1 is fixed
           Case{z8, 8, {0xFF, 0x20}, true},
           Case{z8, 8, {0xFF, 0x00}, false},
           Case{z8, 8, {0xFD, 0xFF}, false},   // no high sector protect on variant 8
           Case{z8, 7, {0x00, 0xEF}, true},    // no table: the designed controls, byte 1 as variant 0..5
           Case{z8, 7, {0xFF, 0xBF}, false},
           Case{z8, 0, {0xFF}, false},
           Case{z8, 0, {0xFF, 0xFF, 0xFF}, false},
           Case{OptionBitsKind::Zneo, 0, {0xFF, 0xFF, 0xFF, 0xFF}, true},
           Case{OptionBitsKind::Zneo, 0, {0x36, 0xF8, 0xFF, 0xBF}, true},
           Case{OptionBitsKind::Zneo, 0, {0xFF, 0xF7, 0xFF, 0xFF}, false},
           Case{OptionBitsKind::Zneo, 0, {0xFF, 0xFF, 0xFE, 0xFF}, false},
           Case{OptionBitsKind::Zneo, 0, {0xFF, 0xFF, 0xFF, 0x7F}, false},
           Case{OptionBitsKind::Zlf, 4, {0x00, 0xF0}, true},
           Case{OptionBitsKind::Zlf, 4, {0xFF, 0xEF}, false},
       }) {
    std::string why;
    EXPECT_EQ(OptionBytesAllowed(c.kind, c.variant, c.bytes, why), c.allowed)
        << static_cast<int>(c.kind) << " variant " << c.variant << " " << why;
    EXPECT_EQ(why.empty(), c.allowed);
    // What is allowed is exactly what the window writes back after showing it.
    if (c.allowed) {
      EXPECT_EQ(EncodeOptionBytes(c.kind, c.variant, DecodeOptionBytes(c.kind, c.bytes)), c.bytes);
    }
  }
}

}  // namespace
