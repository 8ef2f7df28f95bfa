// Build files of every kind: an S-record, ELF or binary file converts to the
// same image, top and sums as the Intel HEX file of the same data, on plain
// parts, on an STM32 at its flash base and through a family loader; damaged
// files are refused with the file and place named. The other kinds are made
// from the HEX fixtures with binutils and srecord, as a build would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "automation/DdeLink.h"
#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/BuildFile.h"
#include "images/FileSelection.h"
#include "images/HexLoader.h"
#include "images/ProjectFile.h"
#include "images/ProjectState.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "operations/ImageDownload.h"
#include "operations/LoadImage.h"
#include "platform/FileDialogs.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "sim/StoredImages.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t StmBase = 0x08000000;

struct Region {
  uint32_t address;
  Bytes data;
};

struct Converted {
  bool ok = false;
  int32_t error = 0;
  std::string text;
  Bytes image, second;
  int32_t top = 0, fileChecksum = 0, entireChecksum = 0;
  bool secondary = false;
};

// Answers the file dialogs with prepared names and the address dialog with
// prepared texts; an empty answer cancels.
class ScriptedDialogs : public FileDialogs {
 public:
  bool Show(const FileDialogRequest& request, std::string& chosen) override {
    requests.push_back(request);
    if (files.empty()) return false;
    chosen = files.front();
    files.erase(files.begin());
    return !chosen.empty();
  }
  bool AskText(const std::string& title, const std::string& prompt, const std::string& initial,
               std::string& answer) override {
    asked.push_back({title, prompt, initial});
    if (texts.empty()) return false;
    answer = texts.front();
    texts.erase(texts.begin());
    return !answer.empty();
  }
  struct Question { std::string title, prompt, initial; };
  std::vector<std::string> files, texts;
  std::vector<FileDialogRequest> requests;
  std::vector<Question> asked;
};

class BuildFormatsTest : public ::testing::Test {
 protected:
  BuildFormatsTest() {
    AppPath = KESTRIN_DATA_DIR;
    FileDial1 = &dialogs;
  }
  ~BuildFormatsTest() override { FileDial1 = nullptr; }

  // A device of a family of the delivered database (the first when no name is given).
  void Select(int type, const std::string& family, const std::string& device = "") {
    DeviceFile = "\\device.inf";
    ProgType = static_cast<uint8_t>(type);
    ASSERT_TRUE(LoadDeviceFamilies()) << LastErrorText;
    CurFamily = -1;
    for (int f = 0; !FamilyList[f].empty(); ++f) {
      if (FamilyList[f] == family) CurFamily = f;
    }
    ASSERT_GE(CurFamily, 0) << family;
    LoadDeviceTypes();
    CurDevice = 0;
    for (int d = 0; !device.empty() && !DeviceTable[d].DevName.empty(); ++d) {
      if (DeviceTable[d].DevName == device) CurDevice = d;
    }
    ASSERT_TRUE(device.empty() || DeviceTable[CurDevice].DevName == device) << device;
  }

  // Runs a tool of the build chain; the test fails when it does.
  void Tool(const std::string& command) {
    const std::string full = command + " >" + dir.path() + "/tool.out 2>&1";
    ASSERT_EQ(std::system(full.c_str()), 0) << command << "\n" << dir.Read("tool.out");
  }

  std::string Hex(const std::string& name, const std::vector<Region>& regions) {
    std::string text;
    for (const Region& r : regions) text += DataRecords(r.address, r.data);
    return dir.Write(name, text + EndRecord());
  }
  // The S-record file objcopy writes for a HEX file.
  std::string SRecordOf(const std::string& hex, const std::string& name) {
    const std::string out = dir.path() + "/" + name;
    Tool("objcopy -I ihex -O srec '" + hex + "' '" + out + "'");
    return out;
  }
  // The same with srec_cat, with 32-bit addresses (S3 and S7) and an S5
  // count; it writes the end record only with a start address.
  std::string SRecord32Of(const std::string& hex, const std::string& name) {
    const std::string out = dir.path() + "/" + name;
    Tool("srec_cat '" + hex + "' -intel -execution-start-address=0 -o '" + out +
         "' -motorola -address-length=4 -enable=data-count");
    return out;
  }
  // An ELF file as a linker writes it, each region a loadable segment at its
  // physical address; the virtual addresses lie elsewhere. Not page-aligned
  // (-n), as for a microcontroller: the headers stay out of the segments.
  std::string ElfOf(const std::string& hex, const std::string& name, const std::string& format,
                    const std::vector<Region>& regions) {
    std::string script = "SECTIONS {\n";
    for (size_t i = 0; i < regions.size(); ++i) {
      char line[160];
      std::snprintf(line, sizeof line, "  .sec%zu 0x%X : AT(0x%X) { *(.sec%zu) }\n", i + 1,
                    0x20000000u + 0x100000u * static_cast<unsigned>(i), regions[i].address, i + 1);
      script += line;
    }
    const std::string ld = dir.Write(name + ".ld", script + "}\n");
    const std::string out = dir.path() + "/" + name;
    Tool("ld -n --accept-unknown-input-arch -m elf_x86_64 -b ihex '" + hex + "' -T '" + ld + "' --oformat " + format +
         " -o '" + out + "'");
    return out;
  }
  // The raw binary, gaps filled with the erased value, named with its address.
  std::string BinaryOf(const std::string& hex, const std::string& name, uint32_t address) {
    const std::string out = dir.path() + "/" + name;
    Tool("objcopy -I ihex -O binary --gap-fill 0xFF '" + hex + "' '" + out + "'");
    return BuildFileNameWithAddress(out, address);
  }

  // The files as a load converts them, with the sums it would report.
  Converted Convert(const std::string& file, const std::string& second = "") {
    ImageLoadSettings settings;
    settings.files = {file};
    settings.secondFile = second;
    settings.keepSecondMemory = false;
    ClearError();
    Converted c;
    c.ok = ConvertImageForLoad(settings);
    c.error = LastErrorNumber;
    c.text = LastErrorText;
    if (!c.ok) return c;
    const DeviceRecord& device = DeviceTable[CurDevice];
    c.image.assign(ImageBuffer.begin(), ImageBuffer.begin() + device.DevFlashSize);
    if (device.DevEESize > 0 && EEBuffer.size() >= static_cast<size_t>(device.DevEESize)) {
      c.second.assign(EEBuffer.begin(), EEBuffer.begin() + device.DevEESize);
    }
    c.secondary = SecondaryEnabled;
    c.top = ImageTop;
    c.fileChecksum = FileChecksum;
    c.entireChecksum = DownloadChecksum();
    return c;
  }

  static void ExpectSame(const Converted& got, const Converted& hex) {
    ASSERT_TRUE(got.ok) << got.error << " " << got.text;
    EXPECT_EQ(got.image, hex.image);
    EXPECT_EQ(got.second, hex.second);
    EXPECT_EQ(got.secondary, hex.secondary);
    EXPECT_EQ(got.top, hex.top);
    EXPECT_EQ(got.fileChecksum, hex.fileChecksum);
    EXPECT_EQ(got.entireChecksum, hex.entireChecksum);
  }

  FakePlatform platform;
  ScriptedDialogs dialogs;
  TempDir dir;
};

// One build as HEX, S-record (16- and 32-bit addresses), ELF of every class
// and byte order, and binary: the same image, top and sums.
TEST_F(BuildFormatsTest, EveryKindConvertsToTheImageOfItsHexFile) {
  struct Case {
    int type;
    const char* family;
    const char* device;
    std::vector<Region> regions;   // contiguous when a binary file is made as well
    bool binary;
  };
  const Case cases[] = {
      {6, "ATmega", "ATmega8A", {{0, PseudoFirmware(0x1C00, 1)}}, true},
      {6, "ATmega", "ATmega8A", {{0x100, PseudoFirmware(0x300, 2)}, {0x1800, PseudoFirmware(0x23, 3)}}, true},
      {9, "STM32F1", "", {{StmBase + 0x100, PseudoFirmware(0x3000, 4)}}, true},
      {9, "STM32F1", "", {{StmBase, PseudoFirmware(0x800, 5)}, {StmBase + 0xF000, PseudoFirmware(0xFFF, 6)}}, false},
      // A family loader: flash in section 0x8000, the user page in 0x8080.
      {7, "AVR32", "", {{0x80000000, PseudoFirmware(0x1000, 7)}, {0x80800000, PseudoFirmware(0x40, 8)}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.family) + " case " + std::to_string(&c - cases));
    Select(c.type, c.family, c.device);
    const std::string hex = Hex("build.hex", c.regions);
    const Converted fromHex = Convert(hex);
    ASSERT_TRUE(fromHex.ok) << fromHex.text;
    // The fixture does what it claims: its data in place, counted once.
    uint32_t sum = 0;
    for (const Region& r : c.regions) {
      for (uint8_t b : r.data) sum += b;
    }
    if (c.type != 7) {
      EXPECT_EQ(static_cast<uint32_t>(fromHex.fileChecksum), sum);
    }

    std::vector<std::string> files = {SRecordOf(hex, "build.s19"), SRecord32Of(hex, "build.s37")};
    for (const char* format : {"elf32-little", "elf32-big", "elf64-little", "elf64-big"}) {
      files.push_back(ElfOf(hex, std::string("build-") + format + ".elf", format, c.regions));
    }
    for (const std::string& file : files) {
      SCOPED_TRACE(file);
      ExpectSame(Convert(file), fromHex);
    }
    if (c.binary) {
      const std::string bin = BinaryOf(hex, "build.bin", c.regions.front().address);
      SCOPED_TRACE(bin);
      const Converted fromBinary = Convert(bin);
      ASSERT_TRUE(fromBinary.ok) << fromBinary.text;
      EXPECT_EQ(fromBinary.image, fromHex.image);
      EXPECT_EQ(fromBinary.top, fromHex.top);
      EXPECT_EQ(fromBinary.entireChecksum, fromHex.entireChecksum);
      // The gap's erased bytes are data of a binary file, and are counted.
      const Region& last = c.regions.back();
      const uint32_t gap = last.address - c.regions.front().address - static_cast<uint32_t>(c.regions.front().data.size());
      EXPECT_EQ(static_cast<uint32_t>(fromBinary.fileChecksum), sum + (c.regions.size() > 1 ? gap * 0xFF : 0));
    }
  }
}

// The second memory's file may be of any kind as well.
TEST_F(BuildFormatsTest, SecondMemoryFileOfEveryKind) {
  Select(6, "ATmega", "ATmega8A");
  const std::string main = Hex("main.hex", {{0, PseudoFirmware(0x40, 9)}});
  const Bytes eeprom = PseudoFirmware(0x1F0, 10);
  const std::string hex = Hex("ee.hex", {{0x10, eeprom}});
  const Converted fromHex = Convert(main, hex);
  ASSERT_TRUE(fromHex.ok) << fromHex.text;
  ASSERT_EQ(fromHex.second.size(), 512u);
  EXPECT_EQ(Bytes(fromHex.second.begin() + 0x10, fromHex.second.begin() + 0x200), eeprom);
  EXPECT_EQ(fromHex.second[0x0F], 0xFF);
  for (const std::string& file : {SRecordOf(hex, "ee.s19"), ElfOf(hex, "ee.elf", "elf32-little", {{0x10, eeprom}}),
                                  BinaryOf(hex, "ee.bin", 0x10)}) {
    SCOPED_TRACE(file);
    ExpectSame(Convert(main, file), fromHex);
  }
  // Placed as a HEX file would be: beyond the memory is refused.
  const Converted beyond = Convert(main, BinaryOf(hex, "ee2.bin", 0x11));
  EXPECT_FALSE(beyond.ok);
  EXPECT_EQ(beyond.error, ErrAddressRange);
  EXPECT_NE(beyond.text.find("Address Out of Range in HEX File"), std::string::npos) << beyond.text;
}

// Range and family rules are those of the HEX file: the same refusals.
TEST_F(BuildFormatsTest, OutOfRangeDataIsRefusedAsInItsHexFile) {
  Select(9, "STM32F1");   // 64 KiB of flash
  struct Case {
    uint32_t address;
    size_t size;
    bool ok;
  };
  const Case cases[] = {{StmBase + 0xFF00, 0x100, true},
                        {StmBase + 0xFF01, 0x100, false},
                        {0x10000 - 0x10, 0x10, true},
                        {0x10000 - 0x10, 0x11, false},
                        {0x07FFFFF0, 0x10, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(&c - cases));
    const std::vector<Region> regions = {{c.address, PseudoFirmware(c.size, c.address)}};
    const std::string hex = Hex("r.hex", regions);
    const Converted fromHex = Convert(hex);
    EXPECT_EQ(fromHex.ok, c.ok) << fromHex.text;
    for (const std::string& file :
         {SRecordOf(hex, "r.s19"), ElfOf(hex, "r.elf", "elf32-little", regions), BinaryOf(hex, "r.bin", c.address)}) {
      SCOPED_TRACE(file);
      const Converted got = Convert(file);
      EXPECT_EQ(got.ok, c.ok) << got.text;
      EXPECT_EQ(got.error, fromHex.error);
      EXPECT_EQ(got.text, fromHex.text);
      if (c.ok) ExpectSame(got, fromHex);
    }
  }
}

// A damaged S-record file is refused with the HEX reader's numbers, naming
// the file and the line, through the general loader and a family loader.
TEST_F(BuildFormatsTest, DamagedSRecordFilesAreRefusedNamingFileAndLine) {
  const std::string header = "S00F000068656C6C6F202020202000003C\r\n";
  const std::string data1 = "S1130000285F245F2212226A000424290008237C2A\r\n";
  const std::string data2 = "S11300100002000800082629001853812341001813\r\n";
  const std::string count = "S5030002FA\r\n";
  const std::string end = "S9030000FC\r\n";
  struct Case {
    const char* name;
    std::string text;
    int32_t number;
    const char* message;
    int line;
  };
  const Case cases[] = {
      {"BadChecksum", header + data1 + "S11300100002000800082629001853812341001814\r\n" + end, ErrChecksum,
       "Checksum Error in S-Record File", 3},
      {"BadCount", header + data1 + data2 + "S5030003F9\r\n" + end, ErrFileFormat, "Record Count Error", 4},
      {"NoEnd", header + data1 + data2 + count, ErrFileFormat, "Unexpected End of File", 5},
      {"NoData", header + count.substr(0, 0) + "S5030000FC\r\n" + end, ErrFileFormat, "No Data in S-Record File", 3},
      {"OddLength", header + "S1130000285F245F2212226A000424290008237C2\r\n" + end, ErrFileFormat,
       "Record Length Does Not Match Its Line", 2},
      {"CountPastLine", header + "S1140000285F245F2212226A000424290008237C29\r\n" + end, ErrFileFormat,
       "Record Length Does Not Match Its Line", 2},
      {"BadCharacter", header + data1 + "S1130010000200080008262900185381234100181G\r\n" + end, ErrFileFormat,
       "Illegal Character in S-Record", 3},
      {"UnknownType", header + "S4030000FC\r\n" + data1 + end, ErrFileFormat,
       "Unexpected Record Type in S-Record File: S4", 2},
      {"HexLineInside", header + data1 + "\r\n" + EndRecord() + end, ErrFileFormat, "Illegal File Format", 4},
      {"ShortAddress", header + "S2030000FC\r\n" + end, ErrFileFormat, "Record Too Short", 2},
  };
  for (const Case& c : cases) {
    for (auto [type, family] : {std::pair<int, const char*>{6, "ATmega"}, {7, "AVR32"}}) {
      SCOPED_TRACE(std::string(c.name) + " " + family);
      Select(type, family);
      const std::string file = dir.Write(std::string(c.name) + ".s19", c.text);
      const Converted got = Convert(file);
      EXPECT_FALSE(got.ok);
      EXPECT_EQ(got.error, c.number) << got.text;
      EXPECT_NE(got.text.find(c.message), std::string::npos) << got.text;
      const std::string place = file + ", line " + std::to_string(c.line);
      EXPECT_NE(got.text.find(place), std::string::npos) << got.text;
      EXPECT_NE(ErrorReportText().find("Tried: reading " + place), std::string::npos) << ErrorReportText();
    }
  }
  // The fixture's good form converts: the cases fail for their fault alone.
  Select(6, "ATmega");
  const Converted good = Convert(dir.Write("good.s19", header + data1 + data2 + count + end));
  ASSERT_TRUE(good.ok) << good.text;
  EXPECT_EQ(good.image[0], 0x28);
  EXPECT_EQ(good.image[0x1F], 0x18);
  EXPECT_EQ(good.top, 0x1F);
}

// An ELF file cut short or garbled anywhere is refused or, where its data
// is all there, converts to the same image; it never brings the program down.
TEST_F(BuildFormatsTest, TruncatedAndGarbledElfFilesAreRefused) {
  Select(9, "STM32F1");
  const std::vector<Region> regions = {{StmBase, PseudoFirmware(0x200, 11)}, {StmBase + 0x1000, PseudoFirmware(0x80, 12)}};
  const std::string hex = Hex("e.hex", regions);
  const Converted fromHex = Convert(hex);
  ASSERT_TRUE(fromHex.ok);
  for (const char* format : {"elf32-little", "elf64-big"}) {
    SCOPED_TRACE(format);
    const std::string whole = ReadWholeFile(ElfOf(hex, "e.elf", format, regions));
    ASSERT_GT(whole.size(), 0x280u);
    int refused = 0;
    for (size_t size = 0; size < whole.size(); ++size) {
      const std::string file = dir.Write("cut.elf", whole.substr(0, size));
      const Converted got = Convert(file);
      if (got.ok) {
        ExpectSame(got, fromHex);
        continue;
      }
      ++refused;
      EXPECT_EQ(got.error, ErrFileFormat) << size << ": " << got.text;
      EXPECT_NE(got.text.find(file), std::string::npos) << size << ": " << got.text;
    }
    // At least every cut inside the headers and the data is refused.
    EXPECT_GE(refused, 0x280) << format;

    // Bytes garbled one at a time: refused or converted, never a crash.
    uint32_t seed = 99;
    for (size_t at = 0; at < std::min<size_t>(whole.size(), 0x100); ++at) {
      std::string garbled = whole;
      seed = seed * 1103515245u + 12345u;
      garbled[at] = static_cast<char>(garbled[at] ^ (1 + (seed >> 16) % 255));
      const Converted got = Convert(dir.Write("garbled.elf", garbled));
      if (!got.ok) {
        EXPECT_TRUE(got.error == ErrFileFormat || got.error == ErrAddressRange) << at << ": " << got.text;
      }
    }
  }
}

TEST_F(BuildFormatsTest, ElfFilesWithoutLoadableDataOrBeyond32BitsAreRefused) {
  Select(9, "STM32F1");
  const std::vector<Region> regions = {{StmBase, PseudoFirmware(0x40, 13)}};
  const std::string hex = Hex("o.hex", regions);
  // objcopy's object file has sections but no program headers.
  const std::string object = dir.path() + "/o.elf";
  Tool("objcopy -I ihex -O elf32-little '" + hex + "' '" + object + "'");
  Converted got = Convert(object);
  EXPECT_EQ(got.error, ErrFileFormat);
  EXPECT_NE(got.text.find("No Loadable Data in ELF File: " + object), std::string::npos) << got.text;

  // Two segments over the same bytes of the file: refused, whatever their number.
  const std::vector<Region> two = {{StmBase, PseudoFirmware(0x40, 14)}, {StmBase + 0x100, PseudoFirmware(0x40, 15)}};
  std::string elf = ReadWholeFile(ElfOf(Hex("two.hex", two), "two.elf", "elf32-little", two));
  auto word = [&elf](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(elf[at]) | static_cast<uint8_t>(elf[at + 1]) << 8 |
                                 static_cast<uint8_t>(elf[at + 2]) << 16 | static_cast<uint8_t>(elf[at + 3]) << 24);
  };
  const size_t second = word(28) + 32;   // e_phoff, then the second 32-byte program header
  ASSERT_EQ(word(second), 1u);           // PT_LOAD
  elf.replace(second + 4, 4, elf, word(28) + 4, 4);     // p_offset of the first
  elf.replace(second + 16, 4, elf, word(28) + 16, 4);   // p_filesz of the first
  const std::string shared = dir.Write("shared.elf", elf);
  got = Convert(shared);
  EXPECT_EQ(got.error, ErrFileFormat);
  EXPECT_NE(got.text.find("ELF Segments Overlap in the File: " + shared + ", segment 1"), std::string::npos)
      << got.text;

  const std::string high = dir.Write("high.ld", "SECTIONS { .sec1 0x100000000 : AT(0x1FFFFFFF0) { *(.sec1) } }\n");
  const std::string elf64 = dir.path() + "/high.elf";
  Tool("ld -n --accept-unknown-input-arch -m elf_x86_64 -b ihex '" + hex + "' -T '" + high +
       "' --oformat elf64-little -o '" + elf64 + "'");
  got = Convert(elf64);
  EXPECT_EQ(got.error, ErrAddressRange);
  EXPECT_NE(got.text.find("Address Out of Range in ELF File: " + elf64 + ", segment 0"), std::string::npos)
      << got.text;
}

// A binary file needs its address; an address goes only with a binary file.
TEST_F(BuildFormatsTest, BinaryFilesAndLoadAddresses) {
  struct Split {
    const char* name;
    const char* path;
    bool hasAddress;
    uint32_t address;
  };
  for (const Split& s : {Split{"a.bin@0x08000000", "a.bin", true, 0x08000000},
                         Split{"a.bin@0X1f", "a.bin", true, 0x1F}, Split{"a.bin@4096", "a.bin", true, 4096},
                         Split{"a.bin@4294967295", "a.bin", true, 0xFFFFFFFF}, Split{"a.bin@4294967296", "a.bin@4294967296", false, 0},
                         Split{"a.bin@0x100000000", "a.bin@0x100000000", false, 0}, Split{"a.bin@", "a.bin@", false, 0},
                         Split{"a.bin@0x", "a.bin@0x", false, 0}, Split{"a.bin@-1", "a.bin@-1", false, 0},
                         Split{"me@host/a.bin", "me@host/a.bin", false, 0}, Split{"@12", "@12", false, 0}}) {
    SCOPED_TRACE(s.name);
    const BuildFileName split = SplitBuildFileName(s.name);
    EXPECT_EQ(split.path, s.path);
    EXPECT_EQ(split.hasAddress, s.hasAddress);
    EXPECT_EQ(split.address, s.address);
  }

  Select(6, "ATmega", "ATmega8A");
  const Bytes data = PseudoFirmware(0x100, 14);
  const std::string bin = dir.Write("raw.bin", std::string(data.begin(), data.end()));
  Converted got = Convert(bin);
  EXPECT_EQ(got.error, ErrFileFormat);
  EXPECT_NE(got.text.find("Binary File Without a Load Address: " + bin), std::string::npos) << got.text;
  // Binary by its content too, whatever its name.
  const std::string img = dir.Write("raw.img", std::string(data.begin(), data.end()));
  got = Convert(img);
  EXPECT_NE(got.text.find("Binary File Without a Load Address: " + img), std::string::npos) << got.text;
  got = Convert(img + "@0x80");
  ASSERT_TRUE(got.ok) << got.text;
  EXPECT_EQ(Bytes(got.image.begin() + 0x80, got.image.begin() + 0x180), data);
  EXPECT_EQ(got.image[0x7F], 0xFF);
  EXPECT_EQ(got.top, 0x17F);

  const std::string hex = Hex("x.hex", {{0, data}});
  got = Convert(hex + "@0");
  EXPECT_EQ(got.error, ErrFileFormat);
  EXPECT_NE(got.text.find("Load Address Given for a File That Is Not Binary: " + hex), std::string::npos) << got.text;
  got = Convert(dir.Write("empty.bin", "") + "@0");
  EXPECT_NE(got.text.find("No Data in Binary File"), std::string::npos) << got.text;
  got = Convert(bin + "@0xFFFFFF80");
  EXPECT_EQ(got.error, ErrAddressRange) << got.text;
  // A text file that is no build file still meets the HEX reader's own error.
  got = Convert(dir.Write("notes.txt", "hello\r\n"));
  EXPECT_EQ(got.error, ErrFileFormat);
  EXPECT_EQ(got.text, "Illegal File Format");
}

// Projects keep a binary file with its address, and check the file itself.
TEST_F(BuildFormatsTest, ProjectFilesCarryBinaryFilesWithTheirAddress) {
  Select(9, "STM32F1");
  const Bytes data = PseudoFirmware(0x300, 15);
  const std::string bin = dir.Write("app.bin", std::string(data.begin(), data.end()));
  const std::string s19 = SRecordOf(Hex("ee.hex", {{0, Bytes{1, 2, 3}}}), "ee.s19");
  const std::string project =
      dir.Write("p.vrx", "\"Name: App\"\r\n\"Family: STM32F1\"\r\n\"Device: " + DeviceTable[CurDevice].DevName +
                             "\"\r\n\"File0: " + bin + "@0x08000400\"\r\n\"EEPROM: " + s19 + "\"\r\n");
  ASSERT_TRUE(ReadProjectFile(project)) << LastErrorText;
  EXPECT_EQ(FileCount, 1);
  EXPECT_EQ(FileList[0], bin + "@0x08000400");
  const Converted got = Convert(FileList[0]);
  ASSERT_TRUE(got.ok) << got.text;
  EXPECT_EQ(Bytes(got.image.begin() + 0x400, got.image.begin() + 0x700), data);

  const std::string missing = dir.Write("q.vrx", "\"File0: " + dir.path() + "/none.bin@0x08000000\"\r\n");
  EXPECT_FALSE(ReadProjectFile(missing));
  ASSERT_FALSE(platform.messages.boxes.empty());
  EXPECT_EQ(platform.messages.boxes.back().text, "File Not Found " + dir.path() + "/none.bin@0x08000000");
}

// The file dialog offers every kind; a binary file is taken with the address
// the operator gives, proposed at the family's flash base.
TEST_F(BuildFormatsTest, FileDialogAsksTheAddressOfABinaryFile) {
  Select(9, "STM32F1");
  ProgTypeName = "VRX-ARM";
  const Bytes data = PseudoFirmware(0x40, 16);
  const std::string bin = dir.Write("app.bin", std::string(data.begin(), data.end()));
  const std::string hex = Hex("app.hex", {{StmBase, data}});

  dialogs.files = {bin};
  dialogs.texts = {"0x08000100"};
  ASSERT_TRUE(SelectImageFile(0)) << LastErrorText;
  EXPECT_EQ(FileList[0], bin + "@0x08000100");
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].title, "Load Address");
  EXPECT_EQ(dialogs.asked[0].initial, "0x08000000");
  EXPECT_NE(dialogs.asked[0].prompt.find("app.bin"), std::string::npos);
  const std::string& filter = dialogs.requests.back().filter;
  EXPECT_EQ(filter.rfind("Intel HEX Format Files|*.hex|Cypress IIC Files|*.iic|", 0), 0u) << filter;
  for (const char* entry : {"*.s19", "*.srec", "*.elf", "*.bin"}) EXPECT_NE(filter.find(entry), std::string::npos);

  // Other kinds are taken as chosen, without a question.
  dialogs.files = {hex};
  ASSERT_TRUE(SelectImageFile(1));
  EXPECT_EQ(FileList[1], hex);
  EXPECT_EQ(dialogs.asked.size(), 1u);

  // Cancelled, or not an address: the slot keeps what it had.
  for (const char* answer : {"", "0x1G", "-5"}) {
    SCOPED_TRACE(answer);
    dialogs.files = {bin};
    dialogs.texts = {answer};
    ClearError();
    EXPECT_FALSE(SelectImageFile(1));
    EXPECT_EQ(FileList[1], hex);
    EXPECT_EQ(LastErrorNumber, *answer ? ErrFileFormat : ErrDialogCancelled);
  }

  // The second memory's file as well, proposed at 0.
  Select(6, "ATmega", "ATmega8A");
  SecondaryName = "EEPROM";
  FlashMap.EESlotSize = 512;
  const std::string ee = dir.Write("ee.bin", std::string("\x01\x02\x03\x00", 4));
  dialogs.files = {ee};
  dialogs.texts = {"16"};
  ASSERT_TRUE(LoadEEFile("")) << LastErrorText;
  EXPECT_EQ(dialogs.asked.back().initial, "0x00000000");
  EXPECT_EQ(EEFilePath, ee + "@0x00000010");
  EXPECT_EQ(EEFileTitle, "ee.bin");
  EXPECT_EQ(EEBuffer[0x10], 1);
  EXPECT_EQ(EEBuffer[0x13], 0);
  EXPECT_EQ(EEBuffer[0x0F], 0xFF);
}

// The automation interface's LoadImage takes every kind, the binary one
// with its address, for the image and for the EEPROM: the programmer then
// holds what the HEX files give.
class AutomationFormatsTest : public ::testing::Test {
 protected:
  AutomationFormatsTest() {
    ConnectSimLine(platform.port, line);
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    AppPath = dir.path();
    dir.Write("device.inf", "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
                            "6,ATmega,mega,4096,255,9,HEX,1.8,5.5,1040\r\n");
    vrxsim::UnitConfig c;
    c.address = 3;
    line.addUnit(c);
  }
  // The stored main image of a slot, as many bytes as the device has.
  Bytes Slot(int slot) {
    vrxsim::Unit& unit = line.unit(0);
    unit.advance(platform.port.nowMs);
    const uint8_t* at = unit.flash() + FlashMap.ImageBase + (slot - 1) * FlashMap.ImageSlotSize;
    return Bytes(at, at + 4096);
  }
  void Tool(const std::string& command) {
    ASSERT_EQ(std::system((command + " >" + dir.path() + "/tool.out 2>&1").c_str()), 0) << dir.Read("tool.out");
  }

  FakePlatform platform;
  vrxsim::Line line;
  TempDir dir;
  DdeLink link;
};

TEST_F(AutomationFormatsTest, LoadImageTakesEveryKind) {
  ASSERT_EQ(link.Execute("FindProgrammers"), "FindProgrammers|Success|\r\n");
  ASSERT_EQ(link.Execute("Select|3"), "Select|Success|\r\n");
  const Bytes data = PseudoFirmware(0x600, 21);
  const std::string hex = dir.Write("a.hex", DataRecords(0x200, data) + EndRecord());
  const std::string ee = dir.Write("e.hex", DataRecords(0x8, Bytes{9, 8, 7}) + EndRecord());
  const std::string s19 = dir.path() + "/a.s19", bin = dir.path() + "/a.bin", eeS19 = dir.path() + "/e.s19";
  Tool("objcopy -I ihex -O srec '" + hex + "' '" + s19 + "'");
  Tool("objcopy -I ihex -O binary '" + hex + "' '" + bin + "'");
  Tool("objcopy -I ihex -O srec '" + ee + "' '" + eeS19 + "'");

  ASSERT_EQ(link.Execute("LoadImage|1|Hex|" + hex + "|mega|3.3|0|0|" + ee + "|Cal"), "LoadImage|Success|\r\n");
  const Bytes fromHex = Slot(1);
  EXPECT_EQ(Bytes(fromHex.begin() + 0x200, fromHex.begin() + 0x800), data);
  EXPECT_EQ(fromHex[0x1FF], 0xFF);
  const int32_t checksum = FileChecksum;
  ASSERT_EQ(link.Execute("LoadImage|2|Srec|" + s19 + "|mega|3.3|0|0|" + eeS19 + "|Cal"), "LoadImage|Success|\r\n");
  EXPECT_EQ(Slot(2), fromHex);
  EXPECT_EQ(FileChecksum, checksum);
  EXPECT_EQ(EEBuffer[8], 9);
  ASSERT_EQ(link.Execute("LoadImage|3|Bin|" + bin + "@0x200|mega|3.3|0|0||"), "LoadImage|Success|\r\n");
  EXPECT_EQ(Slot(3), fromHex);
  EXPECT_EQ(FileChecksum, checksum);

  const std::string reply = link.Execute("LoadImage|4|Bin|" + bin + "|mega|3.3|0|0||");
  EXPECT_EQ(reply.rfind("LoadImage| 1501|Binary File Without a Load Address: " + bin, 0), 0u) << reply;
}

}  // namespace
