#include "state/LineGuard.h"

#include <chrono>
#include <map>

#include "platform/EventLoop.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"

std::chrono::steady_clock::time_point LastBreathTime;

namespace {

int Depth = 0;               // nesting of the holder's LineOperations
LineUser Holder = LineUser::Window;
int HolderWaitLevel = 0;     // waits under way when the holder took the line
int WaitLevel = 0;           // waits under way now
std::map<int, std::function<void(bool)>> Observers;
int NextObserverId = 1;

void Notify(bool busy) {
  // Copied: an observer may add or remove observers.
  const auto observers = Observers;
  for (const auto& [id, observer] : observers) observer(busy);
}

void RunEventsInWait(void (EventLoop::*run)()) {
  if (!Events) return;
  const ErrorRecordCopy saved;   // the record belongs to the operation that waits
  ++WaitLevel;
  (Events->*run)();
  --WaitLevel;
  saved.Restore();
}

}  // namespace

LineOperation::LineOperation(LineUser user) {
  if (Depth == 0) {
    Depth = 1;
    Holder = user;
    HolderWaitLevel = WaitLevel;
    taken_ = true;
    Notify(true);
  } else if (WaitLevel == HolderWaitLevel) {
    ++Depth;   // called by the holder itself, not from an event inside its wait
    taken_ = true;
  }
}

LineOperation::~LineOperation() {
  // A reset while an operation ran (between tests) leaves nothing to give back.
  if (!taken_ || Depth == 0) return;
  if (--Depth == 0) Notify(false);
}

bool LineBusy() { return Depth > 0; }

LineUser LineHolder() { return Holder; }

void LetEventsRun() { RunEventsInWait(&EventLoop::DoEvents); }

void LetPendingEventsRun() { RunEventsInWait(&EventLoop::ProcessPending); }

void LetWindowsBreathe() {
  const auto now = std::chrono::steady_clock::now();
  if (LastBreathTime == decltype(LastBreathTime){}) LastBreathTime = now;   // the first call starts the clock
  if (now - LastBreathTime < std::chrono::milliseconds(20)) return;
  LastBreathTime = now;
  LetPendingEventsRun();
}

int AddLineObserver(std::function<void(bool busy)> observer) {
  const int id = NextObserverId++;
  Observers[id] = std::move(observer);
  return id;
}

void RemoveLineObserver(int id) { Observers.erase(id); }

void ResetLineGuard() {
  Depth = 0;
  Holder = LineUser::Window;
  HolderWaitLevel = 0;
  WaitLevel = 0;
  LastBreathTime = {};
}
