// What a programming run reads from and shows in the programming manager
// window: the port check boxes and run options it starts with, and the four
// port status labels it keeps up to date.
#pragma once

#include <cstdint>
#include <string>

struct UnitRun;

class ProgramManagerView {
 public:
  virtual ~ProgramManagerView() = default;
  virtual bool PortEnabled(int port) = 0;   // ChkPortEnbl(0..3)
  virtual bool CrcVerifyOnly() = 0;         // cbCRCVerify
  virtual bool Sequential() = 0;            // cbSequential
  virtual bool SoundEnabled() = 0;          // cbEnableSound
  // valPortSts(port): caption and colours as 0xBBGGRR values (0x8000000F is the button face).
  virtual void SetPortStatus(int port, const std::string& caption, int64_t backColor, int64_t foreColor) = 0;
  virtual void SetStatusFrameVisible(bool visible) = 0;   // frmStatus
  // The image directory was read anew: a slot may hold another image now.
  virtual void DirectoryChanged() {}
  // The run as it stands: when it starts, after each status poll, and once
  // it is over (run.ended). They only show; they send nothing to the line.
  virtual void RunStarted(const UnitRun& run) {}
  virtual void RunPolled(const UnitRun& run) {}
  virtual void RunFinished(const UnitRun& run) {}
};
