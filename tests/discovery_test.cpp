// The bus scan against the simulated line.
#include <gtest/gtest.h>

#include "link/CommDefs.h"
#include "link/LineState.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimLine.h"

namespace {

using vrxsim::Baud;
using vrxsim::UnitConfig;

UnitConfig Unit(int address, Baud baud, int type = 6, int fwMajor = 3, int fwMinor = 10, int slots = 4,
                int slotSizeCode = 0) {
  UnitConfig c;
  c.address = address;
  c.baud = baud;
  c.type = type;
  c.fwMajor = fwMajor;
  c.fwMinor = fwMinor;
  c.slots = slots;
  c.slotSizeCode = slotSizeCode;
  return c;
}

class DiscoveryTest : public ::testing::Test {
 protected:
  DiscoveryTest() { ConnectSimLine(platform.port, line); }

  int FwRevFramesSent() const {
    int count = 0;
    for (const auto& frame : line.log()) count += (!frame.payload.empty() && frame.payload[0] == CmdFwRev);
    return count;
  }

  FakePlatform platform;
  vrxsim::Line line;
};

TEST_F(DiscoveryTest, FindsUnitsAtMixedSpeedsAndListsBothSpeedUnitsTwice) {
  line.addUnit(Unit(1, Baud::B38400, 6, 3, 10, 4, 0));
  line.addUnit(Unit(2, Baud::B115200, 1, 2, 5, 2, 1));
  line.addUnit(Unit(5, Baud::Both, 9, 10, 7, 4, 64));
  UnitConfig broken = Unit(7, Baud::B38400);
  broken.failConfigRead = true;
  line.addUnit(broken);

  ScanProgrammers();

  ASSERT_EQ(ProgCount, 4);
  struct Expected { int address; const char* settings; const char* fw; int type, slots, slotSize; };
  const Expected expected[] = {{1, "38400,n,8,1", "3.010", 6, 4, 262144},
                               {2, "115200,n,8,1", "2.005", 1, 2, 524288},
                               {5, "38400,n,8,1", "10.007", 9, 4, 65536},
                               {5, "115200,n,8,1", "10.007", 9, 4, 65536}};
  for (int i = 1; i <= 4; ++i) {
    const Expected& e = expected[i - 1];
    const ProgrammerRecord& p = ProgrammerTable[i];
    EXPECT_EQ(p.Address, e.address) << i;
    EXPECT_EQ(p.FwRevision, e.fw) << i;
    EXPECT_EQ(p.ProgType, e.type) << i;
    EXPECT_EQ(p.NumImages, e.slots) << i;
    EXPECT_EQ(p.SlotSize, e.slotSize) << i;
  }
  EXPECT_EQ(ProgSettings[1], "38400,n,8,1");
  EXPECT_EQ(ProgSettings[2], "115200,n,8,1");
  EXPECT_EQ(ProgSettings[5], "115200,n,8,1");   // the later speed wins
  EXPECT_EQ(ProgSettings[7], "");               // answered FwRev but its configuration could not be read

  const auto& items = platform.window.items;
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].text, "VRX:Addr= 1");
  EXPECT_EQ(items[0].key, "P 1");
  EXPECT_EQ(items[0].image, "Programmer");
  EXPECT_EQ(items[3].text, "VRX:Addr= 5");
  EXPECT_EQ(platform.window.panels["Status"], "Found 4 Programmers");
  EXPECT_EQ(platform.window.selectedItem, 1);
  EXPECT_TRUE(platform.window.imageManagerOpen);
  EXPECT_TRUE(platform.window.arrayProgrammingEnabled);
  EXPECT_FALSE(platform.window.portListEnabled);
  EXPECT_FALSE(platform.window.progressVisible);
  EXPECT_EQ(platform.window.progressValues.back(), 100);
  EXPECT_TRUE(platform.port.open);
  EXPECT_EQ(CurrentAddress, 16);
  EXPECT_EQ(platform.port.settings, "115200,n,8,1");
  EXPECT_EQ(LastErrorNumber, 0);
  EXPECT_TRUE(platform.messages.boxes.empty());
  EXPECT_EQ(FwRevFramesSent(), 32);   // every address at both speeds, found or not
}

TEST_F(DiscoveryTest, UnitAtAddressSixteenOnly) {
  line.addUnit(Unit(16, Baud::B38400));
  ScanProgrammers();
  ASSERT_EQ(ProgCount, 1);
  EXPECT_EQ(ProgrammerTable[1].Address, 16);
  EXPECT_EQ(platform.window.items[0].text, "VRX:Addr= 16");
  EXPECT_EQ(ProgSettings[16], "38400,n,8,1");
  EXPECT_EQ(platform.window.panels["Status"], "Found 1 Programmers");
}

TEST_F(DiscoveryTest, EmptyLineReportsNoProgrammersAndClosesThePort) {
  SelectedProgrammer = 2;
  ProgType = 6;
  platform.port.path = "/dev/ttyUSB0";
  ScanProgrammers();
  EXPECT_EQ(ProgCount, 0);
  EXPECT_EQ(SelectedProgrammer, 0);
  EXPECT_EQ(ProgType, 0);
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_EQ(platform.messages.boxes[0].title, "Kestrin - Acquire Programmers");
  EXPECT_EQ(platform.messages.boxes[0].text,
            "Function: FwRev\r\nError Code:  1508\r\nSource: Image Manager\r\nNo Programmers Found\r\n\r\n"
            "Tried: COM1 (/dev/ttyUSB0), addresses 1 to 16 at 38400 and 115200 bit/s\r\n"
            "Check that the programmer is powered and connected to /dev/ttyUSB0.");
  EXPECT_FALSE(platform.port.open);
  EXPECT_TRUE(platform.window.portListEnabled);
  EXPECT_FALSE(platform.window.imageManagerOpen);
  EXPECT_FALSE(platform.window.arrayProgrammingEnabled);
  EXPECT_EQ(platform.window.panels["Status"], "Found 0 Programmers");
  EXPECT_EQ(FwRevFramesSent(), 32);
}

TEST_F(DiscoveryTest, PortThatCannotOpenReportsThePortsReasonAndListsNothing) {
  line.addUnit(Unit(1, Baud::B38400));
  ScanProgrammers();
  ASSERT_EQ(ProgCount, 1);
  platform.window.imageManagerOpen = false;

  platform.port.open = false;
  platform.port.failOpen = true;
  platform.port.openErrorNumber = 8002;
  platform.port.openErrorText = "Invalid Port Number (/dev/ttyGone)";
  platform.port.path = "/dev/ttyGone";
  platform.messages.boxes.clear();
  ScanProgrammers();

  EXPECT_EQ(ProgCount, 0);
  EXPECT_TRUE(platform.window.items.empty());
  EXPECT_EQ(LastErrorNumber, 8002);
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_EQ(platform.messages.boxes[0].title, "Kestrin - Acquire Programmers");
  EXPECT_EQ(platform.messages.boxes[0].text,
            "Function: Open Communications Port\r\nError Code:  8002\r\nSource: Scan for Programmers\r\n"
            "Error Opening Communications Port - Invalid Port Number (/dev/ttyGone)\r\n\r\n"
            "Tried: opening COM1 (/dev/ttyGone)\r\n"
            "Check that /dev/ttyGone exists, that no other program holds it and that your user may open it "
            "(on Linux, membership of the dialout group).");
  EXPECT_EQ(platform.window.panels["Status"], "Error Opening Communications Port - Invalid Port Number (/dev/ttyGone)");
  EXPECT_TRUE(platform.window.portListEnabled);
  EXPECT_FALSE(platform.port.open);
  EXPECT_EQ(FwRevFramesSent(), 32);   // only the first scan asked anybody

  // Finding one address records the same reason instead of none.
  platform.messages.boxes.clear();
  EXPECT_FALSE(AcquireProgrammerAt(1));
  EXPECT_EQ(LastErrorNumber, 8002);
  EXPECT_EQ(LastFunction, "Open Communications Port");
  EXPECT_EQ(LastErrorText, "Error Opening Communications Port - Invalid Port Number (/dev/ttyGone)");
  EXPECT_EQ(FwRevFramesSent(), 32);
}

TEST_F(DiscoveryTest, FullLineOfBothSpeedUnitsStopsAtSixteenEntries) {
  for (int address = 1; address <= 16; ++address) line.addUnit(Unit(address, Baud::Both));
  ScanProgrammers();
  ASSERT_EQ(ProgCount, 16);
  EXPECT_EQ(ProgrammerTable[15].Address, 8);
  EXPECT_EQ(ProgrammerTable[16].Address, 8);
  EXPECT_EQ(platform.window.items.size(), 16u);
}

TEST(SlotSizeTest, ConfigurationByteIsKibWithTwoSpecialCodes) {
  EXPECT_EQ(SlotSizeFromCode(0), 262144);
  EXPECT_EQ(SlotSizeFromCode(1), 524288);
  EXPECT_EQ(SlotSizeFromCode(64), 65536);
  EXPECT_EQ(SlotSizeFromCode(255), 255 * 1024);
}

}  // namespace
