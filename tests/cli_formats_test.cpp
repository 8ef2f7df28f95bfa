// kestrin-cli with build files of every kind: convert writes the same image
// for a HEX file and for its S-record, ELF and binary forms, and load stores
// the same flash in the programmer (judged by what save uploads again).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/HexText.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/SimProcess.h"

namespace {

using Bytes = std::vector<uint8_t>;

class CliFormatsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrin-cli-formats-XXXXXX";
    dir = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  ProcessResult Run(const std::vector<std::string>& args) { return RunProcess(KESTRIN_CLI_PATH, args, dir); }
  void Tool(const std::string& command) {
    ASSERT_EQ(std::system((command + " >'" + dir + "/tool.out' 2>&1").c_str()), 0)
        << command << "\n" << ReadWholeFile(dir + "/tool.out");
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
    return dir + "/" + name;
  }

  // The build as HEX, and as objcopy's S-record, a linked ELF (its segment
  // at the load address, run from elsewhere) and a binary with its address.
  std::vector<std::string> EveryKind(uint32_t address, const Bytes& data, const std::string& stem) {
    const std::string hex = Write(stem + ".hex", DataRecords(address, data) + EndRecord());
    const std::string s19 = dir + "/" + stem + ".s19", elf = dir + "/" + stem + ".elf", bin = dir + "/" + stem + ".bin";
    Tool("objcopy -I ihex -O srec '" + hex + "' '" + s19 + "'");
    char script[120];
    std::snprintf(script, sizeof script, "SECTIONS { .sec1 0x20000000 : AT(0x%X) { *(.sec1) } }\n", address);
    const std::string ld = Write(stem + ".ld", script);
    Tool("ld -n --accept-unknown-input-arch -m elf_x86_64 -b ihex '" + hex + "' -T '" + ld +
         "' --oformat elf32-little -o '" + elf + "'");
    Tool("objcopy -I ihex -O binary '" + hex + "' '" + bin + "'");
    char at[16];
    std::snprintf(at, sizeof at, "@0x%08X", address);
    return {hex, s19, elf, bin + at};
  }

  std::string dir;
};

TEST_F(CliFormatsTest, ConvertWritesTheSameImageForEveryKind) {
  struct Case {
    const char* device;
    uint32_t address;
    uint32_t offset;   // image index of the first byte
  };
  for (const Case& c : {Case{"ATmega328P", 0x100, 0x100}, Case{"STM32F103C8", 0x08000000, 0}}) {
    SCOPED_TRACE(c.device);
    const Bytes data = PseudoFirmware(0x1200, c.address);
    std::string expectedOut;
    int index = 0;
    for (const std::string& file : EveryKind(c.address, data, c.device)) {
      SCOPED_TRACE(file);
      const std::string out = dir + "/out" + std::to_string(index++) + ".img";
      const ProcessResult r = Run({"convert", "--device-type", c.device, "--file", file, "--out", out});
      ASSERT_EQ(r.status, 0) << r.err;
      const std::string image = ReadWholeFile(out);
      // The data where it belongs, erased flash around it.
      ASSERT_GE(image.size(), c.offset + data.size() + 1);
      EXPECT_EQ(image.substr(c.offset, data.size()), std::string(data.begin(), data.end()));
      EXPECT_EQ(static_cast<uint8_t>(image[c.offset + data.size()]), 0xFF);
      if (c.offset > 0) {
        EXPECT_EQ(static_cast<uint8_t>(image[c.offset - 1]), 0xFF);
      }
      if (expectedOut.empty()) {
        expectedOut = r.out;
        uint32_t sum = 0;
        for (uint8_t b : data) sum += b;
        char line[48];
        std::snprintf(line, sizeof line, "File Checksum = %08X\n", sum);
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
      }
      EXPECT_EQ(r.out, expectedOut);   // the same sums
    }
  }

  // A binary file without its address, and an address for a HEX file, are refused.
  const std::string bin = Write("plain.bin", std::string("\x0c\x94\x34\x00", 4));
  ProcessResult r = Run({"convert", "--device-type", "ATmega328P", "--file", bin, "--out", dir + "/none.img"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("Binary File Without a Load Address: " + bin), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir + "/none.img"));
  const std::string hex = Write("plain.hex", DataRecord(0, {1}) + EndRecord());
  r = Run({"convert", "--device-type", "ATmega328P", "--file", hex + "@0x100"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("Load Address Given for a File That Is Not Binary"), std::string::npos) << r.err;
}

TEST_F(CliFormatsTest, LoadStoresTheSameFlashForEveryKind) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  const Bytes data = PseudoFirmware(0x900, 77);
  const Bytes eeprom = PseudoFirmware(0x20, 78);
  const std::vector<std::string> files = EveryKind(0x40, data, "board");
  const std::vector<std::string> eeFiles = EveryKind(0x10, eeprom, "cal");
  std::string firstSaved, firstOut;
  for (int slot = 1; slot <= 4; ++slot) {
    SCOPED_TRACE(files[slot - 1]);
    ProcessResult r = Run({"load", "--device", sim.linkPath(), "--address", "2", "--image", std::to_string(slot),
                           "--device-type", "ATmega328P", "--file", files[slot - 1], "--eeprom", eeFiles[slot - 1],
                           "--eeprom-name", "Cal", "--name", "Board"});
    ASSERT_EQ(r.status, 0) << r.err;
    if (firstOut.empty()) firstOut = r.out;
    EXPECT_EQ(r.out, firstOut);   // the same file and entire image checksums

    // What the programmer holds, uploaded again: the same for every kind.
    const std::string saved = dir + "/saved" + std::to_string(slot) + ".hex";
    r = Run({"save", "--device", sim.linkPath(), "--address", "2", "--image", std::to_string(slot), "--out", saved});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = ReadWholeFile(saved);
    ASSERT_FALSE(text.empty());
    if (firstSaved.empty()) {
      firstSaved = text;
      // And it holds the build: converted again, the data at 0x40.
      const std::string out = dir + "/saved.img";
      r = Run({"convert", "--device-type", "ATmega328P", "--file", saved, "--out", out});
      ASSERT_EQ(r.status, 0) << r.err;
      const std::string image = ReadWholeFile(out);
      EXPECT_EQ(image.substr(0x40, data.size()), std::string(data.begin(), data.end()));
      EXPECT_EQ(static_cast<uint8_t>(image[0x3F]), 0xFF);
    }
    EXPECT_EQ(text, firstSaved);
  }

  // Refused before anything is sent: the slot keeps its image.
  ProcessResult r = Run({"load", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--device-type",
                         "ATmega328P", "--file", files[3].substr(0, files[3].find('@'))});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("Binary File Without a Load Address"), std::string::npos) << r.err;
  const std::string again = dir + "/again.hex";
  r = Run({"save", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--out", again});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadWholeFile(again), firstSaved);
}

}  // namespace
