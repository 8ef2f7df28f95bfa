#include "options/FuseState.h"

#include "state/StateList.h"

#define FUSE_STATE(STATE)        \
  STATE(FuseValues, {})          \
  STATE(NumFuseBytes, {0})       \
  STATE(FuseDefs, {})            \
  STATE(OsccalMask, {0})         \
  STATE(HasOsccal, {false})      \
  STATE(CurByte, {0})            \
  STATE(CurField, {-1})          \
  STATE(OsccalOpt, {0})          \
  STATE(OsccalAddress, {0})      \
  STATE(AVR32SecurityF, {false}) \
  STATE(JtagIdCheck, {false})    \
  STATE(JtagPart, {0})           \
  STATE(JtagVersion, {0})

FUSE_STATE(DEFINE_STATE)

void ResetFuseState() { FUSE_STATE(RESET_STATE) }
