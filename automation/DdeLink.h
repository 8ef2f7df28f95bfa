// frmDDELink, the automation window: loaded, it switches the automation
// interface on; each command string it executes runs the same operations as
// the windows and leaves a one-line reply in DDEStatus. It is never shown.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class RunLogEntry;

class DdeLink {
 public:
  DdeLink();    // Form_Load
  ~DdeLink();   // Form_Unload

  // The execute event: runs one command string; returns the new DDEStatus.
  const std::string& Execute(const std::string& commandString);

  // The one data item clients read: the reply to the last command.
  std::string DDEStatus;
  std::array<std::string, 11> Params;   // the fields of the last command; Params[0] is its name
  int16_t NumParams = 0;

  static constexpr int MaxFields = 11;

 private:
  bool Dispatch();   // false when an operation reported its own failure

  // Slots whose serialization record a Serialize command wrote since their
  // last load, read or run: the next LoadImage of the slot keeps it. Any other
  // LoadImage turns serialization off in the slot, so the new image never
  // hands out the serial numbers of the image it replaced.
  std::array<bool, 4> serializedForLoad_{};

  // A run started by Program or Verify: logged once PortStatus finds it complete.
  std::unique_ptr<RunLogEntry> startedRun_;
  uint8_t startedPorts_ = 0;
};

// The automation window's state and what it hands to the next download.
extern bool DdeEnabled;            // while the automation window is loaded
extern bool ImageProtectFlag;      // handed to the next image download
extern int32_t ImageCountLimit;    // -1: no limit
// Puts the globals above back to their start values.
void ResetAutomationState();
