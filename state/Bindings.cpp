#include "state/Bindings.h"

#include "state/StateList.h"

#define BINDINGS(STATE)          \
  STATE(MSComm1, {nullptr})      \
  STATE(Events, {nullptr})       \
  STATE(Settings, {nullptr})     \
  STATE(MessageBox, {nullptr})   \
  STATE(frmMain, {nullptr})      \
  STATE(frmImageMan, {nullptr})  \
  STATE(frmProgram, {nullptr})   \
  STATE(Sound, {nullptr})        \
  STATE(Documents, {nullptr})    \
  STATE(FileDial1, {nullptr})    \
  STATE(frmLoadImage, {nullptr}) \
  STATE(frmReadImage, {nullptr}) \
  STATE(ImageManOpen, {false})   \
  STATE(AppPath, {"."})

BINDINGS(DEFINE_STATE)

void ResetBindings() { BINDINGS(RESET_STATE) }
