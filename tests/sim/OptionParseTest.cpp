#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "sim/CommandLine.h"
#include "sim/OptionParse.h"

namespace {

using namespace vrxsim;
using Bytes = std::vector<uint8_t>;

TEST(OptionParse, UnitSpecs) {
  struct Case {
    const char* text;
    int address, type, major, minor, slots, code;
    Baud baud;
  };
  const std::vector<Case> cases = {
      {"address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", 1, 6, 3, 10, 4, 0, Baud::B115200},
      {"address=16,type=2,fw=1.250,slots=2,slotsize=512,baud=38400", 16, 2, 1, 250, 2, 1, Baud::B38400},
      {"address=5,slotsize=64,baud=both,fw=10.07", 5, 6, 10, 70, 4, 64, Baud::Both},
      {"type=0x09,fw=2", 1, 9, 2, 0, 4, 0, Baud::B115200},
  };
  for (const Case& c : cases) {
    UnitConfig u;
    std::string error;
    ASSERT_TRUE(ParseUnitSpec(c.text, u, error)) << c.text << ": " << error;
    EXPECT_EQ(u.address, c.address) << c.text;
    EXPECT_EQ(u.type, c.type) << c.text;
    EXPECT_EQ(u.fwMajor, c.major) << c.text;
    EXPECT_EQ(u.fwMinor, c.minor) << c.text;
    EXPECT_EQ(u.slots, c.slots) << c.text;
    EXPECT_EQ(u.slotSizeCode, c.code) << c.text;
    EXPECT_EQ(u.baud, c.baud) << c.text;
  }
}

TEST(OptionParse, UnitSpecSwitches) {
  UnitConfig u;
  std::string error;
  ASSERT_TRUE(ParseUnitSpec("address=2,serial=0,noconfig=1,reload=500,reloadfw=3.011", u, error)) << error;
  EXPECT_FALSE(u.serialization);
  EXPECT_TRUE(u.failConfigRead);
  EXPECT_EQ(u.reloadSilenceMs, 500);
  EXPECT_EQ(u.reloadFwMajor, 3);
  EXPECT_EQ(u.reloadFwMinor, 11);
  ASSERT_TRUE(ParseUnitSpec("reload=never", u, error)) << error;
  EXPECT_LT(u.reloadSilenceMs, 0);
}

TEST(OptionParse, BadUnitSpecsAreRefusedWithAReason) {
  for (const char* text : {"address=0", "address=17", "slotsize=300", "slotsize=1", "baud=9600", "fw=3.0100", "fw=1.990",
                           "fw=x", "colour=red", "address", "", "slots=0", "serial=2"}) {
    UnitConfig u;
    std::string error;
    EXPECT_FALSE(ParseUnitSpec(text, u, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(OptionParse, FaultSpecs) {
  FaultConfig f{FaultKind::Drop};
  std::string error;
  ASSERT_TRUE(ParseFaultSpec("kind=status,command=0x02,code=9,every=3,after=2,count=5", f, error)) << error;
  EXPECT_EQ(f.kind, FaultKind::Status);
  EXPECT_EQ(f.command, 2);
  EXPECT_EQ(f.code, 9);
  EXPECT_EQ(f.every, 3);
  EXPECT_EQ(f.after, 2);
  EXPECT_EQ(f.count, 5);

  const std::vector<std::pair<const char*, FaultKind>> kinds = {
      {"drop", FaultKind::Drop},          {"corrupt", FaultKind::Corrupt},       {"delay", FaultKind::Delay},
      {"noise", FaultKind::Noise},        {"trailing", FaultKind::Trailing},     {"endless", FaultKind::Endless},
      {"wrongaddr", FaultKind::WrongAddress}, {"wrongid", FaultKind::WrongId}, {"status", FaultKind::Status}};
  for (const auto& k : kinds) {
    ASSERT_TRUE(ParseFaultSpec(std::string("kind=") + k.first, f, error)) << k.first;
    EXPECT_EQ(f.kind, k.second) << k.first;
    EXPECT_EQ(f.every, 1) << "defaults start afresh";
  }
  for (const char* bad : {"every=2", "kind=zap", "kind=drop,every=0", "kind=drop,command=0x100", "kind=delay,ms=-1"})
    EXPECT_FALSE(ParseFaultSpec(bad, f, error)) << bad;
}

TEST(OptionParse, TargetSpecChangesOnlyTheNamedPort) {
  UnitConfig units[2];
  units[1].address = 2;
  std::string error;
  ASSERT_TRUE(ParseTargetSpec("address=2,port=3,present=0,program=4:1,verify=,read=6,result=19,step=50,memsize=10",
                              units, 2, error))
      << error;
  const TargetConfig& t = units[1].targets[2];
  EXPECT_FALSE(t.present);
  EXPECT_EQ(t.programSteps, (Bytes{4, 1}));
  EXPECT_TRUE(t.verifySteps.empty());
  EXPECT_EQ(t.readSteps, Bytes{6});
  EXPECT_EQ(t.result, 19);
  EXPECT_EQ(t.stepMs, 50);
  EXPECT_EQ(t.memory, (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_TRUE(units[1].targets[1].present);
  EXPECT_TRUE(units[0].targets[2].present);

  for (const char* bad : {"address=2,result=3", "address=3,port=1", "address=2,port=5", "port=1",
                          "address=2,port=1,memory=/nonexistent/file.bin", "address=2,port=1,program=4:x"})
    EXPECT_FALSE(ParseTargetSpec(bad, units, 2, error)) << bad;
}

TEST(OptionParse, TargetMemoryFromAFile) {
  char path[] = "/tmp/vrxsim-memory-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const Bytes content{0x01, 0x1B, 0x00, 0xFF};
  ASSERT_EQ(write(fd, content.data(), content.size()), ssize_t(content.size()));
  close(fd);
  UnitConfig unit;
  std::string error;
  bool ok = ParseTargetSpec(std::string("port=4,memory=") + path, &unit, 1, error);
  unlink(path);
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(unit.targets[3].memory, content);
}

TEST(OptionParse, CommandLine) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(ParseCommandLine({"--target", "address=3,port=2,result=18", "--link", "/tmp/l", "--programmer",
                                "address=3,baud=38400", "--fault=kind=drop,every=4", "--line-rate", "--state=/tmp/s",
                                "--log", "/tmp/f.log"},
                               o, error))
      << error;
  EXPECT_EQ(o.link, "/tmp/l");
  ASSERT_EQ(o.units.size(), 1u);
  EXPECT_EQ(o.units[0].targets[1].result, 18) << "a target given before its programmer";
  ASSERT_EQ(o.faults.size(), 1u);
  EXPECT_EQ(o.faults[0].every, 4);
  EXPECT_TRUE(o.lineRate);
  EXPECT_EQ(o.stateDir, "/tmp/s");
  EXPECT_EQ(o.logFile, "/tmp/f.log");

  ASSERT_TRUE(ParseCommandLine({"--link", "x", "--demo"}, o, error)) << error;
  std::vector<int> addresses;
  for (const UnitConfig& u : o.units) addresses.push_back(u.address);
  EXPECT_EQ(addresses, (std::vector<int>{1, 2, 5, 16}));
  // An array run on the demo line has at least three units with images, each taking its own time.
  std::set<int> runLengths;
  int withImages = 0;
  for (const UnitConfig& u : o.units) {
    if (u.images.empty()) continue;
    ++withImages;
    int longest = 0;
    for (const auto& t : u.targets) longest = std::max(longest, static_cast<int>(t.programSteps.size()) * t.stepMs);
    runLengths.insert(longest);
  }
  EXPECT_GE(withImages, 3);
  EXPECT_EQ(static_cast<int>(runLengths.size()), withImages);

  ASSERT_TRUE(ParseCommandLine({"--help"}, o, error));
  EXPECT_TRUE(o.help);

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--programmer", "address=1"},
           {"--link"},
           {"--link", "x", "--bogus"},
           {"--link", "x", "--programmer", "address=99"},
           {"--link", "x", "--target", "address=4,port=1"},
           {"--link", "x", "--line-rate=1"}}) {
    EXPECT_FALSE(ParseCommandLine(bad, o, error));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
