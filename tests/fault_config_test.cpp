// Faults on the line while a programmer's own configuration changes: a
// firmware upgrade cut at every block it writes, replies to LoadFirmware and
// FwRev lost or damaged, a unit that comes back with another firmware, and an
// address change cut half way. What counts is what the unit's flash holds
// and what the program then says about it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devices/DeviceState.h"
#include "images/RexFile.h"
#include "images/RexScramble.h"
#include "link/CommDefs.h"
#include "link/ErrorAdvice.h"
#include "operations/FirmwareUpgrade.h"
#include "operations/Selection.h"
#include "options/FuseDefinitions.h"
#include "programmers/Configuration.h"
#include "programmers/Discovery.h"
#include "programmers/FirmwareArea.h"
#include "programmers/UnitState.h"
#include "sim/Crc16.h"
#include "sim/FlashLayout.h"
#include "sim/Line.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/RexRecords.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t AreaSize = 0x3F00;   // the simulated unit's firmware area
constexpr int Blocks = AreaSize / 256;

const char* DeviceFileText = "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
                             "1,PSoC1,p1,4096,0,5,HEX,3.0,5.25,0\r\n";

// A whole firmware area; with a header ("VRXF", minor, major) the unit takes
// its revision from it, without one the unit's configured reload revision holds.
Bytes Firmware(int seed, bool header, uint8_t minor = 0, uint8_t major = 0) {
  Bytes b(AreaSize);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * (2 * seed + 1) + seed);
  if (header) std::copy_n(Bytes{'V', 'R', 'X', 'F', minor, major}.begin(), 6, b.begin());
  return b;
}

uint16_t Crc(const Bytes& b) { return vrxsim::Crc16(b.data(), b.size()); }

class FaultConfigTest : public ::testing::Test {
 protected:
  FaultConfigTest() {
    ConnectSimLine(platform.port, line);
    AppPath = dir.path();
    dir.Write("device.inf", DeviceFileText);
  }

  // A type-1 unit at address 2 whose firmware area holds `installed` and whose
  // configuration block records it, as a finished upgrade leaves them.
  vrxsim::Unit& AddUnit(const Bytes& installed, int reloadMajor = -1, int reloadMinor = -1) {
    vrxsim::UnitConfig c;
    c.address = 2;
    c.type = 1;
    c.reloadSilenceMs = 3000;
    c.reloadFwMajor = reloadMajor;
    c.reloadFwMinor = reloadMinor;
    vrxsim::Unit& u = line.addUnit(c);
    const uint32_t base = FirmwareBase(u);
    std::copy(installed.begin(), installed.end(), u.flash() + base);
    const uint16_t crc = Crc(installed);
    const Bytes record{uint8_t(AreaSize), uint8_t(AreaSize >> 8), uint8_t(crc), uint8_t(crc >> 8)};
    std::copy(record.begin(), record.end(), u.flash() + 4);
    return u;
  }

  bool Select() {
    platform.messages.boxes.clear();
    if (!AcquireProgrammerAt(2)) return false;
    SelectProgrammer();
    return SelectedProgrammer > 0;
  }

  static uint32_t FirmwareBase(vrxsim::Unit& u) { return vrxsim::ReadFlashMap(u.flash())[vrxsim::kFirmwareBase]; }

  Bytes Flash(vrxsim::Unit& u, uint32_t address, size_t n) {
    u.advance(platform.port.nowMs);
    return Bytes(u.flash() + address, u.flash() + address + n);
  }

  void UseFirmwareFile(const Bytes& firmware) {
    dir.Write("fw.rex", WriteRexText(RexChunks(firmware), RexKindFirmware, 0x21));
    FirmwareFileName = "fw.rex";
  }

  bool WarnedIncomplete() const {
    return std::any_of(platform.messages.boxes.begin(), platform.messages.boxes.end(), [](const auto& box) {
      return box.text.find(FirmwareIncompleteText) != std::string::npos;
    });
  }

  FakePlatform platform;
  vrxsim::Line line;
  TempDir dir;
};

TEST_F(FaultConfigTest, TheFirmwareMapOfTheUnitIsTheOneTheProgramUses) {
  vrxsim::Unit& unit = AddUnit(Firmware(1, true, 10, 3));
  ASSERT_TRUE(Select());
  EXPECT_EQ(static_cast<uint32_t>(FlashMap.FirmwareBase), FirmwareBase(unit));
  EXPECT_EQ(FlashMap.FirmwareSize, AreaSize);
  EXPECT_EQ(CheckFirmwareArea(), FirmwareArea::Complete);
  EXPECT_FALSE(WarnedIncomplete());
}

// The line dies after each WriteFlash of the upgrade in turn (63 firmware
// blocks, then the configuration record). When power is back, selection
// says "firmware incomplete" exactly when the record and the area disagree,
// and they disagree whenever the cut fell inside the firmware write.
TEST_F(FaultConfigTest, AnUpgradeCutAtAnyWriteIsFoundIncompleteAtTheNextSelection) {
  const Bytes before = Firmware(1, true, 10, 3);
  const Bytes after = Firmware(2, true, 11, 3);
  for (int cut = 0; cut <= Blocks; ++cut) {
    SCOPED_TRACE("cut after WriteFlash " + std::to_string(cut));
    line = vrxsim::Line();
    vrxsim::Unit& unit = AddUnit(before);
    ASSERT_TRUE(Select());
    ASSERT_FALSE(WarnedIncomplete());
    UseFirmwareFile(after);
    vrxsim::FaultConfig fault{vrxsim::FaultKind::Cut};
    fault.command = CmdWriteFlash;
    fault.after = cut;
    fault.count = 1;
    line.addFault(fault);

    EXPECT_FALSE(UpgradeFirmware(100));
    EXPECT_EQ(LastErrorNumber, ErrNoResponse);
    // The upgrade's own report says so too, not only "No Response".
    EXPECT_NE(LastErrorText.find(FirmwareIncompleteText), std::string::npos) << LastErrorText;
    line.restore();
    ASSERT_TRUE(Select()) << LastErrorText;

    const uint32_t base = FirmwareBase(unit);
    const Bytes area = Flash(unit, base, AreaSize);
    const Bytes record = Flash(unit, 4, 4);
    const bool agree = (record[0] | record[1] << 8) == AreaSize && (record[2] | record[3] << 8) == Crc(area);
    EXPECT_EQ(WarnedIncomplete(), !agree);
    EXPECT_EQ(CheckFirmwareArea() == FirmwareArea::Incomplete, !agree);
    if (cut < Blocks) {
      // Blocks up to the cut hold the new firmware, the rest the old.
      EXPECT_FALSE(agree);
      const size_t written = static_cast<size_t>(cut + 1) * 256;
      EXPECT_TRUE(std::equal(area.begin(), area.begin() + written, after.begin()));
      EXPECT_TRUE(std::equal(area.begin() + written, area.end(), before.begin() + written));
    } else {
      // The record was written with the firmware complete.
      EXPECT_TRUE(agree);
      EXPECT_EQ(area, after);
    }
    if (HasFailure()) return;
  }
}

TEST_F(FaultConfigTest, ANeverUpgradedUnitHasNoRecordAndRaisesNoWarning) {
  vrxsim::UnitConfig c;
  c.address = 2;
  c.type = 1;
  vrxsim::Unit& unit = line.addUnit(c);
  ASSERT_EQ(Flash(unit, 4, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  ASSERT_TRUE(Select());
  EXPECT_FALSE(WarnedIncomplete());
  EXPECT_EQ(CheckFirmwareArea(), FirmwareArea::NoRecord);
}

// A LoadFirmware reply lost or damaged says nothing about the unit: it
// rewrote itself all the same, and the revision it reports decides.
TEST_F(FaultConfigTest, ALostOrDamagedLoadFirmwareReplyIsJudgedByTheRevision) {
  struct Case {
    const char* name;
    vrxsim::FaultKind kind;
    int byte, bit;
  };
  for (const Case& c : {Case{"dropped", vrxsim::FaultKind::Drop, -1, 0},
                        Case{"status flipped", vrxsim::FaultKind::Flip, 1, 2},
                        Case{"response ID flipped", vrxsim::FaultKind::Flip, 0, 0}}) {
    SCOPED_TRACE(c.name);
    line = vrxsim::Line();
    vrxsim::Unit& unit = AddUnit(Firmware(1, true, 10, 3));
    ASSERT_TRUE(Select());
    const Bytes firmware = Firmware(2, true, 11, 3);
    UseFirmwareFile(firmware);
    vrxsim::FaultConfig fault{c.kind};
    fault.command = CmdLoadFirmware;
    fault.count = 1;
    fault.byte = c.byte;
    fault.bit = c.bit;
    line.addFault(fault);

    EXPECT_TRUE(UpgradeFirmware()) << LastErrorNumber << " " << LastErrorText;
    EXPECT_EQ(LastErrorNumber, 0);
    EXPECT_EQ(unit.config().fwMajor, 3);
    EXPECT_EQ(unit.config().fwMinor, 11);
    EXPECT_EQ(ProgrammerTable[SelectedProgrammer].FwRevision, "3.011");
    EXPECT_EQ(Flash(unit, FirmwareBase(unit), AreaSize), firmware);
  }
}

// The unit answers again, but not with the firmware the file brings: still
// the old revision, or one of another generation. The upgrade fails and says
// what the unit now runs.
TEST_F(FaultConfigTest, AUnitBackAtAnotherRevisionFailsNamingWhatItRuns) {
  struct Case {
    int major, minor;
    const char* runs;
  };
  for (const Case& c : {Case{2, 4, "2.004"}, Case{1, 90, "1.090"}}) {
    SCOPED_TRACE(c.runs);
    line = vrxsim::Line();
    // A file without a header: the type's latest revision is what it brings.
    AddUnit(Firmware(1, false), c.major, c.minor);
    ASSERT_TRUE(Select());
    UseFirmwareFile(Firmware(2, false));
    LatestFwRev = 2.005f;

    EXPECT_FALSE(UpgradeFirmware());
    EXPECT_EQ(LastErrorNumber, 1520);
    EXPECT_EQ(LastErrorSource, "Upgrade Firmware");
    EXPECT_EQ(LastErrorText,
              std::string("Firmware Not Installed: the programmer now runs ") + c.runs + ", expected 2.005");
    EXPECT_EQ(ErrorTitle, "Upgrade Firmware");
    EXPECT_EQ(ProgrammerTable[SelectedProgrammer].FwRevision, c.runs);
    EXPECT_TRUE(platform.window.enabled);
  }
}

TEST_F(FaultConfigTest, AFileWithoutHeaderBringsTheTypesLatestRevision) {
  AddUnit(Firmware(1, false), 2, 5);
  ASSERT_TRUE(Select());
  UseFirmwareFile(Firmware(2, false));
  LatestFwRev = 2.005f;
  EXPECT_TRUE(UpgradeFirmware()) << LastErrorText;
  EXPECT_EQ(ProgrammerTable[SelectedProgrammer].FwRevision, "2.005");
}

// One FwRev reply after the restart comes back with a bit flipped: the
// revision taken is the one two replies in a row agree on.
TEST_F(FaultConfigTest, AFwRevFlippedOnceAfterTheUpgradeDoesNotDecideTheRevision) {
  for (int position = 0; position < 4; ++position) {
    for (int byte : {2, 3}) {
      SCOPED_TRACE("FwRev reply " + std::to_string(position) + ", byte " + std::to_string(byte));
      line = vrxsim::Line();
      vrxsim::Unit& unit = AddUnit(Firmware(1, true, 10, 3));
      ASSERT_TRUE(Select());
      UseFirmwareFile(Firmware(2, true, 6, 3));
      vrxsim::FaultConfig fault{vrxsim::FaultKind::Flip};
      fault.command = CmdFwRev;
      fault.after = position;
      fault.count = 1;
      fault.byte = byte;
      fault.bit = 0;
      line.addFault(fault);

      EXPECT_TRUE(UpgradeFirmware()) << LastErrorText;
      EXPECT_EQ(unit.config().fwMinor, 6);
      EXPECT_EQ(ProgrammerTable[SelectedProgrammer].FwRevision, "3.006");
    }
  }
}

// The address byte reaches the flash, then the line dies: the programmer
// may come back at either address, and the report names both.
TEST_F(FaultConfigTest, ASetAddressCutAfterTheByteIsWrittenNamesBothAddresses) {
  vrxsim::Unit& unit = AddUnit(Firmware(1, true, 10, 3));
  ASSERT_TRUE(Select());
  vrxsim::FaultConfig fault{vrxsim::FaultKind::Cut};
  fault.command = CmdWriteFlash;
  fault.count = 1;
  line.addFault(fault);

  EXPECT_EQ(SetProgrammerAddress(7), AddressChange::Failed);
  EXPECT_EQ(Flash(unit, 31, 1), Bytes{7});
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  EXPECT_NE(LastErrorText.find("address 2 (its old address)"), std::string::npos) << LastErrorText;
  EXPECT_NE(LastErrorText.find("address 7 (the new one)"), std::string::npos) << LastErrorText;
}

TEST_F(FaultConfigTest, ASetAddressWhoseVerifyFailsButIsPutBackNamesNoSecondAddress) {
  vrxsim::Unit& unit = AddUnit(Firmware(1, true, 10, 3));
  ASSERT_TRUE(Select());
  // The read-back of the new byte is damaged every time; the line stays up.
  vrxsim::FaultConfig fault{vrxsim::FaultKind::Flip};
  fault.command = CmdReadFlash;
  fault.byte = -1;
  fault.count = 1;
  line.addFault(fault);

  EXPECT_EQ(SetProgrammerAddress(7), AddressChange::Failed);
  EXPECT_EQ(Flash(unit, 31, 1), Bytes{2});
  EXPECT_EQ(LastErrorText.find("(the new one)"), std::string::npos) << LastErrorText;
}

// A damaged Unlock Flash status is no sign of old firmware.
TEST_F(FaultConfigTest, ADamagedUnlockStatusIsAdvisedAsALineFault) {
  AddUnit(Firmware(1, true, 10, 3));
  ASSERT_TRUE(Select());
  UseFirmwareFile(Firmware(2, true, 11, 3));
  for (int bit : {0, 1, 2, 3}) {
    SCOPED_TRACE(bit);
    line.restore();
    vrxsim::FaultConfig fault{vrxsim::FaultKind::Flip};
    fault.command = CmdUnlockFlash;
    fault.byte = 1;
    fault.bit = bit;
    line.addFault(fault);
    EXPECT_FALSE(UpgradeFirmware());
    EXPECT_EQ(LastErrorSource, "Unlock Flash");
    EXPECT_EQ(LastErrorNumber, 1 << bit);
    EXPECT_EQ(LastErrorAdvice.find("firmware"), std::string::npos) << LastErrorAdvice;
    EXPECT_NE(LastErrorAdvice.find("damaged on the line"), std::string::npos) << LastErrorAdvice;
  }
  // Other commands keep their advice.
  EXPECT_NE(ErrorAdvice(4, "Program", "").find("firmware"), std::string::npos);
}

// A refused REX, vector or fuse definition file is named in the report, so
// that the operator knows which of the delivered files to replace.
TEST_F(FaultConfigTest, RefusedProgrammerFilesAreNamedInTheReport) {
  AddUnit(Firmware(1, true, 10, 3));
  ASSERT_TRUE(Select());
  dir.Write("hwc.rex", WriteRexText(RexChunks(Bytes(40, 0x11)), RexKindHardwareConfiguration, 0x21));
  dir.Write("big.bin", std::string(static_cast<size_t>(FlashMap.VectorSize) + 1, 'v'));
  dir.Write("AVRFuses.inf", "ID%42%ATtest%&H0F%1\r\nBYTE%0%LOW%%\r\n");
  struct Case {
    const char* name;
    std::string file;
    bool (*run)();
  };
  const Case cases[] = {
      {"firmware of another kind", "hwc.rex",
       [] {
         FirmwareFileName = "hwc.rex";
         return UpgradeFirmware();
       }},
      {"missing firmware", "none.rex",
       [] {
         FirmwareFileName = "none.rex";
         return UpgradeFirmware();
       }},
      {"HWC without signature", "hwc.rex",
       [] {
         HwcFileNames = {"hwc.rex", "", "", "", ""};
         return LoadHardwareConfiguration();
       }},
      {"vector table too large", "big.bin",
       [] {
         VectorFileName = "big.bin";
         return LoadVectorInformation();
       }},
      {"missing vector table", "gone.bin",
       [] {
         VectorFileName = "gone.bin";
         return LoadVectorInformation();
       }},
      {"fuse file cut short", "AVRFuses.inf",
       [] {
         CurDevice = 0;
         DeviceTable[0].DevId = 42;
         return LoadFuseDefinitions(AppPath + "/AVRFuses.inf");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    line.clearLog();
    EXPECT_FALSE(c.run());
    EXPECT_NE(LastErrorNumber, 0);
    EXPECT_NE(LastErrorTried.find(c.file), std::string::npos) << LastErrorTried;
    EXPECT_NE(LastErrorAdvice.find(c.file), std::string::npos) << LastErrorAdvice;
    EXPECT_TRUE(std::none_of(line.log().begin(), line.log().end(),
                             [](const vrxsim::LoggedFrame& f) { return !f.payload.empty() && f.payload[0] == CmdWriteFlash; }));
  }
}

}  // namespace
