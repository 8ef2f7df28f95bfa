// The delivered fuse definition files: every AVR, AVR32 and ARM device of
// every delivered device database finds its block, the block makes a model
// the options dialog can show, and its defaults are the datasheets' values.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "options/FuseDefinitions.h"
#include "options/FuseState.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/ProgramFiles.h"
#include "tests/support/FakePlatform.h"

namespace {

const char* const Databases[] = {"device.inf", "device_V1.inf", "device_V2.inf"};
const int FuseTypes[] = {6, 7, 9};

class FuseFilesTest : public ::testing::Test {
 protected:
  FuseFilesTest() { AppPath = KESTRIN_DATA_DIR; }

  void UseDatabase(const std::string& file, int type) {
    DeviceFile = "\\" + file;
    ProgType = static_cast<uint8_t>(type);
    ASSERT_TRUE(LoadDeviceFamilies()) << LastErrorText;
  }
  bool LoadSelected() { return LoadFuseDefinitions(ProgramFile(SelectedTypeTraits().fuseFile)); }

  FakePlatform platform;
};

bool Starts(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }
bool IsOneOf(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (name == n) return true;
  }
  return false;
}

// The last fuse byte index each family's bytes give: the lock byte and the
// fuse bytes of an AVR, the fuse word of an AVR32, the user configuration of
// an ARM device.
int ExpectedLastByte(int type, const std::string& family, const DeviceRecord& device) {
  const std::string& name = device.DevName;
  if (type == 7) return 3;
  if (type == 9) {
    if (family == "LPC1100") return 3;
    if (family == "STM32F0") return device.DevFlashSize > 65536 ? 7 : 5;
    return 7;
  }
  if (family == "ATxmega AVR") return name.size() > 2 && name.compare(name.size() - 2, 2, "E5") == 0 ? 7 : 6;
  if (IsOneOf(name, {"ATtiny4", "ATtiny5", "ATtiny9", "ATtiny10", "ATtiny20", "ATtiny40", "ATtiny102", "ATtiny104"})) {
    return 1;
  }
  if (IsOneOf(name, {"ATtiny13A", "ATmega8A", "ATmega16A", "ATmega32A"})) return 2;
  return 3;
}

// Records of the fuse programmer types in a database, counted from its lines.
int DevicesOfType(const std::string& file, int type) {
  std::ifstream in(std::string(KESTRIN_DATA_DIR) + "/" + file, std::ios::binary);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    const std::string t = std::to_string(type);
    if (Starts(line, t + ",") || Starts(line, "\"" + t + "\",")) ++n;
  }
  return n;
}

// The model of the loaded block, checked as the options dialog and the command
// line use it: every byte offers fields, fields keep apart, every setting lies
// in its field, and the defaults are settings the dialog accepts.
void CheckModel(const std::string& where) {
  SCOPED_TRACE(where);
  ASSERT_EQ(FuseDefs.size(), static_cast<size_t>(NumFuseBytes) + 1);
  SetDefaultFuses();
  for (int b = 0; b <= NumFuseBytes; ++b) {
    const FuseByteDef& byte = FuseDefs[b];
    SCOPED_TRACE("byte " + std::to_string(b) + " " + byte.Name);
    EXPECT_FALSE(byte.Name.empty());
    ASSERT_GE(byte.NumFields, 1);
    uint8_t used = 0;
    std::set<std::string> names;
    for (int f = 0; f < byte.NumFields; ++f) {
      const FuseFieldDef& field = byte.Fields[f];
      SCOPED_TRACE("field " + field.Name);
      EXPECT_FALSE(field.Name.empty());
      EXPECT_TRUE(names.insert(field.Name).second) << "two fields of one name";
      EXPECT_FALSE(field.Text.empty());
      EXPECT_NE(field.Mask, 0);
      EXPECT_EQ(used & field.Mask, 0) << "fields overlap";
      used |= field.Mask;
      ASSERT_GE(field.NumOptions, 1);
      bool defaultOffered = false, valueOffered = false;
      std::set<uint8_t> values;
      for (int o = 0; o < field.NumOptions; ++o) {
        const uint8_t value = field.OptionValue[o];
        EXPECT_EQ(value & ~field.Mask, 0) << field.OptionText[o] << " lies outside the mask";
        EXPECT_FALSE(field.OptionText[o].empty());
        EXPECT_TRUE(values.insert(value).second) << field.OptionText[o] << " repeats a value";
        defaultOffered |= value == field.Default;
        valueOffered |= value == (FuseValues[b] & field.Mask);
      }
      EXPECT_TRUE(defaultOffered) << "default " << int(field.Default) << " is no option";
      EXPECT_TRUE(valueOffered) << "default byte " << int(FuseValues[b]) << " matches no option";
    }
  }
}

TEST_F(FuseFilesTest, EveryDeviceOfEveryDatabaseLoadsAModelTheDialogAccepts) {
  for (const char* database : Databases) {
    for (int type : FuseTypes) {
      SCOPED_TRACE(std::string(database) + " type " + std::to_string(type));
      UseDatabase(database, type);
      int devices = 0;
      for (int family = 0; family < MaxFamilies && !FamilyList[family].empty(); ++family) {
        CurFamily = family;
        LoadDeviceTypes();
        for (int d = 0; d < MaxDeviceTypes && !DeviceTable[d].DevName.empty(); ++d) {
          CurDevice = d;
          const DeviceRecord& device = DeviceTable[d];
          const std::string where = FamilyList[family] + " " + device.DevName;
          ASSERT_TRUE(LoadSelected()) << where << ": " << LastErrorText;
          EXPECT_EQ(NumFuseBytes, ExpectedLastByte(type, FamilyList[family], device)) << where;
          if (type == 7 || FamilyList[family] == "ATxmega AVR") {
            EXPECT_EQ(OsccalMask, 0) << where;
          } else if (type == 6) {
            EXPECT_TRUE(OsccalMask == 16 || (OsccalMask >= 1 && OsccalMask <= 15)) << where;
          }
          CheckModel(where);
          ++devices;
        }
      }
      EXPECT_EQ(devices, DevicesOfType(database, type));
    }
  }
  EXPECT_TRUE(platform.messages.boxes.empty());
}

struct KnownDefault {
  const char* database;
  int type;
  const char* device;
  std::vector<int> bytes;   // FuseValues[0..] after SetDefaultFuses
};

TEST_F(FuseFilesTest, DefaultsAreTheDatasheetValues) {
  // Bits a device leaves unused read as 1, as the parts read them back.
  const std::vector<KnownDefault> cases = {
      {"device.inf", 6, "ATmega328P", {0xFF, 0x62, 0xD9, 0xFF}},
      {"device.inf", 6, "ATmega328PB", {0xFF, 0x62, 0xD9, 0xF7}},
      {"device.inf", 6, "ATmega168PA", {0xFF, 0x62, 0xDF, 0xF9}},
      {"device.inf", 6, "ATmega8A", {0xFF, 0xE1, 0xD9}},
      {"device.inf", 6, "ATmega128A", {0xFF, 0xE1, 0x99, 0xFD}},
      {"device.inf", 6, "ATmega1284P", {0xFF, 0x62, 0x99, 0xFF}},
      {"device.inf", 6, "ATmega32U4", {0xFF, 0x52, 0x99, 0xF3}},
      {"device.inf", 6, "ATtiny85", {0xFF, 0x62, 0xDF, 0xFF}},
      {"device.inf", 6, "ATtiny13A", {0xFF, 0x6A, 0xFF}},
      {"device.inf", 6, "ATtiny2313A", {0xFF, 0x64, 0xDF, 0xFF}},
      {"device.inf", 6, "ATtiny10", {0xFF, 0xFF}},
      {"device.inf", 6, "ATxmega128A4U", {0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"device.inf", 6, "ATxmega32E5", {0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"device.inf", 7, "AT32UC3A0512", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"device.inf", 9, "STM32F030F4", {0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"device_V2.inf", 9, "STM32F103C8", {0xA5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"device.inf", 9, "ATSAMD21G18A", {0xFF, 0xC7, 0xE0, 0xD8, 0x5D, 0xFC, 0xFF, 0xFF}},
      {"device.inf", 9, "LPC1114", {0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const KnownDefault& c : cases) {
    SCOPED_TRACE(std::string(c.database) + " " + c.device);
    UseDatabase(c.database, c.type);
    ASSERT_TRUE(FindDeviceByName(c.device));
    ASSERT_TRUE(LoadSelected()) << LastErrorText;
    ASSERT_EQ(NumFuseBytes + 1, static_cast<int>(c.bytes.size()));
    SetDefaultFuses();
    for (size_t b = 0; b < c.bytes.size(); ++b) EXPECT_EQ(FuseValues[b], c.bytes[b]) << "byte " << b;
  }
}

const FuseFieldDef* FindField(int byte, const std::string& name) {
  for (int f = 0; f < FuseDefs[byte].NumFields; ++f) {
    if (FuseDefs[byte].Fields[f].Name == name) return &FuseDefs[byte].Fields[f];
  }
  return nullptr;
}

struct KnownSetting {
  const char* device;
  int type;
  int byte;
  const char* field;
  int value;              // the setting's bits in place
  const char* text;       // what its text starts with
};

TEST_F(FuseFilesTest, SettingsFollowEachDevicesDatasheet) {
  const std::vector<KnownSetting> cases = {
      {"ATmega328P", 6, 2, "BOOTSZ", 0x00, "Boot Flash size=2048 words start address=$3800"},
      {"ATmega168PA", 6, 3, "BOOTSZ", 0x00, "Boot Flash size=1024 words start address=$1C00"},
      {"ATmega2560", 6, 2, "BOOTSZ", 0x06, "Boot Flash size=512 words start address=$1FE00"},
      {"ATmega8A", 6, 1, "SUT_CKSEL", 0x24, "Int. RC Osc. 8 MHz; SUT 6 CK + 64 ms"},
      {"ATmega328P", 6, 3, "BODLEVEL", 0x05, "Brown-out detection at VCC=2.7 V"},
      {"ATmega32U4", 6, 3, "BODLEVEL", 0x03, "Brown-out detection at VCC=2.6 V"},
      {"ATtiny85", 6, 1, "SUT_CKSEL", 0x01, "PLL Clock; SUT 1K CK/14 CK + 4 ms"},
      {"ATtiny13A", 6, 2, "BODLEVEL", 0x02, "Brown-out detection at VCC=2.7 V"},
      {"ATxmega128A4U", 6, 6, "BODLVL", 0x07, "1.6 V"},
      {"ATxmega128A4U", 6, 0, "BLBB", 0x40, "Read not allowed"},
      {"AT32UC3B0256", 7, 2, "BOOTPROT", 0x06, "8 KB"},
      {"STM32F030F4", 9, 0, "RDP", 0xCC, "Level 2"},
      {"ATSAMD21G18A", 9, 0, "NVMCTRL_BOOTPROT", 0x02, "8192 Bytes"},
      {"LPC1114", 9, 3, "CRP3", 0x43, "CRP3"},
  };
  for (const KnownSetting& c : cases) {
    SCOPED_TRACE(std::string(c.device) + " " + c.field);
    UseDatabase("device.inf", c.type);
    ASSERT_TRUE(FindDeviceByName(c.device));
    ASSERT_TRUE(LoadSelected()) << LastErrorText;
    ASSERT_LE(c.byte, NumFuseBytes);
    const FuseFieldDef* field = FindField(c.byte, c.field);
    ASSERT_NE(field, nullptr);
    std::string text;
    for (int o = 0; o < field->NumOptions; ++o) {
      if (field->OptionValue[o] == c.value) text = field->OptionText[o];
    }
    EXPECT_TRUE(Starts(text, c.text)) << "found \"" << text << "\"";
  }
}

TEST_F(FuseFilesTest, ArmBlocksFollowTheFamilyIndexOfTheDatabaseInUse) {
  // device_V2.inf has no SAM D21 family, so the STM32 families sit one place
  // earlier there; the device loads from either database, and its id under a
  // family it does not belong to finds no block.
  std::vector<int> indexes;
  for (const char* database : {"device.inf", "device_V2.inf"}) {
    SCOPED_TRACE(database);
    UseDatabase(database, 9);
    ASSERT_TRUE(FindDeviceByName("STM32F103C8"));
    indexes.push_back(CurFamily);
    ASSERT_TRUE(LoadSelected()) << LastErrorText;
    EXPECT_EQ(FuseDefs[0].Name, "RDP");
    EXPECT_EQ(FuseDefs[0].Fields[0].Default, 0xA5);
    CurFamily = 0;
    ASSERT_EQ(FamilyList[0], "LPC1100");
    EXPECT_FALSE(LoadSelected());
    EXPECT_EQ(LastErrorText, "Device ID Not Found");
  }
  EXPECT_EQ(indexes[0], indexes[1] + 1);
}

TEST_F(FuseFilesTest, EachFileSaysWhatWritesIt) {
  for (const char* file : {"AVRFuses.inf", "AVR32Fuses.inf", "ARMFuses.inf"}) {
    std::ifstream in(std::string(KESTRIN_DATA_DIR) + "/" + file, std::ios::binary);
    std::string first;
    ASSERT_TRUE(std::getline(in, first)) << file;
    EXPECT_TRUE(Starts(first, "REM%")) << first;
    EXPECT_NE(first.find("data/sources/make_fuses.py"), std::string::npos) << first;
  }
}

}  // namespace
