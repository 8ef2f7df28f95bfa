// The delivered AVR and SAM D21 fuse blocks against the chip maker's device
// files (tests/data/atdf): every fuse and lock register, each bitfield's bits,
// the values of its value-group and the register's initial value. The maker's
// XML is read here on its own, with QXmlStreamReader; the delivered blocks
// through the program's own fuse definition reader.
#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
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

// ------------------------------------------------------------ the maker's file

struct MakerBitfield {
  std::string name;
  uint32_t mask = 0;
  std::string values;   // value-group name, empty when the field has none
};
struct MakerRegister {
  std::string name;
  uint32_t offset = 0;
  int size = 1;
  std::optional<uint32_t> initval;
  std::vector<MakerBitfield> bitfields;
};
struct GroupRef {
  std::string module, nameInModule, space;
};
struct MakerFile {
  std::string device, architecture;
  std::map<std::string, uint32_t> spaceSize;   // address-space id -> size
  std::vector<GroupRef> refs;                  // register groups the device instantiates
  // module -> register-group -> registers; module -> value-group -> values
  std::map<std::string, std::map<std::string, std::vector<MakerRegister>>> groups;
  std::map<std::string, std::map<std::string, std::vector<uint32_t>>> valueGroups;
};

uint32_t Number(const QStringView text) {
  bool ok = false;
  const uint32_t value = text.toString().toUInt(&ok, 0);
  return ok ? value : 0;
}

bool ReadMakerFile(const std::string& path, MakerFile& out, std::string& error) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error = "cannot open " + path;
    return false;
  }
  QXmlStreamReader xml(&file);
  std::vector<std::string> stack;
  std::string peripheral, module, group, valueGroup;
  MakerRegister* reg = nullptr;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isEndElement()) {
      stack.pop_back();
      continue;
    }
    if (!xml.isStartElement()) continue;
    const std::string tag = xml.name().toString().toStdString();
    const std::string parent = stack.empty() ? "" : stack.back();
    const bool inDevice = std::find(stack.begin(), stack.end(), "devices") != stack.end();
    const bool inModules = std::find(stack.begin(), stack.end(), "modules") != stack.end();
    const auto attr = [&](const char* n) { return xml.attributes().value(QLatin1String(n)); };
    const auto text = [&](const char* n) { return attr(n).toString().toStdString(); };
    stack.push_back(tag);
    if (inDevice) {
      if (tag == "device") {
        out.device = text("name");
        out.architecture = text("architecture");
      } else if (tag == "address-space") {
        out.spaceSize[text("id")] = Number(attr("size"));
      } else if (tag == "module" && parent == "peripherals") {
        peripheral = text("name");
      } else if (tag == "register-group" && parent == "instance") {
        out.refs.push_back({peripheral, text("name-in-module"), text("address-space")});
      }
    } else if (inModules) {
      if (tag == "module" && parent == "modules") {
        module = text("name");
      } else if (tag == "register-group" && parent == "module") {
        group = text("name");
        out.groups[module][group];
      } else if (tag == "register" && parent == "register-group") {
        MakerRegister r;
        r.name = text("name");
        r.offset = Number(attr("offset"));
        r.size = attr("size").isEmpty() ? 1 : static_cast<int>(Number(attr("size")));
        if (!attr("initval").isEmpty()) r.initval = Number(attr("initval"));
        out.groups[module][group].push_back(r);
        reg = &out.groups[module][group].back();
      } else if (tag == "bitfield" && parent == "register" && reg) {
        reg->bitfields.push_back({text("name"), Number(attr("mask")), text("values")});
      } else if (tag == "value-group" && parent == "module") {
        valueGroup = text("name");
        out.valueGroups[module][valueGroup];
      } else if (tag == "value" && parent == "value-group") {
        out.valueGroups[module][valueGroup].push_back(Number(attr("value")));
      }
    }
  }
  if (xml.hasError()) {
    error = path + ": " + xml.errorString().toStdString();
    return false;
  }
  return true;
}

// ------------------------------------------------------ the known exceptions

// Where the maker's datasheet and its device file disagree, the datasheet.
struct DatasheetValue {
  const char* part;
  const char* reg;
  uint32_t datasheet;
  uint32_t deviceFile;
};
const DatasheetValue DatasheetOverrides[] = {
    {"ATmega32U4", "EXTENDED", 0xF3, 0xFB},
    {"ATtiny2313A", "LOW", 0x64, 0x62},
    {"ATtiny4313", "LOW", 0x64, 0x62},
};

// Registers whose device file names no initial value: the datasheet's.
std::optional<uint32_t> DatasheetInitial(const MakerRegister& reg) {
  const auto has = [&](const char* n) {
    return std::any_of(reg.bitfields.begin(), reg.bitfields.end(), [&](const MakerBitfield& b) { return b.name == n; });
  };
  if (reg.name == "LOCKBIT" || reg.name == "LOCKBITS") return 0xFF;   // unprogrammed
  if (reg.name == "FUSEBYTE1") return 0x00;                           // XMEGA watchdog periods
  if (reg.name == "FUSEBYTE4") return has("JTAGEN") ? 0xFE : 0xFF;    // JTAG enabled where there is one
  if (reg.name.rfind("FUSEBYTE", 0) == 0) return 0xFF;
  if (reg.name == "USER_WORD_0") return 0xD8E0C7FFu;                  // SAM D21 factory user row
  if (reg.name == "USER_WORD_1") return 0xFFFFFC5Du;
  return std::nullopt;
}

// Fields whose factory value the maker's value-group leaves out: the block
// offers it besides the maker's values.
struct FactoryExtra {
  const char* part;
  const char* field;
};
const FactoryExtra FactoryExtras[] = {
    {"ATtiny441", "BODLEVEL"}, {"ATtiny841", "BODLEVEL"}, {"ATtiny1634", "BODLEVEL"}};

const std::map<std::string, std::string> FileOfPart = {{"ATmega2560V", "ATmega2560"}};

// --------------------------------------------------------- the comparison

struct Place {
  const MakerRegister* reg = nullptr;
  std::string module;
  int shift = 0;
};

std::string Hex(uint32_t v) {
  std::ostringstream s;
  s << "0x" << std::hex << std::uppercase << v;
  return s.str();
}
std::string List(const std::set<int>& values) {
  std::string out;
  for (int v : values) out += (out.empty() ? "" : " ") + Hex(static_cast<uint32_t>(v));
  return out;
}
int LowestBit(uint32_t mask) {
  int n = 0;
  while (mask && !(mask & 1u)) {
    mask >>= 1;
    ++n;
  }
  return n;
}
int BitCount(uint32_t mask) {
  int n = 0;
  for (; mask; mask &= mask - 1) ++n;
  return n;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

class FuseMakerTest : public ::testing::Test {
 protected:
  FuseMakerTest() { AppPath = KESTRIN_DATA_DIR; }

  bool Select(int type, const std::string& part) {
    DeviceFile = "\\device.inf";
    ProgType = static_cast<uint8_t>(type);
    return LoadDeviceFamilies() && FindDeviceByName(part);
  }

  // Every difference of the loaded block from the maker's file, each naming
  // the part, the byte or field and what differs.
  std::vector<std::string> Compare(const std::string& part, const MakerFile& maker, bool arm) {
    std::vector<std::string> out;
    const auto note = [&](const std::string& what) { out.push_back(part + ": " + what); };
    std::map<int, Place> places;
    for (const GroupRef& ref : maker.refs) {
      if (ref.space != "fuses" && ref.space != "lockbits") continue;
      if (arm && ref.nameInModule != "USER_FUSES") continue;
      const auto module = maker.groups.find(ref.module);
      if (module == maker.groups.end() || !module->second.count(ref.nameInModule)) {
        note("register group " + ref.nameInModule + " not in the file");
        continue;
      }
      for (const MakerRegister& reg : module->second.at(ref.nameInModule)) {
        for (int k = 0; k < reg.size; ++k) {
          const int index = arm ? static_cast<int>(reg.offset) + k
                                : ref.space == "lockbits" ? 0 : 1 + static_cast<int>(reg.offset) + k;
          places[index] = {&reg, ref.module, 8 * k};
        }
      }
    }
    const int count = arm ? (places.empty() ? 0 : places.rbegin()->first + 1)
                          : 1 + static_cast<int>(maker.spaceSize.count("fuses") ? maker.spaceSize.at("fuses") : 0);
    if (NumFuseBytes + 1 != count) {
      note(std::to_string(NumFuseBytes + 1) + " fuse bytes, the maker's file " + std::to_string(count));
      return out;
    }
    SetDefaultFuses();
    for (int b = 0; b < count; ++b) {
      const FuseByteDef& byte = FuseDefs[b];
      const std::string at = "byte " + std::to_string(b);
      const auto place = places.find(b);
      if (place == places.end()) {
        // A byte the maker leaves out: one reserved field keeping it erased.
        const bool kept = byte.NumFields == 1 && byte.Fields[0].Name == "RESERVED" && byte.Fields[0].Mask == 0xFF &&
                          byte.Fields[0].NumOptions == 1 && byte.Fields[0].OptionValue[0] == 0xFF;
        if (!kept) note(at + " is in no register of the file but offers fields");
        if (FuseValues[b] != 0xFF) note(at + " default " + Hex(FuseValues[b]) + ", erased 0xFF expected");
        continue;
      }
      const MakerRegister& reg = *place->second.reg;
      const int shift = place->second.shift;
      std::optional<uint32_t> initial = reg.initval;
      for (const DatasheetValue& d : DatasheetOverrides) {
        if (part == d.part && reg.name == d.reg) initial = d.datasheet;
      }
      if (!initial) initial = DatasheetInitial(reg);
      if (!initial) {
        note(reg.name + " has no initial value and no datasheet value in this test");
        continue;
      }
      const uint8_t byteInitial = static_cast<uint8_t>(*initial >> shift);
      if (FuseValues[b] != byteInitial) {
        note(at + " (" + reg.name + ") default " + Hex(FuseValues[b]) + ", expected " + Hex(byteInitial));
      }
      uint8_t makerBits = 0;
      std::set<std::string> seen;
      for (const MakerBitfield& bf : reg.bitfields) {
        const uint8_t mask = static_cast<uint8_t>(bf.mask >> shift);
        if (!mask) continue;
        makerBits |= mask;
        seen.insert(bf.name);
        const std::string where = at + " field " + bf.name;
        const FuseFieldDef* field = nullptr;
        for (int f = 0; f < byte.NumFields; ++f) {
          if (byte.Fields[f].Name == bf.name) field = &byte.Fields[f];
        }
        if (!field) {
          note(where + " missing");
          continue;
        }
        if (field->Mask != mask) note(where + " mask " + Hex(field->Mask) + ", maker " + Hex(mask));
        if (field->Default != (byteInitial & mask)) {
          note(where + " default " + Hex(field->Default) + ", expected " + Hex(byteInitial & mask));
        }
        // The settings the maker's bits allow, in place in this byte.
        std::set<int> expected;
        if (!bf.values.empty()) {
          const auto groups = maker.valueGroups.find(place->second.module);
          if (groups == maker.valueGroups.end() || !groups->second.count(bf.values)) {
            note(where + " value group " + bf.values + " not in the file");
            continue;
          }
          for (uint32_t v : groups->second.at(bf.values)) expected.insert(((v << LowestBit(bf.mask)) >> shift) & mask);
          for (const FactoryExtra& e : FactoryExtras) {
            if (part == e.part && bf.name == e.field) expected.insert(byteInitial & mask);
          }
        } else {
          for (uint32_t v = 0; v < (1u << BitCount(mask)); ++v) expected.insert(static_cast<int>(v << LowestBit(mask)));
        }
        std::set<int> delivered;
        for (int o = 0; o < field->NumOptions; ++o) delivered.insert(field->OptionValue[o]);
        if (delivered != expected) {
          note(where + " offers {" + List(delivered) + "}, maker {" + List(expected) + "}");
        }
        if (delivered.size() != static_cast<size_t>(field->NumOptions)) note(where + " offers a value twice");
      }
      for (int f = 0; f < byte.NumFields; ++f) {
        const FuseFieldDef& field = byte.Fields[f];
        if (seen.count(field.Name)) continue;
        // Bits no maker field names whose factory value is kept as shipped.
        const bool reserved = field.Name == "RESERVED" && !(field.Mask & makerBits) && field.NumOptions == 1 &&
                              field.OptionValue[0] == field.Default;
        if (!reserved) note(at + " field " + field.Name + " is not in the maker's file");
      }
    }
    return out;
  }

  FakePlatform platform;
};

TEST_F(FuseMakerTest, EveryAvrAndSamD21BlockIsTheMakersLayout) {
  struct Kind {
    int type;
    bool arm;
  };
  std::vector<std::string> mismatches;
  int compared = 0;
  for (const Kind kind : {Kind{6, false}, Kind{9, true}}) {
    DeviceFile = "\\device.inf";
    ProgType = static_cast<uint8_t>(kind.type);
    ASSERT_TRUE(LoadDeviceFamilies()) << LastErrorText;
    for (int family = 0; family < MaxFamilies && !FamilyList[family].empty(); ++family) {
      if (kind.arm && FamilyList[family] != "SAM D21") continue;
      CurFamily = family;
      LoadDeviceTypes();
      for (int d = 0; d < MaxDeviceTypes && !DeviceTable[d].DevName.empty(); ++d) {
        CurDevice = d;
        const std::string part = DeviceTable[d].DevName;
        const auto alias = FileOfPart.find(part);
        const std::string path =
            std::string(KESTRIN_ATDF_DIR) + "/" + (alias == FileOfPart.end() ? part : alias->second) + ".atdf";
        if (!QFile::exists(QString::fromStdString(path))) {
          // Every AVR part has its maker's file; SAM D21 parts without one keep
          // their hand-written layout.
          if (!kind.arm) mismatches.push_back(part + ": no maker's file " + path);
          continue;
        }
        MakerFile maker;
        std::string error;
        ASSERT_TRUE(ReadMakerFile(path, maker, error)) << error;
        EXPECT_EQ(maker.device, alias == FileOfPart.end() ? part : alias->second);
        ASSERT_TRUE(LoadFuseDefinitions(ProgramFile(SelectedTypeTraits().fuseFile))) << part << ": " << LastErrorText;
        const std::vector<std::string> found = Compare(part, maker, kind.arm);
        mismatches.insert(mismatches.end(), found.begin(), found.end());
        ++compared;
      }
    }
  }
  EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " mismatches:\n" << Joined(mismatches);
  // 58 AVR parts (two of them share the ATmega2560 file) and four SAM D21.
  EXPECT_EQ(compared, 62);
}

TEST_F(FuseMakerTest, ALayoutThatDepartsFromTheMakersFileIsNamedFieldByField) {
  // An ATmega328P block as it was once delivered: SUT and CKSEL apart, a
  // brown-out level the part lacks, a wrong default and the boot fields gone.
  char dir[] = "/tmp/fuse_maker_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  {
    std::ofstream out(std::string(dir) + "/AVRFuses.inf", std::ios::binary);
    out << "ID%9%ATmega328P%16%3\r\n"
           "BYTE%0%Lock bits%%\r\nFIELD%LB%Lock%&H03%&H03\r\nOPTION%None%&H03%%\r\nOPTION%W%&H02%%\r\nOPTION%RW%&H00%%\r\n"
           "FIELD%BLB0%App%&H0C%&H0C\r\nOPTION%a%&H0C%%\r\nOPTION%b%&H08%%\r\nOPTION%c%&H04%%\r\nOPTION%d%&H00%%\r\n"
           "FIELD%BLB1%Boot%&H30%&H30\r\nOPTION%a%&H30%%\r\nOPTION%b%&H20%%\r\nOPTION%c%&H10%%\r\nOPTION%d%&H00%%\r\n"
           "BYTE%1%Low fuse%%\r\nFIELD%CKDIV8%Div%&H80%&H00\r\nOPTION%1%&H80%%\r\nOPTION%0%&H00%%\r\n"
           "FIELD%CKOUT%Out%&H40%&H40\r\nOPTION%1%&H40%%\r\nOPTION%0%&H00%%\r\n"
           "FIELD%SUT%Start-up%&H30%&H20\r\nOPTION%0%&H00%%\r\nOPTION%1%&H10%%\r\nOPTION%2%&H20%%\r\nOPTION%3%&H30%%\r\n"
           "FIELD%CKSEL%Clock%&H0F%&H02\r\nOPTION%RC%&H02%%\r\n"
           "BYTE%2%High fuse%%\r\nFIELD%RSTDISBL%R%&H80%&H80\r\nOPTION%1%&H80%%\r\nOPTION%0%&H00%%\r\n"
           "BYTE%3%Extended fuse%%\r\nFIELD%BODLEVEL%BOD%&H07%&H05\r\nOPTION%off%&H07%%\r\nOPTION%1.8%&H06%%\r\n"
           "OPTION%2.7%&H05%%\r\nOPTION%4.3%&H04%%\r\nOPTION%extra%&H03%%\r\n"
           "ENDID%%%%\r\n";
  }
  ASSERT_TRUE(Select(6, "ATmega328P"));
  AppPath = dir;
  ASSERT_TRUE(LoadFuseDefinitions(ProgramFile(SelectedTypeTraits().fuseFile))) << LastErrorText;
  MakerFile maker;
  std::string error;
  ASSERT_TRUE(ReadMakerFile(std::string(KESTRIN_ATDF_DIR) + "/ATmega328P.atdf", maker, error)) << error;
  const std::vector<std::string> found = Compare("ATmega328P", maker, false);
  const std::string all = Joined(found);
  for (const char* expected : {
           "ATmega328P: byte 1 field SUT_CKSEL missing\n",
           "ATmega328P: byte 1 field SUT is not in the maker's file\n",
           "ATmega328P: byte 1 field CKSEL is not in the maker's file\n",
           "ATmega328P: byte 2 field BOOTSZ missing\n",
           "ATmega328P: byte 2 (HIGH) default 0xFF, expected 0xD9\n",
           "ATmega328P: byte 3 (EXTENDED) default 0xFD, expected 0xFF\n",
           "ATmega328P: byte 3 field BODLEVEL default 0x5, expected 0x7\n",
           "ATmega328P: byte 3 field BODLEVEL offers {0x3 0x4 0x5 0x6 0x7}, maker {0x4 0x5 0x6 0x7}\n",
       }) {
    EXPECT_NE(all.find(expected), std::string::npos) << expected << "not in:\n" << all;
  }
  // The lock byte agrees with the maker and is not named.
  EXPECT_EQ(all.find("byte 0"), std::string::npos) << all;
  std::remove((std::string(dir) + "/AVRFuses.inf").c_str());
  rmdir(dir);
}

TEST_F(FuseMakerTest, EachDatasheetOverrideStillDiffersFromTheDeviceFile) {
  // An override the maker has since corrected would hide nothing: drop it.
  for (const DatasheetValue& d : DatasheetOverrides) {
    SCOPED_TRACE(std::string(d.part) + " " + d.reg);
    MakerFile maker;
    std::string error;
    ASSERT_TRUE(ReadMakerFile(std::string(KESTRIN_ATDF_DIR) + "/" + d.part + ".atdf", maker, error)) << error;
    bool found = false;
    for (const auto& module : maker.groups) {
      for (const auto& group : module.second) {
        for (const MakerRegister& reg : group.second) {
          if (reg.name != d.reg) continue;
          found = true;
          ASSERT_TRUE(reg.initval.has_value());
          EXPECT_EQ(*reg.initval, d.deviceFile);
          EXPECT_NE(*reg.initval, d.datasheet);
        }
      }
    }
    EXPECT_TRUE(found);
    // And the delivered block carries the datasheet's value.
    ASSERT_TRUE(Select(6, d.part));
    ASSERT_TRUE(LoadFuseDefinitions(ProgramFile(SelectedTypeTraits().fuseFile))) << LastErrorText;
    SetDefaultFuses();
    const int byte = std::string(d.reg) == "LOW" ? 1 : std::string(d.reg) == "HIGH" ? 2 : 3;
    EXPECT_EQ(FuseValues[byte], d.datasheet);
  }
}

TEST_F(FuseMakerTest, ACombinedClockFieldOffersOnlyTheMakersCombinations) {
  // ATmega328P: SUT and CKSEL are one field of six bits; the reserved
  // combinations (CKSEL 0001, and 0x30, 0x32..0x35) are not offered, 0x36 is.
  ASSERT_TRUE(Select(6, "ATmega328P"));
  ASSERT_TRUE(LoadFuseDefinitions(ProgramFile(SelectedTypeTraits().fuseFile))) << LastErrorText;
  const FuseByteDef& low = FuseDefs[1];
  const FuseFieldDef* clock = nullptr;
  for (int f = 0; f < low.NumFields; ++f) {
    EXPECT_NE(low.Fields[f].Name, "SUT");
    EXPECT_NE(low.Fields[f].Name, "CKSEL");
    if (low.Fields[f].Name == "SUT_CKSEL") clock = &low.Fields[f];
  }
  ASSERT_NE(clock, nullptr);
  EXPECT_EQ(clock->Mask, 0x3F);
  std::set<int> values;
  for (int o = 0; o < clock->NumOptions; ++o) values.insert(clock->OptionValue[o]);
  for (int reservedCode : {0x01, 0x11, 0x21, 0x31, 0x30, 0x32, 0x33, 0x34, 0x35}) {
    EXPECT_FALSE(values.count(reservedCode)) << Hex(reservedCode);
  }
  EXPECT_TRUE(values.count(0x36));
  EXPECT_TRUE(values.count(0x22));
  SetDefaultFuses();
  EXPECT_EQ(FuseValues[1], 0x62);
}

}  // namespace
