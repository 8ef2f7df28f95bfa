// The programming options of AVR, AVR32 and ARM images: fuse bytes edited
// field by field or as hex, the oscillator calibration value and where it
// goes, the EEPROM image name. One set of rules serves the options window,
// the command line and the automation interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The fuse definitions of the selected device from its programmer type's
// file, then the defaults. False with the reason in the last-error record;
// the defaults are set either way, over a model that holds only what the
// file gave for this device.
bool LoadDeviceFuses();

// "" when the value fits fuse byte `byte` (FuseValueFits); otherwise
// "Invalid Fuse Value: " + given + " for fuse byte N (NAME)".
std::string FuseValueRefusal(int byte, int64_t value, const std::string& given);

// A fuse byte as two upper-case hex digits.
std::string FuseHex(int value);

// Hex text as the entry boxes read it: leading blanks skipped, the hex digits
// up to the first other character; empty or no digits read as 0. Very long
// texts saturate, so a caller's range check refuses them.
int64_t ReadHexText(const std::string& text);

// True when value is a byte and, for every field of the fuse byte, one of the
// field's options equals the value masked with the field's mask. Bits no
// field covers are taken as given.
bool FuseValueFits(int byte, int64_t value);

// The first field (in file order) of the byte whose mask holds the bit; -1
// when none does.
int FieldAtBit(int byte, int bit);

// The option a field's current bits select: the first whose value matches,
// else the first.
int CurrentFuseOption(int byte, int field);

// Sets the field's bits of the fuse byte to the option's value.
void ApplyFuseOption(int byte, int field, int option);

// Calibration values the device offers, as the options window lists them:
// "None" first, then the frequencies of OsccalMask.
struct OsccalChoice {
  std::string text;
  uint8_t bit = 0;   // bits 0..3 of OsccalOpt
};
std::vector<OsccalChoice> OsccalChoices();

// Chooses the calibration value (bits 0..3 of OsccalOpt; 0 for none), keeping
// the target memory bits.
void SetOsccalValue(uint8_t bit);

// The calibration value goes into EEPROM (bit 4) or Flash (bit 5). False when
// the address lay beyond that memory and was set back to 0.
bool SetOsccalMemory(bool eeprom);

// Sets the calibration address in the memory the value goes to (flash when
// inFlash). False when it lies beyond that memory: the address becomes 0.
bool SetOsccalAddress(int64_t address, bool inFlash);

// The EEPROM image name a file gives: its name up to the first "." and at
// most 20 characters.
std::string EepromImageName(const std::string& fileName);

// A number as upper-case hex digits without leading zeros ("0" for 0), as
// the calibration address and JTAG ID boxes show it.
std::string HexText(int64_t value);

// The cells of a fuse byte's field row: per run of neighbouring bits one
// field covers, the field and the columns it spans (column 0 is bit 7). A
// field whose mask has gaps gives one run per contiguous part; bits no field
// covers give no run.
struct FuseFieldRun {
  int field = -1;
  int firstColumn = 0;
  int columns = 0;
};
std::vector<FuseFieldRun> FuseFieldRuns(int byte);

// How the options window opens for the selected device.
struct ProgrammingOptionsSetup {
  std::string secondaryCaption;      // title of the second-memory frame
  bool showSecondary = false;        // the second-memory image is chosen here
  bool showAvr32Security = false;
  bool showJtagId = false;
  bool setBefore = false;            // the options came from a project or an earlier visit
};

// Programmer types whose images carry these options (AVR, AVR32, ARM).
bool HasProgrammingOptions(int progType);

// Programmer types whose Load Image dialog offers an options window: these
// options, or the option bits of Z8 Encore!, ZNEO and ZLF645 images.
bool HasOptionsWindow(int progType);

// The frames a programmer type and device show. The EEPROM image is chosen
// here only on AVR parts that have one; AVR32 user memory comes with the
// image file. The JTAG ID check needs the JTAG interface chosen.
ProgrammingOptionsSetup ProgrammingOptionsFor(int progType, int32_t secondarySize, bool jtagChosen,
                                              bool setBefore);

// "AVR Programming Options - ATmega48" and the like; empty for other types.
std::string ProgrammingOptionsCaption(int progType, const std::string& deviceName);

// Texts of the options window's refusals.
extern const char* const InvalidFuseValueText;     // "Invalid Fuse Value"
extern const char* const OsccalRangeText;          // "Address Out of Range for Device"
extern const char* const DefaultFusesText;         // "Default Fuse Values Selected. Click Options to change"
