// Power cuts and lost replies during a load and a target read, judged after the
// line comes back and the programmer is selected afresh: protection and counts
// of every slot survive, and a slot is either empty or names the new image
// with every record of the new image. And the damaged security block: it
// protects every slot and stays as it is until an engineer resets it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "operations/ImageDirectory.h"
#include "operations/LoadImage.h"
#include "operations/ReadTarget.h"
#include "operations/SaveImage.h"
#include "operations/Selection.h"
#include "operations/Serialize.h"
#include "options/FuseState.h"
#include "options/SerialState.h"
#include "programmers/Discovery.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "sim/Crc16.h"
#include "sim/Line.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int GuardedSlot = 1;
constexpr int TargetSlot = 3;
constexpr int Port = 2;

const char* DeviceFile =
    "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
    "6,ATmega,mega,4096,255,&H312,HEX,1.8,5.5,1040\r\n";

// The serialization records of the image that was in the target slot and of the one loaded.
void OldSerialRecord() {
  SerialMemory = 1;
  SerialFormat = 2;
  SerialAddress = 0x100;
  SerialNumber = {0xE8, 0x03, 0, 0, 0, 0, 0};   // 1000
}
void NewSerialRecord() {
  SerialMemory = 2;
  SerialFormat = 4;
  SerialAddress = 0x1F0;
  SerialNumber = {0x20, 0xA1, 0x07, 0, 0, 0, 0};   // 500000
}

// One AVR unit: a protected image with 250 devices left in slot 1, an older
// image in the target slot with its own serialization record, option record
// and page map; selected on a fresh line.
class Bench {
 public:
  Bench() {
    ConnectSimLine(platform.port, line);
    AppPath = dir.path();
    dir.Write("device.inf", DeviceFile);
    vrxsim::UnitConfig c;
    c.address = 2;
    c.type = 6;
    vrxsim::StoredImage guarded;
    guarded.slot = GuardedSlot;
    guarded.name = "Guarded";
    guarded.count = 250;
    guarded.protect = true;
    vrxsim::StoredImage before;
    before.slot = TargetSlot;
    before.name = "Before";
    before.count = 42;
    c.images = {guarded, before};
    vrxsim::TargetConfig& target = c.targets[Port - 1];
    target.stepMs = 50;
    for (int i = 0; i < 4096; ++i) target.memory.push_back(static_cast<uint8_t>(i * 7 + 3));
    unit = &line.addUnit(c);
    selected = Select();
    if (!selected) return;
    OldSerialRecord();
    selected = WriteSerializationSettings(TargetSlot - 1);
    std::fill(unit->flash() + TargetSlot * 256, unit->flash() + TargetSlot * 256 + 13, 0x5A);   // option record
    std::fill(unit->flash() + PageMapAddress(), unit->flash() + PageMapAddress() + FlashMap.PageMapSize, 0xC3);
  }

  // Found and selected as after power returns.
  bool Select() {
    if (!AcquireProgrammerAt(2)) return false;
    SelectProgrammer();
    return LastErrorNumber == 0;
  }

  Bytes Flash(uint32_t address, size_t n) {
    unit->advance(platform.port.nowMs);
    return Bytes(unit->flash() + address, unit->flash() + address + n);
  }
  uint32_t SlotAddress(int slot) { return unit->imageBase() + (slot - 1) * unit->imageSlotSize(); }
  uint32_t PageMapAddress() const { return FlashMap.PageMapBase + (TargetSlot - 1) * FlashMap.PageMapSize; }

  // What the programmer holds for the target slot and the guarded slot.
  struct Stored {
    Bytes entry, area, serial, option, pageMap, guardedEntry, guardedSecurity, targetSecurity, block;
  };
  Stored Take(size_t areaBytes) {
    Stored s;
    s.entry = Flash(DirectoryAddress + (TargetSlot - 1) * DirEntryBytes, DirEntryBytes);
    s.area = Flash(SlotAddress(TargetSlot), areaBytes);
    s.serial = unit->serialRecord(TargetSlot - 1);
    s.option = Flash(TargetSlot * 256, 13);
    s.pageMap = Flash(PageMapAddress(), static_cast<size_t>(FlashMap.PageMapSize));
    s.guardedEntry = Flash(DirectoryAddress + (GuardedSlot - 1) * DirEntryBytes, DirEntryBytes);
    s.block = Flash(SecurityBlockAddress, SecurityBlockBytes);
    s.guardedSecurity = Bytes(s.block.begin() + 7 * (GuardedSlot - 1), s.block.begin() + 7 * GuardedSlot);
    s.targetSecurity = Bytes(s.block.begin() + 7 * (TargetSlot - 1), s.block.begin() + 7 * TargetSlot);
    return s;
  }

  FakePlatform platform;
  vrxsim::Line line;
  TempDir dir;
  vrxsim::Unit* unit = nullptr;
  bool selected = false;
};

bool Sealed(const Bytes& block) {
  const uint16_t crc = vrxsim::Crc16(block.data(), SecurityCrcRange);
  return block[30] == static_cast<uint8_t>(crc) && block[31] == static_cast<uint8_t>(crc >> 8);
}

int32_t SizeOf(const Bytes& entry) {
  return static_cast<int32_t>(entry[0] | entry[1] << 8 | entry[2] << 16 | static_cast<uint32_t>(entry[3]) << 24);
}

struct Fault {
  std::string name;
  vrxsim::FaultConfig config;
};

// The operation under test; a target read leaves the option record and the
// page map to the programmer.
struct Case {
  const char* name;
  std::function<bool(Bench&)> prepare;
  std::function<bool()> run;
  bool ownsOptionRecords;   // the option record and page map are the image's
};

Case MakeCase(int which);

class FaultProtectionTest : public ::testing::TestWithParam<int> {
 protected:
  void RunMatrix(const Case& c) {
    Bench::Stored before, after;
    size_t replies = 0, writes = 0, serialWrites = 0;
    {
      Bench clean;
      ASSERT_TRUE(clean.selected);
      ASSERT_TRUE(c.prepare(clean));
      before = clean.Take(4096);
      const size_t first = clean.line.log().size();
      ASSERT_TRUE(c.run()) << LastErrorText;
      for (size_t i = first; i < clean.line.log().size(); ++i) {
        const uint8_t code = clean.line.log()[i].payload.at(0);
        writes += code == CmdWriteFlash;
        serialWrites += code == CmdWriteSerialization;
      }
      replies = clean.line.log().size() - first;
      after = clean.Take(4096);
      ASSERT_NE(after.entry, before.entry);
      ASSERT_GT(SizeOf(after.entry), 0);
      ASSERT_NE(after.serial, before.serial);
      if (c.ownsOptionRecords) {
        ASSERT_NE(after.option, before.option);
        ASSERT_NE(after.pageMap, before.pageMap);
      }
    }
    ASSERT_GE(writes, 3u);

    std::vector<Fault> faults;
    auto add = [&faults](const std::string& name, vrxsim::FaultKind kind, int command, size_t after) {
      vrxsim::FaultConfig f{kind};
      f.count = 1;
      f.command = command;
      f.after = static_cast<int>(after);
      faults.push_back({name + " " + std::to_string(after), f});
    };
    for (size_t i = 0; i < writes; ++i) add("cut at write", vrxsim::FaultKind::Cut, CmdWriteFlash, i);
    for (size_t i = 0; i < serialWrites; ++i) {
      add("cut at serialization write", vrxsim::FaultKind::Cut, CmdWriteSerialization, i);
    }
    for (size_t i = 0; i < replies; ++i) add("drop of reply", vrxsim::FaultKind::Drop, -1, i);

    for (const Fault& fault : faults) {
      Bench bench;
      ASSERT_TRUE(bench.selected);
      ASSERT_TRUE(c.prepare(bench));
      bench.line.addFault(fault.config);
      const bool ok = c.run();
      const std::string outcome = ok ? "succeeded" : "failed: " + LastErrorText;
      bench.line.restore();
      ASSERT_TRUE(bench.Select()) << fault.name << ", " << outcome << "; selection after: " << LastErrorText;
      Judge(bench, ok, before, after, c, fault.name + ", " + outcome);
      if (HasFailure()) return;   // one case tells the story
    }
  }

  void Judge(Bench& bench, bool ok, const Bench::Stored& before, const Bench::Stored& after, const Case& c,
             const std::string& what) {
    SCOPED_TRACE(what);
    const Bench::Stored now = bench.Take(4096);

    // The guarded slot keeps its image, its protection and its 250 devices,
    // in flash, as the selection reports it, and against a save.
    EXPECT_EQ(now.guardedEntry, before.guardedEntry);
    EXPECT_EQ(now.guardedSecurity, before.guardedSecurity);
    EXPECT_EQ(fgImages.TextMatrix(GuardedSlot, ColReadProtect), "RP");
    EXPECT_NE(fgImages.TextMatrix(GuardedSlot, ColRemaining), "Unrestricted");
    if (!SecurityDamaged) {
      EXPECT_EQ(fgImages.TextMatrix(GuardedSlot, ColRemaining), "250");
    }
    EXPECT_TRUE(SlotReadProtected(GuardedSlot));
    // No cut leaves the block unsealed.
    EXPECT_TRUE(Sealed(now.block));
    EXPECT_FALSE(SecurityDamaged);

    // The target slot: empty, or usable with exactly the old image and all its
    // records (nothing was written yet), or exactly the new one with all of its.
    const bool usable = SizeOf(now.entry) > 0;
    ASSERT_EQ(ImageDirectory[TargetSlot].Size > 0, usable);
    if (ok) {
      EXPECT_TRUE(usable) << "a success must leave the new image usable";
    }
    if (!usable) return;
    const Bench::Stored& held = !ok && now.entry == before.entry ? before : after;
    SCOPED_TRACE(&held == &before ? "slot as it was" : "slot with the new image");
    EXPECT_EQ(now.entry, held.entry);
    EXPECT_EQ(now.area, held.area);
    EXPECT_EQ(now.serial, held.serial) << "serialization record";
    EXPECT_EQ(now.targetSecurity, held.targetSecurity) << "security entry";
    if (c.ownsOptionRecords) {
      EXPECT_EQ(now.option, held.option) << "option record";
      EXPECT_EQ(now.pageMap, held.pageMap) << "page map";
    }
    EXPECT_EQ(fgImages.TextMatrix(TargetSlot, ColReadProtect), (held.targetSecurity[4] & 1) ? "RP" : "");
  }
};

Case MakeCase(int which) {
  if (which == 0) {
    return {"load",
            [](Bench& bench) {
              if (!FindDeviceByName("mega")) return false;
              Bytes image(4096, 0xFF);
              for (int i = 0; i < 600; ++i) image[0x100 + i] = static_cast<uint8_t>(i * 13 + 1);
              std::string hex;
              for (int at = 0x100; at < 0x100 + 600; at += 16) {
                hex += DataRecord(at, Bytes(image.begin() + at, image.begin() + at + 16));
              }
              hex += EndRecord();
              bench.dir.Write("image.hex", hex);
              NewSerialRecord();
              OsccalOpt = 0;
              FuseValues.fill(0);
              FuseValues[0] = 0xE1;
              FuseValues[1] = 0xD9;
              return true;
            },
            [] {
              ImageLoadSettings settings;
              settings.image = TargetSlot;
              settings.files = {AppPath + "/image.hex"};
              settings.name = "Matrix image";
              settings.voltage = 165;
              settings.readProtect = true;
              settings.count = 7;
              NewSerialRecord();
              return LoadImageFromFiles(settings);
            },
            true};
  }
  return {"target read",
          [](Bench&) { return FindDeviceByName("mega"); },
          [] {
            TargetReadSettings settings;
            settings.image = TargetSlot;
            settings.port = Port;
            settings.name = "Copied";
            settings.voltage = 150;
            return ReadTargetIntoSlot(settings);
          },
          false};
}

TEST_P(FaultProtectionTest, CutAtEveryWriteAndDropOfEveryReply) {
  const Case c = MakeCase(GetParam());
  SCOPED_TRACE(c.name);
  RunMatrix(c);
}

INSTANTIATE_TEST_SUITE_P(LoadAndTargetRead, FaultProtectionTest, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "Load" : "TargetRead"; });

// ---- The damaged block ----

class DamagedBlockTest : public ::testing::Test {
 protected:
  // The count byte of the unprotected slot changed behind the seal.
  void Damage() { bench.unit->flash()[SecurityBlockAddress + 7 * (TargetSlot - 1)] ^= 0x40; }

  Bench bench;
};

TEST_F(DamagedBlockTest, SelectionProtectsEverySlotAndLeavesTheBlockAsItIs) {
  ASSERT_TRUE(bench.selected);
  Damage();
  const Bytes damaged = bench.Flash(SecurityBlockAddress, SecurityBlockBytes);
  ASSERT_TRUE(bench.Select());
  EXPECT_TRUE(SecurityDamaged);
  EXPECT_EQ(bench.Flash(SecurityBlockAddress, SecurityBlockBytes), damaged);
  for (int slot : {GuardedSlot, TargetSlot}) {
    EXPECT_EQ(fgImages.TextMatrix(slot, ColReadProtect), "RP") << slot;
    EXPECT_EQ(fgImages.TextMatrix(slot, ColRemaining), SecurityDamagedCount) << slot;
    EXPECT_TRUE(SlotReadProtected(slot)) << slot;
  }
  EXPECT_EQ(fgImages.TextMatrix(2, ColReadProtect), "");   // an empty slot shows nothing
  EXPECT_EQ(bench.platform.window.panels["Status"], SecurityDamagedText);
  EXPECT_TRUE(bench.platform.messages.boxes.empty());
}

// With no image stored the block protects nothing (a new programmer's flash
// is erased): it is written anew with no limits, and said.
TEST_F(DamagedBlockTest, ABlockThatProtectsNoImageIsWrittenAnew) {
  ASSERT_TRUE(bench.selected);
  for (int slot : {GuardedSlot, TargetSlot}) {
    std::fill_n(bench.unit->flash() + DirectoryAddress + (slot - 1) * DirEntryBytes, 4, 0);
  }
  std::fill_n(bench.unit->flash() + SecurityBlockAddress, SecurityBlockBytes, 0xFF);   // erased
  ASSERT_TRUE(bench.Select());
  EXPECT_FALSE(SecurityDamaged);
  const Bytes block = bench.Flash(SecurityBlockAddress, SecurityBlockBytes);
  EXPECT_TRUE(Sealed(block));
  for (int slot = 0; slot < 4; ++slot) {
    EXPECT_EQ(Bytes(block.begin() + 7 * slot, block.begin() + 7 * slot + 5), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0}));
  }
  EXPECT_EQ(bench.platform.window.panels["Status"], SecurityResetText);
}

// Nothing that would write the block runs while it is damaged: the slot and
// the block stay as they were.
TEST_F(DamagedBlockTest, LoadsAndTargetReadsAreRefused) {
  ASSERT_TRUE(bench.selected);
  Damage();
  ASSERT_TRUE(bench.Select());
  const Bytes block = bench.Flash(SecurityBlockAddress, SecurityBlockBytes);
  const Bytes entry = bench.Flash(DirectoryAddress + (TargetSlot - 1) * DirEntryBytes, DirEntryBytes);
  const Case load = MakeCase(0);
  for (const Case& c : {load, MakeCase(1)}) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.prepare(bench));
    EXPECT_FALSE(c.run());
    EXPECT_EQ(LastErrorNumber, ErrSecurityDamaged);
    EXPECT_EQ(LastErrorText, SecurityDamagedText);
    EXPECT_EQ(bench.Flash(SecurityBlockAddress, SecurityBlockBytes), block);
    EXPECT_EQ(bench.Flash(DirectoryAddress + (TargetSlot - 1) * DirEntryBytes, DirEntryBytes), entry);
  }
}

TEST_F(DamagedBlockTest, TheExplicitResetClearsItAndOnlyIt) {
  ASSERT_TRUE(bench.selected);
  const Bytes intact = bench.Flash(SecurityBlockAddress, SecurityBlockBytes);
  EXPECT_FALSE(ResetSecurityBlock());   // an intact block keeps its protection
  EXPECT_EQ(LastErrorNumber, ErrSecurityDamaged);
  EXPECT_EQ(bench.Flash(SecurityBlockAddress, SecurityBlockBytes), intact);

  Damage();
  ASSERT_TRUE(bench.Select());
  ASSERT_TRUE(ResetSecurityBlock()) << LastErrorText;
  EXPECT_FALSE(SecurityDamaged);
  const Bytes reset = bench.Flash(SecurityBlockAddress, SecurityBlockBytes);
  EXPECT_TRUE(Sealed(reset));
  Bytes unlimited(30, 0);   // every count -1, no flags, security word 0
  for (int slot = 0; slot < 4; ++slot) std::fill(unlimited.begin() + 7 * slot, unlimited.begin() + 7 * slot + 4, 0xFF);
  EXPECT_EQ(Bytes(reset.begin(), reset.begin() + 30), unlimited);
  ASSERT_TRUE(bench.Select());
  EXPECT_FALSE(SecurityDamaged);
  EXPECT_EQ(fgImages.TextMatrix(GuardedSlot, ColReadProtect), "");
  EXPECT_EQ(fgImages.TextMatrix(GuardedSlot, ColRemaining), "Unrestricted");
}

}  // namespace
