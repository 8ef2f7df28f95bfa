// The programming manager as the command line shows it: ports and options
// from the command's options, each change of a port's status printed.
#pragma once

#include <array>
#include <string>

#include "operations/RunTally.h"
#include "state/views/ProgramManagerView.h"

class ConsoleProgramManager : public ProgramManagerView {
 public:
  // Quiet: the changes are kept, not printed (the JSON form prints the outcome once).
  ConsoleProgramManager(std::array<bool, 4> ports, bool crcVerifyOnly, bool sequential, bool quiet = false)
      : ports_(ports), crcVerifyOnly_(crcVerifyOnly), sequential_(sequential), quiet_(quiet) {}

  bool PortEnabled(int port) override { return ports_[port]; }
  bool CrcVerifyOnly() override { return crcVerifyOnly_; }
  bool Sequential() override { return sequential_; }
  bool SoundEnabled() override { return false; }
  void SetPortStatus(int port, const std::string& caption, int64_t backColor, int64_t foreColor) override;
  void SetStatusFrameVisible(bool visible) override {}
  void RunFinished(const UnitRun& run) override { run_ = run; }

  // The run as it ended: each port's outcome.
  const UnitRun& Run() const { return run_; }

  // A port ended with a failure code.
  bool AnyPortFailed() const;
  // The last caption shown for a port; empty when none was.
  const std::string& Caption(int port) const { return captions_[port]; }
  bool PortFailed(int port) const { return failed_[port]; }

 private:
  std::array<bool, 4> ports_;
  bool crcVerifyOnly_;
  bool sequential_;
  bool quiet_;
  std::array<std::string, 4> captions_;
  std::array<bool, 4> failed_{};
  UnitRun run_;
};
