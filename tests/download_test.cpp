// Downloading converted images into a slot of the in-process simulated
// programmer: every area, the directory entry, page map, option record,
// security entry, and failures that leave the slot as it was. Also the
// program state reset that keeps one download's leftovers from the next.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <numeric>

#include "automation/DdeLink.h"
#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/FileSelection.h"
#include "images/HexLoader.h"
#include "images/HexRecord.h"
#include "images/Loaders.h"
#include "images/ProjectFile.h"
#include "images/ProjectState.h"
#include "link/CommDefs.h"
#include "link/LineState.h"
#include "operations/ImageDirectory.h"
#include "operations/ImageDownload.h"
#include "operations/LoadImage.h"
#include "operations/RunLog.h"
#include "operations/Selection.h"
#include "options/AvrOptions.h"
#include "options/FuseState.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Crc16.h"
#include "sim/Line.h"
#include "sim/StoredImages.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/ProgramState.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char* DeviceFileText =
    "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
    "6,ATmega,mega,4096,255,&H312,HEX,1.8,5.5,1040\r\n"
    "6,ATmega,mega512,4096,255,7,HEX,1.8,5.5,1\r\n"
    "6,ATxmega AVR,xmega,4096,255,8,HEX,1.6,3.6,2061\r\n"
    "7,AVR32,uc3,8192,255,3,HEX,3.0,3.6,513\r\n"
    "1,PSoC1,p1,4096,0,5,HEX,3.0,5.25,0\r\n"
    "1,PSoC5,p5,262144,0,6,HEX,2.7,5.5,0\r\n"
    "9,Nuvoton,nuc,32768,255,10,HEX,2.5,5.5,&H1101\r\n"
    "9,STM32,stm,8192,255,11,HEX,2.0,3.6,0\r\n"
    "2,Z8 Encore! F64xx,z8f,4096,255,9,HEX,3.0,3.6,2\r\n"
    "2,ZLF645,zlf,4096,255,43,HEX,2.0,3.6,4\r\n";

class DownloadTest : public ::testing::Test {
 protected:
  DownloadTest() {
    ConnectSimLine(platform.port, line);
    AppPath = dir.path();
    dir.Write("device.inf", DeviceFileText);
    dir.Write("device_V2.inf", DeviceFileText);
  }

  vrxsim::Unit& Select(int type, int slotSizeKib = 256, int fwMajor = 3) {
    vrxsim::UnitConfig c;
    c.address = 2;
    c.type = type;
    c.fwMajor = fwMajor;
    c.fwMinor = 10;
    c.slotSizeCode = slotSizeKib == 256 ? 0 : slotSizeKib == 512 ? 1 : slotSizeKib;
    c.images.push_back(vrxsim::StoredImage{3, 100, 5, 0, 150, "Before", 0, 0, 42, false, ""});
    vrxsim::Unit& unit = line.addUnit(c);
    EXPECT_TRUE(AcquireProgrammerAt(2));
    SelectProgrammer();
    return unit;
  }

  // Converts one HEX file for the named device.
  void Convert(const std::string& device, const std::string& hex) {
    ASSERT_TRUE(FindDeviceByName(device)) << device;
    FileList[0] = dir.Write("image.hex", hex);
    FileCount = 1;
    ASSERT_TRUE(ConvertImageFiles()) << LastErrorText;
  }

  Bytes Flash(vrxsim::Unit& unit, uint32_t address, size_t n) {
    unit.advance(platform.port.nowMs);
    return Bytes(unit.flash() + address, unit.flash() + address + n);
  }
  uint32_t SlotAddress(vrxsim::Unit& unit, int slot) { return unit.imageBase() + (slot - 1) * unit.imageSlotSize(); }

  size_t FramesSent() const { return line.log().size(); }

  FakePlatform platform;
  vrxsim::Line line;
  TempDir dir;
};

Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

TEST(DirectoryNameTest, CutToTwentyBytesWithoutHalfACharacter) {
  struct Case {
    const char* name;
    std::string given;
    std::string stored;
  };
  const std::string e = "\xC3\xA9";              // é in UTF-8
  const std::string euro = "\xE2\x82\xAC";      // € in UTF-8
  const std::string tail19 = "abcdefghijklmnopqrs";  // 19 bytes
  for (const Case& c : {
           Case{"Short", "Board", "Board               "},
           Case{"AsciiCut", "abcdefghijklmnopqrstuvwxyz", "abcdefghijklmnopqrst"},
           Case{"Utf8TwoByteAcrossTheCut", tail19 + e, tail19 + " "},
           Case{"Utf8ThreeByteAcrossTheCut", "abcdefghijklmnopqr" + euro, "abcdefghijklmnopqr  "},
           Case{"Utf8EndingExactlyAtTheCut", "abcdefghijklmnopqr" + e + "x", "abcdefghijklmnopqr" + e},
           // One byte a character: é is 0xE9 and the name is cut as before.
           Case{"AnsiCut", tail19 + "\xE9\xE9", tail19 + "\xE9"},
       }) {
    const std::string stored = DirectoryName(c.given);
    EXPECT_EQ(stored, c.stored) << c.name;
    EXPECT_EQ(stored.size(), 20u) << c.name;
  }
}

TEST_F(DownloadTest, AvrImageWithEntryOptionRecordPageMapAndSecurity) {
  vrxsim::Unit& unit = Select(6);
  Convert("mega", DataRecord(0x1FF, {0xA5}) + DataRecord(0x800, {1, 2, 3}) + EndRecord());
  ImageNumber = 2;
  ImageName = "An image name longer than twenty";
  ImageVoltage = 165;
  ImageMode = 1;
  ImageFreq = 4000;
  OsccalOpt = 0x21;
  OsccalAddress = 0xF80;
  FuseValues = {0xF1, 0xF2, 0xF3, 0xF4};
  JtagPart = 0x9514;
  JtagVersion = 0x3C;
  ASSERT_TRUE(LoadNewDeviceImage(false, -1)) << LastErrorNumber << " " << LastErrorText;

  const uint32_t a = SlotAddress(unit, 2);
  EXPECT_EQ(Flash(unit, a, 4096), Bytes(ImageBuffer.begin(), ImageBuffer.begin() + 4096));
  EXPECT_EQ(EntireImageChecksum, std::accumulate(ImageBuffer.begin(), ImageBuffer.begin() + 4096, 0));

  const Bytes entry = Flash(unit, 0x40 + 32, 32);
  const uint16_t crc = vrxsim::Crc16(unit.flash() + a, 4096);
  EXPECT_EQ(Bytes(entry.begin(), entry.begin() + 4), Le32(4096));
  EXPECT_EQ(entry[4], uint8_t(crc));
  EXPECT_EQ(entry[5], uint8_t(crc >> 8));
  EXPECT_EQ(entry[6], 0x12);
  EXPECT_EQ(entry[7], 165);
  EXPECT_EQ(std::string(entry.begin() + 8, entry.begin() + 28), "An image name longer");
  EXPECT_EQ(entry[28], 1);
  EXPECT_EQ(entry[29], 0xC0);   // family 0, device-code bits 8..9
  EXPECT_EQ(entry[30] | entry[31] << 8, 4000);

  EXPECT_EQ(Flash(unit, 2 * 256, 13),
            (Bytes{0x21, 0x80, 0x0F, 0, 0, 0xF2, 0xF3, 0xF4, 0xF1, 0x14, 0x95, 0x0C, 0xFF}));

  // 256-byte pages: 0x1FF is page 1, 0x800 page 8, the Osccal page 15 counts as used.
  const Bytes map = Flash(unit, FlashMap.PageMapBase + FlashMap.PageMapSize, 3);
  EXPECT_EQ(map, (Bytes{0x02, 0x81, 0x00}));

  const Bytes security = Flash(unit, 0x20, 32);
  EXPECT_EQ(Bytes(security.begin() + 7, security.begin() + 11), Le32(0xFFFFFFFF));
  const uint16_t sealed = vrxsim::Crc16(unit.flash() + 0x20, 30);
  EXPECT_EQ(security[30], uint8_t(sealed));
  EXPECT_EQ(Flash(unit, 0x40 + 64, 4), Le32(100));   // slot 3 keeps its image
  EXPECT_EQ(platform.window.panels["Status"], "");
  EXPECT_EQ(platform.window.panels["ExtStatus1"], "");
}

TEST_F(DownloadTest, PageMapWithLargePagesAndBlankNames) {
  vrxsim::Unit& unit = Select(6);
  Convert("mega512", DataRecord(0x1FF, {0xA5}) + EndRecord());
  ImageNumber = 1;
  ImageName = "";
  ImageFreq = 0;
  OsccalOpt = 0;
  ASSERT_TRUE(LoadNewDeviceImage(true, 1000));
  EXPECT_EQ(Flash(unit, FlashMap.PageMapBase, 1), Bytes{0x01});
  const Bytes entry = Flash(unit, 0x40, 32);
  EXPECT_EQ(std::string(entry.begin() + 8, entry.begin() + 28), std::string(20, ' '));
  const Bytes security = Flash(unit, 0x20, 5);
  EXPECT_EQ(Bytes(security.begin(), security.begin() + 4), Le32(1000));
  EXPECT_EQ(security[4] & 1, 1);
  EXPECT_EQ(ImageSecurity[0].Count, 1000);
}

// The device "mega" of the device file: lock, low, high and extended bytes.
const char* const MegaFuses =
    "ID%786%mega%16%3\r\n"
    "BYTE%0%LOCK%%\r\n"
    "FIELD%LB%Lock bits%&H03%&H03\r\nOPTION%None%&H03%%\r\nOPTION%Write%&H02%%\r\nOPTION%Read and write%&H00%%\r\n"
    "BYTE%1%LOW%%\r\n"
    "FIELD%CKDIV8%Divide clock by 8%&H80%&H00\r\nOPTION%On%&H00%%\r\nOPTION%Off%&H80%%\r\n"
    "FIELD%CKSEL%Clock%&H0F%&H02\r\nOPTION%Int. RC%&H02%%\r\nOPTION%Crystal%&H0F%%\r\n"
    "BYTE%2%HIGH%%\r\n"
    "FIELD%EESAVE%Keep EEPROM%&H08%&H08\r\nOPTION%No%&H08%%\r\nOPTION%Yes%&H00%%\r\n"
    "BYTE%3%EXTENDED%%\r\n"
    "FIELD%BODLEVEL%Brown-out%&H07%&H07\r\nOPTION%Off%&H07%%\r\nOPTION%2.7 V%&H05%%\r\n"
    "ENDID%%%%\r\n";

// Chosen fuses, an EEPROM image and a calibration value go into a project;
// read back, they are what the download stores, byte for byte.
TEST_F(DownloadTest, ProjectOptionsReachTheOptionRecordAndTheEepromArea) {
  vrxsim::Unit& unit = Select(6);
  dir.Write("AVRFuses.inf", MegaFuses);
  ASSERT_TRUE(FindDeviceByName("mega"));
  ASSERT_TRUE(LoadDeviceFuses()) << LastErrorText;
  EXPECT_EQ((Bytes{FuseValues[0], FuseValues[1], FuseValues[2], FuseValues[3]}), (Bytes{0xFF, 0x72, 0xFF, 0xFF}));
  ASSERT_TRUE(FuseValueFits(1, 0xFF));
  FuseValues[1] = 0xFF;                  // crystal, no divider
  ApplyFuseOption(2, 0, 1);              // keep EEPROM: F7
  ApplyFuseOption(3, 0, 1);              // brown-out at 2.7 V: FD
  ApplyFuseOption(0, 0, 1);              // write lock: FE
  SetOsccalValue(8);
  ASSERT_TRUE(SetOsccalMemory(true));
  ASSERT_TRUE(SetOsccalAddress(0x3FF, false));   // last byte of the 1 KiB EEPROM
  const std::string ee = dir.Write("cal.eep", DataRecord(0x10, {0xC0, 0xFF, 0xEE}) + EndRecord());
  ASSERT_TRUE(LoadEEFile(ee));
  EEFilePath = ee;
  EEFileTitle = "cal.eep";
  EepromFileChosen = SecondaryEnabled = true;
  FileList[0] = dir.Write("image.hex", DataRecord(0, {1, 2}) + EndRecord());
  FileCount = 1;
  ImageMode = 2;   // the EEPROM image goes with it
  const std::string project = dir.path() + "/job.vrx";
  ASSERT_TRUE(WriteProjectFile(project, "Job", "ATmega", "mega")) << LastErrorText;

  // Another device's options in between, then the project as a load reads it.
  FuseValues.fill(0);
  OsccalOpt = 0;
  OsccalAddress = 0;
  SecondaryEnabled = false;
  EEBuffer.assign(EEBuffer.size(), 0xFF);
  ASSERT_TRUE(ReadProjectForLoad(project)) << LastErrorText;
  ASSERT_TRUE(FindDeviceByName(ProjDevice));
  ASSERT_TRUE(LoadDeviceFuses());
  TakeProjectOptions();
  ASSERT_TRUE(ProjMode & 2);
  SecondaryEnabled = LoadEEFile(EEFilePath);
  ASSERT_TRUE(SecondaryEnabled);
  ASSERT_TRUE(ConvertImageFiles()) << LastErrorText;
  ImageNumber = 3;
  ImageMode = ProjMode;
  EEName = "Cal";
  ASSERT_TRUE(LoadNewDeviceImage(false, -1)) << LastErrorText;

  EXPECT_EQ(Flash(unit, 3 * 256, 13), (Bytes{0x18, 0xFF, 0x03, 0, 0, 0xFF, 0xF7, 0xFD, 0xFE, 0, 0, 0, 0xFF}));
  const Bytes eeprom = Flash(unit, 2 * FlashMap.EESlotSize + FlashMap.EEBase, 1024);
  EXPECT_EQ(Bytes(eeprom.begin() + 0x0F, eeprom.begin() + 0x14), (Bytes{0xFF, 0xC0, 0xFF, 0xEE, 0xFF}));
  EXPECT_EQ(std::count(eeprom.begin(), eeprom.end(), 0xFF), 1024 - 2);
}

// A project's FUSE lines as a load takes them: none at all leaves the fuse
// file's defaults in the option record (not 00: lock 00 locks the device,
// BODLEVEL 000 is no option); a value that fits no option is refused naming
// its line, and nothing is sent.
TEST_F(DownloadTest, ProjectFuseLinesAreCheckedAndMissingOnesTakeTheDefaults) {
  vrxsim::Unit& unit = Select(6);
  dir.Write("AVRFuses.inf", MegaFuses);
  const std::string hex = dir.Write("image.hex", DataRecord(0, {1, 2}) + EndRecord());
  struct Case {
    const char* name;
    std::string fuseLines;
    Bytes record;        // option record bytes 5..8 (low, high, extended, lock); empty: refused
    std::string error;
  };
  const Case cases[] = {
      {"no FUSE lines", "", {0x72, 0xFF, 0xFF, 0xFF}, ""},
      {"all four", "\"FUSE0:  254\"\r\n\"FUSE1:  255\"\r\n\"FUSE2:  247\"\r\n\"FUSE3:  253\"\r\n",
       {0xFF, 0xF7, 0xFD, 0xFE}, ""},
      {"lock only", "\"FUSE0:  0\"\r\n", {0x72, 0xFF, 0xFF, 0x00}, ""},
      {"BODLEVEL 000", "\"FUSE0:  255\"\r\n\"FUSE3:  0\"\r\n", {},
       "Invalid Fuse Value: 0 for fuse byte 3 (EXTENDED) at line 11 of "},
      {"not a byte", "\"FUSE2:  300\"\r\n", {}, "Invalid Fuse Value: 300 for fuse byte 2 (HIGH) at line 10 of "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string project = dir.Write(
        "job.vrx", "\"Name: Job\"\r\n\"Family: ATmega\"\r\n\"Device: mega\"\r\n\"Mode: 0\"\r\n\"Freq: 0\"\r\n"
                   "\"Voltage: 250\"\r\n\"File0: " + hex + "\"\r\n\"OsccalOpt:  0\"\r\n\"OsccalAddress:  0\"\r\n" +
                       c.fuseLines + "\"AVR32SecurityF: 0\"\r\n\"JTAG_ID: 0\"\r\n");
    // What an earlier project or device left must not count.
    ProjFuses.fill(0);
    FuseValues.fill(0);
    const Bytes before = Flash(unit, 3 * 256, 13);
    line.clearLog();

    ASSERT_TRUE(ReadProjectForLoad(project)) << LastErrorText;
    ASSERT_TRUE(FindDeviceByName(ProjDevice));
    ASSERT_TRUE(LoadDeviceFuses()) << LastErrorText;
    const bool taken = TakeProjectOptions();
    ASSERT_EQ(taken, !c.record.empty()) << LastErrorText;
    if (!taken) {
      EXPECT_EQ(LastErrorText, c.error + project);
      EXPECT_EQ(LastErrorNumber, ErrFileFormat);
      EXPECT_TRUE(line.log().empty());
      EXPECT_EQ(Flash(unit, 3 * 256, 13), before);
      continue;
    }
    OsccalOpt = 0;
    OsccalAddress = 0;
    SecondaryEnabled = false;
    ASSERT_TRUE(ConvertImageFiles()) << LastErrorText;
    ImageNumber = 3;
    ImageMode = ProjMode;
    ASSERT_TRUE(LoadNewDeviceImage(false, -1)) << LastErrorText;
    const Bytes stored = Flash(unit, 3 * 256, 13);
    EXPECT_EQ(Bytes(stored.begin() + 5, stored.begin() + 9), c.record);
  }
}

TEST_F(DownloadTest, XmegaOptionRecordCarriesEightFuses) {
  vrxsim::Unit& unit = Select(6);
  Convert("xmega", DataRecord(0, {1}) + EndRecord());
  ImageNumber = 1;
  OsccalOpt = 0;
  OsccalAddress = 0;
  FuseValues = {0, 1, 2, 3, 4, 5, 6, 7};
  ASSERT_TRUE(LoadNewDeviceImage(false, -1));
  EXPECT_EQ(Flash(unit, 256, 13), (Bytes{0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 0}));
}

TEST_F(DownloadTest, DataBeyondThePartFailsBeforeAnyCommand) {
  Select(6);
  Convert("mega", DataRecord(0, {1}) + EndRecord());
  ImageTop = 5000;
  const size_t before = FramesSent();
  EXPECT_FALSE(LoadNewDeviceImage(false, -1));
  EXPECT_EQ(LastErrorNumber, ErrImageRange);
  EXPECT_EQ(LastErrorSource, "Load Target Image");
  EXPECT_EQ(LastErrorText, "Image File Contains Data Outside the Address Range of the Selected Part");
  EXPECT_EQ(FramesSent(), before);
}

TEST_F(DownloadTest, OneFlippedByteInTheReadBackLeavesTheSlotEmptyAndSecurityAsItWas) {
  vrxsim::Unit& unit = Select(6);
  Convert("mega", DataRecord(0x10, {1, 2, 3}) + EndRecord());
  ImageNumber = 3;
  Bytes entryBefore = Flash(unit, 0x40 + 64, 32);
  const Bytes securityBefore = Flash(unit, 0x20, 32);
  vrxsim::FaultConfig flip{vrxsim::FaultKind::Corrupt};
  flip.command = 0x02;
  flip.after = 3;   // the security block twice and the empty mark's read-back come first
  flip.count = 1;
  line.addFault(flip);
  EXPECT_FALSE(LoadNewDeviceImage(false, -1));
  EXPECT_EQ(LastErrorNumber, ErrReadVerify);
  EXPECT_EQ(LastErrorSource, "Image Read Verify");
  EXPECT_EQ(LastErrorText, "Read-Verify Error");
  std::fill(entryBefore.begin(), entryBefore.begin() + 4, 0);   // marked empty, nothing else touched
  EXPECT_EQ(Flash(unit, 0x40 + 64, 32), entryBefore);
  EXPECT_EQ(Flash(unit, 0x20, 32), securityBefore);
  EXPECT_EQ(ImageSecurity[2].Count, 42);
}

TEST_F(DownloadTest, PSoC5AreasAndTheRaisedMode) {
  vrxsim::Unit& unit = Select(1, 512, 2);
  Convert("p5", LinearRecord(0x0000) + DataRecord(0, {1, 2}) + LinearRecord(0x8000) + DataRecord(0x20, {3}) +
                    LinearRecord(0x9020) + DataRecord(0, {4}) + EndRecord());
  ImageNumber = 1;
  ImageMode = 1;
  ASSERT_TRUE(LoadNewDeviceImage(false, -1)) << LastErrorText;
  const uint32_t a = SlotAddress(unit, 1);
  EXPECT_EQ(Flash(unit, a + 0x40000 + 0x20, 1), Bytes{3});
  EXPECT_EQ(Flash(unit, a + 0x48800, 1), Bytes{4});
  EXPECT_EQ(Flash(unit, a + 0x48600, 1), Bytes{1});
  EXPECT_EQ(ImageMode, 129);   // the 0x9020 section raises the stored mode
  EXPECT_EQ(Flash(unit, 0x40 + 28, 1), Bytes{129});
  EXPECT_EQ(Flash(unit, 0x40 + 30, 2), (Bytes{0, 0}));   // no frequency on this type
  // Every byte of the configuration (up to PSoCConfigTop) and extended areas is in the checksum.
  int32_t expected = 1 + 2;
  for (int32_t i = 0; i <= PSoCConfigTop; ++i) expected += ImageBuffer[0x40000 + i];
  for (int32_t i = 0; i < 1540; ++i) expected += ImageBuffer[0x48000 + i];
  EXPECT_EQ(EntireImageChecksum, expected);
}

TEST_F(DownloadTest, PSoC1ExtendedDataBlock) {
  vrxsim::Unit& unit = Select(1, 256, 2);
  Convert("p1", DataRecord(0, {7}) + EndRecord());
  ExtData[0] = 0xE0;
  ExtData[255] = 0xEF;
  ImageNumber = 2;
  ASSERT_TRUE(LoadNewDeviceImage(false, -1));
  const Bytes block = Flash(unit, 2 * 256, 256);
  EXPECT_EQ(block[0], 0xE0);
  EXPECT_EQ(block[255], 0xEF);
}

TEST_F(DownloadTest, NuvotonDataFlashLoaderFlashAndFuses) {
  vrxsim::Unit& unit = Select(9, 512);
  Convert("nuc", DataRecord(0, {1}) + LinearRecord(0x0001) + DataRecord(0xF000, {2}) + LinearRecord(0x0010) +
                     DataRecord(0, {3}) + EndRecord());
  ImageNumber = 1;
  NumFuseBytes = 3;
  FuseValues = {0xA1, 0xA2, 0xA3, 0xA4};
  ASSERT_TRUE(LoadNewDeviceImage(false, -1)) << LastErrorText;
  const uint32_t a = SlotAddress(unit, 1);
  EXPECT_EQ(Flash(unit, a + 0x40000, 1), Bytes{2});
  EXPECT_EQ(Flash(unit, a + 0x50000, 1), Bytes{3});
  EXPECT_EQ(Flash(unit, a + 0x60000, 4), (Bytes{0xA1, 0xA2, 0xA3, 0xA4}));
  EXPECT_EQ(Flash(unit, FlashMap.PageMapBase, 1), Bytes{0x01});   // 512-byte pages
}

TEST_F(DownloadTest, SecondMemoryImageAndName) {
  vrxsim::Unit& unit = Select(6);
  Convert("mega", DataRecord(0, {1}) + EndRecord());
  EEBuffer.assign(1025, 0xFF);
  EEBuffer[3] = 0x33;
  EETop = 3;
  EEName = "Calibration table";
  SecondaryEnabled = true;
  ImageNumber = 4;
  ASSERT_TRUE(LoadNewDeviceImage(false, -1)) << LastErrorText;
  EXPECT_EQ(Flash(unit, FlashMap.EEBase + 3 * FlashMap.EESlotSize + 3, 1), Bytes{0x33});
  const Bytes name = Flash(unit, FlashMap.EENameBase + 3 * 32, 20);
  EXPECT_EQ(std::string(name.begin(), name.end()), "Calibration table   ");

  EETop = 2000;
  EXPECT_FALSE(LoadNewDeviceImage(false, -1));
  EXPECT_EQ(LastErrorText, "EEPROM File Contains Data Outside the Address Range of the Selected Part");
}

TEST_F(DownloadTest, ChosenOptionBytesOverwriteWhatTheFilesGave) {
  vrxsim::Unit& unit = Select(2);
  ASSERT_TRUE(FindDeviceByName("z8f"));
  ImageLoadSettings settings;
  settings.files = {dir.Write("image.hex", DataRecord(0, {0x12, 0x34, 0x56}) + EndRecord())};
  settings.writeSerialization = false;

  // Without a choice the image keeps the file's bytes 0 and 1.
  settings.image = 1;
  ASSERT_TRUE(LoadImageFromFiles(settings)) << LastErrorText;
  EXPECT_EQ(Flash(unit, SlotAddress(unit, 1), 4), (Bytes{0x12, 0x34, 0x56, 0xFF}));

  // Read and flash protect on an erased variant 2 image: FA, and byte 1's constant with both bits set.
  settings.image = 2;
  settings.optionKind = OptionBitsKind::Z8Encore;
  settings.optionBytes = {0xFA, 0xFF};
  ASSERT_TRUE(LoadImageFromFiles(settings)) << LastErrorText;
  EXPECT_EQ(Flash(unit, SlotAddress(unit, 2), 4), (Bytes{0xFA, 0xFF, 0x56, 0xFF}));
  EXPECT_EQ(FileChecksum, 0x12 + 0x34 + 0x56);   // the file's sum, as converted
}

TEST_F(DownloadTest, ZlfOptionBytesGoIntoTheFib3Page) {
  vrxsim::Unit& unit = Select(2);
  ASSERT_TRUE(FindDeviceByName("zlf"));
  EEBuffer.assign(257, 0xFF);   // the family always carries the page
  EEName = "FIB3";
  SecondaryEnabled = true;
  ImageLoadSettings settings;
  settings.image = 3;
  settings.files = {dir.Write("image.hex", DataRecord(0, {0x12, 0x34}) + EndRecord())};
  settings.writeSerialization = false;
  settings.optionKind = OptionBitsKind::Zlf;
  settings.optionBytes = {0xA5, 0xFE};
  ASSERT_TRUE(LoadImageFromFiles(settings)) << LastErrorText;
  EXPECT_EQ(Flash(unit, SlotAddress(unit, 3), 3), (Bytes{0x12, 0x34, 0xFF}));
  const Bytes page = Flash(unit, FlashMap.EEBase + 2 * FlashMap.EESlotSize, 256);
  EXPECT_EQ(page[0xFE], 0xA5);
  EXPECT_EQ(page[0xFF], 0xFE);
  EXPECT_EQ(std::count(page.begin(), page.end(), 0xFF), 254);
}

TEST_F(DownloadTest, ImageLargerThanTheSlotIsRefused) {
  Select(1, 64, 2);   // 64 KiB slots cannot hold the 256 KiB part
  Convert("p5", LinearRecord(0x0000) + DataRecord(0, {1}) + EndRecord());
  ImageNumber = 1;
  const size_t before = FramesSent();
  EXPECT_FALSE(LoadNewDeviceImage(false, -1));
  EXPECT_EQ(LastErrorNumber, ErrImageRange);
  EXPECT_EQ(FramesSent(), before);
}

// The operator's Cancel during a download: stopped before its next block.
// Before the slot is marked empty nothing is written; after, the slot stays
// empty. Either way the other slot and the security block (every slot's
// protection and count) are as they were, and the run log says cancelled.
TEST_F(DownloadTest, CancelStopsTheDownloadBetweenBlocks) {
  struct Case {
    const char* name;
    std::function<bool()> cancelNow;   // asked at every turn of the event loop
    bool markedEmpty;
  };
  const Case cases[] = {
      {"BeforeAnythingIsWritten", [] { return true; }, false},
      {"DuringTheImage",
       [this] { return !platform.window.progressValues.empty() && platform.window.progressValues.back() >= 25; },
       true},
  };
  int address = 2;   // a unit of its own for each case
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vrxsim::UnitConfig config;
    config.address = address;
    config.type = 6;
    config.images.push_back(vrxsim::StoredImage{2, 100, 5, 0, 150, "Other", 0, 0, 250, true, ""});
    config.images.push_back(vrxsim::StoredImage{3, 100, 5, 0, 150, "Before", 0, 0, 42, false, ""});
    vrxsim::Unit& unit = line.addUnit(config);
    ASSERT_TRUE(AcquireProgrammerAt(address++));
    SelectProgrammer();
    ASSERT_TRUE(FindDeviceByName("mega"));
    RunLogFolder = dir.path() + "/log-" + c.name;
    const Bytes other = Flash(unit, 0x40 + 32, 32);
    Bytes entry = Flash(unit, 0x40 + 64, 32);
    const Bytes security = Flash(unit, 0x20, 32);
    const Bytes image = Flash(unit, SlotAddress(unit, 3), 4096);

    ImageLoadSettings settings;
    settings.image = 3;
    settings.files = {dir.Write("image.hex", DataRecord(0x10, {1, 2, 3}) + EndRecord())};
    settings.name = "Never stored";
    settings.writeSerialization = false;
    platform.window.progressValues.clear();
    const size_t before = FramesSent();
    platform.events.OnTurn = [&] {
      if (c.cancelNow()) CancelRequest = true;
    };
    EXPECT_FALSE(LoadImageFromFiles(settings));
    platform.events.OnTurn = nullptr;
    EXPECT_EQ(LastErrorNumber, ErrCancelled);
    EXPECT_EQ(LastErrorText, CancelledText);

    size_t writes = 0;
    for (size_t i = before; i < line.log().size(); ++i) writes += line.log()[i].payload.at(0) == 0x01;
    if (c.markedEmpty) {
      std::fill(entry.begin(), entry.begin() + 4, 0);
      EXPECT_GE(writes, 2u);   // the mark, then some of the image's 16 blocks
      EXPECT_LT(writes, 12u);
    } else {
      EXPECT_EQ(writes, 0u);
      EXPECT_EQ(Flash(unit, SlotAddress(unit, 3), 4096), image);
    }
    EXPECT_EQ(Flash(unit, 0x40 + 64, 32), entry);
    EXPECT_EQ(Flash(unit, 0x40 + 32, 32), other);
    EXPECT_EQ(Flash(unit, 0x20, 32), security);
    EXPECT_EQ(ImageSecurity[1].Count, 250);
    EXPECT_EQ(ImageSecurity[2].Count, 42);

    std::vector<RunRecord> logged;
    for (const std::string& file : RunLogFiles(RunLogFolder)) {
      ReadRunLogFile(file, [&](const RunRecord& r) { logged.push_back(r); });
    }
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].result, "Cancelled");
    EXPECT_EQ(logged[0].code, ErrCancelled);
  }
  // The next load is not cancelled by the Cancel of the last one.
  ASSERT_TRUE(CancelRequest);
  ImageLoadSettings settings;
  settings.image = 3;
  settings.files = {dir.Write("image.hex", DataRecord(0x10, {1, 2, 3}) + EndRecord())};
  settings.name = "Stored";
  settings.writeSerialization = false;
  EXPECT_TRUE(LoadImageFromFiles(settings)) << LastErrorNumber << " " << LastErrorText;
  ShowImageDirectory();
  EXPECT_EQ(SlotImageName(3), "Stored");
  EXPECT_EQ(SlotImageName(2), "Other");
}

// ---- Program state reset ----

// One piece of program state: how a test leaves it behind, and whether it is
// at the value the program starts with.
struct StateCase {
  const char* name;
  std::function<void()> dirty;
  std::function<bool()> atStart;
};

bool Blank(const DeviceRecord& d) {
  return d.DevName.empty() && d.DevFlashSize == 0 && d.DevBlank == 0 && d.DevId == 0 && d.DevFileType.empty() &&
         d.DevVMin == 0 && d.DevVMax == 0 && d.DevFlags == 0 && d.DevEESize == 0 && d.DevAuxSize == 0;
}

template <typename Array>
bool AllEmpty(const Array& strings) {
  return std::all_of(strings.begin(), strings.end(), [](const std::string& s) { return s.empty(); });
}

std::vector<StateCase> StateCases() {
  static TextLineReader reader;
  return {
      {"SecondaryEnabled", [] { SecondaryEnabled = true; }, [] { return !SecondaryEnabled; }},
      {"EETop", [] { EETop = 2000; }, [] { return EETop == 0; }},
      {"ImageBuffer", [] { ImageBuffer.assign(4097, 0xA5); }, [] { return ImageBuffer.empty(); }},
      {"EEBuffer", [] { EEBuffer.assign(1025, 0x33); }, [] { return EEBuffer.empty(); }},
      {"ImageDirectory",
       [] {
         ImageDirectory.resize(5);
         ImageDirectory[1].Size = 4096;
       },
       [] { return ImageDirectory.empty(); }},
      {"DeviceTable",
       [] {
         DeviceTable[0].DevName = "mega";
         DeviceTable[MaxDeviceTypes].DevFlashSize = 4096;
       },
       [] { return std::all_of(DeviceTable.begin(), DeviceTable.end(), Blank); }},
      {"FamilyList", [] { FamilyList[0] = "ATmega"; }, [] { return AllEmpty(FamilyList); }},
      {"CurDevice", [] { CurDevice = 3; }, [] { return CurDevice == -1; }},
      {"AppPath", [] { AppPath = "/elsewhere"; }, [] { return AppPath == "."; }},
      {"ImageNumber", [] { ImageNumber = 4; }, [] { return ImageNumber == 1; }},
      {"ImageCountLimit", [] { ImageCountLimit = 25; }, [] { return ImageCountLimit == -1; }},
      {"ImageSecurity", [] { ImageSecurity[2] = {42, 1, 7, 8}; },
       [] {
         return std::all_of(ImageSecurity.begin(), ImageSecurity.end(), [](const ImageSecurityEntry& e) {
           return e.Count == -1 && e.Flags == 0 && e.Spare1 == 0 && e.Spare2 == 0;
         });
       }},
      {"FlashMap",
       [] {
         FlashMap.EEBase = 0x1000;
         FlashMap.HwcBase[4] = 7;
       },
       [] { return FlashMap.EEBase == 0 && FlashMap.HwcBase == std::array<int32_t, 5>{}; }},
      {"ImageGrid",
       [] {
         fgImages.Resize(5, 10);
         fgImages.Row = 3;
       },
       [] { return fgImages.Rows == 0 && fgImages.Cols == 0 && fgImages.Row == 0 && fgImages.Cells.empty(); }},
      {"ErrorRecord",
       [] {
         LastErrorNumber = 1500;
         LastErrorText = "No Response from Programmer";
         Err.Number = 1500;
       },
       [] { return LastErrorNumber == 0 && LastErrorText.empty() && Err.Number == 0; }},
      {"TypeTableV3", [] { TypeTableV3[7].TypeName = "T7"; },
       [] {
         return std::all_of(TypeTableV3.begin(), TypeTableV3.end(),
                            [](const ProgTypeInfo& t) { return t.TypeName.empty() && t.FirmwareFile.empty(); });
       }},
      {"CurrentPicture", [] { CurrentPicture = "AVR"; }, [] { return CurrentPicture.empty(); }},
      {"CurrentFile", [] { CurrentFile = &reader; }, [] { return CurrentFile == nullptr; }},
      {"LastBreathTime", [] { LetWindowsBreathe(); },
       [] { return LastBreathTime == std::chrono::steady_clock::time_point{}; }},
      // The test's FakePlatform binds these.
      {"PlatformBindings", [] {}, [] { return !MSComm1 && !Events && !Settings && !MessageBox && !frmMain; }},
  };
}

class ProgramStateResetTest : public ::testing::TestWithParam<StateCase> {};

TEST_P(ProgramStateResetTest, PutsTheStateBackToItsStartValue) {
  FakePlatform platform;
  GetParam().dirty();
  ASSERT_FALSE(GetParam().atStart()) << "the case did not change " << GetParam().name;
  ResetProgramState();
  EXPECT_TRUE(GetParam().atStart()) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Globals, ProgramStateResetTest, ::testing::ValuesIn(StateCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
