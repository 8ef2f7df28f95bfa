#include "operations/ProgramRun.h"

#include <array>
#include <string>
#include <vector>

#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "operations/PortStatus.h"
#include "operations/RunLog.h"
#include "operations/RunState.h"
#include "operations/RunTally.h"
#include "operations/Sound.h"
#include "platform/SettingsStore.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
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
// `run` keeps the states counted so far, and why the polling ended early:
// a cancel (stopped) or a status read the unit did not answer (line lost).
void FollowPorts(bool& anyFailed, UnitRun& run) {
  PortStatusWatch watch;
  bool anyBusy = true;
  while (anyBusy) {
    if (!WaitForNextPoll()) {
      run.stopped = true;
      return;
    }
    if (!ReadPortStatus(watch, StatusConfirm::AtNextPoll)) {
      run.lineLost = true;
      run.lostError = LastErrorText;
      return;
    }
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

// Every enabled port's label ends in its outcome: its final status, or for a
// port that never reached one, what ended it rather than the busy state last
// read (a cancel clears the labels meanwhile).
void ShowOutcomeLabels(const UnitRun& run) {
  for (int port = 0; port < 4; ++port) {
    std::string caption;
    int64_t back = 0, fore = 0;
    if (OutcomeLabel(run, port, caption, back, fore)) frmProgram->SetPortStatus(port, caption, back, fore);
  }
}

// One run-log record per enabled port with the outcome it ended in; a run
// the unit never took is logged as one record with its error.
void LogPorts(RunLogEntry& log, const UnitRun& run) {
  RunPortsDone.fill(false);
  for (int port = 0; port < 4; ++port) {
    std::string result;
    int32_t code = 0;
    if (!OutcomeRecord(run, port, result, code)) continue;
    RunPortsDone[port] = OutcomeOf(run, port) == PortOutcome::Passed && code == 0;
    log.SetPort(port + 1, result, code);
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
  NoteRunImage(run, ImageNumber,
               ImageNumber >= 1 && ImageNumber < static_cast<int>(ImageDirectory.size()) ? ImageDirectory[ImageNumber]
                                                                                       : DirEntry{});
  frmProgram->RunStarted(run);
  if (PortsEnable(enableByte)) {
    Settings->SaveSetting("Settings", "PortEnables", std::to_string(enableByte));
    ClearPortStatus();
    if (verifyOnly ? Verify(ImageNumber) : Program(ImageNumber)) {
      run.started = true;
      ShowPortStatus();
      FollowPorts(anyFailed, run);
    } else {
      NoteFailedStart(run);
    }
  }
  run.ended = true;
  ShowOutcomeLabels(run);
  LogPorts(log, run);
  frmProgram->RunFinished(run);

  if (frmProgram->SoundEnabled() && anyFailed) PlayFailSound();
  const bool result = LastErrorNumber <= 0;
  frmMain->SetEnabled(true);
  return result;
}
