// The last-error record every operation leaves behind, and the pending error
// it is made from. Errors travel here; operations return a Boolean.
#pragma once

#include <cstdint>
#include <string>

extern int32_t LastErrorNumber;
extern std::string LastErrorText;
extern std::string LastErrorSource;
extern std::string LastFunction;
extern std::string ErrorTitle;
// Beside the record, for the person reading the report: what the failed step
// tried (port and device path, address, file and line) and what to do about it.
extern std::string LastErrorTried;
extern std::string LastErrorAdvice;

// The pending error: cleared when a command starts, raised when something fails.
// Raising does not unwind the caller; the caller goes on to its own exit path.
struct ErrorObject {
  int32_t Number = 0;
  std::string Source;
  std::string Description;
  std::string Tried;     // what was tried, when the raiser knows it
  std::string Subject;   // the device path or file the advice names
};
extern ErrorObject Err;

// The last-error record and the pending error as they stood when this was
// made; Restore() puts them back. Work done on the side (a refresh after an
// operation, events inside a wait) must not change an operation's outcome.
struct ErrorRecordCopy {
  ErrorRecordCopy();
  void Restore() const;

 private:
  int32_t number_;
  std::string text_, source_, function_, title_, tried_, advice_;
  ErrorObject pending_;
};

// Puts every global above back to its start value.
void ResetErrorState();
