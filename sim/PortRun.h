// One run of a unit's four target ports (program, verify or device read).
// A port's status is a pure function of the run's start time and the time
// asked about, so a run plays out the same way whenever it is observed.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vrxsim {

// Port status codes the PC knows.
enum PortCode : uint8_t {
  kDone = 0, kProgramming = 1, kVerifying = 2, kWaitingForPower = 3, kVccOk = 4,
  kDisabled = 5, kReadingDevice = 6, kReadingChecksum = 7,
  kNoTargetVcc = 16, kDeviceTimeout = 17, kVerifyFailed = 18, kDeviceIdFailed = 19,
  kImageCountExpired = 23,
};

enum class RunKind { Program, Verify, Read };

struct PortPlan {
  bool active = false;         // the port takes part in the run
  uint8_t idleCode = kDone;    // shown throughout by a port outside the run
  std::vector<uint8_t> steps;  // busy codes, each shown for stepMs
  int stepMs = 0;
  uint8_t result = kDone;      // shown once the steps are through
};

class PortRun {
 public:
  PortRun(RunKind kind, int slot, double startMs, const std::array<PortPlan, 4>& plans);

  RunKind kind() const { return kind_; }
  int slot() const { return slot_; }
  const PortPlan& plan(int port) const { return plans_[port]; }

  uint8_t status(int port, double nowMs) const;
  double finishMs(int port) const;
  // The port was stopped by a cancel before its steps were through.
  bool cancelled(int port) const;
  // Some taking-part port is still going through its steps.
  bool busy(double nowMs) const;
  // Stops every port still busy at nowMs; they report Disabled from then on.
  void cancel(double nowMs);

 private:
  RunKind kind_;
  int slot_;
  double startMs_;
  std::array<PortPlan, 4> plans_;
  double cancelMs_;
};

}  // namespace vrxsim
