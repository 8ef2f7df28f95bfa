// Text fields, lenient numbers and the device database.
#include <gtest/gtest.h>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "link/CommDefs.h"
#include "platform/NumberText.h"
#include "platform/TextFields.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<std::string> AllFields(const std::string& text) {
  TextFieldReader reader(text);
  std::vector<std::string> fields;
  std::string f;
  while (reader.ReadField(f)) fields.push_back(f);
  return fields;
}

TEST(TextFieldsTest, SplitsQuotesTrimsAndEndsFieldsAtLineEnds) {
  EXPECT_EQ(AllFields("a, b ,\"c, d\" , e\r\n6,\"\",x\n\n  \r\nlast"),
            (std::vector<std::string>{"a", "b", "c, d", "e", "6", "", "x", "last"}));
  EXPECT_EQ(AllFields("a,\r\nb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(AllFields("\"open quote, never closed"), (std::vector<std::string>{"open quote, never closed"}));
  EXPECT_EQ(AllFields("\"q\"junk,next"), (std::vector<std::string>{"q", "next"}));
  EXPECT_TRUE(AllFields("\r\n  \n").empty());
}

TEST(TextFieldsTest, ReadsLineByLine) {
  TextFieldReader reader("a,b,c\r\n\r\nd\n\"e,f\",g");
  std::vector<std::string> fields;
  ASSERT_TRUE(reader.ReadLineFields(fields));
  EXPECT_EQ(fields, (std::vector<std::string>{"a", "b", "c"}));
  ASSERT_TRUE(reader.ReadLineFields(fields));
  EXPECT_EQ(fields, (std::vector<std::string>{"d"}));
  ASSERT_TRUE(reader.ReadLineFields(fields));
  EXPECT_EQ(fields, (std::vector<std::string>{"e,f", "g"}));
  EXPECT_FALSE(reader.ReadLineFields(fields));
}

TEST(NumberTextTest, ValReadsTheLongestNumericPrefix) {
  const std::pair<const char*, double> cases[] = {
      {" 12abc", 12},   {"&H1F", 31},     {"&h312", 0x312}, {"-3.5e2x", -350}, {"abc", 0},    {"1e", 1},
      {".5", 0.5},      {"", 0},          {"+7", 7},        {"2.005", 2.005},  {"&H", 0},     {"1.2.3", 1.2},
      {"  -0.25 V", -0.25}, {"5e-1", 0.5}, {"-", 0},         {"e5", 0}};
  for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(Val(text), value) << '"' << text << '"';
}

TEST(NumberTextTest, RoundingAndTexts) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.51), 3);
  EXPECT_EQ(RoundHalfEven(1e300), INT64_MAX);   // saturates instead of overflowing
  EXPECT_EQ(RoundHalfEven(-1e300), INT64_MIN);
  EXPECT_EQ(ValWithin("1e40", -5, 5), 5);
  EXPECT_EQ(Str(2), " 2");
  EXPECT_EQ(Str(-2), "-2");
  EXPECT_EQ(CStr(4), "4");
  EXPECT_EQ(CStr(3.686), "3.686");
  EXPECT_EQ(FormatFixed(165 * 0.02, 2), "3.30");
}

const char* Heading = "6,\"HeadFamily\",\"HeadDevice\",1,2,3,HEX,1,2,3\r\n";

class DeviceDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AppPath = dir.path();
    DeviceFile = "\\device.inf";
  }
  void WriteDeviceFile(const std::string& records) { dir.Write("device.inf", std::string(Heading) + records); }

  FakePlatform platform;
  TempDir dir;
};

TEST_F(DeviceDatabaseTest, FamiliesInFileOrderWithRepeatsListedAgain) {
  WriteDeviceFile(
      "6,A,a1,1024,255,1,HEX,1.8,5.5,0\r\n"
      "9,Other,o1,1024,255,1,HEX,1.8,5.5,0\r\n"
      "6,A,a2,2048,255,2,HEX,1.8,5.5,0\r\n"
      "6,B,b1,4096,255,3,HEX,1.8,5.5,0\r\n"
      "6,A,a3,8192,255,4,HEX,1.8,5.5,0\r\n");
  ProgType = 6;
  ASSERT_TRUE(LoadDeviceFamilies());
  EXPECT_EQ(FamilyList[0], "A");
  EXPECT_EQ(FamilyList[1], "B");
  EXPECT_EQ(FamilyList[2], "A");
  EXPECT_EQ(FamilyList[3], "");
  // The first family's devices, from every run of it.
  EXPECT_EQ(CurFamily, 0);
  EXPECT_EQ(CurDevice, 0);
  EXPECT_EQ(DeviceTable[0].DevName, "a1");
  EXPECT_EQ(DeviceTable[1].DevName, "a2");
  EXPECT_EQ(DeviceTable[2].DevName, "a3");
  EXPECT_EQ(DeviceTable[3].DevName, "");
  EXPECT_TRUE(platform.messages.boxes.empty());
}

TEST_F(DeviceDatabaseTest, TypeWithoutRecordsHasNoFamiliesAndNoDevices) {
  WriteDeviceFile("6,A,a1,1024,255,1,HEX,1.8,5.5,0\r\n");
  ProgType = 4;
  ASSERT_TRUE(LoadDeviceFamilies());
  EXPECT_EQ(FamilyList[0], "");
  EXPECT_EQ(DeviceTable[0].DevName, "");
}

TEST_F(DeviceDatabaseTest, RecordFieldsQuotedCommasAndHexCodes) {
  WriteDeviceFile("\"6\",\"Fam, Ily\",\"Dev, X\",\" 8192.5\",\"254.5\",&H312,IIC,1.8,5.5,16\r\n");
  ProgType = 6;
  ASSERT_TRUE(LoadDeviceFamilies());
  EXPECT_EQ(FamilyList[0], "Fam, Ily");
  const DeviceRecord& d = DeviceTable[0];
  EXPECT_EQ(d.DevName, "Dev, X");
  EXPECT_EQ(d.DevFlashSize, 8192);   // halves round to even
  EXPECT_EQ(d.DevBlank, 254);
  EXPECT_EQ(d.DevId, 0x312);
  EXPECT_EQ(d.DevFileType, "IIC");
  EXPECT_FLOAT_EQ(d.DevVMin, 1.8f);
  EXPECT_FLOAT_EQ(d.DevVMax, 5.5f);
  EXPECT_EQ(d.DevFlags, 16);
}

TEST_F(DeviceDatabaseTest, DerivedMemorySizesByTypeAndFamily) {
  WriteDeviceFile(
      "6,F,d6,1024,255,1,HEX,1.8,5.5,&H0201\r\n"
      "7,F,d7,1024,255,1,HEX,1.8,5.5,512\r\n"
      "9,F,d9,1024,255,1,HEX,1.8,5.5,&H1100\r\n"
      "2,ZLF645,z,1024,255,1,HEX,1.8,5.5,4\r\n"
      "6,ZLF645,z6,1024,255,1,HEX,1.8,5.5,&H0201\r\n");
  struct Case { int type; const char* family; int32_t ee, aux; };
  for (const Case& c : {Case{6, "F", 512, 512}, Case{7, "F", 512, 256}, Case{9, "F", 4096, 4096},
                        Case{2, "ZLF645", 256, 0}, Case{6, "ZLF645", 256, 512}}) {
    ProgType = static_cast<uint8_t>(c.type);
    ASSERT_TRUE(LoadDeviceFamilies());
    int f = 0;
    while (FamilyList[f] != c.family) ASSERT_FALSE(FamilyList[++f].empty());
    CurFamily = f;
    LoadDeviceTypes();
    EXPECT_EQ(DeviceTable[0].DevEESize, c.ee) << c.type << " " << c.family;
    EXPECT_EQ(DeviceTable[0].DevAuxSize, c.aux) << c.type << " " << c.family;
  }
}

TEST_F(DeviceDatabaseTest, MalformedRecordKeepsTheGoodOnesBeforeIt) {
  WriteDeviceFile(
      "6,A,good1,1024,255,1,HEX,1.8,5.5,0\r\n"
      "6,A,good2,1024,255,2,HEX,1.8,5.5,0\r\n"
      "6,A,bad,1024,256,3,HEX,1.8,5.5,0\r\n"
      "6,A,after,1024,255,4,HEX,1.8,5.5,0\r\n");
  ProgType = 6;
  LoadDeviceFamilies();
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_EQ(platform.messages.boxes[0].text, "Bad Device File");
  EXPECT_EQ(platform.messages.boxes[0].title, "Kestrin Critical Error");
  EXPECT_EQ(platform.messages.boxes[0].style, vbOKOnly);
  EXPECT_EQ(DeviceTable[0].DevName, "good1");
  EXPECT_EQ(DeviceTable[1].DevName, "good2");
  EXPECT_EQ(DeviceTable[2].DevName, "");
}

TEST_F(DeviceDatabaseTest, OutOfRangeNumbersAreRecordErrors) {
  for (const char* record : {"6,A,x,3000000000,255,1,HEX,1.8,5.5,0", "6,A,x,1024,-1,1,HEX,1.8,5.5,0",
                             "6,A,x,1024,255,40000,HEX,1.8,5.5,0", "6,A,x,1024,255,1,HEX,1e99,5.5,0",
                             "6,A,x,1024,255,1,HEX,1.8,5.5,32768", "6,A,x,1024,255.5,1,HEX,1.8,5.5,0"}) {
    WriteDeviceFile(std::string(record) + "\r\n");
    platform.messages.boxes.clear();
    ProgType = 6;
    LoadDeviceFamilies();
    EXPECT_EQ(platform.messages.boxes.size(), 1u) << record;
    EXPECT_EQ(DeviceTable[0].DevName, "") << record;
  }
}

TEST_F(DeviceDatabaseTest, RecordCutShortAtTheEnd) {
  WriteDeviceFile("6,A,good,1024,255,1,HEX,1.8,5.5,0\r\n6,A,short,1024\r\n");
  ProgType = 6;
  EXPECT_FALSE(LoadDeviceFamilies());
  EXPECT_EQ(FamilyList[0], "A");
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_EQ(DeviceTable[0].DevName, "good");
  EXPECT_EQ(DeviceTable[1].DevName, "");
}

TEST_F(DeviceDatabaseTest, MissingFileKeepsTheListsAndRecordsTheError) {
  WriteDeviceFile("6,A,a1,1024,255,1,HEX,1.8,5.5,0\r\n");
  ProgType = 6;
  ASSERT_TRUE(LoadDeviceFamilies());
  DeviceFile = "\\device_V2.inf";
  EXPECT_FALSE(LoadDeviceFamilies());
  EXPECT_EQ(LastFunction, "Open device.inf on Application Path");
  EXPECT_EQ(ErrorTitle, "Load Devices");
  EXPECT_NE(LastErrorNumber, 0);
  EXPECT_EQ(FamilyList[0], "A");
  EXPECT_EQ(DeviceTable[0].DevName, "a1");
  EXPECT_TRUE(platform.messages.boxes.empty());
  LoadDeviceTypes();   // the later device-type load reports it
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_EQ(platform.messages.boxes[0].text, "Bad Device File");
}

TEST_F(DeviceDatabaseTest, NoDeviceFileNameOpensNoFolder) {
  // With no programmer selected the name is empty and the path is the program's folder.
  WriteDeviceFile("6,A,a1,1024,255,1,HEX,1.8,5.5,0\r\n");
  ProgType = 6;
  DeviceFile = "";
  EXPECT_FALSE(LoadDeviceFamilies());
  EXPECT_EQ(LastErrorNumber, ErrFileAccess);
  EXPECT_EQ(LastErrorText, "Cannot read " + dir.path() + "/: a folder, not a file");
  EXPECT_EQ(FamilyList[0], "");
  EXPECT_EQ(DeviceTable[0].DevName, "");
}

TEST_F(DeviceDatabaseTest, ByteOrderMarkBeforeTheHeading) {
  dir.Write("device.inf", "\xEF\xBB\xBF" + std::string(Heading) + "6,A,a1,1024,255,1,HEX,1.8,5.5,0\r\n");
  ProgType = 6;
  ASSERT_TRUE(LoadDeviceFamilies());
  EXPECT_EQ(FamilyList[0], "A");
  EXPECT_EQ(DeviceTable[0].DevName, "a1");
}

// Found by name in the first family (in list order) that has it, at its
// place in that family's table, whichever record of the file names it first;
// not found, the search ends at the last family's table.
TEST_F(DeviceDatabaseTest, FindDeviceByNameStopsAtTheFirstFamilyThatHasIt) {
  WriteDeviceFile(
      "6,A,a1,1024,255,1,HEX,1.8,5.5,0\r\n"
      "6,B,twin,4096,255,3,HEX,1.8,5.5,0\r\n"
      "9,A,only9,1024,255,1,HEX,1.8,5.5,0\r\n"
      "6,C,c1,4096,255,3,HEX,1.8,5.5,0\r\n"
      "6,C,Mixed,4096,255,3,HEX,1.8,5.5,0\r\n"
      "6,A,twin,8192,255,4,HEX,1.8,5.5,0\r\n");
  ProgType = 6;
  ASSERT_TRUE(LoadDeviceFamilies());
  struct Case {
    const char* name;
    bool ignoreCase;
    bool found;
    int family;
    int device;
    int32_t flash;
  };
  for (const Case& c : {Case{"twin", false, true, 0, 1, 8192}, Case{"c1", false, true, 2, 0, 4096},
                        Case{"mixed", true, true, 2, 1, 4096}, Case{"mixed", false, false, 3, 0, 1024},
                        Case{"only9", false, false, 3, 0, 1024}}) {
    CurFamily = 1;
    LoadDeviceTypes();
    EXPECT_EQ(c.ignoreCase ? FindDeviceByNameIgnoringCase(c.name) : FindDeviceByName(c.name), c.found) << c.name;
    EXPECT_EQ(CurFamily, c.family) << c.name;
    EXPECT_EQ(CurDevice, c.device) << c.name;
    EXPECT_EQ(DeviceTable[CurDevice].DevFlashSize, c.flash) << c.name;
  }
  EXPECT_TRUE(platform.messages.boxes.empty());
}

TEST_F(DeviceDatabaseTest, FindDeviceByIdReturnsZeroWhenNoneMatches) {
  WriteDeviceFile("6,A,a,1024,255,&H10,HEX,1.8,5.5,0\r\n6,A,b,1024,255,&H312,HEX,1.8,5.5,0\r\n");
  ProgType = 6;
  ASSERT_TRUE(LoadDeviceFamilies());
  EXPECT_EQ(FindDeviceById(0x312), 1);
  EXPECT_EQ(FindDeviceById(0x10), 0);
  EXPECT_EQ(FindDeviceById(0x99), 0);
}

}  // namespace
