// One operation talks to the programmers at a time, whoever starts it.
//
// Everything runs on one thread, and every wait lets pending events run, so a
// click, a timer or an automation request could otherwise start a second
// operation in the middle of the first. Each operation that uses the line
// holds a LineOperation while it runs. Code the holder calls itself may take
// it again; anything started by an event that runs inside one of the holder's
// waits finds the line taken, and is refused, deferred or queued.
#pragma once

#include <chrono>
#include <functional>

// Who started the operation that holds the line.
enum class LineUser { Window, Automation, CommandLine };

class LineOperation {
 public:
  explicit LineOperation(LineUser user = LineUser::Window);
  ~LineOperation();
  LineOperation(const LineOperation&) = delete;
  LineOperation& operator=(const LineOperation&) = delete;

  // False when another operation holds the line: do nothing, say so.
  bool Taken() const { return taken_; }

 private:
  bool taken_ = false;
};

// An operation holds the line; a new one must not start now.
bool LineBusy();
// Who holds it; meaningful while LineBusy().
LineUser LineHolder();

// The only ways an operation lets events run: once inside a wait (may block
// until the next event), or the events already waiting during a computation.
// What the events do to the last-error record is undone: the record belongs
// to the operation that waits, not to one refused meanwhile.
void LetEventsRun();
void LetPendingEventsRun();
// LetPendingEventsRun at most every 20 ms: a moment for the windows now and
// then during a long computation (conversions, data files).
void LetWindowsBreathe();
// When a long computation last let window events run; unset until the first time.
extern std::chrono::steady_clock::time_point LastBreathTime;

// Observers hear when the outermost operation takes the line (true) and
// gives it back (false); windows use it to lock and unlock their entries.
int AddLineObserver(std::function<void(bool busy)> observer);
void RemoveLineObserver(int id);

// Puts the guard back to its start: free, no wait under way. Observers stay.
void ResetLineGuard();
