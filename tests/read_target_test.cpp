// Reading a target device into a slot of the in-process simulated programmer.
#include <gtest/gtest.h>

#include "devices/DeviceDatabase.h"
#include "devices/ImageState.h"
#include "link/CommDefs.h"
#include "operations/ReadTarget.h"
#include "operations/RunState.h"
#include "operations/Selection.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Crc16.h"
#include "sim/Line.h"
#include "sim/StoredImages.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/ReadImageView.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

class RecordingReadView : public ReadImageView {
 public:
  void SetPortStatus(const std::string& caption, int64_t back, int64_t fore) override {
    if (captions.empty() || captions.back() != caption) captions.push_back(caption);
    lastFore = fore;
  }
  void ShowStatusPicture(const std::string& file) override { pictures.push_back(file); }
  void HideStatusPicture() override { hidden = true; }
  std::vector<std::string> captions, pictures;
  int64_t lastFore = 0;
  bool hidden = false;
};

class ReadTargetTest : public ::testing::Test {
 protected:
  ReadTargetTest() {
    ConnectSimLine(platform.port, line);
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    AppPath = dir.path();
    dir.Write("device.inf",
              "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
              "6,ATmega,mega,4096,255,&H312,HEX,1.8,5.5,1040\r\n"
              "1,PSoC1,p1,4096,0,5,HEX,3.0,5.25,0\r\n");
    frmReadImage = &view;
  }
  ~ReadTargetTest() override { frmReadImage = nullptr; }

  vrxsim::Unit& Select(int type) {
    vrxsim::UnitConfig c;
    c.address = 4;
    c.type = type;
    c.images.push_back(vrxsim::StoredImage{2, 100, 5, 0, 150, "Old", 0, 0, 17, true, ""});
    vrxsim::Unit& unit = line.addUnit(c);
    EXPECT_TRUE(AcquireProgrammerAt(4));
    SelectProgrammer();
    return unit;
  }
  Bytes Flash(vrxsim::Unit& unit, uint32_t at, size_t n) {
    unit.advance(platform.port.nowMs);
    return Bytes(unit.flash() + at, unit.flash() + at + n);
  }

  FakePlatform platform;
  vrxsim::Line line;
  RecordingReadView view;
  TempDir dir;
};

TEST_F(ReadTargetTest, BusyCodesThenDoneCompleteTheEntry) {
  vrxsim::Unit& unit = Select(6);
  Bytes memory(4096);
  for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(i ^ 0x5A);
  unit.target(2).memory = memory;
  unit.target(2).stepMs = 500;   // longer than a poll interval: every code is seen
  ASSERT_TRUE(FindDeviceByName("mega"));
  ImageNumber = 2;
  ReadPort = 3;
  ImageName = "Read back";
  ImageVoltage = 165;
  ImageMode = 2;   // with the second memory: its name is written too
  EEName = "Cal";
  ASSERT_TRUE(ReadTargetDeviceImage()) << LastErrorNumber << " " << LastErrorText;

  EXPECT_EQ(view.captions, (std::vector<std::string>{"", "Reading Device", "Reading Checksum", "Done"}));
  EXPECT_FALSE(view.pictures.empty());
  EXPECT_EQ(view.pictures[0], dir.path() + "/Sts1.bmp");
  EXPECT_TRUE(view.hidden);
  const uint32_t area = unit.imageBase() + unit.imageSlotSize();
  EXPECT_EQ(Flash(unit, area, 4096), memory);
  const Bytes entry = Flash(unit, 0x60, 32);
  EXPECT_EQ(Bytes(entry.begin(), entry.begin() + 4), (Bytes{0x00, 0x10, 0, 0}));
  const uint16_t crc = vrxsim::Crc16(memory.data(), memory.size());
  EXPECT_EQ(entry[4], uint8_t(crc));
  EXPECT_EQ(entry[5], uint8_t(crc >> 8));
  EXPECT_EQ(std::string(entry.begin() + 8, entry.begin() + 28), "Read back           ");
  const Bytes name = Flash(unit, FlashMap.EENameBase + 32, 20);
  EXPECT_EQ(std::string(name.begin(), name.end()), "Cal                 ");
  EXPECT_EQ(ImageSecurity[1].Count, -1);   // a read image is unlimited and not protected
  EXPECT_EQ(ImageSecurity[1].Flags, 0);
}

TEST_F(ReadTargetTest, PortFailureLeavesSizeZeroAndTheOldSecurityEntry) {
  vrxsim::Unit& unit = Select(6);
  unit.target(0).result = 19;
  ASSERT_TRUE(FindDeviceByName("mega"));
  ImageNumber = 2;
  ReadPort = 1;
  ImageMode = 0;
  EXPECT_FALSE(ReadTargetDeviceImage());
  EXPECT_EQ(LastErrorNumber, ErrDeviceRead);
  EXPECT_EQ(LastErrorSource, "Read Target Device");
  EXPECT_EQ(LastErrorText, "Device Read Failed");
  EXPECT_EQ(view.captions.back(), "Device ID Failed");
  EXPECT_EQ(Flash(unit, 0x60, 4), (Bytes{0, 0, 0, 0}));
  const Bytes security = Flash(unit, 0x20 + 7, 5);
  EXPECT_EQ(Bytes(security.begin(), security.begin() + 4), (Bytes{17, 0, 0, 0}));
  EXPECT_EQ(security[4], 1);
  EXPECT_TRUE(platform.window.enabled);
}

TEST_F(ReadTargetTest, TypesWithExtendedDataClearTheBlock) {
  vrxsim::Unit& unit = Select(1);
  unit.flash()[3 * 256 + 7] = 0xEE;
  ASSERT_TRUE(FindDeviceByName("p1"));
  ImageNumber = 3;
  ReadPort = 2;
  ASSERT_TRUE(ReadTargetDeviceImage()) << LastErrorText;
  EXPECT_EQ(Flash(unit, 3 * 256 + 7, 1), Bytes{0});
}

}  // namespace
