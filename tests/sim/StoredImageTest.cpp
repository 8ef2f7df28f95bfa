// Images stored at start-up read back as a download would have left them.
#include <gtest/gtest.h>

#include "sim/OptionParse.h"
#include "sim/StoredImages.h"
#include "sim/Unit.h"
#include "SimTestSupport.h"

namespace {

using namespace simtest;
using vrxsim::StoredImage;
using vrxsim::UnitConfig;

Bytes CrcOf(vrxsim::Unit& unit, uint32_t address, uint32_t length) {
  Call(unit, {0x7F}, 0);
  Bytes reply = Call(unit, CrcFlashCmd(address, length), 0);
  return Bytes(reply.begin() + 2, reply.end());
}

TEST(StoredImageTest, DirectoryEntryCarriesTheUnitsCrcAndTheSecurityBlockStaysSealed) {
  for (int fwMajor : {1, 3}) {
    UnitConfig config;
    config.fwMajor = fwMajor;
    config.images.push_back(StoredImage{2, 5000, 0x312, 3, 165, "A name longer than twenty", 6, 4000, 25, true, "EE"});
    config.images.push_back(StoredImage{4, 100, 7, 1, 90, "B", 0, 0, -1, false, ""});
    vrxsim::Unit unit(config);

    const Bytes entry = Load(unit, 0x40 + 32, 32);
    EXPECT_EQ(Le32(entry, 0), 5000u);
    const uint32_t area = unit.imageBase() + unit.imageSlotSize();
    EXPECT_EQ(Bytes(entry.begin() + 4, entry.begin() + 6), CrcOf(unit, area, 5000));
    EXPECT_EQ(entry[6], 0x12);
    EXPECT_EQ(entry[7], 165);
    EXPECT_EQ(std::string(entry.begin() + 8, entry.begin() + 28), "A name longer than t");
    EXPECT_EQ(entry[28], 6);
    EXPECT_EQ(entry[29], 0xC3);
    EXPECT_EQ(entry[30] | entry[31] << 8, 4000);

    const Bytes security = Load(unit, 0x20, 32);
    EXPECT_EQ(Bytes(security.begin() + 30, security.end()), CrcOf(unit, 0x20, 30));
    EXPECT_EQ(Le32(security, 7), 25u);
    EXPECT_EQ(security[7 + 4], 1);
    EXPECT_EQ(Le32(security, 0), 0xFFFFFFFFu);     // untouched slots have no limit
    EXPECT_EQ(Le32(security, 21), 0xFFFFFFFFu);

    const Bytes name = Load(unit, vrxsim::SecondNamesBase(fwMajor) + 32, 20);
    EXPECT_EQ(std::string(name.begin(), name.end()), "EE                  ");
    EXPECT_EQ(Le32(Load(unit, 0x40, 4), 0), 0xFFFFFFFFu);   // slot 1 stays empty
  }
}

TEST(StoredImageTest, ImageOptionNeedsASlotAndAKnownUnit) {
  UnitConfig units[2];
  units[0].address = 1;
  units[1].address = 5;
  std::string error;
  EXPECT_TRUE(vrxsim::ParseImageSpec("address=5,slot=2,name=X,voltage=3.3,count=9,protect=1", units, 2, error))
      << error;
  ASSERT_EQ(units[1].images.size(), 1u);
  EXPECT_EQ(units[1].images[0].voltage, 165);
  EXPECT_EQ(units[1].images[0].count, 9);
  EXPECT_TRUE(units[1].images[0].protect);
  for (const char* bad : {"address=5,name=X", "slot=1", "address=7,slot=1", "address=5,slot=5",
                          "address=5,slot=1,voltage=9", "address=5,slot=1,colour=red", "address=5,slot=1,device=1024"}) {
    EXPECT_FALSE(vrxsim::ParseImageSpec(bad, units, 2, error)) << bad;
  }
}

}  // namespace
