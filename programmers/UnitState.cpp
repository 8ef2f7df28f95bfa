#include "programmers/UnitState.h"

#include "state/StateList.h"

#define UNIT_STATE(STATE)            \
  STATE(ProgrammerTable, {})         \
  STATE(ProgCount, {0})              \
  STATE(SelectedProgrammer, {0})     \
  STATE(ProgSettings, {})            \
  STATE(ConfigBlock, {})             \
  STATE(TypeTableV1, {})             \
  STATE(TypeTableV2, {})             \
  STATE(TypeTableV3, {})             \
  STATE(ProgType, {0})               \
  STATE(ProgTypeName, {})            \
  STATE(FirmwareFileName, {})        \
  STATE(LatestFwRev, {0})            \
  STATE(HwcFileNames, {})            \
  STATE(VectorFileName, {})          \
  STATE(VectorFileName2, {})         \
  STATE(FwGen2, {false})             \
  STATE(FwGen3, {false})             \
  STATE(SecondaryName, {})           \
  STATE(CurrentPicture, {})          \
  STATE(StartModeNames, {})          \
  STATE(SerialSupported, {false})    \
  STATE(FirmwareIncomplete, {false}) \
  STATE(FlashMap, {})                \
  STATE(ImageSecurity, {})           \
  STATE(SecurityDamaged, {false})    \
  STATE(ImageDirectory, {})          \
  STATE(EEImageName, {})             \
  STATE(fgImages, {})                \
  STATE(ImageNumber, {1})

UNIT_STATE(DEFINE_STATE)

void ResetUnitState() { UNIT_STATE(RESET_STATE) }
