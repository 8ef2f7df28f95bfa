#include "link/Transport.h"

#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "link/Frame.h"
#include "link/LineState.h"
#include "platform/SerialPort.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/views/MainWindowView.h"

namespace {
int Silences = 0;

// The selected programmer is the one asked: its silence means the line is gone.
bool AskingSelectedProgrammer() {
  return Silences == 0 && SelectedProgrammer >= 1 && SelectedProgrammer <= ProgCount &&
         ProgrammerTable[SelectedProgrammer].Address == CurrentAddress;
}

const char LostPrefix[] = "Line lost: ";

void TellLineState() {
  if (frmMain) frmMain->ShowLineState(LineLostText);
}
}  // namespace

SilenceExpected::SilenceExpected() { ++Silences; }
SilenceExpected::~SilenceExpected() { --Silences; }

void NoteLineLost(const std::string& why) {
  const std::string text = LostPrefix + why + " - press F5 to scan again once it is back";
  if (text == LineLostText) return;
  LineLostText = text;
  TellLineState();
}

bool LineLostNow(const std::string& lineText) { return lineText.rfind(LostPrefix, 0) == 0; }

void NoteLineBack() {
  if (LineLostText.empty()) return;
  LineLostText.clear();
  TellLineState();
}

bool ReopenVanishedPort() {
  if (!MSComm1 || MSComm1->IsOpen() || !MSComm1->Vanished()) return true;
  int32_t number = 0;
  std::string reason;
  if (MSComm1->Open(number, reason)) return true;
  const std::string port = PortTried();
  RaiseError(ErrNoResponse, "Send Command", "No Response from Programmer");
  SetErrorContext("reopening " + port + " after the line was lost: " + reason, PortSubject());
  NoteLineLost(port + " is gone");
  return false;
}

int32_t WrapTick(int64_t value) {
  return value <= TickWrapLimit ? static_cast<int32_t>(value) : 1;
}

void Timer1_Timer() { TickCount = WrapTick(static_cast<int64_t>(TickCount) + 1); }

bool SendCommand(const uint8_t* payload, int length, int timeout) {
  // A frame from an event that arrived inside another operation's wait would
  // take that operation's reply.
  const LineOperation operation;
  if (!operation.Taken()) {
    RaiseError(ErrLineBusy, "Send Command", LineBusyText);
    return false;
  }
  Err = ErrorObject{};
  ResetReceiver();
  std::vector<uint8_t> frame = BuildFrame(CurrentAddress, payload, static_cast<size_t>(length));

  ResetReceiver();
  MSComm1->ReadAll();   // whatever is still waiting belongs to no reply of ours
  MSComm1->Write(frame.data(), frame.size());

  const int32_t deadline = WrapTick(static_cast<int64_t>(TickCount) + timeout);
  do {
    if (ReplyComplete) break;
    LetEventsRun();
  } while (TickCount <= deadline);

  if (ReplyComplete) {
    if (RxAddress == CurrentAddress) {
      // It answers again, but what the windows show was read before the loss.
      if (LineLostNow(LineLostText) && AskingSelectedProgrammer()) {
        LineLostText = "Line back on " + PortTried() + ": what is shown may be out of date - press F5 to scan again";
        TellLineState();
      }
      return true;
    }
    RaiseError(ErrWrongAddress, "Send Command", "Bad Response from Programmer - Address");
    return false;
  }
  RaiseError(ErrNoResponse, "Send Command", "No Response from Programmer");
  if (MSComm1->Vanished()) {
    NoteLineLost(PortTried() + " is gone");
  } else if (AskingSelectedProgrammer()) {
    NoteLineLost("no answer from the programmer at address " + std::to_string(CurrentAddress) + " on " + PortTried());
  }
  return false;
}

void ReceiveBytes() {
  for (uint8_t b : MSComm1->ReadAll()) ReceiveByte(b);
}
