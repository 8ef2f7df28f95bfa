#include "link/Transport.h"

#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "link/Frame.h"
#include "platform/SerialPort.h"
#include "state/LineGuard.h"
#include "state/PublicVars.h"

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
    if (RxAddress == CurrentAddress) return true;
    RaiseError(ErrWrongAddress, "Send Command", "Bad Response from Programmer - Address");
    return false;
  }
  RaiseError(ErrNoResponse, "Send Command", "No Response from Programmer");
  return false;
}

void ReceiveBytes() {
  for (uint8_t b : MSComm1->ReadAll()) ReceiveByte(b);
}
