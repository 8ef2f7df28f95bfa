#include "devices/ImageState.h"

#include "state/StateList.h"

#define IMAGE_STATE(STATE)         \
  STATE(FileList, {})              \
  STATE(FileCount, {0})            \
  STATE(EEFilePath, {})            \
  STATE(EEFileTitle, {})           \
  STATE(EepromFileChosen, {false}) \
  STATE(ImageBuffer, {})           \
  STATE(EEBuffer, {})              \
  STATE(AuxBuffer, {})             \
  STATE(ExtData, {})               \
  STATE(ImageTop, {0})             \
  STATE(EETop, {0})                \
  STATE(ImageChecksum, {0})        \
  STATE(EntireImageChecksum, {0})  \
  STATE(PSoCConfigTop, {0})        \
  STATE(HasSection9020, {false})   \
  STATE(SecondaryEnabled, {false}) \
  STATE(ImageName, {})             \
  STATE(ImageMode, {0})            \
  STATE(ImageFreq, {0})            \
  STATE(ImageVoltage, {0})         \
  STATE(EEName, {})

IMAGE_STATE(DEFINE_STATE)

void ResetImageState() { IMAGE_STATE(RESET_STATE) }
