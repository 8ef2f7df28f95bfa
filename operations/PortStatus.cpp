#include "operations/PortStatus.h"

#include "link/Commands.h"
#include "platform/NumberText.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/views/ProgramManagerView.h"

bool PortStatusText(uint8_t status, std::string& caption, int64_t& backColor, int64_t& foreColor, bool& failed) {
  return PortStatusText(status, SecondaryName, caption, backColor, foreColor, failed);
}

bool PortStatusText(uint8_t status, const std::string& secondName, std::string& caption, int64_t& backColor,
                    int64_t& foreColor, bool& failed) {
  failed = false;
  backColor = ColorButtonFace;
  foreColor = ColorTeal;
  switch (status) {
    case 0: caption = "Done"; return false;
    case 1: caption = "Programming"; return true;
    case 2: caption = "Verifying"; return true;
    case 3: caption = "Waiting for Power"; return true;
    case 4: caption = "VCC OK"; return true;
    case 5:
      caption = "- Disabled -";
      backColor = ColorWhite;
      foreColor = ColorBlack;
      return false;
    case 6: caption = "Reading Device"; return true;
    case 7: caption = "Reading Checksum"; return true;
    case 8: caption = "Programming " + secondName; return true;
    case 9: caption = "Verifying " + secondName; return true;
    case 10: caption = "Configuring Programmer..."; return true;
    case 11: caption = "Searching I2C"; return true;
    default: break;
  }
  switch (status) {
    case 16: caption = "No Target Vcc"; break;
    case 17: caption = "Device Timeout"; break;
    case 18: caption = "Verify Failed"; break;
    case 19: caption = "Device ID Failed"; break;
    case 20: caption = "VCC Present"; break;
    case 21: caption = "OCD Comm Failed"; break;
    case 22: caption = "Reset Asserted"; break;
    case 23: caption = "Image Count Expired"; break;
    case 24: caption = secondName + " Verify Failed"; break;
    case 25: caption = "Fuse Verify Failed"; break;
    case 26: caption = "Lockbits Verify Failed"; break;
    case 27: caption = "Serial Comm Failed"; break;
    case 28: caption = "Read Protected"; break;
    case 29: caption = "Bad Image"; break;
    case 30: caption = "Extended ID Failed"; break;
    default: caption = "Unknown" + Str(status); break;
  }
  failed = true;
  backColor = ColorWhite;
  foreColor = ColorRed;
  return false;
}

namespace {
bool IsBusy(uint8_t code) {
  std::string caption;
  int64_t back = 0, fore = 0;
  bool failed = false;
  return PortStatusText(code, caption, back, fore, failed);
}
}  // namespace

void PortStatusWatch::Take(const std::array<uint8_t, 4>& reply) {
  for (int port = 0; port < 4; ++port) {
    const int code = reply[port];
    if (IsBusy(reply[port]) || code == last_[port]) counted_[port] = code;
    last_[port] = code;
  }
}

bool PortStatusWatch::Unconfirmed(int port) const { return last_[port] >= 0 && last_[port] != counted_[port]; }

bool PortStatusWatch::Settled(int port) const {
  return counted_[port] >= 0 && last_[port] == counted_[port] && !IsBusy(static_cast<uint8_t>(counted_[port]));
}

bool PortStatusWatch::AllSettled() const {
  for (int port = 0; port < 4; ++port) {
    if (!Settled(port)) return false;
  }
  return true;
}

bool PortStatusWatch::AnyUnconfirmed() const {
  for (int port = 0; port < 4; ++port) {
    if (Unconfirmed(port)) return true;
  }
  return false;
}

bool PortStatusWatch::AnyBusy() const {
  for (int port = 0; port < 4; ++port) {
    if (last_[port] >= 0 && IsBusy(static_cast<uint8_t>(last_[port]))) return true;
  }
  return false;
}

bool ReadPortStatus(PortStatusWatch& watch, StatusConfirm confirm) {
  for (int read = 0; read < StatusReadsAtOnce; ++read) {
    std::array<uint8_t, 4> reply{};
    if (!GetStatus(reply)) return false;
    watch.Take(reply);
    if (!watch.AnyUnconfirmed()) break;
    if (confirm == StatusConfirm::AtNextPoll && watch.AnyBusy()) break;
  }
  return true;
}

void ClearPortStatus() {
  if (!frmProgram) return;
  frmProgram->SetStatusFrameVisible(false);
  for (int port = 0; port < 4; ++port) frmProgram->SetPortStatus(port, "", ColorButtonFace, ColorTeal);
}

void ShowPortStatus() {
  if (frmProgram) frmProgram->SetStatusFrameVisible(true);
}
