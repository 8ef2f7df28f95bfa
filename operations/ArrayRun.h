// Array programming: several programmers on the line run their own stored
// image at once and are polled in turn until every port has finished.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "operations/RunTally.h"
#include "programmers/UnitState.h"
#include "state/LineGuard.h"

class ArrayProgramView;

// One programmer's panel: what it holds and how its last run went.
struct ArrayPanel {
  int programmer = 0;             // index into ProgrammerTable
  uint8_t address = 0;
  std::string caption;            // " 3 AVR"
  std::vector<int> images;        // slots holding an image, ascending
  std::array<DirEntry, 5> entries{};   // directory entries of slots 1..4, as read
  bool prepared = false;          // its image directory was read
  bool securityDamaged = false;   // its security block's seal is wrong: not started
  // Outcome of the last run.
  bool started = false;
  bool startFailed = false;       // PortsEnable or Program refused or unanswered
  bool lost = false;              // stopped answering GetStatus while it ran
  bool cancelled = false;
  std::array<uint8_t, 4> status{};   // last state counted per port (PortStatusWatch)
  std::array<bool, 4> portFailed{};
  UnitRun run;                    // the ports it was started on and how each ended
};

// Bits 0..3 ports 1..4, bit 4 verify, bit 5 sequential.
uint8_t ArrayPortMask(const std::array<bool, 4>& ports, bool verify, bool sequential);

// The programmer's bus address in the plain form and its model name.
std::string ArrayPanelCaption(int programmer);

// Puts a bus address and its line speed on the port.
void MakeAddressCurrent(uint8_t address);

// While one lives, commands go to one unit: its address is current, at its
// line settings (ProgSettings). The address current before, at its settings,
// comes back when it goes, whichever way the code leaves.
class UnitAddressScope {
 public:
  explicit UnitAddressScope(uint8_t address);
  ~UnitAddressScope();
  UnitAddressScope(const UnitAddressScope&) = delete;
  UnitAddressScope& operator=(const UnitAddressScope&) = delete;

 private:
  uint8_t previous_;
};

// Reads one programmer's image directory into its panel; true when nothing
// failed. CurrentAddress stays as it was.
bool PrepareArrayPanel(int programmer, ArrayPanel& panel);

// Remembers CurrentAddress in SavedAddress and prepares one panel per
// programmer found. `onFailure` runs for a panel that could not be prepared,
// with the last-error record describing why. CurrentAddress stays as it was.
std::vector<ArrayPanel> OpenArrayProgramming(void (*onFailure)(const ArrayPanel&) = nullptr);

// Commands go to the programmer that was current when the window opened.
void RestoreSavedAddress();

// Starts every enabled panel's programmer in panel order and follows all
// started ones until none is busy. A refused start ends the start-up, but
// the programmers already started are still followed to their end; a cancel
// request stops every started programmer. True when no command failed.
// CurrentAddress stays as it was.
bool RunArray(ArrayProgramView& view, std::vector<ArrayPanel>& panels, LineUser user = LineUser::Window);

// GetStatus failures in a row after which a running programmer counts as lost.
constexpr int ArrayStatusRetries = 3;
