#include <gtest/gtest.h>

#include <cstring>

#include "SimTestSupport.h"
#include "sim/Crc16.h"

namespace {

using namespace simtest;

TEST(Crc16, KnownVectors) {
  const char* check = "123456789";
  EXPECT_EQ(vrxsim::Crc16(reinterpret_cast<const uint8_t*>(check), std::strlen(check)), 0x29B1);
  EXPECT_EQ(vrxsim::Crc16(nullptr, 0), 0xFFFF);
  const uint8_t one[] = {0x00};
  EXPECT_EQ(vrxsim::Crc16(one, 1), 0xE1F0);
}

TEST(Crc16, CrcFlashReportsTheRangeLowByteFirst) {
  vrxsim::Unit unit(vrxsim::UnitConfig{});
  Bytes data{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  Store(unit, 0x30000, data);
  EXPECT_EQ(Call(unit, CrcFlashCmd(0x30000, 9), 0), (Bytes{0x83, 0x00, 0xB1, 0x29}));
}

TEST(Crc16, CrcFlashOverAWholeSlot) {
  vrxsim::Unit unit(vrxsim::UnitConfig{});
  const uint32_t base = 0x10000, size = 256 * 1024;
  for (uint32_t i = 0; i < size; ++i) unit.flash()[base + i] = uint8_t(i * 7 + (i >> 9));
  uint16_t expected = vrxsim::Crc16(unit.flash() + base, size);
  Bytes reply = Call(unit, CrcFlashCmd(base, size), 0);
  ASSERT_EQ(reply.size(), 4u);
  EXPECT_EQ(reply[1], 0);
  EXPECT_EQ(reply[2] | reply[3] << 8, expected);
}

}  // namespace
