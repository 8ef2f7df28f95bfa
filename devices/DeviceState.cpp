#include "devices/DeviceState.h"

#include "state/StateList.h"

#define DEVICE_STATE(STATE) \
  STATE(DeviceFile, {})  \
  STATE(FamilyList, {})  \
  STATE(CurFamily, {0})  \
  STATE(DeviceTable, {}) \
  STATE(CurDevice, {-1})

DEVICE_STATE(DEFINE_STATE)

void ResetDeviceState() { DEVICE_STATE(RESET_STATE) }
