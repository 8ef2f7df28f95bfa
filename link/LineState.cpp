#include "link/LineState.h"

#include "state/StateList.h"

#define LINE_STATE(STATE)       \
  STATE(CurrentAddress, {0})    \
  STATE(TickCount, {0})         \
  STATE(LineLostText, {})       \
  STATE(CancelRequest, {false})

LINE_STATE(DEFINE_STATE)

void ResetLineState() { LINE_STATE(RESET_STATE) }
