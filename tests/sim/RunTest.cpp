#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "SimTestSupport.h"
#include "sim/Crc16.h"

namespace {

using namespace simtest;
using vrxsim::Unit;
using vrxsim::UnitConfig;
using Status = std::array<uint8_t, 4>;

// Gives a slot an image by writing its directory size, as a download ends.
void FillSlot(Unit& unit, int slot, uint32_t size = 1024) {
  Bytes entry;
  AppendLe(entry, size, 4);
  Store(unit, 0x40 + 32 * slot, entry);
}

void SetCount(Unit& unit, int slot, uint32_t count) {
  Bytes c;
  AppendLe(c, count, 4);
  Store(unit, 0x20 + 7 * slot, c);
}

Status Poll(Unit& unit, double nowMs) {
  Bytes r = Call(unit, {0x05}, nowMs);
  EXPECT_EQ(r.size(), 6u);
  EXPECT_EQ(r[0], 0x85);
  EXPECT_EQ(r[1], 0);
  return r.size() == 6 ? Status{r[2], r[3], r[4], r[5]} : Status{};
}

TEST(Runs, PortsGoThroughTheirStepsOverTime) {
  UnitConfig config;
  config.targets[2].present = false;
  config.targets[3].programSteps = {1};
  config.targets[3].stepMs = 100;
  config.targets[3].result = 18;
  Unit unit(config);
  FillSlot(unit, 1);
  ASSERT_EQ(Call(unit, {0x07, 0x02}, 0), (Bytes{0x87, 0}));  // port 2 disabled
  ASSERT_EQ(Call(unit, {0x04, 1}, 1000), (Bytes{0x84, 0}));

  struct Row {
    double at;
    Status status;
  };
  const std::vector<Row> rows = {
      {1000, {4, 5, 3, 1}},  // VCC OK; disabled; waiting for power; programming
      {1099, {4, 5, 3, 1}},
      {1100, {4, 5, 3, 18}},  // port 4 fails after its single step
      {1299, {4, 5, 3, 18}},
      {1300, {1, 5, 16, 18}},  // no target Vcc after a short wait
      {1600, {2, 5, 16, 18}},
      {1899, {2, 5, 16, 18}},
      {1900, {0, 5, 16, 18}},
      {9000, {0, 5, 16, 18}},
  };
  for (const Row& r : rows) EXPECT_EQ(Poll(unit, r.at), r.status) << "at " << r.at;
}

TEST(Runs, StatusDependsOnlyOnTheTimeAsked) {
  Unit often(UnitConfig{}), once(UnitConfig{});
  for (Unit* u : {&often, &once}) {
    FillSlot(*u, 0);
    ASSERT_EQ(StatusOf(Call(*u, {0x04, 0}, 500)), 0);
  }
  for (double t = 500; t < 1400; t += 37) Poll(often, t);
  EXPECT_EQ(Poll(often, 1450), Poll(once, 1450));
  EXPECT_EQ(often.portStatus(1000), once.portStatus(1000)) << "asking about an earlier time";
}

TEST(Runs, BusyUntilEveryPortIsIdle) {
  Unit unit(UnitConfig{});
  FillSlot(unit, 0);
  ASSERT_EQ(StatusOf(Call(unit, {0x04, 0}, 0)), 0);
  EXPECT_EQ(Call(unit, {0x04, 0}, 100), (Bytes{0x84, 5}));
  EXPECT_EQ(Call(unit, {0x0B, 0}, 500), (Bytes{0x8B, 5}));
  EXPECT_EQ(Call(unit, {0x0A, 0, 0}, 899), (Bytes{0x8A, 5}));
  EXPECT_EQ(Call(unit, {0x00}, 899), (Bytes{0x80, 0, 10, 3})) << "other commands are served";
  EXPECT_EQ(Call(unit, {0x0B, 0}, 900), (Bytes{0x8B, 0})) << "free once the run is done";
  EXPECT_EQ(Poll(unit, 900), (Status{2, 2, 2, 2}));
  EXPECT_EQ(Poll(unit, 1200), (Status{0, 0, 0, 0}));
}

TEST(Runs, CancelDisablesBusyPortsAndKeepsFinishedOnes) {
  UnitConfig config;
  config.targets[1].programSteps = {1};
  config.targets[1].stepMs = 100;
  config.targets[1].result = 19;
  Unit unit(config);
  FillSlot(unit, 0);
  SetCount(unit, 0, 10);
  ASSERT_EQ(StatusOf(Call(unit, {0x04, 0}, 0)), 0);
  EXPECT_EQ(Call(unit, {0x06}, 500), (Bytes{0x86, 0}));
  EXPECT_EQ(Poll(unit, 500), (Status{5, 19, 5, 5}));
  EXPECT_EQ(Poll(unit, 5000), (Status{5, 19, 5, 5}));
  EXPECT_EQ(Le32(Load(unit, 0x20, 4), 0), 10u) << "cancelled ports program nothing";
  EXPECT_EQ(StatusOf(Call(unit, {0x04, 0}, 600)), 0) << "a cancelled run is over";
}

TEST(Runs, EachProgrammedDeviceUsesUpTheCountAndTheBlockStaysValid) {
  Unit unit(UnitConfig{});
  FillSlot(unit, 2);
  SetCount(unit, 2, 5);
  ASSERT_EQ(StatusOf(Call(unit, {0x04, 2}, 0)), 0);
  EXPECT_EQ(Poll(unit, 900), (Status{0, 0, 0, 0}));

  Bytes block = Load(unit, 0x20, 32, 900);
  EXPECT_EQ(Le32(block, 14), 1u);
  uint16_t crc = vrxsim::Crc16(block.data(), 30);
  EXPECT_EQ(block[30], uint8_t(crc));
  EXPECT_EQ(block[31], uint8_t(crc >> 8));
  // The PC's check: the device's own CRC of bytes 0x20..0x3D against bytes 30..31.
  Bytes reported = Call(unit, CrcFlashCmd(0x20, 30), 900);
  EXPECT_EQ(Bytes(reported.begin() + 2, reported.end()), Bytes(block.begin() + 30, block.end()));

  // Verify runs use nothing up.
  ASSERT_EQ(StatusOf(Call(unit, {0x0B, 2}, 1000)), 0);
  Poll(unit, 5000);
  EXPECT_EQ(Le32(Load(unit, 0x20, 32, 5000), 14), 1u);
}

TEST(Runs, CountLimits) {
  struct Case {
    const char* name;
    uint32_t count;
    Status final;
    uint32_t left;
  };
  const std::vector<Case> cases = {
      {"unlimited", 0xFFFFFFFF, {0, 16, 0, 5}, 0xFFFFFFFF},
      {"enough", 3, {0, 16, 0, 5}, 1},
      {"one device left", 1, {0, 16, 23, 5}, 0},
      {"used up", 0, {23, 16, 23, 5}, 0},
  };
  for (const Case& c : cases) {
    UnitConfig config;
    config.targets[1].present = false;
    Unit unit(config);
    FillSlot(unit, 0);
    SetCount(unit, 0, c.count);
    ASSERT_EQ(StatusOf(Call(unit, {0x07, 0x08}, 0)), 0);  // port 4 disabled
    ASSERT_EQ(StatusOf(Call(unit, {0x04, 0}, 0)), 0);
    EXPECT_EQ(Poll(unit, 5000), c.final) << c.name;
    EXPECT_EQ(Le32(Load(unit, 0x20, 4, 5000), 0), c.left) << c.name;
  }
}

TEST(Runs, UnlimitedCountLeavesTheSecurityBlockAlone) {
  Unit unit(UnitConfig{});
  FillSlot(unit, 0);
  ASSERT_EQ(StatusOf(Call(unit, {0x04, 0}, 0)), 0);
  Poll(unit, 5000);
  EXPECT_EQ(Load(unit, 0x20, 32, 5000), Bytes(32, 0xFF));
}

TEST(Runs, SerialNumbersAreHandedOutPerProgrammedDevice) {
  UnitConfig config;
  config.targets[1].stepMs = 400;  // port 2 finishes at 1200, after port 1 at 900
  Unit unit(config);
  FillSlot(unit, 0);
  const Bytes settings{0x01, 0x04, 0x00, 0x01, 0x00, 0x00};  // flash, 4 bytes LSB first, at 0x100
  Bytes write{0x0C, 0};
  write.insert(write.end(), settings.begin(), settings.end());
  write.insert(write.end(), {0xFE, 0xFF, 0xFF, 0x00, 0x00, 0x00});
  ASSERT_EQ(Call(unit, write, 0), (Bytes{0x8C, 0}));
  ASSERT_EQ(StatusOf(Call(unit, {0x07, 0x0C}, 0)), 0);  // ports 1 and 2
  ASSERT_EQ(StatusOf(Call(unit, {0x04, 0}, 0)), 0);

  Bytes serials = Call(unit, {0x0E}, 1000);  // port 1 done, port 2 still busy
  EXPECT_EQ(Bytes(serials.begin() + 2, serials.begin() + 8), (Bytes{0xFE, 0xFF, 0xFF, 0, 0, 0}));
  EXPECT_EQ(Bytes(serials.begin() + 8, serials.begin() + 14), Bytes(6, 0));

  serials = Call(unit, {0x0E}, 2000);
  EXPECT_EQ(Bytes(serials.begin() + 8, serials.begin() + 14), (Bytes{0xFF, 0xFF, 0xFF, 0, 0, 0}));
  EXPECT_EQ(Bytes(serials.begin() + 14, serials.end()), Bytes(12, 0)) << "disabled ports wrote nothing";

  Bytes expected = settings;
  expected.insert(expected.end(), {0x00, 0x00, 0x00, 0x01, 0x00, 0x00});  // carried into byte 3
  EXPECT_EQ(unit.serialRecord(0), expected);
  // Each number went into its own target, least significant byte first.
  const std::vector<uint8_t>& first = unit.target(0).memory;
  const std::vector<uint8_t>& second = unit.target(1).memory;
  ASSERT_GE(first.size(), 0x104u);
  ASSERT_GE(second.size(), 0x104u);
  EXPECT_EQ(Bytes(first.begin() + 0x100, first.begin() + 0x104), (Bytes{0xFE, 0xFF, 0xFF, 0x00}));
  EXPECT_EQ(Bytes(second.begin() + 0x100, second.begin() + 0x104), (Bytes{0xFF, 0xFF, 0xFF, 0x00}));
  EXPECT_TRUE(unit.target(2).memory.empty()) << "a disabled port's target is untouched";
}

TEST(Runs, SerialNumbersInTheChosenMemoryAndOrder) {
  UnitConfig config;
  Unit unit(config);
  FillSlot(unit, 0);
  // EEPROM, 2 bytes most significant first, at 0x0A, next 0x1234.
  ASSERT_EQ(StatusOf(Call(unit, {0x0C, 0, 0x02, 0x82, 0x0A, 0, 0, 0, 0x34, 0x12, 0, 0, 0, 0}, 0)), 0);
  ASSERT_EQ(StatusOf(Call(unit, {0x07, 0x0E}, 0)), 0);  // port 1 only
  ASSERT_EQ(StatusOf(Call(unit, {0x04, 0}, 0)), 0);
  Poll(unit, 2000);
  const std::vector<uint8_t>& eeprom = unit.target(0).eeprom;
  ASSERT_EQ(eeprom.size(), 0x0Cu);
  EXPECT_EQ(Bytes(eeprom.begin() + 0x0A, eeprom.end()), (Bytes{0x12, 0x34}));
  EXPECT_EQ(Bytes(eeprom.begin(), eeprom.begin() + 0x0A), Bytes(0x0A, 0xFF));
  EXPECT_TRUE(unit.target(0).memory.empty()) << "the flash keeps its content";
}

TEST(Runs, SerializationOffOrFailedDevicesKeepTheNumber) {
  UnitConfig config;
  config.targets[1].result = 18;
  Unit unit(config);
  FillSlot(unit, 0);
  FillSlot(unit, 1);
  Bytes off{0x0C, 0, 0x00, 0x02, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0};  // memory 0: off
  Bytes on{0x0C, 1, 0x01, 0x02, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0};
  ASSERT_EQ(StatusOf(Call(unit, off, 0)), 0);
  ASSERT_EQ(StatusOf(Call(unit, on, 0)), 0);
  ASSERT_EQ(StatusOf(Call(unit, {0x07, 0x0C}, 0)), 0);  // ports 1 and 2

  ASSERT_EQ(StatusOf(Call(unit, {0x04, 0}, 0)), 0);
  Poll(unit, 2000);
  EXPECT_EQ(unit.serialRecord(0)[6], 0x10);
  EXPECT_EQ(unit.lastSerial(0), (std::array<uint8_t, 6>{}));

  ASSERT_EQ(StatusOf(Call(unit, {0x04, 1}, 2000)), 0);
  Poll(unit, 4000);
  EXPECT_EQ(unit.serialRecord(1)[6], 0x21) << "only the passing port took a number";
  EXPECT_EQ(unit.lastSerial(0)[0], 0x20);
  EXPECT_EQ(unit.lastSerial(1)[0], 0x00);
}

TEST(Runs, ReadDeviceCopiesTheTargetIntoTheSlot) {
  UnitConfig config;
  config.targets[1].memory = {0xDE, 0xAD, 0x1B, 0x00, 0xEF};
  Unit unit(config);
  const uint32_t base = unit.imageBase() + 3 * unit.imageSlotSize();
  std::fill(unit.flash() + base, unit.flash() + base + 16, 0x00);

  ASSERT_EQ(Call(unit, {0x0A, 1, 3}, 0), (Bytes{0x8A, 0}));
  EXPECT_EQ(Poll(unit, 0), (Status{0, 6, 0, 0}));
  EXPECT_EQ(Poll(unit, 300), (Status{0, 7, 0, 0}));
  EXPECT_EQ(Load(unit, base, 5, 599), Bytes(5, 0x00)) << "nothing copied before the read is done";
  EXPECT_EQ(Poll(unit, 600), (Status{0, 0, 0, 0}));
  EXPECT_EQ(Load(unit, base, 8, 600), (Bytes{0xDE, 0xAD, 0x1B, 0x00, 0xEF, 0xFF, 0xFF, 0xFF}));
}

TEST(Runs, ReadDeviceDefaultsToAnIncrementingPatternOnOlderFirmware) {
  UnitConfig config;
  config.fwMajor = 2;
  config.slotSizeCode = 64;
  Unit unit(config);
  const uint32_t base = 0x10000 + 2 * 64 * 1024;
  std::fill(unit.flash() + base, unit.flash() + base + 64 * 1024, 0x00);
  ASSERT_EQ(StatusOf(Call(unit, {0x0A, 0, 2}, 0)), 0);
  Poll(unit, 1000);
  Bytes head = Load(unit, base, 256, 1000);
  for (size_t i = 0; i < head.size(); ++i) ASSERT_EQ(head[i], uint8_t(i)) << i;
  EXPECT_EQ(Load(unit, base + 4094, 4, 1000), (Bytes{0xFE, 0xFF, 0xFF, 0xFF})) << "4 KiB, then erased";
}

TEST(Runs, FailedReadLeavesTheSlotAlone) {
  UnitConfig config;
  config.targets[0].result = 19;
  config.targets[1].present = false;
  Unit unit(config);
  const uint32_t base = unit.imageBase();
  std::fill(unit.flash() + base, unit.flash() + base + 4, 0x5A);
  for (uint8_t port : {0, 1}) {
    ASSERT_EQ(StatusOf(Call(unit, {0x0A, port, 0}, 10000.0 * port)), 0);
    Status s = Poll(unit, 10000.0 * port + 5000);
    EXPECT_EQ(s[port], port == 0 ? 19 : 16);
    EXPECT_EQ(Load(unit, base, 4, 10000.0 * port + 5000), Bytes(4, 0x5A));
  }
}

}  // namespace
