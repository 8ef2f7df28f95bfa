// Saving stored images: the HEX and IIC writers, and save → load round trips.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include <filesystem>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/HexLoader.h"
#include "images/Loaders.h"
#include "link/CommDefs.h"
#include "link/FlashCrc.h"
#include "operations/RunLog.h"
#include "operations/SaveImage.h"
#include "operations/Selection.h"
#include "platform/Bytes.h"
#include "platform/FileDialogs.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Crc16.h"
#include "sim/Line.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

class HexWriterTest : public ::testing::Test {
 protected:
  void Image(size_t size) {
    ImageBuffer.resize(size + 1);
    for (size_t i = 0; i < size; ++i) ImageBuffer[i] = static_cast<uint8_t>(i * 7 + (i >> 16));
  }
  FakePlatform platform;
};

TEST(HexFormatTest, Hex2Hex4AndWordSwap) {
  EXPECT_EQ(Hex2(0x5), "05");
  EXPECT_EQ(Hex2(0x1AB), "AB");
  EXPECT_EQ(Hex2(-1), "FF");
  EXPECT_EQ(Hex4(-4096), "F000");
  EXPECT_EQ(Hex4(0x12345), "2345");
  Bytes b{1, 2, 3, 4, 5, 6, 7, 8, 9};
  SwapBytes32(b, 7);
  EXPECT_EQ(b, (Bytes{4, 3, 2, 1, 8, 7, 6, 5, 9}));
  EXPECT_EQ(HexDataLine(0x1000, Bytes{0x12, 0x34, 0x56}.data(), 3), ":0310000012345651\r\n");
}

TEST_F(HexWriterTest, HundredBytesOfATypeTwoImage) {
  ProgType = 2;
  Image(100);
  const std::vector<std::string> lines = Lines(WriteHexFile(100, "Z8 Encore! F64xx"));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].substr(0, 9), ":20000000");
  EXPECT_EQ(lines[1].substr(0, 9), ":20002000");
  EXPECT_EQ(lines[2].substr(0, 9), ":20004000");
  EXPECT_EQ(lines[3].substr(0, 9), ":04006000");
  EXPECT_EQ(lines[4], ":00000001FF");
}

TEST_F(HexWriterTest, SegmentRecordsAfterEach64KiB) {
  ProgType = 2;
  Image(0x20000);
  std::vector<std::string> lines = Lines(WriteHexFile(0x20000, "Z8 Encore! F64xx"));
  EXPECT_EQ(lines[2048], ":020000040001F9");
  EXPECT_EQ(lines.size(), 4096u + 1 + 1);   // no address record after the last byte
  ProgType = 6;
  lines = Lines(WriteHexFile(0x20000, "ATmega"));
  EXPECT_EQ(lines[2048], ":020000021000EC");
}

TEST_F(HexWriterTest, TypeSevenWordsReversedAndUserPage) {
  ProgType = 7;
  Image(8);
  EEBuffer = {0xA0, 0xA1, 0xA2, 0xA3};
  const std::vector<std::string> lines = Lines(WriteHexFile(8, "AVR32"));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], ":0200000480007A");
  EXPECT_EQ(lines[1].substr(9, 8), "150E0700");   // bytes 00 07 0E 15 written as one reversed word
  EXPECT_EQ(lines[2], ":020000048080FA");
  EXPECT_EQ(lines[3].substr(0, 17), ":04000000A3A2A1A0");
}

TEST_F(HexWriterTest, PSoC1ImagesCarryTheExtendedDataLines) {
  ProgType = 1;
  Image(4);
  std::vector<std::string> lines = Lines(WriteHexFile(4, "PSoC1"));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], ":020000040010EA");
  EXPECT_EQ(lines[2], ":20000000" + std::string(64, '0') + "E0");
  EXPECT_EQ(lines[3], ":20002000" + std::string(64, '0') + "C0");
  lines = Lines(WriteHexFile(4, "PSoC5"));
  EXPECT_EQ(lines.size(), 2u);
}

TEST_F(HexWriterTest, NuvotonDataFlashAndLoaderRecords) {
  ProgType = 9;
  Image(4);
  EEBuffer = Bytes(40, 0x11);
  AuxBuffer = Bytes(2, 0x22);
  const std::vector<std::string> lines = Lines(WriteHexFile(4, "Nuvoton"));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[1], ":020000040001F9");
  EXPECT_EQ(lines[2].substr(0, 9), ":20F00000");
  EXPECT_EQ(lines[3].substr(0, 9), ":08F02000");
  EXPECT_EQ(lines[4], ":020000040010EA");
  EXPECT_EQ(lines[5], ":020000002222BA");
}

TEST_F(HexWriterTest, IicScript) {
  ImageBuffer = {0x01, 0xAB, 0xFF};
  EXPECT_EQ(WriteIicFile(3), "w 00 A0 0301 AB FF \r\n");
}

// Saving and loading again gives the same memories.
struct RoundTrip {
  const char* name;
  int type;
  const char* family;
  int32_t flash, ee, aux;
};

class SaveLoadRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(SaveLoadRoundTrip, SavedFileLoadsBackToTheSameImage) {
  FakePlatform platform;
  TempDir dir;
  const RoundTrip& c = GetParam();
  ProgType = static_cast<uint8_t>(c.type);
  FamilyList[0] = c.family;
  CurFamily = 0;
  CurDevice = 0;
  DeviceTable[0] = DeviceRecord{};
  DeviceTable[0].DevName = "Dev";
  DeviceTable[0].DevFlashSize = c.flash;
  DeviceTable[0].DevBlank = 0xFF;
  DeviceTable[0].DevEESize = c.ee;
  DeviceTable[0].DevAuxSize = c.aux;

  Bytes image(static_cast<size_t>(c.flash)), ee(static_cast<size_t>(c.ee)), aux(static_cast<size_t>(c.aux));
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
  for (size_t i = 0; i < ee.size(); ++i) ee[i] = static_cast<uint8_t>(i + 1);
  for (size_t i = 0; i < aux.size(); ++i) aux[i] = static_cast<uint8_t>(0x80 + i);
  ImageBuffer = image;
  ImageBuffer.push_back(0);
  EEBuffer = ee;
  AuxBuffer = aux;
  const std::string text = WriteHexFile(c.flash, c.family);

  FileList[0] = dir.Write("saved.hex", text);
  FileCount = 1;
  ASSERT_TRUE(ConvertImageFiles()) << LastErrorText;
  Bytes loaded(ImageBuffer.begin(), ImageBuffer.begin() + c.flash);
  Bytes loadedEE(EEBuffer.begin(), EEBuffer.begin() + c.ee);
  if (c.type == 7) {   // words were saved reversed; loading for download reverses them back
    SwapBytes32(loaded, c.flash - 1);
    SwapBytes32(loadedEE, c.ee - 1);
  }
  EXPECT_EQ(loaded, image);
  if (c.ee > 0) {
    EXPECT_EQ(loadedEE, ee);
  }
  if (c.aux > 0) {
    EXPECT_EQ(Bytes(AuxBuffer.begin(), AuxBuffer.begin() + c.aux), aux);
  }
}

INSTANTIATE_TEST_SUITE_P(Types, SaveLoadRoundTrip,
                         ::testing::Values(RoundTrip{"Z8", 2, "Z8 Encore! F64xx", 0x18000, 0, 0},
                                           RoundTrip{"Avr", 6, "ATmega", 0x20000, 0, 0},
                                           RoundTrip{"Avr32", 7, "AVR32", 0x12000, 512, 0},
                                           RoundTrip{"Nuvoton", 9, "Nuvoton", 0x8000, 4096, 4096},
                                           RoundTrip{"Arm", 9, "STM32F1", 0x10040, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FlashCrcTest, MatchesTheProgrammersCrc) {
  const std::string check = "123456789";
  EXPECT_EQ(FlashCrc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x29B1);
  EXPECT_EQ(FlashCrc16(nullptr, 0), 0xFFFF);
  Bytes data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + (i >> 5));
  const uint16_t unit = vrxsim::Crc16(data.data(), data.size());
  EXPECT_EQ(FlashCrc16(data.data(), data.size()), unit);
  EXPECT_EQ(FlashCrcBytes(data.data(), data.size()),
            (std::array<uint8_t, 2>{static_cast<uint8_t>(unit & 0xFF), static_cast<uint8_t>(unit >> 8)}));
}

// Saving a stored image from the in-process simulated programmer. Each type
// uploads different areas: 6 the image only, 7 the image and its second
// memory, 9 the image, its data flash and its loader area.
struct SaveType {
  int type;
  int device;         // device code of the stored image
  int32_t ee, aux;    // second-memory / data-flash and loader bytes the device has
};

constexpr int32_t StoredSize = 4096;   // 16 ReadFlash replies
constexpr int Slot = 2;

const char* const TestDevices =
    "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
    "6,ATmega,mega,4096,255,&H312,HEX,1.8,5.5,1040\r\n"
    "7,AVR32,uc3,8192,255,1,HEX,3.0,3.6,513\r\n"
    "9,Nuvoton,nu,8192,255,6,HEX,2.5,5.5,&H1101\r\n";

SaveType TypeCase(int type) {
  switch (type) {
    case 7: return {7, 1, 512, 512};
    case 9: return {9, 6, 4096, 4096};
    default: return {6, 0x312, 0, 0};
  }
}

class SaveFromProgrammerTest : public ::testing::Test {
 protected:
  SaveFromProgrammerTest() {
    ConnectSimLine(platform.port, line);
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    AppPath = dir.path();
    dir.Write("device.inf", TestDevices);
    target = dir.path() + "/saved.hex";
  }

  // A unit with the image in slot 2, selected as the user would, its extra
  // areas filled with a pattern of their own.
  void Select(const SaveType& c) {
    vrxsim::UnitConfig config;
    config.address = 3;
    config.type = c.type;
    config.slots = 4;
    config.slotSizeCode = 64;
    vrxsim::StoredImage image;
    image.slot = Slot;
    image.size = StoredSize;
    image.device = c.device;
    config.images.push_back(image);
    unit = &line.addUnit(config);
    ASSERT_TRUE(AcquireProgrammerAt(3)) << LastErrorText;
    SelectProgrammer();
    ASSERT_EQ(ImageDirectory[Slot].Size, StoredSize);
    slotAddress = (Slot - 1) * FlashMap.ImageSlotSize + FlashMap.ImageBase;
    if (c.type == 7) Fill((Slot - 1) * FlashMap.EESlotSize + FlashMap.EEBase, c.ee, 0x11);
    if (c.type == 9) {
      Fill(slotAddress + 0x40000, c.ee, 0x22);
      Fill(slotAddress + 0x50000, c.aux, 0x33);
    }
    ImageNumber = Slot;
  }
  void Fill(int32_t address, int32_t count, uint8_t seed) {
    for (int32_t i = 0; i < count; ++i) unit->flash()[address + i] = static_cast<uint8_t>(seed + i * 5);
  }
  Bytes Flash(int32_t address, int32_t count) const {
    return Bytes(unit->flash() + address, unit->flash() + address + count);
  }

  // What the file must hold: the unit's own flash areas, written as HEX.
  std::string ExpectedHex(const SaveType& c) {
    ImageBuffer = Flash(slotAddress, StoredSize);
    ImageBuffer.push_back(0);
    if (c.type == 7) EEBuffer = Flash((Slot - 1) * FlashMap.EESlotSize + FlashMap.EEBase, c.ee);
    if (c.type == 9) {
      EEBuffer = Flash(slotAddress + 0x40000, c.ee);
      AuxBuffer = Flash(slotAddress + 0x50000, c.aux);
    }
    return WriteHexFile(StoredSize, FamilyList[CurFamily]);
  }

  std::string FileText(const std::string& path) const {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  }
  // Every file in the folder besides the device file.
  std::vector<std::string> Written() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      if (e.path().filename() != "device.inf") names.push_back(e.path().filename().string());
    }
    return names;
  }

  FakePlatform platform;
  vrxsim::Line line;
  vrxsim::Unit* unit = nullptr;
  TempDir dir;
  std::string target;
  int32_t slotAddress = 0;
};

class CleanSave : public SaveFromProgrammerTest, public ::testing::WithParamInterface<int> {};

TEST_P(CleanSave, ReplacesTheFileWithTheFlashAsHex) {
  const SaveType c = TypeCase(GetParam());
  Select(c);
  dir.Write("saved.hex", "old content\r\n");
  ASSERT_TRUE(SaveImageAs(target, false)) << LastErrorNumber << " " << LastErrorText;
  EXPECT_EQ(LastErrorNumber, 0);
  const std::string saved = FileText(target);
  EXPECT_EQ(saved, ExpectedHex(c));
  EXPECT_EQ(Written(), std::vector<std::string>{"saved.hex"});   // nothing left beside it
}

TEST_F(SaveFromProgrammerTest, TypeSixFileIsTheImageInThirtyTwoByteRecords) {
  Select(TypeCase(6));
  ASSERT_TRUE(SaveImageAs(target, false)) << LastErrorText;
  // Built here from the stored pattern (i * 7 + slot), not by the writer under test.
  std::string expected;
  for (int o = 0; o < StoredSize; o += 32) {
    Bytes record;
    for (int i = o; i < o + 32; ++i) record.push_back(static_cast<uint8_t>(i * 7 + Slot));
    expected += DataRecord(static_cast<uint16_t>(o), record);
  }
  expected += EndRecord();
  EXPECT_EQ(FileText(target), expected);
}

INSTANTIATE_TEST_SUITE_P(Types, CleanSave, ::testing::Values(6, 7, 9),
                         [](const auto& info) { return "Type" + std::to_string(info.param); });

// One damaged ReadFlash reply of the save, counted from its first upload.
struct DamagedReply {
  const char* name;
  int type;
  int reply;
  bool existing;   // a file of that name is there before the save
  bool iic = false;
};

class DamagedSave : public SaveFromProgrammerTest, public ::testing::WithParamInterface<DamagedReply> {};

// A damaged reply is read again: the file holds exactly the flash.
TEST_P(DamagedSave, IsReadAgainAndTheFileIsExact) {
  const DamagedReply& d = GetParam();
  const SaveType c = TypeCase(d.type);
  Select(c);
  vrxsim::FaultConfig fault{vrxsim::FaultKind::Corrupt};
  fault.command = CmdReadFlash;
  fault.after = d.reply;
  fault.count = 1;
  line.addFault(fault);
  if (d.existing) dir.Write("saved.hex", "old content\r\n:00000001FF\r\n");

  ASSERT_TRUE(SaveImageAs(target, d.iic)) << LastErrorNumber << " " << LastErrorText;
  EXPECT_FALSE(platform.window.progressVisible);
  const std::string saved = FileText(target);
  if (d.iic) {
    ImageBuffer = Flash(slotAddress, StoredSize);
    EXPECT_EQ(saved, WriteIicFile(StoredSize));
  } else {
    EXPECT_EQ(saved, ExpectedHex(c));
  }
  EXPECT_EQ(Written(), std::vector<std::string>{"saved.hex"});
}

// Uploads that never agree fail with 1505 and leave the file as it was.
TEST_F(SaveFromProgrammerTest, UploadsThatNeverAgreeLeaveTheFileAlone) {
  Select(TypeCase(6));
  unit->flash()[slotAddress + 100] ^= 0x01;   // so that the stored CRC cannot vouch for the upload
  for (int reply = 0; reply < 16; reply += 4) {   // a different block of each upload is damaged
    vrxsim::FaultConfig fault{vrxsim::FaultKind::Corrupt};
    fault.command = CmdReadFlash;
    fault.after = reply * 17;
    fault.count = 1;
    line.addFault(fault);
  }
  const std::string old = "old content\r\n:00000001FF\r\n";
  dir.Write("saved.hex", old);
  EXPECT_FALSE(SaveImageAs(target, false));
  EXPECT_EQ(LastErrorNumber, ErrReadVerify);
  EXPECT_EQ(LastErrorText, "Read-Verify Error");
  EXPECT_EQ(LastErrorSource, "Save Image");
  EXPECT_EQ(FileText(target), old);
  EXPECT_EQ(Written(), std::vector<std::string>{"saved.hex"});
}

// A line that stops answering fails the save and leaves the file as it was.
TEST_F(SaveFromProgrammerTest, ALostLineLeavesTheFileAlone) {
  Select(TypeCase(6));
  vrxsim::FaultConfig fault{vrxsim::FaultKind::Drop};
  fault.command = CmdReadFlash;
  fault.after = 5;
  line.addFault(fault);
  const std::string old = "old content\r\n";
  dir.Write("saved.hex", old);
  EXPECT_FALSE(SaveImageAs(target, false));
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  EXPECT_EQ(FileText(target), old);
  EXPECT_EQ(Written(), std::vector<std::string>{"saved.hex"});
}

// Type 6: image replies 0..15. Type 7: then the second memory, read twice
// (16, 17 and 18, 19). Type 9: data flash twice (16..31, 32..47), then the
// loader area twice (48..63, 64..79).
INSTANTIATE_TEST_SUITE_P(
    Replies, DamagedSave,
    ::testing::Values(DamagedReply{"ImageFirstBlockIic", 6, 0, true, true}, DamagedReply{"ImageMiddle", 6, 7, true},
                      DamagedReply{"ImageLastBlock", 6, 15, true}, DamagedReply{"NoFileBefore", 6, 9, false},
                      DamagedReply{"Avr32Image", 7, 3, true}, DamagedReply{"Avr32SecondMemoryFirstRead", 7, 17, true},
                      DamagedReply{"Avr32SecondMemorySecondRead", 7, 18, true},
                      DamagedReply{"ArmImage", 9, 15, true}, DamagedReply{"ArmDataFlashFirstRead", 9, 20, true},
                      DamagedReply{"ArmDataFlashSecondRead", 9, 47, true},
                      DamagedReply{"ArmLoaderFirstRead", 9, 48, true}, DamagedReply{"ArmLoaderSecondRead", 9, 79, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaveFromProgrammerTest, ImageNotMatchingItsDirectoryCrcIsNotSaved) {
  Select(TypeCase(6));
  unit->flash()[slotAddress + 100] ^= 0x01;   // changed in the programmer since it was stored
  const std::string old = "kept\r\n";
  dir.Write("saved.hex", old);
  EXPECT_FALSE(SaveImageAs(target, false));
  EXPECT_EQ(LastErrorNumber, ErrReadVerify);
  EXPECT_EQ(FileText(target), old);
}

TEST_F(SaveFromProgrammerTest, UnwritablePlaceFailsBeforeUploading) {
  Select(TypeCase(6));
  const size_t framesBefore = line.log().size();
  const std::string path = dir.path() + "/missing-folder/saved.hex";
  EXPECT_FALSE(SaveImageAs(path, false));
  EXPECT_EQ(LastErrorNumber, ErrFileNotFound);
  EXPECT_EQ(LastErrorText, "Cannot create " + path);
  EXPECT_EQ(line.log().size(), framesBefore);
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/missing-folder"));
}

// A save dialog that only counts that it was asked.
class AskedDialogs : public FileDialogs {
 public:
  bool Show(const FileDialogRequest&, std::string&) override {
    ++asked;
    return false;
  }
  int asked = 0;
};

// An empty slot has nothing to save, whichever way the save is reached: error
// 7 in the last-error record, no frame sent, no file made or replaced, and
// the run log records the refusal, never "OK".
TEST_F(SaveFromProgrammerTest, EmptySlotIsRefusedByEveryEntryPoint) {
  Select(TypeCase(6));   // slot 2 holds the image, slot 1 nothing
  AskedDialogs dialogs;
  FileDial1 = &dialogs;
  RunLogFolder = dir.path() + "/log";
  const std::string existing = dir.Write("existing.hex", "kept\r\n");
  struct Case {
    const char* name;
    std::function<bool(const std::string&)> save;
  } cases[] = {
      {"Hex", [](const std::string& path) { return SaveImageAs(path, false); }},
      {"Iic", [](const std::string& path) { return SaveImageAs(path, true); }},
      {"Named", [](const std::string& path) { return SaveImageToFile(path); }},     // automation
      {"Dialog", [](const std::string&) { return SaveImageToFile(""); }},         // the window
  };
  int refusals = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& path : {dir.path() + "/" + c.name + ".hex", existing}) {
      ImageNumber = 1;
      const size_t frames = line.log().size();
      EXPECT_FALSE(c.save(path));
      ++refusals;
      EXPECT_EQ(LastErrorNumber, ErrSlotEmpty);
      EXPECT_EQ(LastErrorText, "Selected Image is Empty");
      EXPECT_EQ(LastErrorSource, "Save Image");
      EXPECT_EQ(line.log().size(), frames);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/" + c.name + ".hex"));
    EXPECT_EQ(FileText(existing), "kept\r\n");
  }
  EXPECT_EQ(dialogs.asked, 0);
  FileDial1 = nullptr;

  std::vector<RunRecord> logged;
  for (const std::string& file : RunLogFiles(RunLogFolder)) {
    ReadRunLogFile(file, [&](const RunRecord& r) { logged.push_back(r); });
  }
  ASSERT_EQ(static_cast<int>(logged.size()), refusals);
  for (const RunRecord& r : logged) {
    EXPECT_EQ(r.operation, "save");
    EXPECT_EQ(r.slot, 1);
    EXPECT_EQ(r.result, "7");
  }

  // The slot that holds the image still saves.
  ImageNumber = Slot;
  EXPECT_TRUE(SaveImageAs(target, false)) << LastErrorText;
  EXPECT_EQ(FileText(target), ExpectedHex(TypeCase(6)));
}

}  // namespace
