// Port status codes as the programmer reports them per port, and how they are shown.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Label colours, as 0xBBGGRR values; ButtonFace is the system's colour.
constexpr int64_t ColorButtonFace = 0x8000000F;
constexpr int64_t ColorTeal = 0x808000;
constexpr int64_t ColorWhite = 0xFFFFFF;
constexpr int64_t ColorRed = 0x0000FF;
constexpr int64_t ColorBlack = 0;
constexpr int64_t ColorBlue = 0xFF0000;

// Fills the caption and colours of a status code; returns whether the port is busy.
bool PortStatusText(uint8_t status, std::string& caption, int64_t& backColor, int64_t& foreColor, bool& failed);
// The same for a unit whose second memory is `secondName` (its type's, where
// it is not the selected programmer): codes 8, 9 and 24 name it.
bool PortStatusText(uint8_t status, const std::string& secondName, std::string& caption, int64_t& backColor,
                    int64_t& foreColor, bool& failed);

// The four ports of one programmer as its status replies show them. The
// frame has no checksum, so one reply never decides how a port ended: a
// final state (Done, Disabled, a failure, a code outside the table) counts
// only once two replies in a row agree on it. A busy code counts at once; it
// only keeps the polling going.
class PortStatusWatch {
 public:
  void Take(const std::array<uint8_t, 4>& reply);
  // A state counts for the port: a busy code, or a final code two replies agreed on.
  bool Counted(int port) const { return counted_[port] >= 0; }
  // The state that counts; check Counted first.
  uint8_t Code(int port) const { return static_cast<uint8_t>(counted_[port] < 0 ? 0 : counted_[port]); }
  // The last reply showed a final state that the reply before it did not.
  bool Unconfirmed(int port) const;
  // The port rests in a final state that the last two replies agreed on.
  bool Settled(int port) const;
  bool AllSettled() const;
  bool AnyUnconfirmed() const;
  // Some port's last reply was a busy code.
  bool AnyBusy() const;

 private:
  std::array<int, 4> counted_{-1, -1, -1, -1};   // -1: none yet
  std::array<int, 4> last_{-1, -1, -1, -1};      // the last reply's code
};

// When a final state seen once is read again: at the next poll, unless no
// port is busy any more (then at once, since nothing else keeps the polling
// going); or always at once, for a caller that answers from this read alone.
enum class StatusConfirm { AtNextPoll, AtOnce };

// Reads at most this many replies in one ReadPortStatus.
constexpr int StatusReadsAtOnce = 4;

// GetStatus into the watch, read again at once as `confirm` says. False when
// a GetStatus failed (the last-error record tells why).
bool ReadPortStatus(PortStatusWatch& watch, StatusConfirm confirm);

// The programming manager's status frame hidden, the four labels cleared.
void ClearPortStatus();
void ShowPortStatus();
