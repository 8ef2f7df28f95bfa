// The table of programmer types: each known type answers as its programmer
// does, and every other code gets the default row.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "programmers/ProgrammerTypes.h"
#include "programmers/UnitState.h"

namespace {

std::string Joined(const std::array<const char*, 3>& names) {
  std::string text;
  for (const char* name : names) text += std::string(name) + "|";
  return text;
}

bool OneOf(int type, std::initializer_list<int> types) {
  for (int t : types) {
    if (t == type) return true;
  }
  return false;
}

}  // namespace

TEST(ProgrammerTypesTest, NamesOfEachKnownType) {
  struct Case { int type; const char* picture; const char* secondary; const char* modes; const char* secondColumn; };
  const Case cases[] = {
      {1, "PSOC", "EEPROM", "Reset|Power On|Reset/Run|", ""},
      {2, "Z8ENCORE", "FIB3", "Reset|Run||", "FIB 3 Image"},
      {3, "E2", "", "|||", ""},
      {4, "C2", "", "Reset|Run||", ""},
      {5, "ZNEO", "", "Reset|Run||", ""},
      {6, "AVR", "EEPROM", "Reset|Run||", "EEPROM Image"},
      {7, "AVR32", "User Memory", "Reset|Run||", ""},
      {8, "X1", "", "Reset|Power On|Reset/Run|", ""},
      {9, "ARM", "Data Flash", "Reset|Run||", ""},
  };
  for (const Case& c : cases) {
    const ProgTypeTraits& t = TypeTraits(c.type);
    EXPECT_TRUE(t.known) << c.type;
    EXPECT_STREQ(t.picture, c.picture) << c.type;
    EXPECT_STREQ(t.secondaryName, c.secondary) << c.type;
    EXPECT_EQ(Joined(t.startModeNames), c.modes) << c.type;
    EXPECT_STREQ(t.secondImageColumn, c.secondColumn) << c.type;
  }
}

// Each answer over a range of codes, against the set of types that made the decision.
TEST(ProgrammerTypesTest, DecisionsByTypeCode) {
  for (int type = -3; type <= 300; ++type) {
    const ProgTypeTraits& t = TypeTraits(type);
    const bool known = type >= 1 && type <= 9;
    EXPECT_EQ(t.known, known) << type;
    EXPECT_EQ(t.reversesWords, type == 7) << type;
    EXPECT_EQ(t.carriesExtData, OneOf(type, {1, 3, 8})) << type;
    EXPECT_EQ(t.hasTargetClock, OneOf(type, {2, 6})) << type;
    EXPECT_EQ(t.choosesInterface, type == 6) << type;
    EXPECT_EQ(t.hasFuses, OneOf(type, {6, 7, 9})) << type;
    EXPECT_EQ(t.writesPageMap, OneOf(type, {6, 7, 9})) << type;
    EXPECT_EQ(t.slotDataAreas, type == 9) << type;
    EXPECT_EQ(t.hexSegmentRecords, type == 6) << type;
    EXPECT_EQ(t.hexImageBase, type == 7 ? 0x8000 : 0) << type;
    EXPECT_EQ(t.hexSecondMemoryBase, type == 7 ? 0x8080 : 0) << type;
    EXPECT_EQ(std::string(t.fuseFile), type == 6   ? "\\AVRFuses.inf"
                                       : type == 7 ? "\\AVR32Fuses.inf"
                                       : type == 9 ? "\\ARMFuses.inf"
                                                   : "")
        << type;
    EXPECT_EQ(t.fuseIdsByFamily, type == 9) << type;
    // Unknown codes show the mode and the note, as every type but these always did.
    EXPECT_EQ(t.managerShowsMode, !OneOf(type, {3, 6, 7})) << type;
    EXPECT_EQ(t.powerOnNote, !OneOf(type, {6, 7})) << type;

    const ModeColumn mode = type == 1 ? ModeColumn::StartModeResetRun
                            : type == 6 ? ModeColumn::Interface
                            : known && type != 3 ? ModeColumn::StartMode
                                                 : ModeColumn::None;
    EXPECT_EQ(t.modeColumn, mode) << type;
    const VerifyCheck verify = OneOf(type, {1, 3, 8}) ? VerifyCheck::Checksum
                               : OneOf(type, {2, 5}) ? VerifyCheck::Crc
                                                     : VerifyCheck::None;
    EXPECT_EQ(t.verifyCheck, verify) << type;
    const OptionRecord option = type == 6 ? OptionRecord::Avr : type == 7 ? OptionRecord::Avr32 : OptionRecord::None;
    EXPECT_EQ(t.optionRecord, option) << type;
    const SizeFlags sizes = OneOf(type, {6, 7}) ? SizeFlags::Avr : type == 9 ? SizeFlags::Arm : SizeFlags::None;
    EXPECT_EQ(t.sizeFlags, sizes) << type;
  }
}

TEST(ProgrammerTypesTest, CodesWithoutATypeShareTheDefaultRow) {
  const ProgTypeTraits& none = TypeTraits(0);
  for (int code : {-1, 10, 25, 255, 256}) EXPECT_EQ(&TypeTraits(code), &none) << code;
  EXPECT_STREQ(none.picture, "");
  EXPECT_STREQ(none.secondaryName, "");
  EXPECT_EQ(Joined(none.startModeNames), "|||");
  for (int type = 1; type <= 9; ++type) EXPECT_NE(&TypeTraits(type), &none) << type;
}

TEST(ProgrammerTypesTest, SelectedTypeFollowsProgType) {
  for (int type : {0, 2, 7, 9, 200}) {
    ProgType = static_cast<uint8_t>(type);
    EXPECT_EQ(&SelectedTypeTraits(), &TypeTraits(type)) << type;
  }
  ProgType = 0;
}
