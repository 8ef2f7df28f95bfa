#include "state/ErrorState.h"

#include "state/StateList.h"

#define ERROR_STATE(STATE)    \
  STATE(LastErrorNumber, {0}) \
  STATE(LastErrorText, {})    \
  STATE(LastErrorSource, {})  \
  STATE(LastFunction, {})     \
  STATE(ErrorTitle, {})       \
  STATE(LastErrorTried, {})   \
  STATE(LastErrorAdvice, {})  \
  STATE(Err, {})

ERROR_STATE(DEFINE_STATE)

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

void ResetErrorState() { ERROR_STATE(RESET_STATE) }
