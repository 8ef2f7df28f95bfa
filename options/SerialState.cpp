#include "options/SerialState.h"

#include "state/StateList.h"

#define SERIAL_STATE(STATE)      \
  STATE(SerialMemory, {0})       \
  STATE(SerialFormat, {0})       \
  STATE(SerialAddress, {0})      \
  STATE(SerialNumber, {})        \
  STATE(SerialEditable, {false})

SERIAL_STATE(DEFINE_STATE)

void ResetSerialState() { SERIAL_STATE(RESET_STATE) }
