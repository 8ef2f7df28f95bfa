#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "SimTestSupport.h"

namespace {

using namespace simtest;
using vrxsim::Unit;
using vrxsim::UnitConfig;

class Persistence : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vrxsim-flash-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    file_ = dir_ + "/unit1.flash";
  }
  void TearDown() override {
    unlink(file_.c_str());
    rmdir(dir_.c_str());
  }
  off_t FileSize() const {
    struct stat st {};
    return stat(file_.c_str(), &st) == 0 ? st.st_size : -1;
  }
  std::string dir_, file_;
};

TEST_F(Persistence, FlashSurvivesRecreatingTheUnit) {
  Bytes image(600);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 13);
  {
    Unit unit(UnitConfig{}, file_);
    EXPECT_EQ(FileSize(), off_t(unit.flashSize()));
    Store(unit, 0x10000, image);
  }
  Unit again(UnitConfig{}, file_);
  EXPECT_EQ(Load(again, 0x10000, 256), Bytes(image.begin(), image.begin() + 256));
  EXPECT_EQ(Load(again, 0x10100, 256), Bytes(image.begin() + 256, image.begin() + 512));
  EXPECT_EQ(Load(again, 0x10200, 88), Bytes(image.begin() + 512, image.end()));
  EXPECT_EQ(Load(again, 0x10258, 1), Bytes{0xFF});
}

TEST_F(Persistence, StoredConfigurationBlockWinsOverTheCommandLine) {
  {
    Unit unit(UnitConfig{}, file_);
    Store(unit, 28, {64, 2, 9, 12});  // 64 KiB slots, 2 slots, type 9, address 12
  }
  UnitConfig asked;  // address 1, 4 slots of 256 KiB, type 6
  Unit unit(asked, file_);
  EXPECT_EQ(unit.address(), 12);
  EXPECT_EQ(unit.config().slots, 2);
  EXPECT_EQ(unit.config().slotSizeCode, 64);
  EXPECT_EQ(unit.config().type, 9);
  EXPECT_EQ(Call(unit, {0x04, 2}, 0), (Bytes{0x84, 6})) << "only two slots now";
}

TEST_F(Persistence, NewFileStartsErasedWithTheConfigurationBlock) {
  UnitConfig config;
  config.address = 3;
  config.type = 2;
  Unit unit(config, file_);
  EXPECT_EQ(Load(unit, 26, 6), (Bytes{0, 0, 0, 4, 2, 3}));
  EXPECT_EQ(Load(unit, 0x20, 32), Bytes(32, 0xFF));
  EXPECT_EQ(Load(unit, uint32_t(unit.flashSize()) - 256, 256), Bytes(256, 0xFF));
}

TEST_F(Persistence, ARunsEffectsReachTheFile) {
  {
    Unit unit(UnitConfig{}, file_);
    Store(unit, 0x40, {0x00, 0x10, 0x00, 0x00});  // slot 1 holds 4 KiB
    Store(unit, 0x20, {3, 0, 0, 0});              // three devices left
    ASSERT_EQ(StatusOf(Call(unit, {0x07, 0x0E}, 0)), 0);  // port 1 only
    ASSERT_EQ(StatusOf(Call(unit, {0x04, 0}, 0)), 0);
    unit.advance(1000);
  }
  Unit again(UnitConfig{}, file_);
  EXPECT_EQ(Load(again, 0x20, 4), (Bytes{2, 0, 0, 0}));
}

}  // namespace
