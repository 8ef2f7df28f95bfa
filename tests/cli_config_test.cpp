// kestrin-cli against vrx-sim where a programmer's own configuration or the
// program's data files are not what they should be: a damaged device file,
// a firmware upgrade that did not take or was cut short. What scripts see:
// exit status, standard error, and what reached the unit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/HexText.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/SimProcess.h"

namespace {

using Result = ProcessResult;

class CliConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrin-cli-config-XXXXXX";
    dir = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  Result Run(const std::vector<std::string>& args) { return RunProcess(KESTRIN_CLI_PATH, args, dir); }

  // The program's data files, copied where a test may damage them.
  std::string DataDir() {
    const std::string data = dir + "/data";
    std::filesystem::create_directory(data);
    const std::filesystem::path bin = std::filesystem::path(KESTRIN_CLI_PATH).parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(bin)) {
      if (entry.path().extension() == ".inf") std::filesystem::copy(entry.path(), data / entry.path().filename());
    }
    return data;
  }

  static void Append(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
  }

  std::string dir;
};

// WriteFlash frames (command 01) the simulator received.
int WriteFrames(const SimProcess& sim) {
  int writes = 0;
  for (const std::string& line : sim.loggedFrames()) {
    char payload[8] = "";
    if (std::sscanf(line.c_str(), "%*s %*d %7s", payload) == 1 && std::string(payload) == "01") ++writes;
  }
  return writes;
}

struct Damage {
  const char* name;
  std::string record;   // appended to the delivered device file
  std::string number;   // "Error Code:  N"
  std::string text;     // the start of the error text, followed by the file's path
};

const std::vector<Damage>& Damages() {
  static const std::vector<Damage> damages = {
      {"number out of range", "6,ATmega,Broken,99999999999999,255,77,HEX,1.8,5.5,0\r\n", "1501", "Bad Device File: "},
      {"record cut short", "6,ATmega,Cut,4096\r\n", "62", "Input past end of file: "},
  };
  return damages;
}

TEST_F(CliConfigTest, DevicesWithADamagedDeviceFileReportsTheFileAndExitsThree) {
  const std::string data = DataDir();
  const std::string deviceFile = data + "/device.inf";
  const std::string good = ReadWholeFile(deviceFile);
  ASSERT_EQ(Run({"devices", "--type", "6", "--data-dir", data}).status, 0);
  for (const Damage& d : Damages()) {
    SCOPED_TRACE(d.name);
    std::ofstream(deviceFile, std::ios::binary | std::ios::trunc) << good;
    Append(deviceFile, d.record);
    const Result r = Run({"devices", "--type", "6", "--data-dir", data});
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_NE(r.err.find("Kestrin - Load Devices"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Error Code:  " + d.number), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Error Code:  0\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(d.text), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(deviceFile), std::string::npos) << r.err;
  }
}

TEST_F(CliConfigTest, ImagesAndLoadStopAfterABadDeviceFileAndSendNothing) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  const std::string data = DataDir();
  const std::string deviceFile = data + "/device.inf";
  const std::string good = ReadWholeFile(deviceFile);
  const std::string hex = dir + "/a.hex";
  std::ofstream(hex) << DataRecord(0, {0x11, 0x22}) + EndRecord();
  const std::vector<std::string> where{"--device", sim.linkPath(), "--address", "2", "--data-dir", data};
  auto with = [&where](std::vector<std::string> args) {
    args.insert(args.end(), where.begin(), where.end());
    return args;
  };
  ASSERT_EQ(Run(with({"images"})).status, 0);

  for (const Damage& d : Damages()) {
    SCOPED_TRACE(d.name);
    std::ofstream(deviceFile, std::ios::binary | std::ios::trunc) << good;
    Append(deviceFile, d.record);
    Result r = Run(with({"images"}));
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_NE(r.err.find(d.text + deviceFile), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    const int writes = WriteFrames(sim);
    r = Run(with({"load", "--image", "1", "--device-type", "ATmega328P", "--file", hex, "--name", "A"}));
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_EQ(r.out.find("Image Load Complete"), std::string::npos) << r.out;
    EXPECT_EQ(WriteFrames(sim), writes);
  }
}

// The delivered Z8 firmware brings 3.010. A LoadFirmware reply that is lost
// does not fail the upgrade; a unit that then reports another revision does.
TEST_F(CliConfigTest, UpgradeExitsByTheRevisionTheUnitThenRuns) {
  struct Case {
    const char* name;
    std::string fault;   // "" = none
    int status;
    std::string out, err;
  };
  const Case cases[] = {
      {"clean", "", 0, "3.010\n", ""},
      {"LoadFirmware reply lost", "kind=drop,command=126,count=1", 0, "3.010\n", ""},
      // Every FwRev reply after the one of selection reads minor 11.
      {"revision flipped on every reply", "kind=flip,command=0,after=1,byte=2,bit=0", 3, "",
       "the programmer now runs 3.011, expected 3.010"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> options{"--programmer", "address=2,type=2,fw=3.001,slots=4,slotsize=256,baud=115200,reload=300"};
    if (!c.fault.empty()) options.insert(options.end(), {"--fault", c.fault});
    SimProcess sim(options);
    ASSERT_TRUE(sim.ready());
    const Result r = Run({"upgrade", "--device", sim.linkPath(), "--address", "2", "firmware"});
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out, c.out);
    if (!c.err.empty()) {
      EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("Error Code:  1520"), std::string::npos) << r.err;
    }
  }
}

// Each frame the simulator received: address and payload bytes as hex, e.g. "2 02 00 00 00 00 20 00".
std::vector<std::string> AddressedFrames(const SimProcess& sim) {
  std::vector<std::string> frames;
  for (const std::string& line : sim.loggedFrames()) {
    const size_t time = line.find(' ');
    if (time != std::string::npos) frames.push_back(line.substr(time + 1));
  }
  return frames;
}

// Every upgrade ends by finding the programmer again and selecting it: its
// revision, configuration block, flash map and directory are read after the
// last byte the upgrade wrote, and the revision printed is the one found.
// Failed or not; the output and exit status stay the upgrade's.
TEST_F(CliConfigTest, AnUpgradeFindsAndSelectsTheProgrammerAgainWhenItEnds) {
  struct Case {
    const char* name;
    const char* job;
    std::string fault;
    int status;
    std::string out;
  };
  const Case cases[] = {
      {"firmware", "firmware", "", 0, "3.010\n"},
      {"hardware configuration", "hwc", "", 0, ""},
      // Every FwRev reply after the one of selection reads minor 11: not what the file brings.
      {"firmware, other revision", "firmware", "kind=flip,command=0,after=1,byte=2,bit=0", 3, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> options{"--programmer", "address=2,type=2,fw=3.001,slots=4,slotsize=256,baud=115200,reload=300"};
    if (!c.fault.empty()) options.insert(options.end(), {"--fault", c.fault});
    SimProcess sim(options);
    ASSERT_TRUE(sim.ready());
    const Result r = Run({"upgrade", "--device", sim.linkPath(), "--address", "2", c.job});
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out, c.out);
    const std::vector<std::string> frames = AddressedFrames(sim);
    size_t lastWrite = frames.size();
    for (size_t i = 0; i < frames.size(); ++i) {
      if (frames[i].rfind("2 01 ", 0) == 0) lastWrite = i;
    }
    ASSERT_LT(lastWrite, frames.size());
    const std::vector<std::string> after(frames.begin() + static_cast<std::ptrdiff_t>(lastWrite) + 1, frames.end());
    auto seen = [&after](const std::string& frame) {
      return std::find(after.begin(), after.end(), frame) != after.end();
    };
    EXPECT_TRUE(seen("2 00"));                     // FwRev
    EXPECT_TRUE(seen("2 02 00 00 00 00 20 00"));   // the configuration block
    EXPECT_TRUE(seen("2 02 00 0F 00 00 50 00"));   // the flash map
    EXPECT_TRUE(seen("2 02 40 00 00 00 80 00"));   // the image directory
  }
}

// An upgrade recorded its size and CRC, then part of the firmware area
// changed, as a later upgrade cut short leaves it: scan, fwrev and images
// say so until the firmware is upgraded again.
TEST_F(CliConfigTest, AFirmwareAreaItsRecordDoesNotMatchIsReportedUntilUpgradedAgain) {
  SimProcess sim({"--programmer", "address=2,type=2,fw=3.001,slots=4,slotsize=256,baud=115200,reload=300"});
  ASSERT_TRUE(sim.ready());
  const std::vector<std::string> at{"--device", sim.linkPath(), "--address", "2"};
  auto with = [&at](std::vector<std::string> args) {
    args.insert(args.end(), at.begin(), at.end());
    return args;
  };
  ASSERT_EQ(Run(with({"upgrade", "firmware"})).status, 0);
  const char* warning = "programmer at address 2: firmware incomplete, upgrade again";
  Result r = Run({"scan", "--device", sim.linkPath()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("firmware incomplete"), std::string::npos) << r.err;

  // One byte of the area's second block differs from what the record covers.
  r = Run(with({"read-flash", "0x1100", "1"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const unsigned byte = std::stoul(r.out, nullptr, 16);
  const std::string patch = dir + "/patch.bin";
  std::ofstream(patch, std::ios::binary) << static_cast<char>(byte ^ 0xFF);
  ASSERT_EQ(Run(with({"write-flash", "0x1100", patch})).status, 0);

  r = Run({"scan", "--device", sim.linkPath()});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find(warning), std::string::npos) << r.err;
  r = Run({"scan", "--device", sim.linkPath(), "--json"});
  EXPECT_NE(r.out.find("\"firmwareIncomplete\": true"), std::string::npos) << r.out;
  r = Run(with({"fwrev"}));
  EXPECT_EQ(r.out, "3.010\n");
  EXPECT_NE(r.err.find(warning), std::string::npos) << r.err;
  r = Run(with({"images"}));
  EXPECT_NE(r.err.find("firmware incomplete, upgrade again"), std::string::npos) << r.err;
  r = Run(with({"images", "--json"}));
  EXPECT_NE(r.out.find("\"firmwareIncomplete\": true"), std::string::npos) << r.out;

  ASSERT_EQ(Run(with({"upgrade", "firmware"})).status, 0);
  r = Run({"scan", "--device", sim.linkPath()});
  EXPECT_EQ(r.err.find("firmware incomplete"), std::string::npos) << r.err;
  r = Run(with({"images", "--json"}));
  EXPECT_NE(r.out.find("\"firmwareIncomplete\": false"), std::string::npos) << r.out;
}

// A project's FUSE lines pass the checks --fuses passes: without any the
// fuse file's defaults are stored (lock FF, not 00); a value that fits no
// option is refused naming the project line, and nothing reaches the unit.
TEST_F(CliConfigTest, LoadFromAProjectChecksItsFuseLines) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  const std::string data = DataDir();
  std::ofstream(data + "/AVRFuses.inf", std::ios::binary | std::ios::trunc)
      << "ID%9%ATmega328P%16%3\r\n"
         "BYTE%0%LOCK%%\r\n"
         "FIELD%LB%Memory lock%&H03%&H03\r\nOPTION%No lock%&H03%%\r\nOPTION%Write locked%&H02%%\r\n"
         "BYTE%1%LOW%%\r\n"
         "FIELD%SUT_CKSEL%Clock source%&H3F%&H22\r\nOPTION%Int. RC 8 MHz%&H22%%\r\nOPTION%Ext. crystal%&H3F%%\r\n"
         "BYTE%2%HIGH%%\r\n"
         "FIELD%EESAVE%Keep EEPROM at erase%&H08%&H08\r\nOPTION%No%&H08%%\r\nOPTION%Yes%&H00%%\r\n"
         "BYTE%3%EXTENDED%%\r\n"
         "FIELD%BODLEVEL%Brown-out level%&H07%&H07\r\nOPTION%Off%&H07%%\r\nOPTION%2.7 V%&H05%%\r\n"
         "ENDID%%%%\r\n";
  const std::string hex = dir + "/p.hex", project = dir + "/p.vrx";
  std::ofstream(hex) << DataRecord(0, {0x0C, 0x94}) + EndRecord();
  auto writeProject = [&](const std::string& fuseLines) {
    std::ofstream(project, std::ios::binary | std::ios::trunc)
        << "\"Name: P\"\r\n\"Family: ATmega\"\r\n\"Device: ATmega328P\"\r\n\"Mode: 1\"\r\n\"Freq: 0\"\r\n"
           "\"Voltage: 250\"\r\n\"File0: " + hex + "\"\r\n\"OsccalOpt:  0\"\r\n\"OsccalAddress:  0\"\r\n" + fuseLines +
               "\"AVR32SecurityF: 0\"\r\n\"JTAG_ID: 0\"\r\n";
  };
  const std::vector<std::string> at{"--device", sim.linkPath(), "--address", "2", "--data-dir", data};
  auto with = [&at](std::vector<std::string> args) {
    args.insert(args.end(), at.begin(), at.end());
    return args;
  };

  writeProject("");
  Result r = Run(with({"load", "--project", project, "--image", "3"}));
  ASSERT_EQ(r.status, 0) << r.err;
  // Option record: low, high, extended, lock from byte 5 on.
  const std::string stored = Run(with({"read-flash", "0x300", "13"})).out;
  EXPECT_EQ(stored, "00 00 00 00 00 E2 FF FF FF 00 00 00 FF\n");

  const int writes = WriteFrames(sim);
  for (const std::string& lines : {std::string("\"FUSE0:  255\"\r\n\"FUSE3:  0\"\r\n"),
                                   std::string("\"FUSE3:  0\"\r\n\"FUSE0:  255\"\r\n")}) {
    writeProject(lines);
    r = Run(with({"load", "--project", project, "--image", "3"}));
    EXPECT_EQ(r.status, 3);
    const std::string line = lines.rfind("\"FUSE3", 0) == 0 ? "10" : "11";
    EXPECT_NE(r.err.find("Invalid Fuse Value: 0 for fuse byte 3 (EXTENDED) at line " + line + " of " + project),
              std::string::npos)
        << r.err;
  }
  EXPECT_EQ(WriteFrames(sim), writes);
  EXPECT_EQ(Run(with({"read-flash", "0x300", "13"})).out, stored);
}

}  // namespace
