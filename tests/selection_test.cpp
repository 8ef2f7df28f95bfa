// Selecting a programmer on the simulated line: type tables by generation,
// flash map, security block, serialization support and the image grid.
#include <gtest/gtest.h>
#include <unistd.h>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "operations/ImageDirectory.h"
#include "operations/Selection.h"
#include "platform/Bytes.h"
#include "platform/InputFile.h"
#include "programmers/Discovery.h"
#include "programmers/FlashMap.h"
#include "programmers/RevisionTables.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "sim/StoredImages.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/ImageManagerView.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

class RecordingImageManager : public ImageManagerView {
 public:
  void SetProgrammerPicture(const std::string& key) override { picture = key; }
  void SetProgrammerLabels(const std::string& a, const std::string& t, const std::string& f) override {
    address = a;
    type = t;
    revision = f;
  }
  void GridChanged() override { ++gridChanges; }
  std::string picture, address, type, revision;
  int gridChanges = 0;
};

std::string RevisionsFile(int first, int count, int fields, const char* generation, const char* latest) {
  std::string text;
  for (int type = first; type < first + count; ++type) {
    const std::string t = std::to_string(type);
    text += "\"T" + t + "-" + generation + "\"," + latest + ",fw" + t + ".rex,hwc" + t + ".rex,vec" + t + ".bin";
    for (int f = 5; f < fields; ++f) text += ",extra" + std::to_string(f);
    text += "\r\n";
  }
  return text;
}

const char* DeviceHeading = "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n";

class SelectionTest : public ::testing::Test {
 protected:
  SelectionTest() {
    ConnectSimLine(platform.port, line);
    frmImageMan = &imageManager;
    AppPath = dir.path();
    dir.Write("revisions.inf", RevisionsFile(1, 5, 5, "G1", "1.990"));
    dir.Write("revisionsV2.inf", RevisionsFile(0, 11, 6, "G2", "2.005"));
    dir.Write("revisionsV3.inf", RevisionsFile(0, 26, 10, "G3", "3.010"));
    dir.Write("device_V1.inf", std::string(DeviceHeading) + "2,G1Fam,g1dev,16384,255,1,HEX,2.7,3.6,1\r\n");
    dir.Write("device_V2.inf", std::string(DeviceHeading) + "2,G2Fam,g2dev,16384,255,1,HEX,2.7,3.6,1\r\n");
    dir.Write("device.inf", std::string(DeviceHeading) +
                                "2,G3Fam,g3dev,65536,255,1,HEX,2.7,3.6,1\r\n"
                                "6,F0,f0,1024,255,1,HEX,1.8,5.5,16\r\n"
                                "6,F1,f1,1024,255,1,HEX,1.8,5.5,16\r\n"
                                "6,F2,f2,1024,255,1,HEX,1.8,5.5,16\r\n"
                                "6,AVRFam,tiny,1024,255,5,HEX,1.8,5.5,2\r\n"
                                "6,AVRFam,mega,32768,255,&H312,HEX,1.8,5.5,1040\r\n"
                                "6,ATxmega AVR,xmega,139264,255,&H40,HEX,1.6,3.6,2061\r\n"
                                "1,PSoC1,psoc,16384,0,7,HEX,3.0,5.25,0\r\n");
    EXPECT_TRUE(LoadRevisionTables());
  }
  ~SelectionTest() override { frmImageMan = nullptr; }

  vrxsim::Unit& AddUnit(int type, int fwMajor, int fwMinor, int slotSizeCode = 0, bool serialization = true) {
    vrxsim::UnitConfig c;
    c.address = 5;
    c.type = type;
    c.fwMajor = fwMajor;
    c.fwMinor = fwMinor;
    c.slotSizeCode = slotSizeCode;
    c.serialization = serialization;
    return line.addUnit(c);
  }

  void Select() {
    ASSERT_TRUE(AcquireProgrammerAt(5));
    SelectProgrammer();
  }

  std::vector<std::string> Row(int row) const {
    std::vector<std::string> cells;
    for (int c = 0; c < fgImages.Cols; ++c) cells.push_back(fgImages.TextMatrix(row, c));
    return cells;
  }

  FakePlatform platform;
  vrxsim::Line line;
  RecordingImageManager imageManager;
  TempDir dir;
};

TEST_F(SelectionTest, GenerationChoosesTypeTableDeviceFileAndFlashMap) {
  struct Case { int major, minor; const char* typeName; const char* deviceFile; const char* family; bool gen2, gen3; };
  for (const Case& c : {Case{1, 250, "T2-G1", "\\device_V1.inf", "G1Fam", false, false},
                        Case{2, 0, "T2-G2", "\\device_V2.inf", "G2Fam", true, false},
                        Case{3, 1, "T2-G3", "\\device.inf", "G3Fam", true, true}}) {
    vrxsim::Line fresh;
    ConnectSimLine(platform.port, fresh);
    vrxsim::UnitConfig config;
    config.address = 5;
    config.type = 2;
    config.fwMajor = c.major;
    config.fwMinor = c.minor;
    fresh.addUnit(config);
    ASSERT_TRUE(AcquireProgrammerAt(5));
    SelectProgrammer();
    EXPECT_EQ(ProgTypeName, c.typeName);
    EXPECT_EQ(DeviceFile, c.deviceFile);
    EXPECT_EQ(FamilyList[0], c.family);
    EXPECT_EQ(FwGen2, c.gen2);
    EXPECT_EQ(FwGen3, c.gen3);
    bool readMap = false;
    for (const auto& frame : fresh.log()) {
      readMap |= frame.payload.size() == 7 && frame.payload[0] == 0x02 && frame.payload[1] == 0x00 &&
                 frame.payload[2] == 0x0F;
    }
    EXPECT_EQ(readMap, c.gen3) << c.typeName;
  }
  EXPECT_EQ(FirmwareGeneration("1.990"), 1);
  EXPECT_EQ(FirmwareGeneration("2.000"), 2);
  EXPECT_EQ(FirmwareGeneration("10.007"), 3);
}

TEST_F(SelectionTest, GenerationTwoMapDependsOnSlotSize) {
  AddUnit(2, 2, 5, 64);
  Select();
  EXPECT_EQ(FlashMap.ImageSlotSize, 0x10000);
  EXPECT_EQ(FlashMap.HwcBase[1], 0x50000);
  EXPECT_EQ(FlashMap.FirmwareSize, 0x3F00);
  EXPECT_EQ(FlashMap.HwcBase[0], 0x9000);
  EXPECT_EQ(FlashMap.VectorBase, 0x5000);
  EXPECT_EQ(FlashMap.EENameBase, 0x1EFF80);
  EXPECT_EQ(ImageBuffer.size(), 0x10001u);

  vrxsim::Line other;
  ConnectSimLine(platform.port, other);
  vrxsim::UnitConfig c;
  c.address = 5;
  c.type = 2;
  c.fwMajor = 1;
  c.fwMinor = 500;
  c.slotSizeCode = 0;
  other.addUnit(c);
  Select();
  EXPECT_EQ(FlashMap.HwcBase[1], 0x1E8000);
  EXPECT_EQ(FlashMap.FirmwareSize, 0x1F00);
  EXPECT_EQ(FlashMap.HwcBase[0], 0x8000);
  EXPECT_EQ(FlashMap.VectorBase, 0x3000);
}

TEST_F(SelectionTest, GenerationThreeTakesTheMapStoredInFlash) {
  vrxsim::Unit& unit = AddUnit(6, 3, 10);
  uint8_t* map = unit.flash() + 0xF00;
  for (int i = 0; i < 20; ++i) {
    const uint32_t value = 0x100000 + 0x1111 * i;
    for (int b = 0; b < 4; ++b) map[4 * i + b] = static_cast<uint8_t>(value >> (8 * b));
  }
  Select();
  EXPECT_EQ(FlashMap.ImageBase, 0x100000);
  EXPECT_EQ(FlashMap.ImageSlotSize, 0x101111);
  EXPECT_EQ(FlashMap.PageMapSize, 0x100000 + 0x1111 * 5);
  EXPECT_EQ(FlashMap.HwcBase[2], 0x100000 + 0x1111 * 12);
  EXPECT_EQ(FlashMap.VectorSize, 0x100000 + 0x1111 * 15);
  EXPECT_EQ(FlashMap.HwcSize[4], 0x100000 + 0x1111 * 19);
  EXPECT_EQ(FlashMap.EENameBase, 0xE00);
  EXPECT_EQ(FlashMap.Vector2Base, 0x24A000);
  EXPECT_EQ(FlashMap.Vector2Size, 0x8000);
}

TEST_F(SelectionTest, SecurityBlockRoundTripAndResetWhenItsCrcIsWrong) {
  vrxsim::Unit& unit = AddUnit(6, 3, 10);
  Select();
  ImageSecurity[0] = {25, 1, 7, 8};
  ImageSecurity[2] = {-1, 0, 0, 0};
  SecurityWord = 0x1234;
  ASSERT_TRUE(WriteSecurityBlock());
  EXPECT_TRUE(SecurityValid);
  ImageSecurity.fill(ImageSecurityEntry{0, 0, 0, 0});
  ASSERT_TRUE(ReadSecurityBlock());
  EXPECT_TRUE(SecurityValid);
  EXPECT_EQ(ImageSecurity[0].Count, 25);
  EXPECT_EQ(ImageSecurity[0].Flags, 1);
  EXPECT_EQ(ImageSecurity[0].Spare1, 7);
  EXPECT_EQ(ImageSecurity[0].Spare2, 8);
  EXPECT_EQ(ImageSecurity[2].Count, -1);
  EXPECT_EQ(SecurityWord, 0x1234);

  unit.flash()[0x21] ^= 0x40;   // damaged in the programmer
  ASSERT_TRUE(ReadSecurityBlock());
  EXPECT_FALSE(SecurityValid);
  ShowImageDirectory();
  EXPECT_TRUE(SecurityValid);
  for (const ImageSecurityEntry& e : ImageSecurity) EXPECT_EQ(e.Count, -1);
  ASSERT_TRUE(ReadSecurityBlock());
  EXPECT_TRUE(SecurityValid);
  EXPECT_EQ(ImageSecurity[0].Flags, 0);
  EXPECT_TRUE(platform.messages.boxes.empty());
}

TEST_F(SelectionTest, ImageGridOfAnAvrProgrammer) {
  vrxsim::Unit& unit = AddUnit(6, 3, 10);
  vrxsim::StoreImage(unit, {1, 32768, 0x312, 3, 165, "Widget", 0, 4000, -1, false, ""});
  vrxsim::StoreImage(unit, {3, 1024, 5, 3, 90, "Tiny board", 2, 800, 25, true, "Tiny EE"});
  vrxsim::StoreImage(unit, {4, 139264, 0x40, 4, 150, "Xmega main controller firmware", 4, 0, 0, false, ""});
  ImageNumber = 3;
  Select();

  ASSERT_EQ(fgImages.Rows, 5);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"Image", "RP", "Images Remaining", "Image Name", "Device Family",
                                              "Device Type", "Voltage", "Mode", "Clock Freq", "EEPROM Image"}));
  EXPECT_EQ(Row(1), (std::vector<std::string>{"1", "", "Unrestricted", "Widget              ", "AVRFam", "mega",
                                              "3.30", "SPI 4 MHz", "", "<none>"}));
  EXPECT_EQ(Row(2), (std::vector<std::string>{"2", "", "", "", "", "", "", "", "", ""}));
  EXPECT_EQ(Row(3), (std::vector<std::string>{"3", "RP", "25", "Tiny board          ", "AVRFam", "tiny", "1.80",
                                              "   TPI", "", "Tiny EE             "}));
  EXPECT_EQ(Row(4), (std::vector<std::string>{"4", "", "0", "Xmega main controlle", "ATxmega AVR", "xmega", "3.00",
                                              "   JTAG", "", "<none>"}));
  EXPECT_EQ(fgImages.Row, 3);
  EXPECT_EQ(ImageDirectory[1].DevCode, 0x312);
  EXPECT_EQ(ImageDirectory[2].Size, -1);
  EXPECT_EQ(CurFamily, 4);   // the family of the last stored image
  EXPECT_GE(imageManager.gridChanges, 1);
  EXPECT_EQ(imageManager.picture, "AVR");
  EXPECT_EQ(imageManager.address, "Address: 5");
  EXPECT_EQ(imageManager.type, "T6-G3");
  EXPECT_EQ(imageManager.revision, "Revision 3.010");
  EXPECT_EQ(SecondaryName, "EEPROM");
  EXPECT_TRUE(platform.window.configMenuEnabled);
  EXPECT_TRUE(platform.messages.boxes.empty());
}

TEST_F(SelectionTest, GridColumnsOfOtherTypes) {
  struct Case { int type; int cols; const char* lastHeader; const char* picture; const char* secondary; };
  for (const Case& c : {Case{1, 8, "Mode", "PSOC", "EEPROM"}, Case{2, 10, "FIB 3 Image", "Z8ENCORE", "FIB3"},
                        Case{3, 7, "Voltage", "E2", ""}, Case{9, 8, "Mode", "ARM", "Data Flash"},
                        // a type the program does not know keeps the last picture and second-memory name
                        Case{12, 7, "Voltage", "ARM", "Data Flash"}}) {
    vrxsim::Line fresh;
    ConnectSimLine(platform.port, fresh);
    vrxsim::UnitConfig config;
    config.address = 5;
    config.type = c.type;
    config.fwMajor = 2;
    config.fwMinor = 5;
    fresh.addUnit(config);
    Select();
    EXPECT_EQ(fgImages.Cols, c.cols) << c.type;
    EXPECT_EQ(fgImages.TextMatrix(0, c.cols - 1), c.lastHeader) << c.type;
    EXPECT_EQ(imageManager.picture, c.picture);
    EXPECT_EQ(SecondaryName, c.secondary);
  }
}

TEST_F(SelectionTest, GenerationOneHasNoRemainingCountHeader) {
  AddUnit(2, 1, 250);
  Select();
  EXPECT_EQ(fgImages.TextMatrix(0, ColRemaining), "");
}

TEST_F(SelectionTest, ObsoleteFirmwareIsPointedOut) {
  AddUnit(6, 3, 4);   // 3.004 against the newest 3.010
  Select();
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_EQ(platform.messages.boxes[0].text,
            "PLEASE NOTE: The firmware in this Programmer is obsolete.\r\n"
            "Please select 'Upgrade Firmware' from the Configuration menu to upgrade\r\n"
            "this Programmer's firmware to revision 3.010");
  EXPECT_EQ(platform.messages.boxes[0].title, "");
  EXPECT_EQ(platform.messages.boxes[0].style, vbOKOnly);
  EXPECT_EQ(fgImages.Rows, 5);   // selection goes on
}

TEST_F(SelectionTest, CurrentFirmwareIsNotObsolete) {
  AddUnit(6, 3, 10);
  Select();
  EXPECT_TRUE(platform.messages.boxes.empty());
}

TEST_F(SelectionTest, SerializationSupportIsAskedOnSelection) {
  AddUnit(6, 3, 10, 0, false);
  Select();
  EXPECT_FALSE(SerialSupported);
  EXPECT_TRUE(platform.messages.boxes.empty());   // the refusal is not reported
  vrxsim::Line other;
  ConnectSimLine(platform.port, other);
  vrxsim::UnitConfig c;
  c.address = 5;
  other.addUnit(c);
  Select();
  EXPECT_TRUE(SerialSupported);
}

TEST(DirEntryTest, DecodesDeviceCodeBitsFromTheFamilyByte) {
  uint8_t bytes[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB, 0x12, 165};
  bytes[28] = 0x43;
  bytes[29] = 0xC3;
  bytes[30] = 0xA0;
  bytes[31] = 0x0F;
  const DirEntry e = DecodeDirEntry(bytes);
  EXPECT_EQ(e.Size, -1);
  EXPECT_EQ(e.Family, 3);
  EXPECT_EQ(e.DevCode, 0x312);
  EXPECT_EQ(e.Mode, 0x43);
  EXPECT_EQ(e.Freq, 4000);
  EXPECT_EQ(e.ImageCrc, (std::array<uint8_t, 2>{0xAA, 0xBB}));
}

TEST(ModeTextTest, ModeAndClockTextsByType) {
  FakePlatform platform;
  struct Case { int type; uint8_t mode; int16_t flags; const char* family; int16_t freq; const char* text; };
  const Case cases[] = {
      {1, 0x40, 0, "", 0, "Reset/Run"}, {1, 0x41, 0, "", 0, "Reset/Run"}, {1, 0x01, 0, "", 0, "Power On"},
      {1, 0x00, 0, "", 0, "Reset"},     {2, 0x01, 0, "", 0, "Run"},        {2, 0x02, 0, "", 0, "Reset"},
      {8, 0x01, 0, "", 0, "Power On"},  {9, 0x03, 0, "", 0, "Run"},        {6, 0x04, 2, "", 0, "   JTAG"},
      {6, 0x00, 2, "", 0, "   TPI"},    {6, 0x00, 0, "ATxmega AVR", 0, "   PDI"},
      {6, 0x00, 16, "ATmega", 8000, "SPI 8 MHz"}, {6, 0x00, 16, "ATmega", 125, "SPI 125 KHz"},
      {6, 0x00, 16, "ATmega", 3686, "SPI 3.686 MHz"}};
  for (const Case& c : cases) {
    ProgType = static_cast<uint8_t>(c.type);
    SetStartModeNames();
    DirEntry e;
    e.Mode = c.mode;
    e.Freq = c.freq;
    EXPECT_EQ(ModeText(e, c.flags, c.family), c.text) << c.type << " mode " << int(c.mode);
  }
  EXPECT_EQ(ClockText(999, true), "999 KHz");
  EXPECT_EQ(ClockText(1000, true), "1MHz");
  EXPECT_EQ(ClockText(20000, true), "20MHz");
  ProgType = 3;
  SetStartModeNames();
  EXPECT_EQ(StartModeNames[0], "");
}

class RevisionTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { AppPath = dir.path(); }
  FakePlatform platform;
  TempDir dir;
};

TEST_F(RevisionTablesTest, MissingFileIsNamedAndTheOthersStillRead) {
  dir.Write("revisions.inf", RevisionsFile(1, 5, 5, "G1", "1.990"));
  dir.Write("revisionsV3.inf", RevisionsFile(0, 26, 10, "G3", "3.010"));
  EXPECT_FALSE(LoadRevisionTables());
  EXPECT_NE(LastErrorText.find(dir.path() + "/revisionsV2.inf"), std::string::npos) << LastErrorText;
  EXPECT_EQ(ErrorTitle, "Load Programmer Types");
  EXPECT_EQ(TypeTableV1[1].TypeName, "T1-G1");
  EXPECT_EQ(TypeTableV1[5].FirmwareFile, "fw5.rex");
  EXPECT_EQ(TypeTableV2[3].TypeName, "");
  EXPECT_EQ(TypeTableV3[25].TypeName, "T25-G3");
  EXPECT_EQ(TypeTableV3[7].VectorFile2, "extra9");
  EXPECT_FLOAT_EQ(TypeTableV3[7].LatestRevision, 3.010f);
}

TEST_F(RevisionTablesTest, OversizedTableIsRefusedUnreadAndTheOthersStillRead) {
  dir.Write("revisions.inf", RevisionsFile(1, 5, 5, "G1", "1.990"));
  const std::string huge = dir.Write("revisionsV2.inf", "");
  ASSERT_EQ(truncate(huge.c_str(), MaxInputFileBytes + 1), 0);   // sparse: nothing is written
  dir.Write("revisionsV3.inf", RevisionsFile(0, 26, 10, "G3", "3.010"));
  EXPECT_FALSE(LoadRevisionTables());
  EXPECT_EQ(LastErrorNumber, ErrFileFormat);
  EXPECT_EQ(LastErrorText, "Cannot read " + huge + ": larger than any image file (67108865 bytes; at most 67108864)");
  EXPECT_EQ(TypeTableV2[3].TypeName, "");
  EXPECT_EQ(TypeTableV1[5].FirmwareFile, "fw5.rex");
  EXPECT_EQ(TypeTableV3[25].TypeName, "T25-G3");
}

TEST_F(RevisionTablesTest, LineWithTheWrongFieldCountIsNamed) {
  dir.Write("revisions.inf", "\"A\",1.990,a.rex,b.rex,c.bin\r\n\"B\",1.990,only-three\r\n\"C\",1.5,a,b,c\r\n");
  dir.Write("revisionsV2.inf", RevisionsFile(0, 11, 6, "G2", "2.005"));
  dir.Write("revisionsV3.inf", RevisionsFile(0, 40, 10, "G3", "3.010"));   // longer than the table
  EXPECT_FALSE(LoadRevisionTables());
  EXPECT_NE(LastErrorText.find("revisions.inf, line 2"), std::string::npos) << LastErrorText;
  EXPECT_EQ(TypeTableV1[1].TypeName, "A");
  EXPECT_EQ(TypeTableV1[2].TypeName, "");
  EXPECT_EQ(TypeTableV1[3].TypeName, "C");
  EXPECT_EQ(TypeTableV3[25].TypeName, "T25-G3");
}

}  // namespace
