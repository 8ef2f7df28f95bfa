// The program against vrx-sim over a real pseudo-terminal, through the same
// serial port code that opens a real line.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <memory>

#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "platform/PortMap.h"
#include "platform/QtEventLoop.h"
#include "platform/QtSerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Crc16.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimProcess.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The real serial port, event loop and tick; recording windows and boxes.
class PtyTest : public ::testing::Test {
 protected:
  void StartLine(const std::vector<std::string>& options) {
    sim = std::make_unique<SimProcess>(options);
    ASSERT_TRUE(sim->ready());
    portMap.SetOverrides({{1, sim->linkPath()}});
    serial.SetCommPort(1);
    serial.OnReceive = ReceiveBytes;
    MSComm1 = &serial;
    Events = &events;
  }

  // Opens the line for link-level commands to one address at one speed.
  void OpenAt(int address, const char* settings) {
    int32_t number = 0;
    std::string text;
    ASSERT_TRUE(serial.Open(number, text)) << text;
    serial.SetSettings(settings);
    CurrentAddress = static_cast<uint8_t>(address);
  }

  FakePlatform recorders;   // message boxes, main window, settings; program state reset
  MemorySettingsStore settings;
  PortMap portMap{&settings};
  QtSerialPort serial{portMap};
  QtEventLoop events;
  QtTickTimer timer1{Timer1_Timer};
  std::unique_ptr<SimProcess> sim;
};

TEST_F(PtyTest, ScanFindsMixedSpeedsBothSpeedsAndSkipsAnUnreadableUnit) {
  StartLine({"--programmer", "address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=38400",
             "--programmer", "address=5,type=9,fw=10.007,slots=2,slotsize=64,baud=both",
             "--programmer", "address=7,type=2,fw=1.200,slots=4,slotsize=256,baud=115200,noconfig=1",
             "--programmer", "address=16,type=1,fw=2.005,slots=4,slotsize=512,baud=115200"});
  ScanProgrammers();

  ASSERT_EQ(ProgCount, 4);
  const int addresses[] = {1, 5, 5, 16};
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(ProgrammerTable[i].Address, addresses[i - 1]) << i;
  EXPECT_EQ(ProgrammerTable[2].FwRevision, "10.007");
  EXPECT_EQ(ProgrammerTable[2].SlotSize, 65536);
  EXPECT_EQ(ProgrammerTable[4].SlotSize, 524288);
  EXPECT_EQ(ProgrammerTable[4].ProgType, 1);
  EXPECT_EQ(ProgSettings[1], "38400,n,8,1");
  EXPECT_EQ(ProgSettings[16], "115200,n,8,1");
  EXPECT_EQ(ProgSettings[7], "");
  EXPECT_EQ(recorders.window.items[3].text, "VRX:Addr= 16");
  EXPECT_EQ(recorders.window.panels["Status"], "Found 4 Programmers");
  EXPECT_TRUE(serial.IsOpen());
  EXPECT_TRUE(recorders.messages.boxes.empty());
}

TEST_F(PtyTest, EmptyLineEndsWithNoProgrammersFoundAndThePortClosed) {
  StartLine({});
  ScanProgrammers();
  EXPECT_EQ(ProgCount, 0);
  EXPECT_FALSE(serial.IsOpen());
  EXPECT_TRUE(recorders.window.portListEnabled);
  EXPECT_EQ(recorders.window.panels["Status"], "Found 0 Programmers");
  ASSERT_EQ(recorders.messages.boxes.size(), 1u);
  EXPECT_EQ(recorders.messages.boxes[0].title, "Kestrin - Acquire Programmers");
  EXPECT_NE(recorders.messages.boxes[0].text.find("Error Code:  1508"), std::string::npos);
  EXPECT_EQ(sim->loggedFrames().size(), 32u);
}

TEST_F(PtyTest, FlashRoundTripAndCrcOverTheLine) {
  StartLine({"--programmer", "address=3,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  OpenAt(3, "115200,n,8,1");
  Bytes data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
  data[5] = 0x1B;   // stuffed on the way out
  data[6] = 0x1B;
  ASSERT_TRUE(WriteFlash(0x10000, 1000, data.data(), true)) << LastErrorNumber;
  Bytes back(1000, 0);
  ASSERT_TRUE(ReadFlash(0x10000, 1000, back.data(), false)) << LastErrorNumber;
  EXPECT_EQ(back, data);
  std::array<uint8_t, 2> crc{};
  ASSERT_TRUE(CrcFlash(0x10000, 1000, crc));
  const uint16_t expected = vrxsim::Crc16(data.data(), data.size());
  EXPECT_EQ(crc[0], expected & 0xFF);
  EXPECT_EQ(crc[1], expected >> 8);
}

TEST_F(PtyTest, UnitAtTheOtherSpeedStaysSilent) {
  StartLine({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=38400"});
  OpenAt(2, "115200,n,8,1");
  std::string revision;
  EXPECT_FALSE(FwRev(revision));
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  serial.SetSettings("38400,n,8,1");
  ASSERT_TRUE(FwRev(revision));
  EXPECT_EQ(revision, "3.010");
}

// Faults on the line give the link's errors, and the next command works again.
struct LineFault {
  const char* name;
  const char* fault;
  int32_t error;   // 0: the command still succeeds
};

class PtyFaultTest : public PtyTest, public ::testing::WithParamInterface<LineFault> {};

TEST_P(PtyFaultTest, FaultGivesItsErrorAndTheLineRecovers) {
  StartLine({"--programmer", "address=4,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--fault",
             std::string(GetParam().fault) + ",count=1"});
  OpenAt(4, "115200,n,8,1");
  std::string revision;
  const bool first = FwRev(revision);
  EXPECT_EQ(first, GetParam().error == 0);
  EXPECT_EQ(LastErrorNumber, GetParam().error);
  ASSERT_TRUE(FwRev(revision)) << "the line did not recover: " << LastErrorNumber;
  EXPECT_EQ(revision, "3.010");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PtyFaultTest,
    ::testing::Values(LineFault{"Dropped", "kind=drop", ErrNoResponse},
                      LineFault{"Endless", "kind=endless", ErrNoResponse},
                      LineFault{"Delayed", "kind=delay,ms=400", ErrNoResponse},
                      LineFault{"WrongAddress", "kind=wrongaddr", ErrWrongAddress},
                      LineFault{"WrongId", "kind=wrongid", ErrWrongResponseId},
                      LineFault{"NoiseBefore", "kind=noise", 0},
                      LineFault{"TrailingBytes", "kind=trailing", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PtyTest, CorruptedBlockIsCaughtByReadingBack) {
  StartLine({"--programmer", "address=4,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--fault",
             "kind=corrupt,command=0x02,count=1"});
  OpenAt(4, "115200,n,8,1");
  Bytes data(256, 0x5A);
  ASSERT_TRUE(WriteFlash(0x20000, 256, data.data(), false));
  Bytes back(256, 0);
  ASSERT_TRUE(ReadFlash(0x20000, 256, back.data(), false));
  EXPECT_NE(back, data);   // the link carries no checksum: callers compare
  ASSERT_TRUE(ReadFlash(0x20000, 256, back.data(), false));
  EXPECT_EQ(back, data);
}

TEST_F(PtyTest, DeviceVanishingMidTransferFailsWithoutHanging) {
  StartLine({"--line-rate", "--programmer", "address=4,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  OpenAt(4, "115200,n,8,1");
  int32_t killedAt = -1;
  QTimer::singleShot(300, [this, &killedAt] {
    sim->kill();
    killedAt = TickCount;
  });
  Bytes back(64 * 1024, 0);
  EXPECT_FALSE(ReadFlash(0, static_cast<int32_t>(back.size()), back.data(), false));
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  ASSERT_GE(killedAt, 0);
  // The block under way when the device vanished waits out its own time-out, and nothing after it.
  EXPECT_LE(TickCount - killedAt, TimeoutFlashBlock + 1);
  std::string revision;
  EXPECT_FALSE(FwRev(revision));   // still usable: the next command fails cleanly
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
}

}  // namespace
