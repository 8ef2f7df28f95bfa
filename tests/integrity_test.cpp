// Every fault the line can put on a reply, at every reply of a load, a
// target read and a save, against the in-process simulated line: the
// operation fails, or it succeeded with exactly the right bytes everywhere it
// wrote. A failure leaves every slot as it was or marked empty, the other
// slots' protection and counts as they were, and a file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/Loaders.h"
#include "link/CommDefs.h"
#include "operations/ImageDownload.h"
#include "operations/ReadTarget.h"
#include "operations/RunState.h"
#include "operations/SaveImage.h"
#include "operations/Selection.h"
#include "programmers/Discovery.h"
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

constexpr int TargetSlot = 3;
constexpr int Port = 2;

struct Kind {
  const char* name;
  vrxsim::FaultConfig fault;
};

std::vector<Kind> Kinds() {
  auto kind = [](const char* name, vrxsim::FaultKind k, std::function<void(vrxsim::FaultConfig&)> set = {}) {
    vrxsim::FaultConfig f{k};
    f.count = 1;
    if (set) set(f);
    return Kind{name, f};
  };
  using K = vrxsim::FaultKind;
  return {
      kind("drop", K::Drop),
      kind("corrupt last byte", K::Corrupt),
      kind("corrupt status", K::Corrupt, [](auto& f) { f.byte = 1; }),
      kind("corrupt first data byte", K::Corrupt, [](auto& f) { f.byte = 2; }),
      kind("corrupt response ID", K::Corrupt, [](auto& f) { f.byte = 0; }),
      kind("wrong address", K::WrongAddress),
      kind("wrong ID", K::WrongId),
      kind("status 3", K::Status, [](auto& f) { f.code = 3; }),
      kind("noise before", K::Noise),
      kind("trailing bytes", K::Trailing),
      kind("endless frame", K::Endless),
      kind("late reply", K::Delay, [](auto& f) { f.ms = 1000; }),
  };
}

// One unit with a protected, counted image in slot 1 and an image in the
// target slot, selected on a fresh line; the fault is added after selection.
class Bench {
 public:
  explicit Bench(const std::string& deviceFile) {
    ConnectSimLine(platform.port, line);
    AppPath = dir.path();
    dir.Write("device.inf", deviceFile);
    vrxsim::UnitConfig c;
    c.address = 2;
    c.type = 6;
    vrxsim::StoredImage guarded;
    guarded.slot = 1;
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
    selected = AcquireProgrammerAt(2);
    SelectProgrammer();
    selected = selected && LastErrorNumber == 0;
  }

  Bytes Flash(uint32_t address, size_t n) {
    unit->advance(platform.port.nowMs);
    return Bytes(unit->flash() + address, unit->flash() + address + n);
  }
  uint32_t SlotAddress(int slot) { return unit->imageBase() + (slot - 1) * unit->imageSlotSize(); }
  size_t Replies() const { return line.log().size(); }

  FakePlatform platform;
  vrxsim::Line line;
  TempDir dir;
  vrxsim::Unit* unit = nullptr;
  bool selected = false;
};

const char* DeviceFile =
    "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
    "6,ATmega,mega,4096,255,&H312,HEX,1.8,5.5,1040\r\n";

uint16_t Crc(const Bytes& bytes) { return vrxsim::Crc16(bytes.data(), bytes.size()); }
uint16_t StoredCrc(const Bytes& bytes, size_t at) { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); }

// What a finished operation left in flash, checked against what it should be.
struct Expected {
  Bytes area;         // the target slot's image area after success
  Bytes entryPrefix;  // the first bytes of its directory entry after success (size and CRC are checked apart)
  int32_t count = 0;  // its security entry after success
  uint8_t flags = 0;
};

class IntegrityTest : public ::testing::Test {
 protected:
  // Runs `operation` once per fault kind and reply position, on a fresh bench each time.
  void RunMatrix(const std::function<bool(Bench&)>& prepare, const std::function<bool()>& operation,
                 const Expected& expected) {
    size_t replies = 0;
    {
      Bench clean(DeviceFile);
      ASSERT_TRUE(clean.selected);
      ASSERT_TRUE(prepare(clean));
      const size_t before = clean.Replies();
      ASSERT_TRUE(operation()) << LastErrorText;
      replies = clean.Replies() - before;
      Check(clean, true, expected, "clean run");
    }
    ASSERT_GT(replies, 10u);
    for (const Kind& kind : Kinds()) {
      for (size_t position = 0; position < replies; ++position) {
        Bench bench(DeviceFile);
        ASSERT_TRUE(bench.selected);
        ASSERT_TRUE(prepare(bench));
        vrxsim::FaultConfig fault = kind.fault;
        fault.after = static_cast<int>(position);
        bench.line.addFault(fault);
        const bool ok = operation();
        Check(bench, ok, expected, std::string(kind.name) + " at reply " + std::to_string(position));
        if (HasFailure()) return;   // one case tells the story
      }
    }
  }

  void Check(Bench& bench, bool ok, const Expected& expected, const std::string& what) {
    SCOPED_TRACE(what + (ok ? ": succeeded" : ": failed, " + LastErrorText));
    const Bytes directory = bench.Flash(0x40, 4 * 32);
    const Bytes security = bench.Flash(0x20, 32);
    const Bytes entry(directory.begin() + (TargetSlot - 1) * 32, directory.begin() + TargetSlot * 32);
    const bool sealed = StoredCrc(security, 30) == Crc(Bytes(security.begin(), security.begin() + 30));

    // The other slots' directory entries never change.
    for (int slot = 1; slot <= 4; ++slot) {
      if (slot == TargetSlot) continue;
      EXPECT_EQ(Bytes(directory.begin() + (slot - 1) * 32, directory.begin() + slot * 32), originalDirectory[slot - 1])
          << "slot " << slot;
    }
    // The other slots' protection and counts are intact, and the block sealed:
    // the next selection takes it as it is.
    EXPECT_TRUE(sealed);
    const auto entryOf = [](const Bytes& block, int slot) {
      return Bytes(block.begin() + 7 * (slot - 1), block.begin() + 7 * slot);
    };
    for (int slot = 1; slot <= 4; ++slot) {
      if (slot == TargetSlot) continue;
      EXPECT_EQ(entryOf(security, slot), entryOf(originalSecurity, slot)) << "slot " << slot;
    }

    // Failed: the slot is as it was or marked empty, unless only the answer to
    // the last write was lost and the slot holds exactly the new image.
    const bool asItWas = entry == originalDirectory[TargetSlot - 1];
    const bool empty = entry[0] == 0 && entry[1] == 0 && entry[2] == 0 && entry[3] == 0;
    if (!ok && (asItWas || empty)) {
      if (asItWas) {
        EXPECT_EQ(entryOf(security, TargetSlot), entryOf(originalSecurity, TargetSlot));
      }
      return;
    }
    {
      EXPECT_TRUE(sealed);
      const Bytes area = bench.Flash(bench.SlotAddress(TargetSlot), expected.area.size());
      EXPECT_EQ(area, expected.area);
      const uint32_t size = entry[0] | entry[1] << 8 | entry[2] << 16 | static_cast<uint32_t>(entry[3]) << 24;
      EXPECT_EQ(size, expected.area.size());
      EXPECT_EQ(StoredCrc(entry, 4), Crc(area));
      EXPECT_EQ(Bytes(entry.begin() + 6, entry.begin() + 6 + expected.entryPrefix.size()), expected.entryPrefix);
      const Bytes own = entryOf(security, TargetSlot);
      EXPECT_EQ(static_cast<int32_t>(own[0] | own[1] << 8 | own[2] << 16 | own[3] << 24), expected.count);
      EXPECT_EQ(own[4] & 1, expected.flags);
    }
  }

  // Taken from the bench before the fault.
  void Remember(Bench& bench) {
    const Bytes directory = bench.Flash(0x40, 4 * 32);
    for (int slot = 1; slot <= 4; ++slot) {
      originalDirectory[slot - 1] = Bytes(directory.begin() + (slot - 1) * 32, directory.begin() + slot * 32);
    }
    originalSecurity = bench.Flash(0x20, 32);
  }

  Bytes originalDirectory[4];
  Bytes originalSecurity;
};

TEST_F(IntegrityTest, EveryFaultAtEveryReplyOfALoad) {
  Bytes image(4096, 0xFF);
  for (int i = 0; i < 600; ++i) image[0x100 + i] = static_cast<uint8_t>(i * 13 + 1);
  std::string hex;
  for (int at = 0x100; at < 0x100 + 600; at += 16) {
    hex += DataRecord(at, Bytes(image.begin() + at, image.begin() + at + 16));
  }
  hex += EndRecord();
  Expected expected;
  expected.area = image;
  expected.count = 7;
  expected.flags = 1;
  const std::string name = "Matrix image        ";
  expected.entryPrefix = {0x12, 165};   // device code low byte, voltage
  expected.entryPrefix.insert(expected.entryPrefix.end(), name.begin(), name.end());

  RunMatrix(
      [&](Bench& bench) {
        Remember(bench);
        if (!FindDeviceByName("mega")) return false;
        FileList[0] = bench.dir.Write("image.hex", hex);
        FileCount = 1;
        if (!ConvertImageFiles()) return false;
        ImageNumber = TargetSlot;
        ImageName = "Matrix image";
        ImageVoltage = 165;
        ImageMode = 0;
        return true;
      },
      [] { return LoadNewDeviceImage(true, 7); }, expected);
}

TEST_F(IntegrityTest, EveryFaultAtEveryReplyOfATargetRead) {
  Bytes memory;
  for (int i = 0; i < 4096; ++i) memory.push_back(static_cast<uint8_t>(i * 7 + 3));
  Expected expected;
  expected.area = memory;
  expected.count = -1;
  expected.flags = 0;
  expected.entryPrefix = {0x12, 150};

  RunMatrix(
      [&](Bench& bench) {
        Remember(bench);
        if (!FindDeviceByName("mega")) return false;
        ImageNumber = TargetSlot;
        ReadPort = Port;
        ImageName = "Copied";
        ImageVoltage = 150;
        ImageMode = 0;
        return true;
      },
      [] { return ReadTargetDeviceImage(); }, expected);
}

// A save writes nothing to the programmer: it ends with a file holding exactly
// the stored image, or it fails and the file that was there is untouched.
TEST(SaveIntegrityTest, EveryFaultAtEveryReplyOfASave) {
  std::string reference;
  size_t replies = 0;
  const auto prepare = [](Bench& bench, const std::string& path) {
    std::ofstream(path, std::ios::binary) << "the file that was there\n";
    ImageNumber = TargetSlot;
    return bench.selected;
  };
  {
    Bench clean(DeviceFile);
    const std::string path = clean.dir.path() + "/slot.hex";
    ASSERT_TRUE(prepare(clean, path));
    const size_t before = clean.Replies();
    ASSERT_TRUE(SaveImageAs(path, false)) << LastErrorText;
    replies = clean.Replies() - before;
    reference = clean.dir.Read("slot.hex");
    ASSERT_EQ(reference.rfind(":20000000", 0), 0u);
  }
  for (const Kind& kind : Kinds()) {
    for (size_t position = 0; position < replies; ++position) {
      SCOPED_TRACE(std::string(kind.name) + " at reply " + std::to_string(position));
      Bench bench(DeviceFile);
      const std::string path = bench.dir.path() + "/slot.hex";
      ASSERT_TRUE(prepare(bench, path));
      vrxsim::FaultConfig fault = kind.fault;
      fault.after = static_cast<int>(position);
      bench.line.addFault(fault);
      const bool ok = SaveImageAs(path, false);
      EXPECT_EQ(bench.dir.Read("slot.hex"), ok ? reference : "the file that was there\n");
      size_t files = 0;
      for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(bench.dir.path())) ++files;
      EXPECT_EQ(files, 2u);   // device.inf and the target: no half-written file left beside it
      if (HasFailure()) return;
    }
  }
}

}  // namespace
