// REX files and the upgrades of a programmer's own areas: the scramble
// generator, the reader's checks, and firmware, hardware configuration and
// vector tables written into the in-process simulated programmer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "devices/ImageState.h"
#include "images/RexFile.h"
#include "images/RexScramble.h"
#include "link/CommDefs.h"
#include "operations/FirmwareUpgrade.h"
#include "operations/Selection.h"
#include "programmers/Discovery.h"
#include "programmers/RevisionTables.h"
#include "programmers/UnitState.h"
#include "sim/Crc16.h"
#include "sim/FlashLayout.h"
#include "sim/Line.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/RexRecords.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---- The generator ----

TEST(RexRandomTest, ResetSeedAndKeysMatchTheRuntimeGenerator) {
  RexRandom reset;
  reset.Reset();
  EXPECT_EQ(reset.State(), 0x395886u);

  // Worked out by hand from the definition, not by this code.
  struct Case {
    int seed;
    uint32_t seeded;
    uint8_t keys[4];
  };
  for (const Case& c : {Case{0x00, 0x000086, {85, 82, 22, 137}}, Case{0x01, 0x3FF086, {85, 17, 152, 196}},
                        Case{0x5A, 0xC05686, {236, 5, 149, 68}}, Case{0xFF, 0xA06F86, {239, 13, 62, 252}}}) {
    RexRandom random;
    random.Reset();
    random.Seed(c.seed);
    EXPECT_EQ(random.State(), c.seeded) << c.seed;
    for (uint8_t key : c.keys) EXPECT_EQ(random.NextKey(), key) << c.seed;
  }
  RexRandom next;
  next.Reset();
  next.Seed(0x5A);
  EXPECT_EQ(next.Next(), 0xEC3331 / 16777216.0);
}

// A firmware REX file scrambled with seed 5A by another implementation:
// DE AD BE EF at 0x10, 01 02 at 0x100.
const char* KnownRexFile = "REX 5A\r\n:12925371\r\n:E805854499D16A357C\r\n:6EED16C8962A93\r\n:FDAB0E8DB1\r\n";

TEST(RexWriterTest, WritesTheKnownFile) {
  const std::string text = WriteRexText({RexRecord{0x10, {0xDE, 0xAD, 0xBE, 0xEF}}, RexRecord{0x100, {1, 2}}},
                                        RexKindFirmware, 0x5A);
  EXPECT_EQ(text, KnownRexFile);
}

// ---- The reader ----

// A REX text whose record bodies are given unscrambled, checksums included.
std::string Scrambled(const std::vector<std::string>& plainBodies, uint32_t kind = RexKindFirmware, int seed = 0x3C) {
  char head[32];
  std::snprintf(head, sizeof head, "REX %02X\r\n:%08X\r\n", seed, kind);
  std::string text = head;
  RexRandom random;
  random.Reset();
  random.Seed(seed);
  for (std::string body : plainBodies) {
    XorRexDigits(body, random);
    text += ":" + body + "\r\n";
  }
  return text;
}

class RexFileTest : public ::testing::Test {
 protected:
  RexFileTest() { AppPath = dir.path(); }
  FakePlatform platform;
  TempDir dir;
};

TEST_F(RexFileTest, KnownFileFillsTheBufferAndTop) {
  dir.Write("fw.rex", KnownRexFile);
  ASSERT_TRUE(LoadRexFile("fw.rex", 0x11, RexKindFirmware, "Firmware", 0x200)) << LastErrorText;
  ASSERT_EQ(ImageBuffer.size(), 0x200u);
  Bytes expected(0x200, 0x11);
  expected[0x10] = 0xDE;
  expected[0x11] = 0xAD;
  expected[0x12] = 0xBE;
  expected[0x13] = 0xEF;
  expected[0x100] = 0x01;
  expected[0x101] = 0x02;
  EXPECT_EQ(ImageBuffer, expected);
  EXPECT_EQ(ImageTop, 0x101);
  EXPECT_EQ(LastErrorNumber, 0);
  EXPECT_EQ(platform.window.panels["Status"], "Image Read");
  EXPECT_EQ(platform.window.panels["ExtStatus1"], "Records:2");
  EXPECT_EQ(platform.window.panels["ExtStatus2"], "Bytes:6");
}

TEST_F(RexFileTest, RefusedFilesLeaveNoDataAndTellWhy) {
  struct Case {
    const char* name;
    std::string text;
    int32_t number;
    std::string description;
  };
  const std::string good = "040010001122334442";
  const std::string end = "00000001FF";
  for (const Case& c : {
           Case{"HwcWordGivenAsFirmware", Scrambled({good, end}, RexKindHardwareConfiguration), ErrFileFormat,
                "File is not a Firmware file."},
           Case{"FirstLineWithoutR", "XEX 3C\r\n:12925371\r\n", ErrFileFormat, "Illegal File Format"},
           Case{"SeedNotHex", "REX 3G\r\n:12925371\r\n", ErrFileFormat, "Illegal File Format"},
           Case{"KindWordTooShort", "REX 3C\r\n:1292537\r\n", ErrFileFormat, "Illegal File Format"},
           Case{"BadChecksum", Scrambled({"040010001122334443", end}), ErrChecksum, "Checksum Error in Hex file"},
           Case{"RecordWithoutColon", Scrambled({good}) + "0000000000\r\n", ErrFileFormat, "Illegal File Format"},
           Case{"NoEndRecord", Scrambled({good}), ErrFileFormat, "Illegal File Format"},
           Case{"RecordCutShort", Scrambled({"0400100011223344", end}), ErrFileFormat, "Illegal File Format"},
       }) {
    dir.Write("bad.rex", c.text);
    EXPECT_FALSE(LoadRexFile("bad.rex", 0, RexKindFirmware, "Firmware", 0x80)) << c.name;
    EXPECT_EQ(LastErrorNumber, c.number) << c.name;
    EXPECT_EQ(LastErrorText, c.description) << c.name;
    EXPECT_EQ(LastErrorSource, "Decode REX File") << c.name;
    EXPECT_EQ(LastFunction, "Load REX File") << c.name;
    EXPECT_EQ(ImageBuffer, Bytes(0x80, 0)) << c.name;
    EXPECT_EQ(ImageTop, 0) << c.name;
  }
}

TEST_F(RexFileTest, RecordsMustLieInsideTheBuffer) {
  // 4 bytes at 0x7C end exactly at the last byte of 0x80; at 0x7D one past it.
  dir.Write("edge.rex", Scrambled({"04007C0011223344D6", "00000001FF"}));
  ASSERT_TRUE(LoadRexFile("edge.rex", 0, RexKindFirmware, "Firmware", 0x80)) << LastErrorText;
  EXPECT_EQ(ImageTop, 0x7F);
  EXPECT_EQ(Bytes(ImageBuffer.end() - 4, ImageBuffer.end()), (Bytes{0x11, 0x22, 0x33, 0x44}));

  dir.Write("past.rex", Scrambled({"04007D0011223344D5", "00000001FF"}));
  EXPECT_FALSE(LoadRexFile("past.rex", 0, RexKindFirmware, "Firmware", 0x80));
  EXPECT_EQ(LastErrorNumber, ErrAddressRange);
  EXPECT_EQ(LastErrorText, "Address out of Range");
  EXPECT_EQ(ImageBuffer, Bytes(0x80, 0));
}

TEST_F(RexFileTest, MissingFileIsAFileError) {
  EXPECT_FALSE(LoadRexFile("none.rex", 0, RexKindFirmware, "Firmware", 0x80));
  EXPECT_EQ(LastErrorNumber, ErrFileNotFound);
}

// ---- Upgrades on the simulated programmer ----

const char* DeviceFileText = "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
                             "1,PSoC1,p1,4096,0,5,HEX,3.0,5.25,0\r\n";

// Firmware as the unit recognises it: "VRXF", minor, major, then filler.
Bytes FirmwareBytes(uint8_t minor, uint8_t major, size_t n) {
  Bytes b{'V', 'R', 'X', 'F', minor, major};
  for (size_t i = b.size(); i < n; ++i) b.push_back(static_cast<uint8_t>(i * 7 + 3));
  return b;
}

Bytes HwcBytes(uint8_t marker, size_t n) {
  Bytes b{0xFF, marker, 0, 0, 0x55, 0x99, 0xAA};
  for (size_t i = b.size(); i < n; ++i) b.push_back(static_cast<uint8_t>(marker + i));
  return b;
}

class UpgradeTest : public ::testing::Test {
 protected:
  UpgradeTest() {
    ConnectSimLine(platform.port, line);
    AppPath = dir.path();
    dir.Write("device.inf", DeviceFileText);
  }

  vrxsim::Unit& Select(int reloadSilenceMs = 3000) {
    vrxsim::UnitConfig c;
    c.address = 2;
    c.type = 1;
    c.reloadSilenceMs = reloadSilenceMs;
    vrxsim::Unit& unit = line.addUnit(c);
    EXPECT_TRUE(AcquireProgrammerAt(2));
    SelectProgrammer();
    EXPECT_EQ(FlashMap.FirmwareSize, 0x3F00);
    line.clearLog();  // selection may have rewritten the security block
    return unit;
  }

  void WriteRex(const std::string& name, const Bytes& data, uint32_t kind) {
    dir.Write(name, WriteRexText(RexChunks(data), kind, 0x21));
  }

  Bytes Flash(vrxsim::Unit& unit, uint32_t address, size_t n) {
    unit.advance(platform.port.nowMs);
    return Bytes(unit.flash() + address, unit.flash() + address + n);
  }

  bool Sent(uint8_t code) const {
    return std::any_of(line.log().begin(), line.log().end(),
                       [code](const vrxsim::LoggedFrame& f) { return !f.payload.empty() && f.payload[0] == code; });
  }

  FakePlatform platform;
  vrxsim::Line line;
  TempDir dir;
};

Bytes Le16(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }

TEST_F(UpgradeTest, FirmwareIsWrittenRecordedInTheConfigurationBlockAndTheUnitComesBackWithIt) {
  vrxsim::Unit& unit = Select();
  const Bytes firmware = FirmwareBytes(11, 3, 300);
  WriteRex("fw.rex", firmware, RexKindFirmware);
  FirmwareFileName = "fw.rex";
  const Bytes configBefore = Flash(unit, 0, 32);

  ASSERT_TRUE(UpgradeFirmware()) << LastErrorNumber << " " << LastErrorText;

  const uint32_t base = static_cast<uint32_t>(FlashMap.FirmwareBase);
  Bytes area = firmware;
  area.resize(0x3F00, 0);  // the rest of the area is written as zeros
  EXPECT_EQ(Flash(unit, base, 0x3F00), area);
  const uint16_t crc = vrxsim::Crc16(area.data(), area.size());
  Bytes config = configBefore;
  const Bytes record{0x00, 0x3F, uint8_t(crc), uint8_t(crc >> 8)};
  std::copy(record.begin(), record.end(), config.begin() + 4);
  EXPECT_EQ(Flash(unit, 0, 32), config);
  EXPECT_EQ(Bytes(ConfigBlock.begin() + 4, ConfigBlock.begin() + 8), record);
  EXPECT_EQ(unit.config().fwMinor, 11);
  EXPECT_EQ(ProgrammerTable[SelectedProgrammer].FwRevision, "3.011");
  EXPECT_TRUE(platform.window.enabled);
  EXPECT_EQ(platform.window.panels["Status"], "");
  EXPECT_EQ(platform.window.panels["ExtStatus1"], "");
}

TEST_F(UpgradeTest, AUnitThatNeverAnswersAgainEndsWithAnErrorAfterTheLimit) {
  Select(-1);
  WriteRex("fw.rex", FirmwareBytes(11, 3, 64), RexKindFirmware);
  FirmwareFileName = "fw.rex";
  const int before = platform.events.ticks;
  EXPECT_FALSE(UpgradeFirmware(100));
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  EXPECT_EQ(LastErrorSource, "Upgrade Firmware");
  EXPECT_EQ(LastErrorText, "No Response from Programmer after Loading Firmware");
  EXPECT_EQ(ErrorTitle, "Upgrade Firmware");
  // It waited out the limit given, not the default one.
  EXPECT_GE(platform.events.ticks - before, 100);
  EXPECT_LT(platform.events.ticks - before, FirmwareRestartLimitTicks);
  EXPECT_TRUE(platform.window.enabled);
}

TEST_F(UpgradeTest, ALineLostMidTransferLeavesTheConfigurationBlockAsItWas) {
  vrxsim::Unit& unit = Select();
  WriteRex("fw.rex", FirmwareBytes(11, 3, 300), RexKindFirmware);
  FirmwareFileName = "fw.rex";
  const Bytes configBefore = Flash(unit, 0, 32);
  // After ten firmware blocks the line goes dead.
  auto peer = platform.port.Peer;
  int blocks = 0;
  platform.port.Peer = [peer, &blocks](const Bytes& written, const std::string& settings) {
    const Bytes payload = FramePayload(written);
    if (!payload.empty() && payload[0] == CmdWriteFlash) ++blocks;
    return blocks > 10 ? Bytes{} : peer(written, settings);
  };
  platform.port.Poll = nullptr;

  EXPECT_FALSE(UpgradeFirmware());
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  EXPECT_EQ(Flash(unit, 0, 32), configBefore);
  EXPECT_FALSE(Sent(CmdLoadFirmware));
  EXPECT_TRUE(platform.window.enabled);
}

TEST_F(UpgradeTest, AFileThatIsNoFirmwareIsRefusedBeforeAnythingIsSent) {
  Select();
  WriteRex("hwc.rex", HwcBytes(1, 40), RexKindHardwareConfiguration);
  dir.Write("cut.rex", Scrambled({"040010001122334442"}));
  // 0x3F00 bytes fit the area; one more does not.
  WriteRex("big.rex", Bytes(0x3F01, 0x5A), RexKindFirmware);
  struct Case {
    const char* file;
    int32_t number;
    std::string text;
  };
  for (const Case& c : {Case{"hwc.rex", ErrFileFormat, "File is not a Firmware file."},
                        Case{"cut.rex", ErrFileFormat, "Illegal File Format"},
                        Case{"missing.rex", ErrFileNotFound, ""},
                        Case{"big.rex", ErrAddressRange, "Firmware File Larger than the Programmer's Firmware Area"}}) {
    line.clearLog();
    FirmwareFileName = c.file;
    EXPECT_FALSE(UpgradeFirmware()) << c.file;
    EXPECT_EQ(LastErrorNumber, c.number) << c.file;
    if (!c.text.empty()) {
      EXPECT_EQ(LastErrorText, c.text) << c.file;
    }
    EXPECT_TRUE(line.log().empty()) << c.file;
  }
}

TEST_F(UpgradeTest, HwcNamesUpToTheFirstEmptyOneLoadTheirTablesAndRecords) {
  vrxsim::Unit& unit = Select();
  WriteRex("a.rex", HwcBytes(0xA0, 100), RexKindHardwareConfiguration);
  WriteRex("b.rex", HwcBytes(0xB0, 50), RexKindHardwareConfiguration);
  WriteRex("d.rex", HwcBytes(0xD0, 50), RexKindHardwareConfiguration);
  HwcFileNames = {"a.rex", "b.rex", "", "d.rex", ""};
  const Bytes configBefore = Flash(unit, 0, 32);
  const auto size = static_cast<size_t>(FlashMap.HwcSize[0]);
  ASSERT_EQ(FlashMap.HwcSize[1], FlashMap.HwcSize[0]);
  const Bytes untouchedTable3 = Flash(unit, static_cast<uint32_t>(FlashMap.HwcBase[3]), 16);

  ASSERT_TRUE(LoadHardwareConfiguration()) << LastErrorNumber << " " << LastErrorText;

  Bytes a = HwcBytes(0xA0, 100), b = HwcBytes(0xB0, 50);
  a.resize(size, 0);
  b.resize(size, 0);
  EXPECT_EQ(Flash(unit, static_cast<uint32_t>(FlashMap.HwcBase[0]), size), a);
  EXPECT_EQ(Flash(unit, static_cast<uint32_t>(FlashMap.HwcBase[1]), size), b);
  EXPECT_EQ(Flash(unit, static_cast<uint32_t>(FlashMap.HwcBase[3]), 16), untouchedTable3);

  Bytes config = configBefore;
  auto put = [&config](size_t at, const Bytes& bytes) { std::copy(bytes.begin(), bytes.end(), config.begin() + at); };
  put(8, Le16(static_cast<uint32_t>(size)));
  put(10, Le16(vrxsim::Crc16(a.data(), a.size())));
  put(16, Le16(static_cast<uint32_t>(size)));
  put(18, Le16(vrxsim::Crc16(b.data(), b.size())));
  EXPECT_EQ(Flash(unit, 0, 32), config);
  EXPECT_TRUE(platform.window.enabled);
}

TEST_F(UpgradeTest, AnHwcTableWithoutTheSignatureStopsTheLoadBeforeAnyTableIsWritten) {
  vrxsim::Unit& unit = Select();
  WriteRex("a.rex", HwcBytes(0xA0, 100), RexKindHardwareConfiguration);
  Bytes unsigned_ = HwcBytes(0xB0, 50);
  unsigned_[5] = 0x98;
  WriteRex("b.rex", unsigned_, RexKindHardwareConfiguration);
  HwcFileNames = {"a.rex", "b.rex", "", "", ""};
  const Bytes configBefore = Flash(unit, 0, 32);
  const Bytes table0Before = Flash(unit, static_cast<uint32_t>(FlashMap.HwcBase[0]), 128);

  EXPECT_FALSE(LoadHardwareConfiguration());
  EXPECT_EQ(LastErrorNumber, 1506);
  EXPECT_EQ(LastErrorText, "File is Not a Hardware Configuration File");
  EXPECT_EQ(LastErrorSource, "Load HWC");
  EXPECT_EQ(ErrorTitle, "Load Hardware Configuration");
  EXPECT_FALSE(Sent(CmdWriteFlash));
  EXPECT_EQ(Flash(unit, 0, 32), configBefore);
  EXPECT_EQ(Flash(unit, static_cast<uint32_t>(FlashMap.HwcBase[0]), 128), table0Before);
}

TEST_F(UpgradeTest, VectorTablesAreCopiedUnchangedOrRefusedWithNothingWritten) {
  vrxsim::Unit& unit = Select();
  ASSERT_GT(FlashMap.VectorSize, 0);
  ASSERT_GT(FlashMap.Vector2Size, 0);
  struct Case {
    const char* name;
    bool extended;
    size_t bytes;          // file length; 0 with `missing` false: an empty file
    bool missing;
    bool rex;              // the file is a REX file
    int32_t number;        // 0: loaded
    std::string text;
    std::string source;
  };
  const auto size = static_cast<size_t>(FlashMap.VectorSize);
  const auto size2 = static_cast<size_t>(FlashMap.Vector2Size);
  for (const Case& c : {
           Case{"Fits", false, size, false, false, 0, "", ""},
           Case{"OneByteTooLong", false, size + 1, false, false, 1513, "Vector File Too Large", "Load Vectors"},
           Case{"Missing", false, 0, true, false, 1511, "Can't Open Vector File", "Load Vectors"},
           Case{"Empty", false, 0, false, false, 1512, "Error Reading Vector File", "Load Vectors"},
           Case{"RexFile", false, 0, false, true, 1512, "Error Reading Vector File", "Load Vectors"},
           Case{"ExtendedFits", true, 300, false, false, 0, "", ""},
           Case{"ExtendedOneByteTooLong", true, size2 + 1, false, false, 1513, "Extended Vector File Too Large",
                "Load Extended Vectors"},
       }) {
    line.clearLog();
    const std::string file = std::string(c.name) + ".bin";
    Bytes table(c.bytes);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i * 31 + c.bytes);
    if (c.rex) {
      dir.Write(file, KnownRexFile);
    } else if (!c.missing) {
      dir.Write(file, std::string(table.begin(), table.end()));
    }
    const uint32_t base = static_cast<uint32_t>(c.extended ? FlashMap.Vector2Base : FlashMap.VectorBase);
    const Bytes before = Flash(unit, base, std::max<size_t>(table.size(), 64));
    (c.extended ? VectorFileName2 : VectorFileName) = file;
    const bool ok = c.extended ? LoadExtendedVectorInformation() : LoadVectorInformation();
    EXPECT_EQ(ok, c.number == 0) << c.name;
    EXPECT_EQ(LastErrorNumber, c.number) << c.name;
    if (c.number == 0) {
      EXPECT_EQ(Flash(unit, base, table.size()), table) << c.name;
    } else {
      EXPECT_EQ(LastErrorText, c.text) << c.name;
      EXPECT_EQ(LastErrorSource, c.source) << c.name;
      EXPECT_FALSE(Sent(CmdWriteFlash)) << c.name;
      EXPECT_EQ(Flash(unit, base, before.size()), before) << c.name;
    }
    EXPECT_EQ(platform.window.panels["Status"], "") << c.name;
  }
}

TEST_F(UpgradeTest, NoVectorFileMeansNothingToDo) {
  Select();
  VectorFileName.clear();
  EXPECT_TRUE(LoadVectorInformation());
  EXPECT_TRUE(line.log().empty());
}

// ---- The files delivered beside the programs ----

TEST(DeliveredFilesTest, EveryTypeRecordNamesFilesThatLoadAsTheirKind) {
  FakePlatform platform;
  AppPath = KESTRIN_BIN_DIR;
  ASSERT_TRUE(LoadRevisionTables()) << LastErrorText;
  auto check = [](const ProgTypeInfo& t, int32_t firmwareSize) {
    if (t.TypeName.empty()) return;
    ASSERT_TRUE(LoadRexFile(t.FirmwareFile, 0, RexKindFirmware, "Firmware", 0x10000)) << t.FirmwareFile;
    EXPECT_LT(ImageTop, firmwareSize) << t.FirmwareFile;
    EXPECT_EQ(Bytes(ImageBuffer.begin(), ImageBuffer.begin() + 4), (Bytes{'V', 'R', 'X', 'F'})) << t.FirmwareFile;
    // The revision it brings is the type's latest.
    EXPECT_FLOAT_EQ(ImageBuffer[5] + ImageBuffer[4] / 1000.0f, t.LatestRevision) << t.FirmwareFile;
    for (const std::string& hwc : t.HwcFiles) {
      if (hwc.empty()) continue;
      ASSERT_TRUE(LoadRexFile(hwc, 0, RexKindHardwareConfiguration, "Hardware Configuration", 0x608A)) << hwc;
      EXPECT_EQ((Bytes{ImageBuffer[0], ImageBuffer[4], ImageBuffer[5], ImageBuffer[6]}), (Bytes{0xFF, 0x55, 0x99, 0xAA}))
          << hwc;
    }
    for (const std::string& vectors : {t.VectorFile, t.VectorFile2}) {
      if (vectors.empty()) continue;
      std::ifstream file(std::string(KESTRIN_BIN_DIR) + "/" + vectors, std::ios::binary | std::ios::ate);
      ASSERT_TRUE(file) << vectors;
      EXPECT_GT(file.tellg(), 0) << vectors;
      EXPECT_LE(file.tellg(), 0x4000) << vectors;
    }
  };
  for (const ProgTypeInfo& t : TypeTableV1) check(t, 0x1F00);
  for (const ProgTypeInfo& t : TypeTableV2) check(t, 0x3F00);
  for (const ProgTypeInfo& t : TypeTableV3) check(t, 0x3F00);
}

}  // namespace
