#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "SimTestSupport.h"
#include "sim/FlashLayout.h"

namespace {

using namespace simtest;
using vrxsim::Unit;
using vrxsim::UnitConfig;

struct Area {
  std::string name;
  uint64_t begin, end;
};

std::vector<Area> MapAreas(const Bytes& map, int slots) {
  auto f = [&](int i) { return uint64_t(Le32(map, 4 * size_t(i))); };
  std::vector<Area> areas = {
      {"images", f(0), f(0) + f(1) * uint64_t(slots)},
      {"second memory", f(2), f(2) + f(3) * uint64_t(slots)},
      {"page maps", f(4), f(4) + f(5) * uint64_t(slots)},
      {"firmware", f(6), f(6) + f(7)},
      {"hwc0", f(8), f(8) + f(9)},
      {"hwc1", f(10), f(10) + f(11)},
      {"hwc2", f(12), f(12) + f(13)},
      {"vectors", f(14), f(14) + f(15)},
      {"hwc3", f(16), f(16) + f(17)},
      {"hwc4", f(18), f(18) + f(19)},
  };
  // What the PC keeps for itself, and the unit's own blocks.
  areas.push_back({"config, security, directory", 0, 0x40 + 32u * uint64_t(slots)});
  areas.push_back({"second-memory names", 0xE00, 0xE80});
  areas.push_back({"flash map", 0xF00, 0xF50});
  areas.push_back({"second vector table", 0x24A000, 0x252000});
  return areas;
}

TEST(Layout, GenerationThreeMapIsConsistentForEveryShape) {
  struct Shape {
    int slots, code;
    uint32_t slotBytes, imageBase;
  };
  // Images too large to fit below the PC's second vector table go above it.
  const std::vector<Shape> shapes = {{4, 0, 256 * 1024, 0x10000},  {4, 1, 512 * 1024, 0x10000},
                                     {8, 1, 512 * 1024, 0x252000}, {2, 64, 64 * 1024, 0x10000},
                                     {16, 0, 256 * 1024, 0x252000}};
  for (const Shape& s : shapes) {
    UnitConfig config;
    config.slots = s.slots;
    config.slotSizeCode = s.code;
    Unit unit(config);
    SCOPED_TRACE("slots " + std::to_string(s.slots) + ", code " + std::to_string(s.code));

    Bytes map = Load(unit, 0xF00, 80);
    EXPECT_EQ(Le32(map, 0), s.imageBase) << "ImageBase";
    EXPECT_EQ(Le32(map, 4), s.slotBytes) << "ImageSlotSize";
    EXPECT_EQ(Le32(map, 12), 0x4000u) << "EESlotSize";
    EXPECT_EQ(Le32(map, 20), 128u) << "PageMapSize";
    EXPECT_EQ(Le32(map, 24), 0x1000u) << "FirmwareBase";
    EXPECT_EQ(Le32(map, 28), 0x3F00u) << "FirmwareSize";
    EXPECT_GE(unit.flashSize(), 0x400000u);

    auto areas = MapAreas(map, s.slots);
    for (size_t i = 0; i < areas.size(); ++i) {
      EXPECT_LE(areas[i].end, unit.flashSize()) << areas[i].name << " lies outside the flash";
      EXPECT_LT(areas[i].begin, areas[i].end) << areas[i].name << " is empty";
      for (size_t j = i + 1; j < areas.size(); ++j)
        EXPECT_TRUE(areas[i].end <= areas[j].begin || areas[j].end <= areas[i].begin)
            << areas[i].name << " overlaps " << areas[j].name;
    }
    EXPECT_EQ(unit.imageBase(), s.imageBase);
    EXPECT_EQ(unit.imageSlotSize(), s.slotBytes);
  }
}

TEST(Layout, OlderGenerationsHaveNoMapAndFixedImageBase) {
  UnitConfig config;
  config.fwMajor = 2;
  config.fwMinor = 5;
  config.slotSizeCode = 1;
  Unit unit(config);
  EXPECT_EQ(Load(unit, 0xF00, 80), Bytes(80, 0xFF));
  EXPECT_EQ(unit.imageBase(), 0x10000u);
  EXPECT_EQ(unit.imageSlotSize(), 512u * 1024);
  EXPECT_EQ(Load(unit, 28, 4), (Bytes{0x01, 0x04, 0x06, 0x01}));
}

TEST(Layout, FlashGrowsWhenTheSlotsNeedMore) {
  UnitConfig config;
  config.slots = 12;
  config.slotSizeCode = 1;  // 6 MiB of images
  Unit unit(config);
  EXPECT_GE(unit.flashSize(), 0x10000u + 12u * 512 * 1024);
  EXPECT_EQ(unit.flash()[unit.flashSize() - 1], 0xFF);
}

TEST(Layout, TheUnitReadsTheMapTheFlashHolds) {
  Unit unit(UnitConfig{});
  Bytes map = Load(unit, 0xF00, 8);
  map[0] = 0x00, map[1] = 0x00, map[2] = 0x30, map[3] = 0x00;  // ImageBase 0x300000
  map[4] = 0x00, map[5] = 0x00, map[6] = 0x01, map[7] = 0x00;  // ImageSlotSize 0x10000
  Store(unit, 0xF00, map);
  EXPECT_EQ(unit.imageBase(), 0x300000u);
  EXPECT_EQ(unit.imageSlotSize(), 0x10000u);
}

}  // namespace
