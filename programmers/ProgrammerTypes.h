// What each programmer type (ProgType) does differently: one row per type,
// so that a new type is described in one place.
#pragma once

#include <array>
#include <cstdint>

// What the image grid's Mode column shows for a stored image.
enum class ModeColumn {
  None,               // no Mode column
  StartMode,          // StartModeNames[mode bit 0]
  StartModeResetRun,  // as StartMode, but mode bit 0x40 shows "Reset/Run"
  Interface,          // the programming interface (JTAG, TPI, PDI, or SPI with its clock)
};

// The programming manager's verify check box.
enum class VerifyCheck { None, Crc, Checksum };

// The option record written after a downloaded image (ImageNumber * 256).
enum class OptionRecord { None, Avr, Avr32 };

// The options window the Load Image dialog's Options button opens.
enum class OptionsWindow {
  None,
  Fuses,        // fuse bytes, calibration and the like (AVR, AVR32, ARM)
  OptionBits,   // option bytes inside the image, window by family (Z8 Encore!, ZNEO, ZLF645)
};

// How a device's DevFlags give its second-memory and auxiliary sizes.
enum class SizeFlags { None, Avr, Arm };

// The defaults are the row of codes without a type (0 and unknown codes).
struct ProgTypeTraits {
  // A type of its own; on other codes selection keeps the last picture and second-memory name.
  bool known = false;
  // Key of the programmer's picture in the image manager.
  const char* picture = "";
  // Name of the second memory in messages and captions ("" when the type has none).
  const char* secondaryName = "";
  // The run modes offered, "" after the last.
  std::array<const char*, 3> startModeNames{"", "", ""};
  // What the image grid's Mode column shows.
  ModeColumn modeColumn = ModeColumn::None;
  // The programming manager shows the image's mode.
  bool managerShowsMode = true;
  // The programming manager's verify check box.
  VerifyCheck verifyCheck = VerifyCheck::None;
  // Images keep a target clock: grid clock columns, clock boxes, slow clock check box.
  bool hasTargetClock = false;
  // Grid header of the second-memory image column beside the clock.
  const char* secondImageColumn = "";
  // The operator picks the programming interface (SPI, JTAG, PDI or TPI).
  bool choosesInterface = false;
  // Devices with DevFlags bit 0x80 get the power-on programming note.
  bool powerOnNote = true;
  // Images carry the 256-byte ExtData block (HEX files, slot, saved files).
  bool carriesExtData = false;
  // The option record a download writes after the image.
  OptionRecord optionRecord = OptionRecord::None;
  // Projects keep fuse bytes, oscillator calibration and the JTAG ID check.
  bool hasFuses = false;
  // A download writes the map of non-blank pages.
  bool writesPageMap = false;
  // How DevFlags give DevEESize and DevAuxSize.
  SizeFlags sizeFlags = SizeFlags::None;
  // Data and loader flash live in the image slot (+0x40000, +0x50000), fuses at +0x60000.
  bool slotDataAreas = false;
  // AVR32 32-bit words stored byte-reversed.
  bool reversesWords = false;
  // Upper 16 address bits of the main image in saved HEX files.
  int32_t hexImageBase = 0;
  // Saved images past 64 KiB go on with segment records instead of linear ones.
  bool hexSegmentRecords = false;
  // Upper 16 address bits of the second memory in saved HEX files; 0: saves leave it out.
  int32_t hexSecondMemoryBase = 0;
  // The fuse definition file in the program's directory ("" when the type has none).
  const char* fuseFile = "";
  // The options window of the type's images.
  OptionsWindow optionsWindow = OptionsWindow::None;
  // Fuse blocks are matched by device code and also by family index.
  bool fuseIdsByFamily = false;
};

// The row of a programmer type; the default row for codes without one.
const ProgTypeTraits& TypeTraits(int progType);
// TypeTraits(ProgType).
const ProgTypeTraits& SelectedTypeTraits();
