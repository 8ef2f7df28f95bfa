#include "programmers/ProgrammerTypes.h"

#include "programmers/UnitState.h"

namespace {

// A known type's row: the defaults with what `fill` sets.
template <typename Fill>
constexpr ProgTypeTraits Row(Fill fill) {
  ProgTypeTraits t;
  t.known = true;
  fill(t);
  return t;
}

constexpr std::array<const char*, 3> ResetRun{"Reset", "Run", ""};
constexpr std::array<const char*, 3> ResetPowerOnResetRun{"Reset", "Power On", "Reset/Run"};

// Row n describes type n; row 0 is the default row.
constexpr ProgTypeTraits Rows[] = {
    ProgTypeTraits{},
    Row([](ProgTypeTraits& t) {   // 1: PSoC
      t.picture = "PSOC";
      t.secondaryName = "EEPROM";
      t.startModeNames = ResetPowerOnResetRun;
      t.modeColumn = ModeColumn::StartModeResetRun;
      t.verifyCheck = VerifyCheck::Checksum;
      t.carriesExtData = true;
    }),
    Row([](ProgTypeTraits& t) {   // 2: Z8 Encore!
      t.picture = "Z8ENCORE";
      t.secondaryName = "FIB3";
      t.startModeNames = ResetRun;
      t.modeColumn = ModeColumn::StartMode;
      t.verifyCheck = VerifyCheck::Crc;
      t.hasTargetClock = true;
      t.secondImageColumn = "FIB 3 Image";
      t.optionsWindow = OptionsWindow::OptionBits;
    }),
    Row([](ProgTypeTraits& t) {   // 3: E2
      t.picture = "E2";
      t.managerShowsMode = false;
      t.verifyCheck = VerifyCheck::Checksum;
      t.carriesExtData = true;
    }),
    Row([](ProgTypeTraits& t) {   // 4: C2
      t.picture = "C2";
      t.startModeNames = ResetRun;
      t.modeColumn = ModeColumn::StartMode;
    }),
    Row([](ProgTypeTraits& t) {   // 5: ZNEO
      t.picture = "ZNEO";
      t.optionsWindow = OptionsWindow::OptionBits;
      t.startModeNames = ResetRun;
      t.modeColumn = ModeColumn::StartMode;
      t.verifyCheck = VerifyCheck::Crc;
    }),
    Row([](ProgTypeTraits& t) {   // 6: AVR
      t.picture = "AVR";
      t.fuseFile = "\\AVRFuses.inf";
      t.secondaryName = "EEPROM";
      t.startModeNames = ResetRun;
      t.modeColumn = ModeColumn::Interface;
      t.managerShowsMode = false;
      t.hasTargetClock = true;
      t.secondImageColumn = "EEPROM Image";
      t.choosesInterface = true;
      t.powerOnNote = false;
      t.optionRecord = OptionRecord::Avr;
      t.hasFuses = true;
      t.optionsWindow = OptionsWindow::Fuses;
      t.writesPageMap = true;
      t.sizeFlags = SizeFlags::Avr;
      t.hexSegmentRecords = true;
    }),
    Row([](ProgTypeTraits& t) {   // 7: AVR32
      t.picture = "AVR32";
      t.fuseFile = "\\AVR32Fuses.inf";
      t.secondaryName = "User Memory";
      t.startModeNames = ResetRun;
      t.modeColumn = ModeColumn::StartMode;
      t.managerShowsMode = false;
      t.powerOnNote = false;
      t.optionRecord = OptionRecord::Avr32;
      t.hasFuses = true;
      t.optionsWindow = OptionsWindow::Fuses;
      t.writesPageMap = true;
      t.sizeFlags = SizeFlags::Avr;
      t.reversesWords = true;
      t.hexImageBase = 0x8000;
      t.hexSecondMemoryBase = 0x8080;
    }),
    Row([](ProgTypeTraits& t) {   // 8: X1
      t.picture = "X1";
      t.startModeNames = ResetPowerOnResetRun;
      t.modeColumn = ModeColumn::StartMode;
      t.verifyCheck = VerifyCheck::Checksum;
      t.carriesExtData = true;
    }),
    Row([](ProgTypeTraits& t) {   // 9: ARM
      t.picture = "ARM";
      t.fuseFile = "\\ARMFuses.inf";
      t.fuseIdsByFamily = true;
      t.secondaryName = "Data Flash";
      t.startModeNames = ResetRun;
      t.modeColumn = ModeColumn::StartMode;
      t.hasFuses = true;
      t.optionsWindow = OptionsWindow::Fuses;
      t.writesPageMap = true;
      t.sizeFlags = SizeFlags::Arm;
      t.slotDataAreas = true;
    }),
};

constexpr int RowCount = static_cast<int>(sizeof Rows / sizeof Rows[0]);

}  // namespace

const ProgTypeTraits& TypeTraits(int progType) {
  return progType > 0 && progType < RowCount ? Rows[progType] : Rows[0];
}

const ProgTypeTraits& SelectedTypeTraits() { return TypeTraits(ProgType); }
