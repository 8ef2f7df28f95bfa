// The settings words the Load Image dialog builds from its controls.
#include <gtest/gtest.h>

#include "devices/ImageState.h"
#include "images/ImageSettings.h"
#include "options/FuseState.h"
#include "tests/support/FakePlatform.h"

namespace {

struct ModeCase {
  const char* name;
  int type;
  const char* family;
  int16_t devFlags;
  ModeChoices choices;
  bool secondary, jtagId, avr32Security;
  int16_t mode;
};

class ModeWordTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeWordTest, BitsOfEachProgrammerType) {
  FakePlatform platform;
  const ModeCase& c = GetParam();
  SecondaryEnabled = c.secondary;
  JtagIdCheck = c.jtagId;
  AVR32SecurityF = c.avr32Security;
  EXPECT_EQ(ImageModeWord(c.type, c.family, c.devFlags, c.choices), c.mode);
}

ModeChoices Choices(int modeIndex, bool erase = false, bool swif = false, bool slow = false, bool jtag = false,
                    bool fusesFirst = false) {
  return ModeChoices{modeIndex, erase, swif, slow, jtag, fusesFirst};
}

INSTANTIATE_TEST_SUITE_P(
    Types, ModeWordTest,
    ::testing::Values(
        ModeCase{"CapSenseExample", 1, "CapSense", 3, Choices(1, false, true), false, false, false, 47},
        ModeCase{"PSoCResetRun", 1, "PSoC1", 0, Choices(2, true), false, false, false, 64 + 16},
        ModeCase{"X1PowerOn", 8, "PSoC3", 1, Choices(1), false, false, false, 1 + 4},
        ModeCase{"Z8SlowClockAndFib", 2, "Z8 Encore! F64xx", 0, Choices(1, false, false, true), true, false, false,
                 1 + 2 + 4},
        ModeCase{"AvrJtagIgnoresSlowClock", 6, "ATmega", 0, Choices(0, false, false, true, true, true), true, true,
                 false, 2 + 4 + 8 + 16},
        ModeCase{"AvrSpiSlowClock", 6, "ATmega", 0, Choices(1, false, false, true), false, false, false, 1 + 32},
        ModeCase{"Avr32Security", 7, "AVR32", 0, Choices(1), true, false, true, 1 + 2 + 4},
        ModeCase{"ArmRunOnly", 9, "Nuvoton", 0x1101, Choices(1, true, true, true, true, true), true, true, true, 1},
        ModeCase{"EepromPlainReset", 3, "24Cxx", 0, Choices(0), true, false, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VoltageChoicesTest, StepsOfATenthWithinTheDevicesRange) {
  EXPECT_EQ(VoltageChoices(3.3f, 3.3f), std::vector<std::string>{"3.3"});
  const std::vector<std::string> wide = VoltageChoices(1.8f, 5.5f);
  EXPECT_EQ(wide.front(), "1.8");
  EXPECT_GE(wide.size(), 37u);
  EXPECT_LE(wide.size(), 38u);   // single-precision steps may stop just short of 5.5
  EXPECT_EQ(VoltageChoices(0.0f, 10.0f).size(), 51u);
  EXPECT_TRUE(VoltageChoices(5.0f, 3.0f).empty());
  EXPECT_EQ(VoltageCode("3.3"), 165);
  EXPECT_EQ(VoltageCode("5.0"), 250);
  EXPECT_EQ(VoltageCode("1.8"), 90);
}

TEST(FrequencyTest, KilohertzBecomeMegahertzAndMegahertzStopAt32_5) {
  bool mhz = false;
  EXPECT_EQ(NormalizeFrequency("4000", mhz), "4.000");
  EXPECT_TRUE(mhz);
  mhz = true;
  EXPECT_EQ(NormalizeFrequency("40", mhz), "32.500");
  mhz = false;
  EXPECT_EQ(NormalizeFrequency("999.7", mhz), "999");
  EXPECT_FALSE(mhz);
  EXPECT_EQ(NormalizeFrequency("-5", mhz), "0");
  mhz = true;
  EXPECT_EQ(NormalizeFrequency("3.6864", mhz), "3.686");
  EXPECT_EQ(FrequencyKHz("3.686", true), 3000);   // whole megahertz
  EXPECT_EQ(FrequencyKHz("32.500", true), 32000);
  EXPECT_EQ(FrequencyKHz("800", false), 800);
  EXPECT_EQ(FrequencyKHz("1.000", true), 1000);
}

}  // namespace
