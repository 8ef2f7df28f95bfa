// The array programming window as the command line shows it: the units and
// their images and ports come from --run, each port's status change is
// printed as address, port and status separated by tabs.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "state/views/ArrayProgramView.h"

struct ConsoleArrayRun {
  int address = 0;
  int image = 0;
  std::array<bool, 4> ports{true, true, true, true};
};

class ConsoleArrayView : public ArrayProgramView {
 public:
  ConsoleArrayView(std::vector<ConsoleArrayRun> runs, bool verify, bool sequential, bool quiet = false)
      : runs_(std::move(runs)), captions_(runs_.size()), verify_(verify), sequential_(sequential), quiet_(quiet) {}

  bool ProgrammerEnabled(int panel) override { return true; }
  bool PortEnabled(int panel, int port) override { return runs_[panel].ports[port]; }
  int ChosenImage(int panel) override { return runs_[panel].image; }
  bool CrcVerify() override { return verify_; }
  bool Sequential() override { return sequential_; }
  void SetPanelEnabled(int panel, bool enabled) override {}
  void SetPortStatus(int panel, int port, const std::string& caption, int64_t backColor, int64_t foreColor) override;

  // The last caption shown for a port; empty when none was.
  const std::string& Caption(int panel, int port) const { return captions_[panel][port]; }

 private:
  std::vector<ConsoleArrayRun> runs_;
  std::vector<std::array<std::string, 4>> captions_;
  bool verify_;
  bool sequential_;
  bool quiet_;   // changes kept, not printed
};
