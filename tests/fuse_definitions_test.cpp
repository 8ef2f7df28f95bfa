// Fuse definition files: the model a device's block fills, the defaults it
// gives, and every way a file can be wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "link/CommDefs.h"
#include "options/FuseDefinitions.h"
#include "options/FuseState.h"
#include "programmers/UnitState.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempDir.h"

namespace {

class FuseDefinitionsTest : public ::testing::Test {
 protected:
  FuseDefinitionsTest() {
    ProgType = 6;
    CurFamily = 1;
    CurDevice = 0;
    DeviceTable[0].DevName = "ATmega48";
    DeviceTable[0].DevId = 42;
  }
  bool Load(const std::string& text) { return LoadFuseDefinitions(dir.Write("AVRFuses.inf", text)); }

  FakePlatform platform;
  TempDir dir;
};

const char* const OtherDevice =
    "ID%7%ATtiny%0%0\r\n"
    "BYTE%0%LOW%%\r\n"
    "FIELD%X%Other%&HFF%&H00\r\n"
    "ENDID%%%%\r\n";

TEST_F(FuseDefinitionsTest, TheDevicesBlockFillsTheModelAndGivesTheDefaults) {
  ASSERT_TRUE(Load(std::string(OtherDevice) +
                   "REM%the device of these tests%%%\r\n"
                   "ID%42%ATmega48%&H0C%1\r\n"
                   "BYTE%0%LOW%%\r\n"
                   "FIELD%CKSEL%Clock source%&H0F%&H02\r\n"
                   "OPTION%External crystal%&H0F%%\r\n"
                   "OPTION%Internal RC%&H02%%\r\n"
                   "REM%a comment between options%%%\r\n"
                   "FIELD%SUT%Start-up time%&H30%&H20\r\n"
                   "BYTE%1%HIGH%%\r\n"
                   "FIELD%EESAVE%Keep EEPROM%8%8\r\n"
                   "ENDID%%%%\r\n"
                   "EOF%%%%\r\n"))
      << LastErrorText;
  EXPECT_EQ(platform.window.panels["Status"], "Loading Option Information...");
  ASSERT_EQ(NumFuseBytes, 1);
  ASSERT_EQ(FuseDefs.size(), 2u);
  EXPECT_EQ(OsccalMask, 0x0C);
  EXPECT_TRUE(HasOsccal);
  EXPECT_EQ(FuseDefs[0].Name, "LOW");
  ASSERT_EQ(FuseDefs[0].NumFields, 2);
  const FuseFieldDef& cksel = FuseDefs[0].Fields[0];
  EXPECT_EQ(cksel.Name, "CKSEL");
  EXPECT_EQ(cksel.Text, "Clock source");
  EXPECT_EQ(cksel.Mask, 0x0F);
  ASSERT_EQ(cksel.NumOptions, 2);
  EXPECT_EQ(cksel.OptionText[1], "Internal RC");
  EXPECT_EQ(cksel.OptionValue[1], 0x02);
  EXPECT_EQ(FuseDefs[0].Fields[1].NumOptions, 0);   // a field without options is taken
  EXPECT_EQ(FuseDefs[1].Name, "HIGH");
  EXPECT_EQ(FuseDefs[1].Fields[0].Default, 8);

  OsccalOpt = 3;
  AVR32SecurityF = true;
  SecondaryEnabled = true;
  SetDefaultFuses();
  EXPECT_EQ(FuseValues[0], (((0xFF & ~0x0F) | 0x02) & ~0x30) | 0x20);
  EXPECT_EQ(FuseValues[1], 0xFF);
  EXPECT_EQ(OsccalOpt, 0);
  EXPECT_FALSE(AVR32SecurityF);
  EXPECT_FALSE(SecondaryEnabled);
}

TEST_F(FuseDefinitionsTest, DefaultBitsAreOredInAsWritten) {
  ASSERT_TRUE(Load("ID%42%x%0%0\r\nBYTE%0%B%%\r\nFIELD%F%f%&H0C%&H04\r\nENDID%%%%\r\n")) << LastErrorText;
  SetDefaultFuses();
  EXPECT_EQ(FuseValues[0], 0xF7);
  EXPECT_FALSE(HasOsccal);
}

TEST_F(FuseDefinitionsTest, CommentRecordsAreSkippedInEveryState) {
  const std::string rem = "REM%a comment%%%\r\n";
  ASSERT_TRUE(Load(rem + "ID%42%x%0%1\r\n" + rem + "BYTE%0%B0%%\r\n" + rem + "FIELD%F%f%&H03%&H01\r\n" + rem +
                   "OPTION%one%1%%\r\n" + rem + "BYTE%1%B1%%\r\n" + rem + "FIELD%G%g%&H10%0\r\n" + rem +
                   "ENDID%%%%\r\n"))
      << LastErrorText;
  EXPECT_EQ(FuseDefs[0].Fields[0].NumOptions, 1);
  EXPECT_EQ(FuseDefs[1].Name, "B1");
  EXPECT_EQ(FuseDefs[1].Fields[0].Name, "G");
}

TEST_F(FuseDefinitionsTest, ArmBlocksMatchTheFamilyToo) {
  ProgType = 9;
  OsccalMask = 5;
  ASSERT_TRUE(Load("ID%42%other family%0%0\r\nBYTE%0%WRONG%%\r\nFIELD%F%f%1%1\r\nENDID%%%%\r\n"
                   "ID%42%this family%1%0\r\nBYTE%0%CONFIG0%%\r\nFIELD%LOCK%Lock%&H02%0\r\nENDID%%%%\r\n"))
      << LastErrorText;
  EXPECT_EQ(FuseDefs[0].Name, "CONFIG0");
  EXPECT_FALSE(HasOsccal);
  EXPECT_EQ(OsccalMask, 5);   // ARM blocks carry a family index there, not a calibration mask
}

struct BadFile {
  const char* name;
  std::string text;
  std::string error;   // the whole text, or its start when it names the file
};

TEST_F(FuseDefinitionsTest, EveryWayAFileCanBeWrong) {
  const std::string id = "ID%42%ATmega48%0%3\r\n";
  const std::vector<BadFile> cases = {
      {"block last and unended", id + "BYTE%0%B%%\r\nFIELD%F%f%1%1\r\n", "Unexpected EOF in Fuse File"},
      {"device not in the file", OtherDevice, "Device ID Not Found"},
      {"no bytes", id + "ENDID%%%%\r\n", "No BYTEs found for ID 42"},
      {"no fields", id + "BYTE%2%B%%\r\nENDID%%%%\r\n", "No FIELDs found for BYTE 2"},
      {"option after byte", std::string(OtherDevice) + id + "BYTE%0%B%%\r\nOPTION%o%1%%\r\n",
       "Orphan OPTION at line  7"},
      {"field after id", id + "FIELD%F%f%1%1\r\n", "Orphan FIELD at line  2"},
      {"unended before eof", id + "BYTE%0%B%%\r\n", "Unexpected EOF in Fuse File"},
      {"short record", id + "BYTE%0%B\r\n", "Record 2 of "},
      {"byte beyond the device", id + "BYTE%4%B%%\r\n", "BYTE 4 beyond the device's last fuse byte 3 at line 2 of "},
      {"too many bytes", "ID%42%x%0%8\r\n", "Fuse bytes 0 to 8 beyond the 8 bytes a device may have at line 1 of "},
      {"mask out of range", id + "BYTE%0%B%%\r\nFIELD%F%f%256%0\r\n", "Value 256 out of range 0..255 at line 3 of "},
      {"option value out of range", id + "BYTE%0%B%%\r\nFIELD%F%f%1%1\r\nOPTION%o%-1%%\r\n",
       "Value -1 out of range 0..255 at line 4 of "},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(Load(c.text));
    EXPECT_EQ(LastErrorNumber, ErrFileFormat);
    EXPECT_EQ(LastErrorText.substr(0, c.error.size()), c.error) << LastErrorText;
  }

  std::string tenFields = id + "BYTE%0%B%%\r\n";
  for (int i = 0; i < 10; ++i) tenFields += "FIELD%F" + std::to_string(i) + "%f%1%1\r\n";
  EXPECT_FALSE(Load(tenFields + "ENDID%%%%\r\n"));
  EXPECT_EQ(LastErrorText.rfind("More than 9 FIELDs in BYTE 0 at line 12 of ", 0), 0u) << LastErrorText;
  ASSERT_EQ(FuseDefs.size(), 4u);
  EXPECT_EQ(FuseDefs[0].NumFields, 9);   // what was read stays, within bounds
  SetDefaultFuses();
  EXPECT_EQ(FuseValues[0], 0xFF);

  std::string manyOptions = id + "BYTE%0%B%%\r\nFIELD%F%f%1%1\r\n";
  for (int i = 0; i < 258; ++i) manyOptions += "OPTION%o%0%%\r\n";
  EXPECT_FALSE(Load(manyOptions));
  EXPECT_EQ(LastErrorText.rfind("More than 257 OPTIONs in FIELD F at line 261 of ", 0), 0u) << LastErrorText;

  EXPECT_FALSE(LoadFuseDefinitions(dir.path() + "/missing.inf"));
  EXPECT_EQ(LastErrorNumber, ErrFileNotFound);
  EXPECT_NE(LastErrorText.find("missing.inf"), std::string::npos) << LastErrorText;
}

TEST_F(FuseDefinitionsTest, TheErrorIsShownInItsBox) {
  EXPECT_FALSE(Load("ID%42%x%0%0\r\nENDID%%%%\r\n"));
  ShowFuseDefinitionError();
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_EQ(platform.messages.boxes[0].text, "No BYTEs found for ID 42");
  EXPECT_EQ(platform.messages.boxes[0].title, "Error Parsing Fuses");
  EXPECT_EQ(platform.messages.boxes[0].style, vbOKOnly);
}

}  // namespace
