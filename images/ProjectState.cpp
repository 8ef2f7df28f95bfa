#include "images/ProjectState.h"

#include "state/StateList.h"

#define PROJECT_STATE(STATE)         \
  STATE(ProjectFile, {})             \
  STATE(ProjName, {})                \
  STATE(ProjFamily, {})              \
  STATE(ProjDevice, {})              \
  STATE(ProjMode, {0})               \
  STATE(ProjFreq, {0})               \
  STATE(ProjVoltage, {0})            \
  STATE(ProjOsccalOpt, {0})          \
  STATE(ProjOsccalAddress, {0})      \
  STATE(ProjFuses, {})               \
  STATE(ProjAVR32Security, {false})  \
  STATE(ProjJtagId, {false})         \
  STATE(ProjJtagPart, {0})           \
  STATE(ProjJtagVersion, {0})        \
  STATE(ProjectLoaded, {false})      \
  STATE(OpenProjectRequest, {false}) \
  STATE(FileChecksum, {0})

PROJECT_STATE(DEFINE_STATE)

void ResetProjectState() { PROJECT_STATE(RESET_STATE) }
