// The rules of the AVR-class programming options: which fuse values a byte
// takes, what a field choice changes, where a calibration value may go.
#include <gtest/gtest.h>

#include <string>

#include "devices/DeviceState.h"
#include "images/ProjectFile.h"
#include "images/ProjectState.h"
#include "link/ErrorRecord.h"
#include "options/AvrOptions.h"
#include "options/FuseDefinitions.h"
#include "options/FuseState.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempDir.h"

namespace {

// One device: byte 0 with a two-bit clock field and a one-bit field, bits 7..3
// left to no field; byte 1 with one field.
const char* const Device =
    "ID%42%ATtest%&H0F%1\r\n"
    "BYTE%0%LOW%%\r\n"
    "FIELD%CKSEL%Clock source%&H03%&H02\r\n"
    "OPTION%External%&H00%%\r\n"
    "OPTION%Internal 8 MHz%&H02%%\r\n"
    "OPTION%Internal 128 kHz%&H03%%\r\n"
    "FIELD%CKOUT%Clock output%&H04%&H04\r\n"
    "OPTION%Off%&H04%%\r\n"
    "OPTION%On%&H00%%\r\n"
    "BYTE%1%HIGH%%\r\n"
    "FIELD%EESAVE%Keep EEPROM%&H08%&H08\r\n"
    "OPTION%No%&H08%%\r\n"
    "OPTION%Yes%&H00%%\r\n"
    "ENDID%%%%\r\n";

class AvrOptionsTest : public ::testing::Test {
 protected:
  AvrOptionsTest() {
    AppPath = dir.path();
    ProgType = 6;
    CurFamily = 0;
    CurDevice = 0;
    DeviceTable[0].DevName = "ATtest";
    DeviceTable[0].DevId = 42;
    DeviceTable[0].DevFlashSize = 8192;
    DeviceTable[0].DevEESize = 4096;
    EXPECT_TRUE(LoadFuseDefinitions(dir.Write("AVRFuses.inf", Device))) << LastErrorText;
    SetDefaultFuses();
  }

  FakePlatform platform;
  TempDir dir;
};

TEST_F(AvrOptionsTest, DefaultsFillTheDevicesBytesAndLeaveTheOthersErased) {
  EXPECT_EQ(FuseValues[0], 0xFE);   // 1111 1 10: CKSEL internal, CKOUT off
  EXPECT_EQ(FuseValues[1], 0xFF);
  for (size_t b = 2; b < FuseValues.size(); ++b) EXPECT_EQ(FuseValues[b], 0xFF) << b;
}

TEST_F(AvrOptionsTest, AHexValueFitsWhenEveryFieldHasAMatchingOption) {
  struct Case {
    int byte;
    int64_t value;
    bool fits;
  };
  const Case cases[] = {
      {0, 0xFE, true},   // the defaults
      {0, 0x01, false},  // CKSEL 01 is no option
      {0, 0x03, true},   // bits no field covers are taken as typed
      {0, 0x7B, true},   // CKOUT on, CKSEL 128 kHz
      {1, 0x00, true},   {1, 0xF7, true},  {0, 0x100, false}, {0, -1, false},
      {2, 0xFF, false},  // no such byte
  };
  for (const Case& c : cases) EXPECT_EQ(FuseValueFits(c.byte, c.value), c.fits) << c.byte << " " << c.value;
}

TEST_F(AvrOptionsTest, HexTextReadsLikeTheEntryBoxes) {
  EXPECT_EQ(ReadHexText("1"), 1);
  EXPECT_EQ(ReadHexText(" fe"), 0xFE);
  EXPECT_EQ(ReadHexText("1G"), 1);
  EXPECT_EQ(ReadHexText(""), 0);
  EXPECT_EQ(ReadHexText("xyz"), 0);
  EXPECT_GT(ReadHexText(std::string(40, 'F')), 0xFFFFFFFFLL);   // saturates, never wraps into range
  EXPECT_EQ(FuseHex(1), "01");
  EXPECT_EQ(FuseHex(0xAB), "AB");
}

TEST_F(AvrOptionsTest, AFieldChoiceChangesOnlyThatFieldsBits) {
  FuseValues[0] = 0xF6;   // CKSEL internal, CKOUT off, bit 3 clear outside any field
  EXPECT_EQ(FieldAtBit(0, 1), 0);
  EXPECT_EQ(FieldAtBit(0, 2), 1);
  EXPECT_EQ(FieldAtBit(0, 3), -1);
  EXPECT_EQ(CurrentFuseOption(0, 0), 1);
  ApplyFuseOption(0, 0, 2);
  EXPECT_EQ(FuseValues[0], 0xF7);
  ApplyFuseOption(0, 1, 1);
  EXPECT_EQ(FuseValues[0], 0xF3);
  ApplyFuseOption(0, 1, 7);   // no such option: nothing changes
  ApplyFuseOption(0, 9, 0);
  EXPECT_EQ(FuseValues[0], 0xF3);
  FuseValues[0] = 0xF5;   // CKSEL 01 matches no option: the first is offered
  EXPECT_EQ(CurrentFuseOption(0, 0), 0);
}

TEST_F(AvrOptionsTest, CalibrationChoicesFollowTheDevicesMask) {
  auto texts = [] {
    std::string all;
    for (const OsccalChoice& c : OsccalChoices()) all += c.text + "=" + std::to_string(c.bit) + ";";
    return all;
  };
  EXPECT_EQ(texts(), "None=0;Int. Osc. - 8MHz=8;Int. Osc. - 4MHz=4;Int. Osc. - 2MHz=2;Int. Osc. - 1MHz=1;");
  OsccalMask = 16;
  EXPECT_EQ(texts(), "None=0;Internal Osc.=8;");
  OsccalMask = 0x05;
  EXPECT_EQ(texts(), "None=0;Int. Osc. - 4MHz=4;Int. Osc. - 1MHz=1;");
}

TEST_F(AvrOptionsTest, CalibrationValueAndMemoryKeepEachOthersBits) {
  OsccalOpt = 0x20 | 0x08;
  SetOsccalValue(0);   // "None" keeps the memory bit
  EXPECT_EQ(OsccalOpt, 0x20);
  SetOsccalValue(1);
  EXPECT_EQ(OsccalOpt, 0x21);
  EXPECT_TRUE(SetOsccalMemory(true));
  EXPECT_EQ(OsccalOpt, 0x11);
}

TEST_F(AvrOptionsTest, CalibrationAddressMustLieInTheChosenMemory) {
  EXPECT_TRUE(SetOsccalAddress(0xFFF, false));   // last EEPROM byte of 4 KiB
  EXPECT_EQ(OsccalAddress, 0xFFF);
  EXPECT_FALSE(SetOsccalAddress(0x1000, false));
  EXPECT_EQ(OsccalAddress, 0);
  EXPECT_FALSE(SetOsccalAddress(0xFFFFFFFFLL, true));   // never a negative 32-bit address
  EXPECT_EQ(OsccalAddress, 0);

  // Switching from Flash to EEPROM checks the address already set.
  OsccalOpt = 0x21;
  ASSERT_TRUE(SetOsccalAddress(0x1FFF, true));
  EXPECT_FALSE(SetOsccalMemory(true));
  EXPECT_EQ(OsccalAddress, 0);
  EXPECT_EQ(OsccalOpt, 0x11);
}

TEST(EepromImageName, TakesTheNameUpToTheFirstDotAndAtMostTwentyCharacters) {
  EXPECT_EQ(EepromImageName("board.rev2.eep"), "board");
  EXPECT_EQ(EepromImageName("abcdefghijklmnopqrstuvwxyz"), "abcdefghijklmnopqrst");
  EXPECT_EQ(EepromImageName("cal.hex"), "cal");
}

TEST_F(AvrOptionsTest, AFailedLoadLeavesNoBytesOfThePreviousDevice) {
  DeviceTable[0].DevId = 43;   // not in the file
  EXPECT_FALSE(LoadDeviceFuses());
  EXPECT_EQ(NumFuseBytes, -1);
  EXPECT_TRUE(FuseDefs.empty());
  EXPECT_FALSE(HasOsccal);
  EXPECT_EQ(FuseValues[0], 0xFF);
}

TEST_F(AvrOptionsTest, ProjectOptionsReplaceTheDefaultsForTheDevicesBytes) {
  ProjFuses = {0x7B, 0xF7, 0x11, 0, 0, 0, 0, 0, 0};
  ProjOsccalOpt = 0x12;
  ProjOsccalAddress = 0xFF0;
  ProjJtagId = true;
  ProjJtagPart = 0x9514;
  ProjJtagVersion = 3;
  ProjAVR32Security = true;
  // As a project with FUSE0..FUSE2 lines leaves them.
  ProjFuseLines = ProjectFuseLines{"job.vrx", {10, 11, 12}, {0x7B, 0xF7, 0x11}};
  ASSERT_TRUE(TakeProjectOptions()) << LastErrorText;
  EXPECT_EQ(FuseValues[0], 0x7B);
  EXPECT_EQ(FuseValues[1], 0xF7);
  EXPECT_EQ(FuseValues[2], 0xFF);   // the device has two bytes
  EXPECT_EQ(OsccalOpt, 0x12);
  EXPECT_EQ(OsccalAddress, 0xFF0);
  EXPECT_TRUE(JtagIdCheck);
  EXPECT_EQ(JtagPart, 0x9514);
  EXPECT_EQ(JtagVersion, 3);
  EXPECT_TRUE(AVR32SecurityF);
}

TEST(HexText, UpperCaseWithoutLeadingZeros) {
  EXPECT_EQ(HexText(0), "0");
  EXPECT_EQ(HexText(0xFFF), "FFF");
  EXPECT_EQ(HexText(0x0A), "A");
  EXPECT_EQ(HexText(0x9514), "9514");
}

// Byte 0 of a second device: a field with a gap (bits 7 and 5), a four-bit
// field in bits 3..0, bit 6 and bit 4 left to no field.
const char* const GappedDevice =
    "ID%43%ATgap%0%0\r\n"
    "BYTE%0%EXT%%\r\n"
    "FIELD%SPLIT%Split field%&HA0%&HA0\r\n"
    "OPTION%Both%&HA0%%\r\n"
    "FIELD%LOW4%Low nibble%&H0F%&H0F\r\n"
    "OPTION%All%&H0F%%\r\n"
    "ENDID%%%%\r\n";

TEST_F(AvrOptionsTest, FieldRowCellsMergeEachContiguousRunOfAField) {
  auto runs = [](int byte) {
    std::string all;
    for (const FuseFieldRun& r : FuseFieldRuns(byte)) {
      all += std::to_string(r.field) + "@" + std::to_string(r.firstColumn) + "+" + std::to_string(r.columns) + ";";
    }
    return all;
  };
  EXPECT_EQ(runs(0), "1@5+1;0@6+2;");   // CKOUT at bit 2, the two CKSEL bits merged
  EXPECT_EQ(runs(1), "0@4+1;");
  EXPECT_EQ(runs(2), "");                // no such byte

  DeviceTable[0].DevId = 43;
  ASSERT_TRUE(LoadFuseDefinitions(dir.Write("AVRFuses.inf", GappedDevice))) << LastErrorText;
  EXPECT_EQ(runs(0), "0@0+1;0@2+1;1@4+4;");
}

TEST(ProgrammingOptions, FramesFollowTheTypeAndDevice) {
  struct Case {
    int type;
    int32_t eeSize;
    bool jtag;
    bool secondary, security, jtagFrame;
    const char* caption;
    const char* secondaryCaption;
  };
  const Case cases[] = {
      {6, 1024, true, true, false, true, "AVR Programming Options - X", "EEPROM"},
      {6, 0, false, false, false, false, "AVR Programming Options - X", "EEPROM"},
      {7, 4096, true, false, true, false, "AVR32 Programming Options - X", "User Memory"},
      {9, 4096, true, false, false, false, "ARM Programming Options - X", "Data Flash"},
  };
  for (const Case& c : cases) {
    const ProgrammingOptionsSetup setup = ProgrammingOptionsFor(c.type, c.eeSize, c.jtag, true);
    EXPECT_EQ(setup.showSecondary, c.secondary) << c.type;
    EXPECT_EQ(setup.showAvr32Security, c.security) << c.type;
    EXPECT_EQ(setup.showJtagId, c.jtagFrame) << c.type;
    EXPECT_TRUE(setup.setBefore);
    EXPECT_EQ(setup.secondaryCaption, c.secondaryCaption);
    EXPECT_EQ(ProgrammingOptionsCaption(c.type, "X"), c.caption);
    EXPECT_TRUE(HasProgrammingOptions(c.type));
  }
  for (int type : {0, 1, 2, 5, 8}) EXPECT_FALSE(HasProgrammingOptions(type)) << type;
}

}  // namespace

namespace {

// A project's FUSE values pass the check typed ones pass; a byte it has no
// line for keeps the fuse file's default; a refusal names the line and
// takes nothing.
TEST_F(AvrOptionsTest, ProjectFuseValuesAreCheckedAsTypedOnes) {
  struct Case {
    const char* name;
    ProjectFuseLines lines;
    bool taken;
    uint8_t byte0, byte1;
    std::string error;
  };
  const Case cases[] = {
      {"no FUSE lines", {"a.vrx", {}, {}}, true, 0xFE, 0xFF, ""},
      {"only byte 1", {"a.vrx", {0, 9}, {0, 0xF7}}, true, 0xFE, 0xF7, ""},
      {"both fit", {"a.vrx", {9, 10}, {0x7B, 0x00}}, true, 0x7B, 0x00, ""},
      {"CKSEL 01 is no option", {"/p/b.vrx", {9, 10}, {0x01, 0xF7}}, false, 0xFE, 0xFF,
       "Invalid Fuse Value: 1 for fuse byte 0 (LOW) at line 9 of /p/b.vrx"},
      {"not a byte", {"/p/c.vrx", {0, 12}, {0, 300}}, false, 0xFE, 0xFF,
       "Invalid Fuse Value: 300 for fuse byte 1 (HIGH) at line 12 of /p/c.vrx"},
      {"negative", {"/p/d.vrx", {0, 4}, {0, -8}}, false, 0xFE, 0xFF,
       "Invalid Fuse Value: -8 for fuse byte 1 (HIGH) at line 4 of /p/d.vrx"},
  };
  for (const Case& c : cases) {
    SetDefaultFuses();
    ClearError();
    ProjFuses.fill(0);
    for (size_t i = 0; i < 2; ++i) ProjFuses[i] = static_cast<uint8_t>(c.lines.value[i]);
    ProjFuseLines = c.lines;
    EXPECT_EQ(TakeProjectOptions(), c.taken) << c.name;
    EXPECT_EQ(FuseValues[0], c.byte0) << c.name;
    EXPECT_EQ(FuseValues[1], c.byte1) << c.name;
    if (!c.taken) {
      EXPECT_EQ(LastErrorNumber, 1501) << c.name;
      EXPECT_EQ(LastErrorSource, "Open Project") << c.name;
      EXPECT_EQ(LastErrorText, c.error) << c.name;
    }
  }
}

}  // namespace
