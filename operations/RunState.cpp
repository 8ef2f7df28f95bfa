#include "operations/RunState.h"

#include "state/StateList.h"

#define RUN_STATE(STATE)   \
  STATE(ReadPort, {1})     \
  STATE(LastSerials, {})   \
  STATE(RunPortsDone, {})  \
  STATE(SavedAddress, {0})

RUN_STATE(DEFINE_STATE)

void ResetRunState() { RUN_STATE(RESET_STATE) }
