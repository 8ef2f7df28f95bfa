#include "state/PublicVars.h"

#include "state/LineGuard.h"

// Definitions and reset come from one list so each start value is written once.
#define STATE(name, start) decltype(name) name start;
#include "state/ProgramState.def"
#undef STATE

ErrorRecordCopy::ErrorRecordCopy()
    : number_(LastErrorNumber), text_(LastErrorText), source_(LastErrorSource), function_(LastFunction),
      title_(ErrorTitle), tried_(LastErrorTried), advice_(LastErrorAdvice), pending_(Err) {}

void ErrorRecordCopy::Restore() const {
  LastErrorNumber = number_;
  LastErrorText = text_;
  LastErrorSource = source_;
  LastFunction = function_;
  ErrorTitle = title_;
  LastErrorTried = tried_;
  LastErrorAdvice = advice_;
  Err = pending_;
}

void ResetProgramState() {
#define STATE(name, start) name = decltype(name) start;
#include "state/ProgramState.def"
#undef STATE
  ResetLineGuard();
}
