#include "operations/ProgramRun.h"

#include <array>
#include <string>
#include <vector>

#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/Transport.h"
#include "operations/PortStatus.h"
#include "operations/RunLog.h"
#include "operations/RunTally.h"
#include "operations/Sound.h"
#include "platform/SettingsStore.h"
#include "programmers/SecurityBlock.h"
#include "state/LineGuard.h"
#include "state/PublicVars.h"
#include "state/views/MainWindowView.h"
#include "state/views/ProgramManagerView.h"

uint8_t PortEnableByte() {
  int value = frmProgram->Sequential() ? 1 : 0;
  value = value * 2 + (frmProgram->CrcVerifyOnly() ? 1 : 0);
  for (int port = 3; port >= 0; --port) value = value * 2 + (frmProgram->PortEnabled(port) ? 1 : 0);
  return static_cast<uint8_t>(value);
}

namespace {

// Waits one poll interval; false when Cancel was pressed meanwhile (the run
// is then stopped in the programmer).
bool WaitForNextPoll() {
  const int32_t deadline = WrapTick(static_cast<int64_t>(TickCount) + StatusPollTicks);
  while (deadline > TickCount) {
    LetEventsRun();
    if (CancelRequest) {
      CancelProgramming();
      return false;
    }
  }
  return true;
}

// Polls until every port rests in a final state two replies agreed on;
// AnyFailed tells whether a port ended in failure. A port shows only the
// states that count, so no label reads "Done" on the strength of one reply.
// `run` keeps the states counted so far.
void FollowPorts(bool& anyFailed, UnitRun& run) {
  PortStatusWatch watch;
  bool anyBusy = true;
  while (anyBusy) {
    if (!WaitForNextPoll()) return;
    if (!ReadPortStatus(watch, StatusConfirm::AtNextPoll)) return;
    for (int port = 0; port < 4; ++port) {
      if (!watch.Counted(port)) continue;
      std::string caption;
      int64_t back = 0, fore = 0;
      bool failed = false;
      PortStatusText(watch.Code(port), caption, back, fore, failed);
      anyFailed |= failed;
      frmProgram->SetPortStatus(port, caption, back, fore);
    }
    anyBusy = !watch.AllSettled();
    TakeStatus(run, watch);
    frmProgram->RunPolled(run);
  }
}

// One run-log record per enabled port with the status it ended in; a port
// whose state was never confirmed has none to record.
void LogPorts(RunLogEntry& log, const UnitRun& run) {
  RunPortsDone.fill(false);
  if (!run.reported) return;
  const auto& last = run.status;
  for (int port = 0; port < 4; ++port) {
    if (!run.enabled[port] || run.unconfirmed[port]) continue;
    std::string caption;
    int64_t back = 0, fore = 0;
    bool failed = false;
    const bool busy = PortStatusText(last[port], caption, back, fore, failed);
    RunPortsDone[port] = last[port] == 0;
    log.SetPort(port + 1, busy && CancelRequest ? "Cancelled" : caption, last[port]);
  }
}

}  // namespace

bool ProgramImage(bool verifyOnly) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Program Image");
  ClearError();
  ErrorTitle = "Program Image";
  if (!verifyOnly && SecurityDamaged) return RefuseRunOnDamagedBlock(ErrorTitle);
  bool anyFailed = false;
  RunLogScope log(verifyOnly ? "verify" : "program", ImageNumber);

  const uint8_t enableByte = PortEnableByte();
  UnitRun run = StartUnitRun(CurrentAddress, enableByte);
  frmProgram->RunStarted(run);
  if (PortsEnable(enableByte)) {
    Settings->SaveSetting("Settings", "PortEnables", std::to_string(enableByte));
    ClearPortStatus();
    if (verifyOnly ? Verify(ImageNumber) : Program(ImageNumber)) {
      ShowPortStatus();
      FollowPorts(anyFailed, run);
    }
  }
  LogPorts(log, run);
  run.ended = true;
  frmProgram->RunFinished(run);

  if (frmProgram->SoundEnabled() && anyFailed) PlayFailSound();
  const bool result = LastErrorNumber <= 0;
  frmMain->SetEnabled(true);
  return result;
}
