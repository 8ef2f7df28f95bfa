#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimTestSupport.h"

namespace {

using namespace simtest;
using vrxsim::Unit;
using vrxsim::UnitConfig;

Bytes Zeros(size_t n) { return Bytes(n, 0); }

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Case {
  const char* name;
  Bytes payload;
  Bytes reply;
};

// A fresh unit of the default kind: firmware 3.010, 4 slots of 256 KiB,
// type 6 at address 1, all slots empty, no run yet.
TEST(Commands, RepliesOfAFreshUnit) {
  Unit unit(UnitConfig{});
  const uint32_t end = uint32_t(unit.flashSize());
  Bytes configBlock(26, 0xFF);
  configBlock.insert(configBlock.end(), {0x00, 0x00, 0x00, 0x04, 0x06, 0x01});

  const std::vector<Case> cases = {
      {"FwRev", {0x00}, {0x80, 0, 10, 3}},
      {"FwRev with a parameter", {0x00, 0x00}, {0x80, 2}},
      {"no command code", {}, {0x80, 1}},
      {"unused code 0x08", {0x08}, {0x88, 4}},
      {"unused code 0x09", {0x09}, {0x89, 4}},
      {"unknown code 0x42", {0x42, 1, 2}, {0xC2, 4}},
      {"WriteFlash too short", {0x01, 0, 0, 0}, {0x81, 1}},
      {"WriteFlash count larger than data", {0x01, 0, 0, 1, 0, 2, 0, 0xAA}, {0x81, 2}},
      {"WriteFlash count smaller than data", {0x01, 0, 0, 1, 0, 1, 0, 0xAA, 0xBB}, {0x81, 2}},
      {"WriteFlash over 256 bytes", WriteFlashCmd(0x10000, Bytes(257, 0)), {0x81, 2}},
      {"WriteFlash past the end", WriteFlashCmd(end - 1, {1, 2}), {0x81, 2}},
      {"ReadFlash configuration block", ReadFlashCmd(0, 32), Join({0x82, 0}, configBlock)},
      {"ReadFlash security block is erased", ReadFlashCmd(0x20, 32), Join({0x82, 0}, Bytes(32, 0xFF))},
      {"ReadFlash nothing", ReadFlashCmd(0x100, 0), {0x82, 0}},
      {"ReadFlash last byte", ReadFlashCmd(end - 1, 1), {0x82, 0, 0xFF}},
      {"ReadFlash too short", {0x02, 0, 0, 0, 0, 1}, {0x82, 1}},
      {"ReadFlash too long", {0x02, 0, 0, 0, 0, 1, 0, 0}, {0x82, 2}},
      {"ReadFlash over 256 bytes", ReadFlashCmd(0, 257), {0x82, 2}},
      {"ReadFlash past the end", ReadFlashCmd(end - 1, 2), {0x82, 2}},
      {"CrcFlash too short", {0x03, 0, 0, 0, 0, 1, 0, 0}, {0x83, 1}},
      {"CrcFlash too long", Join(CrcFlashCmd(0, 1), {0}), {0x83, 2}},
      {"CrcFlash past the end", CrcFlashCmd(end - 4, 5), {0x83, 2}},
      {"Program without slot", {0x04}, {0x84, 1}},
      {"Program with two bytes", {0x04, 0, 0}, {0x84, 2}},
      {"Program slot beyond the unit", {0x04, 4}, {0x84, 6}},
      {"Program empty slot", {0x04, 0}, {0x84, 7}},
      {"Verify slot beyond the unit", {0x0B, 9}, {0x8B, 6}},
      {"Verify empty slot", {0x0B, 3}, {0x8B, 7}},
      {"GetStatus", {0x05}, {0x85, 0, 0, 0, 0, 0}},
      {"GetStatus with a parameter", {0x05, 1}, {0x85, 2}},
      {"CancelProgramming without a run", {0x06}, {0x86, 0}},
      {"PortsEnable without mask", {0x07}, {0x87, 1}},
      {"ReadDevice without slot", {0x0A, 0}, {0x8A, 1}},
      {"ReadDevice bad port", {0x0A, 4, 0}, {0x8A, 2}},
      {"ReadDevice slot beyond the unit", {0x0A, 0, 4}, {0x8A, 6}},
      {"WriteSerialization too short", {0x0C, 0, 1, 1}, {0x8C, 1}},
      {"WriteSerialization slot beyond the unit", Join({0x0C, 4}, Zeros(12)), {0x8C, 6}},
      {"ReadSerialization of a fresh slot", {0x0D, 2}, Join({0x8D, 0}, Zeros(12))},
      {"ReadSerialization slot beyond the unit", {0x0D, 4}, {0x8D, 6}},
      {"GetLastSerials", {0x0E}, Join({0x8E, 0}, Zeros(24))},
      {"ConfigureProgrammer with a parameter", {0x7D, 0}, {0xFD, 2}},
      {"LoadFirmware with a parameter", {0x7E, 0}, {0xFE, 2}},
      {"UnlockFlash with a parameter", {0x7F, 0}, {0xFF, 2}},
  };
  for (const Case& c : cases) EXPECT_EQ(Call(unit, c.payload, 0), c.reply) << c.name;
}

TEST(Commands, WriteFlashNeedsUnlockUntilTheFirmwareIsReloaded) {
  UnitConfig config;
  config.reloadSilenceMs = 100;
  Unit unit(config);
  const Bytes data{0x11, 0x1B, 0x33};

  EXPECT_EQ(Call(unit, WriteFlashCmd(0x20000, data), 0), (Bytes{0x81, 3}));
  EXPECT_EQ(Load(unit, 0x20000, 3), Bytes(3, 0xFF)) << "a refused write changes nothing";

  EXPECT_EQ(Call(unit, {0x7F}, 0), (Bytes{0xFF, 0}));
  EXPECT_EQ(Call(unit, WriteFlashCmd(0x20000, data), 1), (Bytes{0x81, 0}));
  EXPECT_EQ(Call(unit, WriteFlashCmd(0x20100, data), 2), (Bytes{0x81, 0})) << "unlock stays in effect";
  EXPECT_EQ(Load(unit, 0x20000, 3), data);

  EXPECT_EQ(Call(unit, {0x7E}, 10), (Bytes{0xFE, 0}));
  EXPECT_EQ(Call(unit, WriteFlashCmd(0x20000, {0}), 200), (Bytes{0x81, 3}));
}

TEST(Commands, FullBlockWriteAndReadBack) {
  Unit unit(UnitConfig{});
  Bytes block(256);
  for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(255 - i);
  const uint32_t lastBlock = uint32_t(unit.flashSize()) - 256;
  Store(unit, lastBlock, block);
  EXPECT_EQ(Load(unit, lastBlock, 256), block);
  EXPECT_EQ(Load(unit, lastBlock - 1, 1), Bytes{0xFF}) << "neighbouring byte untouched";
}

TEST(Commands, UnreadableConfigurationStillAnswersFwRev) {
  UnitConfig config;
  config.failConfigRead = true;
  Unit unit(config);
  EXPECT_EQ(Call(unit, {0x00}, 0), (Bytes{0x80, 0, 10, 3}));
  EXPECT_EQ(Call(unit, ReadFlashCmd(0, 32), 0), (Bytes{0x82, 3}));
  EXPECT_EQ(Call(unit, ReadFlashCmd(31, 2), 0), (Bytes{0x82, 3})) << "touching byte 31";
  EXPECT_EQ(StatusOf(Call(unit, ReadFlashCmd(32, 32), 0)), 0) << "the security block reads";
}

TEST(Commands, SerializationCommandsOnAUnitWithoutThem) {
  UnitConfig config;
  config.serialization = false;
  Unit unit(config);
  EXPECT_EQ(Call(unit, Join({0x0C, 0}, Zeros(12)), 0), (Bytes{0x8C, 4}));
  EXPECT_EQ(Call(unit, {0x0D, 0}, 0), (Bytes{0x8D, 4}));
  EXPECT_EQ(Call(unit, {0x0E}, 0), (Bytes{0x8E, 4}));
}

TEST(Commands, SerializationRecordIsKeptPerSlot) {
  Unit unit(UnitConfig{});
  const Bytes record{0x01, 0x02, 0x78, 0x56, 0x34, 0x12, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  EXPECT_EQ(Call(unit, Join({0x0C, 2}, record), 0), (Bytes{0x8C, 0}));
  EXPECT_EQ(Call(unit, {0x0D, 2}, 0), Join({0x8D, 0}, record));
  EXPECT_EQ(unit.serialRecord(2), record);
  EXPECT_EQ(unit.serialRecord(1), Zeros(12)) << "other slots untouched";
}

TEST(Commands, PortsEnableTakesInvertedPortBitsAndKeepsOptions) {
  Unit unit(UnitConfig{});
  // Ports 2 and 4 disabled, CRC verify only and multiple images set.
  EXPECT_EQ(Call(unit, {0x07, 0x3A}, 0), (Bytes{0x87, 0}));
  EXPECT_EQ(Call(unit, {0x05}, 0), (Bytes{0x85, 0, 0, 5, 0, 5}));
  EXPECT_EQ(unit.runOptions(), 0x30);
  EXPECT_EQ(Call(unit, {0x07, 0x0F}, 0), (Bytes{0x87, 0}));
  EXPECT_EQ(Call(unit, {0x05}, 0), (Bytes{0x85, 0, 5, 5, 5, 5}));
}

}  // namespace
