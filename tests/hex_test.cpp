// Intel HEX conversion: the line reader, the general loaders and the family
// loaders with their sections, range tests and errors.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <functional>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/HexLoader.h"
#include "images/HexRecord.h"
#include "images/Loaders.h"
#include "link/CommDefs.h"
#include "platform/InputFile.h"
#include "programmers/UnitState.h"
#include "state/ErrorState.h"
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

TEST(TextLineReaderTest, LineNumbersCountEmptyLinesAndCrLfOnce) {
  TempDir dir;
  TextLineReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(dir.Write("n.txt", std::string("a\r\n\r\nb\rc\n\0d", 11)), error));
  for (const auto& [text, line] : std::vector<std::pair<std::string, int>>{{"a", 1}, {"b", 3}, {"c", 4}, {"d", 6}, {"", 7}}) {
    EXPECT_EQ(reader.ReadTextLine(), text);
    EXPECT_EQ(reader.LineNumber(), line) << text;
  }
  ASSERT_TRUE(reader.Open(dir.Write("e.txt", "x\n"), error));
  EXPECT_EQ(reader.ReadTextLine(), "x");
  EXPECT_EQ(reader.ReadTextLine(), "");
  EXPECT_EQ(reader.LineNumber(), 2);   // after a last line that is ended
}

TEST(HexLineTest, LengthMustMatchTheCountAndOnlyDigitsCount) {
  struct Case {
    const char* text;
    bool lengthMatches;
    bool digits;
  };
  for (const Case& c : {Case{":0300300002337A1E", true, true}, Case{":0300300002337A1E \t", true, true},
                        Case{":0300300002337A", false, true}, Case{":0300300002337A1E00", false, true},
                        Case{":00000001FF", true, true}, Case{":", false, true}, Case{":03003000023G7A1E", true, false}}) {
    EXPECT_EQ(HexLine(c.text).LengthMatches(), c.lengthMatches) << c.text;
    EXPECT_EQ(HexLine(c.text).AllHexDigits(), c.digits) << c.text;
  }
}

// Decode must say what AllHexDigits, LengthMatches and ChecksumOk say, in
// that order, and give the bytes Byte() reads, on every kind of line: short
// and full-length records, a digit spoilt at each place, cut at each length,
// lower case, blanks at the end.
TEST(HexLineTest, DecodeAgreesWithTheLineChecks) {
  auto record = [](size_t count, uint8_t seed) {
    std::vector<uint8_t> data(count);
    for (size_t k = 0; k < count; ++k) data[k] = static_cast<uint8_t>(seed + k * 37);
    std::string line = HexRecordLine(0x1234, 0, data);
    return line.substr(0, line.size() - 2);   // without its CR LF
  };
  std::vector<std::string> lines{":", ":0", ":00000001FF", ":00000001FF \t", ":02000004ffff" "fc", "::00", ":0 00000001FF"};
  for (size_t count : {0, 1, 7, 8, 16, 32, 200, 255}) {
    const std::string good = record(count, static_cast<uint8_t>(count));
    lines.push_back(good);
    lines.push_back(good + "  ");
    lines.push_back(good + "00");
    lines.push_back(good + "0");
    std::string lower = good;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    lines.push_back(lower);
    std::string wrongSum = good;
    wrongSum.back() = wrongSum.back() == '0' ? '1' : '0';
    lines.push_back(wrongSum);
    for (size_t at = 1; at < good.size(); at += (count > 32 ? 7 : 1)) {
      for (char bad : {'G', ' ', '/', ':', '@', '`', 'g', '\x80'}) {
        std::string spoilt = good;
        spoilt[at] = bad;
        lines.push_back(spoilt);
      }
      lines.push_back(good.substr(0, at));
    }
  }
  lines.push_back(":FF" + std::string(2 * 259, '0') + "00");   // more pairs than any record holds
  lines.push_back(":FF" + std::string(2 * 262, '0') + "G");
  for (const std::string& text : lines) {
    const HexLine line(text);
    HexLine::Record decoded;
    const HexLine::Check check = line.Decode(decoded);
    if (!line.AllHexDigits()) {
      EXPECT_EQ(check, HexLine::Check::IllegalCharacter) << text;
    } else if (!line.LengthMatches()) {
      EXPECT_EQ(check, HexLine::Check::LengthMismatch) << text;
    } else {
      ASSERT_EQ(check, HexLine::Check::Ok) << text;
      unsigned data = 0;
      for (int i = 0; i < line.Count() + 5; ++i) EXPECT_EQ(decoded.bytes[i], line.Byte(i)) << text << " byte " << i;
      for (int k = 0; k < line.Count(); ++k) data += line.Data(k);
      EXPECT_EQ(decoded.ChecksumOk(), line.ChecksumOk()) << text;
      EXPECT_EQ(decoded.DataSum(), data) << text;
      EXPECT_EQ(decoded.Offset(), line.Offset()) << text;
      EXPECT_EQ(decoded.Type(), line.Type()) << text;
    }
  }
}

// The lines and line numbers of a text read whole, as the reader must give
// them whatever blocks the file is read in.
std::vector<std::pair<std::string, int>> LinesOf(const std::string& text) {
  std::vector<std::pair<std::string, int>> lines;
  auto isEnd = [](char c) { return c == '\r' || c == '\n' || c == '\0'; };
  size_t pos = 0;
  int ends = 0;
  for (;;) {
    while (pos < text.size() && isEnd(text[pos])) {
      pos += text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n' ? 2 : 1;
      ++ends;
    }
    const size_t start = pos;
    while (pos < text.size() && !isEnd(text[pos])) ++pos;
    if (start == pos) {
      lines.emplace_back("", ends + (!text.empty() && !isEnd(text.back()) ? 2 : 1));
      return lines;
    }
    lines.emplace_back(text.substr(start, pos - start), ends + 1);
  }
}

TEST(TextLineReaderTest, LinesAcrossBlocksKeepTheirTextAndNumbers) {
  // Lines of every length up to a few hundred, each end kind, a CR LF split
  // at each place around the block size, and one line longer than a block.
  std::string text;
  const std::string ends[] = {"\r\n", "\n", "\r", std::string("\0", 1), "\r\n\r\n", "\n\r"};
  for (int i = 0; text.size() < 600000; ++i) {
    text += std::string(static_cast<size_t>(i * 7 % 301 + 1), static_cast<char>('a' + i % 26));
    text += ends[i % 6];
    if (i == 500) text += std::string(300000, 'L') + "\r\n";
  }
  for (size_t cut : {size_t{1} << 17, (size_t{1} << 17) - 1, (size_t{1} << 17) + 1, size_t{1} << 18}) {
    std::string shifted = text.substr(0, cut - 1) + "\r\n" + text.substr(cut - 1);
    for (bool ended : {true, false}) {
      const std::string file = ended ? shifted : shifted + "last";
      TempDir dir;
      TextLineReader reader;
      std::string error;
      ASSERT_TRUE(reader.Open(dir.Write("blocks.txt", file), error)) << error;
      for (const auto& [expected, number] : LinesOf(file)) {
        const std::string_view line = reader.ReadTextLine();
        ASSERT_EQ(line, expected) << "cut " << cut << ", line " << number;
        ASSERT_EQ(reader.LineNumber(), number) << "cut " << cut;
      }
      EXPECT_FALSE(reader.ReadFailed());
    }
  }
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

// Files that once converted to a blank or partly blank image.
struct RefusedFile {
  const char* name;
  std::string text;
  const char* description;   // "{file}" stands for the file's path
};

std::string WithFile(std::string text, const std::string& file) {
  const size_t at = text.find("{file}");
  if (at != std::string::npos) text.replace(at, 6, file);
  return text;
}

// ":" and then bytes of no meaning, none of them a line end.
std::string GarbageAfterColon() {
  std::string text = ":";
  uint32_t x = 12345;
  for (int i = 0; i < 64; ++i) {
    x = x * 1103515245 + 12345;
    char c = static_cast<char>(x >> 16);
    if (c == '\r' || c == '\n' || c == '\0') c = 'x';
    text += c;
  }
  return text;
}

const std::vector<RefusedFile>& GeneralRefusals() {
  static const std::vector<RefusedFile> cases{
      {"Empty", "", "No Data in HEX File: {file}, line 1"},
      {"Nuls", std::string(1000, '\0'), "No Data in HEX File: {file}, line 1001"},
      {"OnlyTheEndRecord", EndRecord(), "No Data in HEX File: {file}, line 1"},
      {"GarbageAfterColon", GarbageAfterColon(), "Illegal Character in HEX Record: {file}, line 1"},
      {"NoEndRecord", DataRecord(0, {1, 2}) + DataRecord(2, {3}), "Unexpected End of File: {file}, line 3"},
      {"CutInsideARecord", DataRecord(0, {1, 2}) + ":0400100001", "Record Length Does Not Match Its Line: {file}, line 2"},
      // Reads leniently as a good record with its checksum, the missing byte as 0.
      {"ShortRecordPassingItsChecksum", DataRecord(0, {1}) + "\r\n:0200000001FD\r\n" + EndRecord(),
       "Record Length Does Not Match Its Line: {file}, line 3"},
      {"LongRecord", ":0100000001FE00\r\n" + EndRecord(), "Record Length Does Not Match Its Line: {file}, line 1"},
      {"DataAfterAZeroLengthRecord", DataRecord(0, {1}) + HexRecordLine(0, 0, {}) + DataRecord(4, {2}) + EndRecord(),
       "Data After the Zero-Length Record of Line 2: {file}, line 3"},
  };
  return cases;
}

class GeneralLoaderRefusals : public ConversionTest, public ::testing::WithParamInterface<RefusedFile> {};

TEST_P(GeneralLoaderRefusals, FormatErrorNamingTheFileAndLine) {
  Device(6, "ATmega", 1024);
  ImageChecksum = 0;
  EXPECT_FALSE(Convert({GetParam().text}));
  EXPECT_EQ(LastErrorNumber, ErrFileFormat);
  EXPECT_EQ(LastErrorText, WithFile(GetParam().description, FileList[0]));
  EXPECT_EQ(LastErrorSource, "Convert Hex File");
}

INSTANTIATE_TEST_SUITE_P(Files, GeneralLoaderRefusals, ::testing::ValuesIn(GeneralRefusals()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConversionTest, ZeroLengthRecordWithoutDataAfterItIsPassedOver) {
  Device(6, "ATmega", 1024);
  ASSERT_TRUE(Convert({DataRecord(0, {1}) + HexRecordLine(0, 0, {}) + LinearRecord(0) + EndRecord()})) << LastErrorText;
  EXPECT_EQ(ImageBuffer[0], 1);
  EXPECT_EQ(ImageTop, 0);
}

TEST_F(ConversionTest, SecondMemoryFileIsHeldToTheSameRules) {
  Device(6, "ATmega", 256);
  EEBuffer.assign(65, 0);
  EXPECT_FALSE(LoadHexBuffer(EEBuffer, 64, EETop, 0xFF, dir.Write("ee.hex", DataRecord(8, {1, 2}))));
  EXPECT_EQ(LastErrorNumber, ErrFileFormat);
  EXPECT_EQ(LastErrorText, "Unexpected End of File: " + dir.path() + "/ee.hex, line 2");
}

TEST_F(ConversionTest, NoFileAtAllIsRefused) {
  Device(6, "ATmega", 256);
  FileCount = 0;
  FileList.fill("");
  EXPECT_FALSE(ConvertImageFiles());
  EXPECT_EQ(LastErrorNumber, ErrFileNotFound);
  EXPECT_EQ(LastErrorText, "No Image File Chosen");
}

// What is not a file of readable size: refused before anything is read.
struct OddFile {
  const char* name;
  std::function<std::string(const TempDir&)> make;
  int32_t error;
  const char* description;
};

std::string SparseFile(const TempDir& dir, int64_t size) {
  const std::string path = dir.path() + "/huge.hex";
  { std::ofstream create(path); }
  EXPECT_EQ(truncate(path.c_str(), size), 0);
  return path;
}

const std::vector<OddFile>& OddFiles() {
  static const std::vector<OddFile> cases{
      {"Folder", [](const TempDir& dir) { return dir.path(); }, ErrFileAccess, "Cannot read {file}: a folder, not a file"},
      {"Fifo",
       [](const TempDir& dir) {
         const std::string path = dir.path() + "/pipe.hex";
         EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
         return path;
       },
       ErrFileAccess, "Cannot read {file}: not a regular file"},
      {"DevZero", [](const TempDir&) { return std::string("/dev/zero"); }, ErrFileAccess,
       "Cannot read {file}: not a regular file"},
      {"SparseBeyondTheBound", [](const TempDir& dir) { return SparseFile(dir, MaxInputFileBytes + 1); }, ErrFileFormat,
       "Cannot read {file}: larger than any image file (67108865 bytes; at most 67108864)"},
      {"Missing", [](const TempDir& dir) { return dir.path() + "/none.hex"; }, ErrFileNotFound,
       "Cannot open {file}: No such file or directory"},
  };
  return cases;
}

class OddInputFiles : public ConversionTest, public ::testing::WithParamInterface<OddFile> {};

TEST_P(OddInputFiles, GeneralAndFamilyLoadersRefuseThem) {
  const std::string path = GetParam().make(dir);
  for (const char* family : {"ATmega", "CapSense"}) {
    Device(family[0] == 'A' ? 6 : 1, family, 8192);
    FileList[0] = path;
    FileCount = 1;
    EXPECT_FALSE(ConvertImageFiles()) << family;
    EXPECT_EQ(LastErrorNumber, GetParam().error) << family;
    EXPECT_EQ(LastErrorText, WithFile(GetParam().description, path)) << family;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, OddInputFiles, ::testing::ValuesIn(OddFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConversionTest, FileAtTheBoundIsStillRead) {
  // As large as allowed, all line ends but for one record and the end record.
  const std::string path = SparseFile(dir, MaxInputFileBytes);
  {
    std::ofstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file << DataRecord(4, {0x5A}) << EndRecord();
  }
  std::string text, reason;
  ASSERT_EQ(ReadInputFile(path, text, reason), 0) << reason;
  EXPECT_EQ(static_cast<int64_t>(text.size()), MaxInputFileBytes);
  Device(6, "ATmega", 256);
  FileList[0] = path;
  FileCount = 1;
  ASSERT_TRUE(ConvertImageFiles()) << LastErrorText;
  EXPECT_EQ(ImageBuffer[4], 0x5A);
}

TEST_F(ConversionTest, LargeFileIsReadWholeThroughItsBlocks) {
  // Some 700 KB of text: many blocks of the reader, LF and CR LF mixed.
  Device(6, "ATmega", 256 * 1024, 0xFF);
  Bytes image(256 * 1024);
  std::string text;
  uint32_t sum = 0;
  for (size_t at = 0; at < image.size(); at += 32) {
    if (at % 0x10000 == 0) text += LinearRecord(static_cast<uint16_t>(at >> 16));
    Bytes data(32);
    for (size_t k = 0; k < data.size(); ++k) data[k] = image[at + k] = static_cast<uint8_t>((at + k) * 131 >> 3);
    for (uint8_t b : data) sum += b;
    std::string line = DataRecord(static_cast<uint16_t>(at), data);
    if (at % 96 == 32) line.erase(line.size() - 2, 1);   // LF alone
    text += line;
  }
  ASSERT_GT(text.size(), size_t{600000});
  ASSERT_TRUE(Convert({text + EndRecord()})) << LastErrorText;
  EXPECT_EQ(At(ImageBuffer, 0, image.size()), image);
  EXPECT_EQ(ImageTop, static_cast<int32_t>(image.size()) - 1);
  EXPECT_EQ(static_cast<uint32_t>(ImageChecksum), sum);
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

struct FamilyRefusal {
  const char* name;
  std::string text;
  const char* description;
};

class FamilyLoaderRefusals : public ConversionTest, public ::testing::WithParamInterface<FamilyRefusal> {};

TEST_P(FamilyLoaderRefusals, FormatErrorNamingTheFileAndLine) {
  for (const char* family : {"CapSense", "PSoC3", "AVR32", "Nuvoton"}) {
    Device(family[0] == 'A' ? 7 : family[0] == 'N' ? 9 : 1, family, 8192, 0, 512, 512);
    EXPECT_FALSE(Convert({GetParam().text})) << family;
    EXPECT_EQ(LastErrorNumber, ErrFileFormat) << family;
    EXPECT_EQ(LastErrorText, WithFile(GetParam().description, FileList[0])) << family;
    EXPECT_EQ(LastErrorSource, "Read Hex File") << family;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, FamilyLoaderRefusals,
    ::testing::Values(
        FamilyRefusal{"OnlyTheEndRecord", "\r\n" + EndRecord(), "No Data in HEX File: {file}, line 2"},
        FamilyRefusal{"ShortRecordPassingItsChecksum", ":0200000001FD\r\n" + EndRecord(),
                      "Record Length Does Not Match Its Line: {file}, line 1"},
        FamilyRefusal{"LongRecord", DataRecord(0, {1}) + ":0100000001FE00\r\n" + EndRecord(),
                      "Record Length Does Not Match Its Line: {file}, line 2"},
        FamilyRefusal{"NonDigitPassingItsChecksum", ":0100000001FE\r\n:01000000Z1FF\r\n" + EndRecord(),
                      "Illegal Character in HEX Record: {file}, line 2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConversionTest, FamilyFileWithAnUnknownRecordType) {
  Device(9, "Nuvoton", 0x8000, 0xFF, 4096, 4096);
  EXPECT_FALSE(Convert({HexRecordLine(0, 6, {1}) + EndRecord()}));
  EXPECT_EQ(LastErrorText, "Unexpected Record Type in HEX file:  6");
  EXPECT_TRUE(Convert({HexRecordLine(0, 3, {0, 0, 0, 0}) + HexRecordLine(0, 5, {0, 0, 0, 0}) + EndRecord()}));
}

}  // namespace
