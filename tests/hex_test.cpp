// Intel HEX conversion: the line reader, the general loaders and the family
// loaders with their sections, range tests and errors.
#include <gtest/gtest.h>

#include "devices/HexLoader.h"
#include "devices/HexRecord.h"
#include "devices/Loaders.h"
#include "link/CommDefs.h"
#include "state/PublicVars.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(HexLineTest, LenientPairsAndChecksum) {
  EXPECT_TRUE(HexLine(":0300300002337A1E").ChecksumOk());
  EXPECT_EQ(HexLine(":0300300002337A1E").Offset(), 0x0030);
  EXPECT_EQ(HexLine(":0300300002337A1E").Data(2), 0x7A);
  EXPECT_FALSE(HexLine(":0300300002337A1F").ChecksumOk());
  EXPECT_EQ(HexLine(":3G").Byte(0), 3);      // a pair that is not hexadecimal: its leading digit
  EXPECT_EQ(HexLine(":G3").Byte(0), 0);
  EXPECT_EQ(HexLine(":1").Byte(0), 1);       // missing characters read as 0
  EXPECT_EQ(HexLine(":").Byte(3), 0);
  EXPECT_EQ(HexLine(":ab").Byte(0), 0xAB);
}

TEST(TextLineReaderTest, CrLfAndNulEndLinesAndEmptyLinesAreSkipped) {
  TempDir dir;
  const std::string path = dir.Write("lines.txt", std::string("one\r\n\r\ntwo\rthree\nfour\0five", 26) + "\n\n");
  TextLineReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(path, error));
  for (const char* expected : {"one", "two", "three", "four", "five", ""}) EXPECT_EQ(reader.ReadTextLine(), expected);
  EXPECT_FALSE(reader.Open(dir.path() + "/missing.hex", error));
  EXPECT_NE(error.find("missing.hex"), std::string::npos);
}

// A device of one family, selected as the dialogs leave it.
class ConversionTest : public ::testing::Test {
 protected:
  void Device(uint8_t type, const std::string& family, int32_t flash, uint8_t blank = 0xFF, int32_t ee = 0,
              int32_t aux = 0) {
    ProgType = type;
    FamilyList[0] = family;
    FamilyList[1] = "";
    CurFamily = 0;
    CurDevice = 0;
    DeviceTable[0] = DeviceRecord{};
    DeviceTable[0].DevName = "Dev";
    DeviceTable[0].DevFlashSize = flash;
    DeviceTable[0].DevBlank = blank;
    DeviceTable[0].DevEESize = ee;
    DeviceTable[0].DevAuxSize = aux;
  }
  void Files(std::initializer_list<std::string> texts) {
    FileCount = 0;
    for (const std::string& t : texts) {
      FileList[FileCount] = dir.Write("f" + std::to_string(FileCount) + ".hex", t);
      ++FileCount;
    }
  }
  bool Convert(std::initializer_list<std::string> texts) {
    Files(texts);
    return ConvertImageFiles();
  }
  Bytes At(const std::vector<uint8_t>& buffer, size_t at, size_t n) const {
    return Bytes(buffer.begin() + at, buffer.begin() + at + n);
  }

  FakePlatform platform;
  TempDir dir;
};

TEST_F(ConversionTest, GeneralLoaderEndsAtTheEndRecordAndLaterFilesOverwrite) {
  Device(6, "ATmega", 1024);
  ASSERT_TRUE(Convert({DataRecord(0x10, {1, 2, 3, 4}) + EndRecord() + DataRecord(0x20, {9}),
                       DataRecord(0x12, {0xAA}) + DataRecord(0x3FF, {7}) + EndRecord()}));
  EXPECT_EQ(At(ImageBuffer, 0x10, 4), (Bytes{1, 2, 0xAA, 4}));
  EXPECT_EQ(ImageBuffer[0x20], 0xFF);   // after the end record: not read
  EXPECT_EQ(ImageBuffer[0x3FF], 7);
  EXPECT_EQ(ImageTop, 0x3FF);
  EXPECT_EQ(ImageChecksum, 1 + 2 + 3 + 4 + 0xAA + 7);
  EXPECT_EQ(platform.window.panels["Status"], "Image Read");
  EXPECT_EQ(platform.window.panels["ExtStatus1"], "Records: 3");
  EXPECT_EQ(platform.window.panels["ExtStatus2"], "Bytes: 6");
}

TEST_F(ConversionTest, RecordReachingExactlyToTheEndIsAcceptedOneMoreByteIsNot) {
  Device(6, "ATmega", 256);
  EXPECT_TRUE(Convert({DataRecord(0xF0, Bytes(16, 0x11)) + EndRecord()}));
  EXPECT_FALSE(Convert({DataRecord(0xF1, Bytes(16, 0x11)) + EndRecord()}));
  EXPECT_EQ(LastErrorNumber, ErrAddressRange);
  EXPECT_EQ(LastErrorText, "Address Out of Range in HEX File");
  EXPECT_EQ(LastErrorSource, "Convert Hex File");
}

TEST_F(ConversionTest, GeneralLoaderAddressRecords) {
  Device(6, "ATmega", 0x30000);
  ASSERT_TRUE(Convert({LinearRecord(0x0002) + DataRecord(0x0004, {5}) + SegmentRecord(0x1000) + DataRecord(0x0001, {6}) +
                       EndRecord()}));
  EXPECT_EQ(ImageBuffer[0x20004], 5);
  EXPECT_EQ(ImageBuffer[0x10001], 6);
}

TEST_F(ConversionTest, ExtendedDataAndSkipSectionsOnTypeEight) {
  Device(8, "PSoC1", 1024, 0);
  ASSERT_TRUE(Convert({DataRecord(0, {1}) + LinearRecord(0x0010) + DataRecord(0x10, {0xE1, 0xE2}) + LinearRecord(0x0020) +
                       DataRecord(0x20, {0x55}) + LinearRecord(0x0000) + DataRecord(0x30, {0x33}) + EndRecord()}));
  EXPECT_EQ(ExtData[0x10], 0xE1);
  EXPECT_EQ(ExtData[0x11], 0xE2);
  EXPECT_EQ(ImageBuffer[0x10], 0);      // extended data is not main memory
  EXPECT_EQ(ImageBuffer[0x20], 0);      // dropped
  EXPECT_EQ(ImageBuffer[0x30], 0x33);   // base 0 again
  EXPECT_EQ(ImageChecksum, 1 + 0x33);
}

TEST_F(ConversionTest, ExtendedDataBeyondItsBlockFailsCleanly) {
  Device(8, "PSoC1", 4096, 0);
  EXPECT_FALSE(Convert({LinearRecord(0x0010) + DataRecord(0x200, {1}) + EndRecord()}));
  EXPECT_EQ(LastErrorNumber, ErrAddressRange);
}

struct BadFile {
  const char* name;
  std::string text;
  int32_t error;
  const char* description;
};

class GeneralLoaderErrors : public ConversionTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(GeneralLoaderErrors, FailWithTheirNumberAndText) {
  Device(6, "ATmega", 1024);
  EXPECT_FALSE(Convert({GetParam().text}));
  EXPECT_EQ(LastErrorNumber, GetParam().error);
  EXPECT_EQ(LastErrorText, GetParam().description);
  EXPECT_EQ(LastFunction, "Load Hex File");
}

INSTANTIATE_TEST_SUITE_P(
    Files, GeneralLoaderErrors,
    ::testing::Values(BadFile{"NoColon", DataRecord(0, {1}) + "0100000001FE\r\n", ErrFileFormat, "Illegal File Format"},
                      BadFile{"Checksum", ":0100000001FF\r\n", ErrChecksum, "Checksum Error in Hex file"},
                      BadFile{"RangeOnAnyType", HexRecordLine(0x3FF, 3, {1, 2}), ErrAddressRange,
                              "Address Out of Range in HEX File"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConversionTest, LinesEndedByCrLfOrNulAndEmptyLinesConvertAlike) {
  Device(6, "ATmega", 256);
  std::string text = DataRecord(0, {1, 2}) + "\n\n" + DataRecord(2, {3});
  text.back() = '\0';
  text += DataRecord(3, {4});
  text.replace(text.rfind("\r\n"), 2, "\r");
  text += EndRecord();
  ASSERT_TRUE(Convert({text}));
  EXPECT_EQ(At(ImageBuffer, 0, 4), (Bytes{1, 2, 3, 4}));
}

TEST_F(ConversionTest, MissingFileNamesTheFile) {
  Device(6, "ATmega", 256);
  FileList[0] = dir.path() + "/nowhere.hex";
  FileCount = 1;
  EXPECT_FALSE(ConvertImageFiles());
  EXPECT_NE(LastErrorText.find("nowhere.hex"), std::string::npos) << LastErrorText;
}

TEST_F(ConversionTest, LoadHexBufferAddsToTheRunningChecksum) {
  Device(6, "ATmega", 256);
  ImageChecksum = 100;
  EEBuffer.assign(65, 0);
  const std::string file = dir.Write("ee.hex", DataRecord(8, {1, 2}) + EndRecord());
  ASSERT_TRUE(LoadHexBuffer(EEBuffer, 64, EETop, 0xFF, file));
  EXPECT_EQ(ImageChecksum, 103);
  EXPECT_EQ(EETop, 9);
  EXPECT_EQ(EEBuffer[0], 0xFF);
  EXPECT_EQ(EEBuffer[9], 2);
  EXPECT_FALSE(LoadHexBuffer(EEBuffer, 64, EETop, 0xFF, dir.Write("big.hex", DataRecord(63, {1, 2}) + EndRecord())));
}

// ---- Family loaders ----

TEST_F(ConversionTest, PSoC3SectionsAndRange) {
  Device(1, "PSoC3", 65536, 0);
  ASSERT_TRUE(Convert({DataRecord(0x100, {1, 2}) + LinearRecord(0x8000) + DataRecord(0x10, {3}) + LinearRecord(0x9020) +
                       DataRecord(0, {4}) + EndRecord()}));
  EXPECT_EQ(ImageBuffer[0x100], 1);
  EXPECT_EQ(ImageBuffer[0x20010], 3);
  EXPECT_EQ(ImageBuffer[0x24600], 4);
  EXPECT_EQ(ImageTop, 0x101);
  EXPECT_EQ(PSoCConfigTop, 8192);   // never raised on PSoC3
  EXPECT_EQ(ImageChecksum, 1 + 2 + 3 + 4);
  EXPECT_EQ(ByteCount, 4);

  EXPECT_FALSE(Convert({LinearRecord(0x0000) + EndRecord()}));
  EXPECT_EQ(LastErrorText, "Unexpected Section in HEX file: 0000");
  EXPECT_EQ(LastErrorSource, "Read Hex File");
  EXPECT_FALSE(Convert({DataRecord(0xFFFF, {1, 2}) + EndRecord()}));
  EXPECT_EQ(LastErrorText, "Image File Contains Data Outside the Address Range of the Selected Part");
  EXPECT_FALSE(Convert({LinearRecord(0x9020) + DataRecord(0xFFF0, Bytes(16, 1)) + EndRecord()}));   // beyond the buffer
  EXPECT_EQ(LastErrorNumber, ErrAddressRange);
}

TEST_F(ConversionTest, PSoC5SectionsFlashAndConfiguration) {
  Device(1, "PSoC5", 262144, 0);
  ASSERT_TRUE(Convert({LinearRecord(0x0003) + DataRecord(0xFFFF, {7}) + LinearRecord(0x9020) + DataRecord(0x10, {9}) +
                       LinearRecord(0x8000) + DataRecord(0x9000, {5}) + EndRecord()}));
  EXPECT_EQ(ImageBuffer[0x3FFFF], 7);
  EXPECT_EQ(ImageBuffer[0x48810], 9);
  EXPECT_EQ(ImageBuffer[0x49000], 5);
  EXPECT_EQ(ImageBuffer[0x48600], 1);
  EXPECT_TRUE(HasSection9020);
  EXPECT_EQ(ImageTop, 0x3FFFF);
  EXPECT_EQ(PSoCConfigTop, 0x9000);
  EXPECT_FALSE(Convert({SegmentRecord(0x1000) + EndRecord()}));
  EXPECT_EQ(LastErrorText, "Unexpected Record Type in HEX file:  2");
}

TEST_F(ConversionTest, FamilyFileWithoutEndRecordAndFirstRecordChecksum) {
  Device(1, "CapSense", 8192, 0);
  EXPECT_FALSE(Convert({DataRecord(0, {1})}));
  EXPECT_EQ(LastErrorText, "Unexpected End of File");
  EXPECT_FALSE(Convert({":0100000001FF\r\n" + EndRecord()}));
  EXPECT_EQ(LastErrorNumber, ErrChecksum);
  EXPECT_EQ(LastErrorText, "Line Checksum Error - Record  0");
}

TEST_F(ConversionTest, FamilyRecordReadFailureStillReadsTheOtherFiles) {
  Device(1, "GEN4", 8192, 0);
  EXPECT_FALSE(Convert({DataRecord(0, {1}), DataRecord(4, {2}) + EndRecord()}));
  EXPECT_EQ(ImageBuffer[4], 2);
  EXPECT_EQ(LastErrorText, "Unexpected End of File");
}

TEST_F(ConversionTest, AVR32FlashAndUserMemory) {
  Device(7, "AVR32", 0x20000, 0xFF, 512);
  ASSERT_TRUE(Convert({LinearRecord(0x8001) + DataRecord(0x10, {1, 2}) + LinearRecord(0x8080) + DataRecord(0x1FE, {3, 4}) +
                       EndRecord()}));
  EXPECT_EQ(ImageBuffer[0x10010], 1);
  EXPECT_EQ(EEBuffer[0x1FE], 3);
  EXPECT_TRUE(SecondaryEnabled);
  EXPECT_EQ(ImageChecksum, 3);   // user memory is not summed
  EXPECT_FALSE(Convert({LinearRecord(0x8080) + DataRecord(0x1FF, {3, 4}) + EndRecord()}));
  EXPECT_EQ(LastErrorText, "Image File Contains Data Outside the Address Range for User Memory");
  for (uint16_t section : {0x7FFF, 0x8081}) {
    EXPECT_FALSE(Convert({LinearRecord(section) + EndRecord()}));
    char expected[64];
    std::snprintf(expected, sizeof expected, "Unexpected Section in HEX file: %04X", section);
    EXPECT_EQ(LastErrorText, expected);
  }
  EXPECT_TRUE(Convert({LinearRecord(0x8000) + DataRecord(0, {9}) + EndRecord()}));
  EXPECT_EQ(ImageBuffer[0], 9);
  EXPECT_FALSE(SecondaryEnabled);
}

TEST_F(ConversionTest, NuvotonDataFlashAndLoaderMemory) {
  Device(9, "Nuvoton", 0x8000, 0xFF, 4096, 4096);
  ASSERT_TRUE(Convert({DataRecord(0, {1}) + LinearRecord(0x0001) + DataRecord(0xF000, {2, 3}) + LinearRecord(0x0010) +
                       DataRecord(0, {4}) + SegmentRecord(0x0100) + DataRecord(0x0FFF, {5}) + EndRecord()}));
  EXPECT_EQ(ImageBuffer[0], 1);
  EXPECT_EQ(EEBuffer[0], 2);
  EXPECT_EQ(EEBuffer[1], 3);
  EXPECT_EQ(AuxBuffer[0], 4);
  EXPECT_EQ(ImageBuffer[0x1FFF], 5);   // segment base 0x1000
  EXPECT_EQ(ImageChecksum, 1 + 5);   // only main memory is summed
  EXPECT_FALSE(Convert({LinearRecord(0x0001) + DataRecord(0x0000, {1}) + EndRecord()}));   // between flash and data flash
  EXPECT_EQ(LastErrorText, "Image File Contains Data Outside the Address Range for Data Flash");
  EXPECT_FALSE(Convert({LinearRecord(0x0010) + DataRecord(0x0FFF, {1, 2}) + EndRecord()}));
  EXPECT_EQ(LastErrorText, "Image File Contains Data Outside the Address Range for Loader Memory");
}

TEST_F(ConversionTest, FamilyFileWithAnUnknownRecordType) {
  Device(9, "Nuvoton", 0x8000, 0xFF, 4096, 4096);
  EXPECT_FALSE(Convert({HexRecordLine(0, 6, {1}) + EndRecord()}));
  EXPECT_EQ(LastErrorText, "Unexpected Record Type in HEX file:  6");
  EXPECT_TRUE(Convert({HexRecordLine(0, 3, {0, 0, 0, 0}) + HexRecordLine(0, 5, {0, 0, 0, 0}) + EndRecord()}));
}

}  // namespace
