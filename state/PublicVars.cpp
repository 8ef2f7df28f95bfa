#include "state/PublicVars.h"

#include "state/LineGuard.h"

// Definitions and reset come from one list so each start value is written once.
#define STATE(name, start) decltype(name) name start;
#include "state/ProgramState.def"
#undef STATE

void ResetProgramState() {
#define STATE(name, start) name = decltype(name) start;
#include "state/ProgramState.def"
#undef STATE
  ResetLineGuard();
}
