// After an upgrade the line is scanned again: the programmer table, type
// record, flash map and device file are what the units report, and the
// combined upgrade writes its tables where the new firmware's map says.
// Against the in-process simulated programmer; flash is judged as stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "devices/DeviceState.h"
#include "images/RexFile.h"
#include "images/RexScramble.h"
#include "link/CommDefs.h"
#include "link/LineState.h"
#include "operations/FirmwareUpgrade.h"
#include "operations/Selection.h"
#include "programmers/Discovery.h"
#include "programmers/RevisionTables.h"
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

const char* DeviceFileText = "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
                             "1,PSoC1,p1,4096,0,5,HEX,3.0,5.25,0\r\n";

// Type 1 in each generation's table, each with its own file set.
const char* RevisionsV1 = "\"VRX-T1\",1.250,\"fw1.rex\",\"hwc1_0.rex\",\"\"\r\n";
const char* RevisionsV2 = "\"\",0,\"\",\"\",\"\",\"\"\r\n"
                          "\"VRX-T2\",2.005,\"fw2.rex\",\"hwc2_0.rex\",\"vec2.bin\",\"hwc2_1.rex\"\r\n";
const char* RevisionsV3 = "\"\",0,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
                          "\"VRX-T3\",3.010,\"fw3.rex\",\"hwc3_0.rex\",\"vec3.bin\",\"hwc3_1.rex\",\"\",\"\",\"\","
                          "\"vec3x.bin\"\r\n";

constexpr int32_t HwcBytes = 0x608A;

// Where the generation-2 layout keeps the tables (slot size 256 KiB).
constexpr uint32_t OldHwc0 = 0x9000, OldHwc1 = 0x1E8000, OldVectors = 0x5000;

Bytes FirmwareBytes(uint8_t minor, uint8_t major, size_t n) {
  Bytes b{'V', 'R', 'X', 'F', minor, major};
  for (size_t i = b.size(); i < n; ++i) b.push_back(static_cast<uint8_t>(i * 7 + 3));
  return b;
}

Bytes HwcTable(uint8_t marker) {
  Bytes b{0xFF, marker, 0, 0, 0x55, 0x99, 0xAA};
  for (size_t i = b.size(); i < 200; ++i) b.push_back(static_cast<uint8_t>(marker + i));
  return b;
}

Bytes Pattern(uint8_t seed, size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 3);
  return b;
}

uint32_t BlockAddress(const Bytes& payload) {
  return payload.size() < 5 ? 0 : payload[1] | payload[2] << 8 | payload[3] << 16 | uint32_t(payload[4]) << 24;
}

class UpgradeRescanTest : public ::testing::Test {
 protected:
  UpgradeRescanTest() {
    ConnectSimLine(platform.port, line);
    AppPath = dir.path();
    dir.Write("device_V2.inf", DeviceFileText);
    dir.Write("device.inf", DeviceFileText);
    dir.Write("revisions.inf", RevisionsV1);
    dir.Write("revisionsV2.inf", RevisionsV2);
    dir.Write("revisionsV3.inf", RevisionsV3);
    dir.Write("fw3.rex", WriteRexText(RexChunks(FirmwareBytes(10, 3, 300)), RexKindFirmware, 0x21));
    dir.Write("hwc3_0.rex", WriteRexText(RexChunks(hwc0), RexKindHardwareConfiguration, 0x22));
    dir.Write("hwc3_1.rex", WriteRexText(RexChunks(hwc1), RexKindHardwareConfiguration, 0x23));
    dir.Write("vec3.bin", std::string(vectors.begin(), vectors.end()));
    dir.Write("vec3x.bin", std::string(vectors2.begin(), vectors2.end()));
    EXPECT_TRUE(LoadRevisionTables()) << LastErrorText;
  }

  vrxsim::UnitConfig UnitAt(int address, int major, int minor) {
    vrxsim::UnitConfig c;
    c.address = address;
    c.type = 1;
    c.fwMajor = major;
    c.fwMinor = minor;
    c.reloadSilenceMs = 300;
    return c;
  }

  // A generation-2 unit at address 2 whose generation-3 firmware will find a
  // map that moves the first HWC table and the vectors off their old places.
  vrxsim::Unit& AddGeneration2Unit() {
    vrxsim::Unit& unit = line.addUnit(UnitAt(2, 2, 5));
    newMap = vrxsim::DefaultFlashMap(4, 256 * 1024);
    newMap[vrxsim::kVectorBase] = 0x5400;
    newMap[vrxsim::kHwcBase0] = 0x9800;
    vrxsim::WriteFlashMap(unit.flash(), newMap);
    return unit;
  }

  void SelectAt(int address) {
    ASSERT_TRUE(AcquireProgrammerAt(address));
    SelectProgrammer();
    ASSERT_EQ(SelectedProgrammer, 1);
  }

  // The file set of type VRX-T3, as the factory window copies it.
  void ChooseGeneration3Files() {
    std::vector<ProgTypeInfo> types;
    ASSERT_TRUE(LoadFactoryTypeList(types));
    const auto t = std::find_if(types.begin(), types.end(), [](const ProgTypeInfo& i) { return i.TypeName == "VRX-T3"; });
    ASSERT_NE(t, types.end());
    FirmwareFileName = t->FirmwareFile;
    HwcFileNames = t->HwcFiles;
    VectorFileName = t->VectorFile;
    VectorFileName2 = t->VectorFile2;
  }

  Bytes Flash(vrxsim::Unit& unit, uint32_t address, size_t n) {
    unit.advance(platform.port.nowMs);
    return Bytes(unit.flash() + address, unit.flash() + address + n);
  }

  static bool Erased(const Bytes& b) {
    return std::all_of(b.begin(), b.end(), [](uint8_t v) { return v == 0xFF; });
  }

  // Frames logged after the LoadFirmware frame.
  std::vector<vrxsim::LoggedFrame> AfterLoadFirmware() const {
    const auto& log = line.log();
    const auto load = std::find_if(log.begin(), log.end(), [](const vrxsim::LoggedFrame& f) {
      return !f.payload.empty() && f.payload[0] == CmdLoadFirmware;
    });
    return load == log.end() ? std::vector<vrxsim::LoggedFrame>{} : std::vector<vrxsim::LoggedFrame>(load + 1, log.end());
  }

  // Addresses asked for their revision after LoadFirmware.
  std::set<int> ProbedAfterLoadFirmware() const {
    std::set<int> addresses;
    for (const auto& f : AfterLoadFirmware()) {
      if (!f.payload.empty() && f.payload[0] == CmdFwRev) addresses.insert(f.address);
    }
    return addresses;
  }

  const Bytes hwc0 = HwcTable(0x31), hwc1 = HwcTable(0x62);
  const Bytes vectors = Pattern(5, 700), vectors2 = Pattern(9, 900);
  vrxsim::FlashMap newMap{};
  FakePlatform platform;
  vrxsim::Line line;
  TempDir dir;
};

Bytes Padded(const Bytes& table, size_t n) {
  Bytes b = table;
  b.resize(n, 0);
  return b;
}

// Select Firmware on a generation-2 unit with generation-3 firmware: the
// tables land where the generation-3 map says, and the table, type record,
// device file and map afterwards are those of the firmware it now runs.
TEST_F(UpgradeRescanTest, AGenerationChangeWritesTheTablesWhereTheNewFlashMapSays) {
  vrxsim::Unit& unit = AddGeneration2Unit();
  SelectAt(2);
  ASSERT_FALSE(FwGen3);
  ASSERT_EQ(FlashMap.HwcBase[0], static_cast<int32_t>(OldHwc0));
  ChooseGeneration3Files();
  line.clearLog();

  ASSERT_TRUE(UpgradeAndRescan(UpgradeJob::Programmer, RescanScope::Line)) << LastErrorNumber << " " << LastErrorText;

  using vrxsim::kHwcBase0, vrxsim::kHwcBase1, vrxsim::kVectorBase, vrxsim::kVector2Base, vrxsim::Crc16;
  ASSERT_EQ(vrxsim::ReadFlashMap(unit.flash()), newMap);   // the firmware's own map, untouched
  const Bytes table0 = Padded(hwc0, HwcBytes), table1 = Padded(hwc1, HwcBytes);
  EXPECT_EQ(Flash(unit, newMap[kHwcBase0], HwcBytes), table0);
  EXPECT_EQ(Flash(unit, newMap[kHwcBase1], HwcBytes), table1);
  EXPECT_EQ(Flash(unit, newMap[kVectorBase], vectors.size()), vectors);
  EXPECT_EQ(Flash(unit, kVector2Base, vectors2.size()), vectors2);
  // Nothing went where the generation-2 layout keeps the tables.
  EXPECT_TRUE(Erased(Flash(unit, OldHwc0, newMap[kHwcBase0] - OldHwc0)));
  EXPECT_TRUE(Erased(Flash(unit, OldHwc1, 0x100)));
  EXPECT_TRUE(Erased(Flash(unit, OldVectors, newMap[kVectorBase] - OldVectors)));
  // The configuration block records each table's size and the CRC of what was stored.
  const uint16_t crc0 = Crc16(table0.data(), table0.size()), crc1 = Crc16(table1.data(), table1.size());
  EXPECT_EQ(Flash(unit, 8, 4), (Bytes{0x8A, 0x60, uint8_t(crc0), uint8_t(crc0 >> 8)}));
  EXPECT_EQ(Flash(unit, 16, 4), (Bytes{0x8A, 0x60, uint8_t(crc1), uint8_t(crc1 >> 8)}));

  // The whole line was scanned again and the unit selected with its new firmware.
  std::set<int> everyAddress;
  for (int a = 1; a <= MaxProgrammers; ++a) everyAddress.insert(a);
  EXPECT_EQ(ProbedAfterLoadFirmware(), everyAddress);
  ASSERT_EQ(ProgCount, 1);
  ASSERT_EQ(SelectedProgrammer, 1);
  EXPECT_EQ(ProgrammerTable[1].FwRevision, "3.010");
  EXPECT_TRUE(FwGen3);
  EXPECT_EQ(DeviceFile, "\\device.inf");
  EXPECT_EQ(ProgTypeName, "VRX-T3");
  EXPECT_EQ(FirmwareFileName, "fw3.rex");
  EXPECT_EQ(FlashMap.HwcBase[0], static_cast<int32_t>(newMap[kHwcBase0]));
  EXPECT_EQ(FlashMap.VectorBase, static_cast<int32_t>(newMap[kVectorBase]));
  ASSERT_EQ(platform.window.items.size(), 1u);
  EXPECT_EQ(platform.window.items[0].text, "VRX:Addr= 2");
}

// When the new firmware's map cannot be read the upgrade stops there: no
// table is written with the map of the firmware that ran before.
TEST_F(UpgradeRescanTest, AFlashMapThatCannotBeReadAfterTheFirmwareStopsBeforeAnyTable) {
  vrxsim::Unit& unit = AddGeneration2Unit();
  SelectAt(2);
  ChooseGeneration3Files();
  line.clearLog();
  const Bytes configBefore = Flash(unit, 8, 16);
  bool loaded = false;
  auto peer = platform.port.Peer;
  platform.port.Peer = [peer, &loaded](const Bytes& written, const std::string& settings) {
    const Bytes payload = FramePayload(written);
    if (!payload.empty() && payload[0] == CmdLoadFirmware) loaded = true;
    Bytes reply = peer(written, settings);
    const bool mapRead = loaded && !payload.empty() && payload[0] == CmdReadFlash && BlockAddress(payload) == 0xF00;
    return mapRead ? Bytes{} : reply;
  };

  EXPECT_FALSE(UpgradeProgrammer());
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  EXPECT_EQ(ErrorTitle, "Read Flash Map");
  EXPECT_EQ(ProgrammerTable[1].FwRevision, "3.010");   // the firmware step itself went through
  for (const auto& f : AfterLoadFirmware()) {
    EXPECT_NE(f.payload.empty() ? -1 : f.payload[0], CmdWriteFlash) << "write at " << BlockAddress(f.payload);
  }
  EXPECT_EQ(Flash(unit, 8, 16), configBefore);
  for (uint32_t at : {OldHwc0, OldVectors, newMap[vrxsim::kHwcBase0], newMap[vrxsim::kVectorBase]}) {
    EXPECT_TRUE(Erased(Flash(unit, at, 0x200))) << std::hex << at;
  }
  EXPECT_TRUE(platform.window.enabled);
}

// Failed or not, the upgrade ends with a fresh scan of the scope asked for:
// the table holds what the unit now reports, the programmer at the selected
// address is selected again (not the first found), and a failure keeps its
// own error.
TEST_F(UpgradeRescanTest, TheScanAfterAnUpgradeSelectsTheSameAddressAgainAndKeepsTheUpgradesError) {
  struct Case {
    const char* name;
    RescanScope scope;
    bool installs;           // else the unit comes back with 2.004 where 2.005 was expected
    int programmers;         // listed after the scan
    std::set<int> probed;    // addresses asked after LoadFirmware
  };
  std::set<int> everyAddress;
  for (int a = 1; a <= MaxProgrammers; ++a) everyAddress.insert(a);
  const Case cases[] = {
      {"line, installed", RescanScope::Line, true, 2, everyAddress},
      {"line, other revision", RescanScope::Line, false, 2, everyAddress},
      {"address, installed", RescanScope::Address, true, 1, {2}},
      {"address, other revision", RescanScope::Address, false, 1, {2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Each case starts from a fresh program state and line of its own.
    FakePlatform platform;
    vrxsim::Line line;
    ConnectSimLine(platform.port, line);
    AppPath = dir.path();
    ASSERT_TRUE(LoadRevisionTables());
    line.addUnit(UnitAt(1, 3, 10));
    vrxsim::UnitConfig second = UnitAt(2, 2, 1);
    second.reloadFwMajor = 2;
    second.reloadFwMinor = 4;
    line.addUnit(second);
    // Without a header the firmware brings its type's latest revision, 2.005.
    Bytes firmware = Pattern(0x40, 256);
    if (c.installs) firmware = FirmwareBytes(5, 2, 256);
    dir.Write("fw2.rex", WriteRexText(RexChunks(firmware), RexKindFirmware, 0x24));

    ASSERT_TRUE(RescanProgrammers(0));
    ASSERT_EQ(ProgCount, 2);
    platform.window.selectedItem = 2;
    SelectProgrammer();
    ASSERT_EQ(SelectedProgrammer, 2);
    ASSERT_EQ(FirmwareFileName, "fw2.rex");
    line.clearLog();
    platform.messages.boxes.clear();

    const bool ok = UpgradeAndRescan(UpgradeJob::Firmware, c.scope);
    EXPECT_EQ(ok, c.installs) << LastErrorText;
    if (!c.installs) {
      EXPECT_EQ(LastErrorNumber, 1520);
      EXPECT_EQ(LastErrorSource, "Upgrade Firmware");
      EXPECT_NE(LastErrorText.find("now runs 2.004, expected 2.005"), std::string::npos) << LastErrorText;
    }
    // Probes of the scan, not the upgrade's own confirmation: other addresses too on the line.
    const std::set<int> probed = [&] {
      std::set<int> addresses;
      bool loaded = false;
      for (const auto& f : line.log()) {
        if (!f.payload.empty() && f.payload[0] == CmdLoadFirmware) loaded = true;
        if (loaded && !f.payload.empty() && f.payload[0] == CmdFwRev) addresses.insert(f.address);
      }
      return addresses;
    }();
    EXPECT_EQ(probed, c.probed);
    ASSERT_EQ(ProgCount, c.programmers);
    ASSERT_GE(SelectedProgrammer, 1);
    EXPECT_EQ(ProgrammerTable[SelectedProgrammer].Address, 2);
    EXPECT_EQ(platform.window.selectedItem, SelectedProgrammer);
    EXPECT_EQ(CurrentAddress, 2);
    EXPECT_EQ(ProgrammerTable[SelectedProgrammer].FwRevision, c.installs ? "2.005" : "2.004");
    EXPECT_EQ(ProgTypeName, "VRX-T2");
    // The selection after the scan read the unit's directory afresh.
    bool directoryRead = false;
    for (const auto& f : line.log()) {
      directoryRead |= f.address == 2 && !f.payload.empty() && f.payload[0] == CmdReadFlash && BlockAddress(f.payload) == 0x40;
    }
    EXPECT_TRUE(directoryRead);
  }
}

}  // namespace
