// Families whose toolchains place flash at a base address (STM32: 0x08000000):
// their files convert to the same image and sums as the same data at 0, and
// what lies outside both ranges is still refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/FamilyTraits.h"
#include "devices/ImageState.h"
#include "images/Loaders.h"
#include "images/ProjectState.h"
#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "operations/ImageDownload.h"
#include "operations/LoadImage.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int64_t StmBase = 0x08000000;

struct Converted {
  bool ok = false;
  int32_t error = 0;
  Bytes image;
  int32_t top = 0, fileChecksum = 0, entireChecksum = 0;
};

class FlashBaseTest : public ::testing::Test {
 protected:
  FlashBaseTest() { AppPath = KESTRIN_DATA_DIR; }

  // The first device of a family of the delivered database.
  void Select(int type, const std::string& family) {
    DeviceFile = "\\device.inf";
    ProgType = static_cast<uint8_t>(type);
    ASSERT_TRUE(LoadDeviceFamilies()) << LastErrorText;
    CurFamily = -1;
    for (int f = 0; !FamilyList[f].empty(); ++f) {
      if (FamilyList[f] == family) CurFamily = f;
    }
    ASSERT_GE(CurFamily, 0) << family;
    LoadDeviceTypes();
    ASSERT_FALSE(DeviceTable[0].DevName.empty());
  }
  // The files as a load converts them, with the sums it would report.
  Converted Convert(const std::vector<std::string>& texts) {
    ImageLoadSettings settings;
    for (const std::string& t : texts) {
      settings.files.push_back(dir.Write("f" + std::to_string(settings.files.size()) + ".hex", t));
    }
    settings.keepSecondMemory = false;
    ClearError();
    Converted c;
    c.ok = ConvertImageForLoad(settings);
    c.error = LastErrorNumber;
    if (!c.ok) return c;
    c.image.assign(ImageBuffer.begin(), ImageBuffer.begin() + DeviceTable[CurDevice].DevFlashSize);
    c.top = ImageTop;
    c.fileChecksum = FileChecksum;
    c.entireChecksum = DownloadChecksum();
    return c;
  }

  FakePlatform platform;
  TempDir dir;
};

// Every STM32 family of the database has its flash at 0x08000000, the other
// families of the ARM programmer at 0.
TEST_F(FlashBaseTest, TheTableCoversEveryStm32FamilyOfTheDatabase) {
  for (const char* file : {"device.inf", "device_V2.inf"}) {
    DeviceFile = std::string("\\") + file;
    ProgType = 9;
    ASSERT_TRUE(LoadDeviceFamilies()) << LastErrorText;
    int stm32 = 0;
    for (int f = 0; !FamilyList[f].empty(); ++f) {
      const bool isStm32 = FamilyList[f].rfind("STM32", 0) == 0;
      stm32 += isStm32;
      EXPECT_EQ(FamilyTraitsOf(9, FamilyList[f]).flashBase, isStm32 ? StmBase : 0) << file << " " << FamilyList[f];
    }
    EXPECT_GE(stm32, 2) << file;
  }
  EXPECT_EQ(FamilyTraitsOf(6, "STM32F1").flashBase, 0);   // a name on another programmer type
}

// The same data at 0 and at the base: the same image, top and sums.
TEST_F(FlashBaseTest, DataAtTheBaseConvertsAsTheSameDataAtZero) {
  struct Case {
    const char* family;
    int64_t start;      // image index of the first byte
    size_t size;
    const char* tail;   // records after the data, before the end record
  };
  const Case cases[] = {
      {"STM32F1", 0, 0x10000, ""},                              // the whole flash of the first F1 device
      {"STM32F0", 0x100, 0x2F00, ""},                           // blank before and after
      {"STM32F1", 0xFFF0, 0x10, ""},                            // the last 16 bytes
      {"STM32F1", 0x8000, 0x1000, ":0400000508000131BD\r\n"},   // with a start address record
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.family) + " from " + std::to_string(c.start));
    Select(9, c.family);
    const Bytes data = PseudoFirmware(c.size, static_cast<uint32_t>(c.start + c.size));
    const Converted atZero = Convert({DataRecords(c.start, data) + c.tail + EndRecord()});
    const Converted atBase = Convert({DataRecords(StmBase + c.start, data) + c.tail + EndRecord()});
    ASSERT_TRUE(atZero.ok) << atZero.error;
    ASSERT_TRUE(atBase.ok) << atBase.error << " " << LastErrorText;
    EXPECT_EQ(atBase.image, atZero.image);
    EXPECT_EQ(Bytes(atBase.image.begin() + c.start, atBase.image.begin() + c.start + c.size), data);
    if (c.start > 0) {
      EXPECT_EQ(atBase.image[c.start - 1], DeviceTable[CurDevice].DevBlank);
    }
    EXPECT_EQ(atBase.top, c.start + static_cast<int64_t>(c.size) - 1);
    EXPECT_EQ(atBase.top, atZero.top);
    uint32_t sum = 0;
    for (uint8_t b : data) sum += b;
    EXPECT_EQ(atBase.fileChecksum, static_cast<int32_t>(sum));
    EXPECT_EQ(atBase.fileChecksum, atZero.fileChecksum);
    EXPECT_EQ(atBase.entireChecksum, atZero.entireChecksum);
  }
}

// Outside both ranges, in both at once, or in a family without a base: refused.
TEST_F(FlashBaseTest, AddressesOutsideBothRangesAreRefused) {
  struct Case {
    int type;
    const char* family;
    std::vector<std::string> files;
    bool ok;
  };
  // The first F1 device has 64 KiB of flash.
  const Case cases[] = {
      {9, "STM32F1", {DataRecords(StmBase + 0xFFFF, {1}) + EndRecord()}, true},            // last byte
      {9, "STM32F1", {DataRecords(StmBase + 0x10000, {1}) + EndRecord()}, false},          // just past base + size
      {9, "STM32F1", {DataRecords(StmBase + 0xFFFF, {1, 2}) + EndRecord()}, false},        // running past it
      {9, "STM32F1", {DataRecords(0x10000, {1}) + EndRecord()}, false},                    // between size and base
      {9, "STM32F1", {DataRecords(0x07FFFFFF, {1}) + EndRecord()}, false},                 // just below the base
      {9, "STM32F1", {DataRecords(0x18000000, {1}) + EndRecord()}, false},
      {9, "STM32F1", {DataRecords(0, {1}) + DataRecords(StmBase + 0x100, {2}) + EndRecord()}, false},   // both ranges
      {9, "STM32F1", {DataRecords(StmBase + 0x100, {2}) + DataRecords(0, {1}) + EndRecord()}, false},
      {9, "STM32F1", {DataRecords(0, {1}) + EndRecord(), DataRecords(StmBase + 0x100, {2}) + EndRecord()}, false},
      {9, "STM32F1", {DataRecords(StmBase, {1}) + EndRecord(), DataRecords(StmBase + 0x100, {2}) + EndRecord()}, true},
      {9, "LPC1100", {DataRecords(StmBase, {1}) + EndRecord()}, false},
      {9, "SAM D21", {DataRecords(StmBase, {1}) + EndRecord()}, false},
      {6, "ATmega", {DataRecords(StmBase, {1}) + EndRecord()}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.family) + " case " + std::to_string(&c - cases));
    Select(c.type, c.family);
    const Converted r = Convert(c.files);
    EXPECT_EQ(r.ok, c.ok) << LastErrorText;
    EXPECT_EQ(r.error, c.ok ? 0 : ErrAddressRange) << LastErrorText;
    if (!c.ok) {
      EXPECT_NE(LastErrorText.find("Address Out of Range in HEX File"), std::string::npos) << LastErrorText;
    }
  }
}

}  // namespace
