// Saving stored images: the HEX and IIC writers, and save → load round trips.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "devices/HexLoader.h"
#include "devices/Loaders.h"
#include "devices/Utils.h"
#include "operations/SaveImage.h"
#include "state/PublicVars.h"
#include "tests/support/FakePlatform.h"
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

}  // namespace
