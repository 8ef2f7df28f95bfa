#include "link/Frame.h"

#include "link/CommDefs.h"
#include "state/StateList.h"

#define RECEIVE_STATE(STATE)    \
  STATE(RxBuffer, {})           \
  STATE(RxCount, {0})           \
  STATE(RxAddress, {0})         \
  STATE(ReplyComplete, {false}) \
  STATE(RxState, {0})

RECEIVE_STATE(DEFINE_STATE)

std::vector<uint8_t> BuildFrame(uint8_t address, const uint8_t* payload, size_t length) {
  std::vector<uint8_t> frame;
  frame.reserve(length * 2 + 5);
  frame.push_back(ESC);
  frame.push_back(FrameStart);
  frame.push_back(address);
  for (size_t i = 0; i < length; ++i) {
    frame.push_back(payload[i]);
    if (payload[i] == ESC) frame.push_back(ESC);
  }
  frame.push_back(ESC);
  frame.push_back(FrameEnd);
  return frame;
}

namespace {
enum RxStates : int16_t { Hunt = 0, AfterEsc = 1, Address = 2, Data = 3, EscInData = 4, Complete = 5 };

void StoreDataByte(uint8_t b) {
  // Bytes beyond the buffer are dropped; the longest reply fits.
  if (RxCount < RxBufferSize) RxBuffer[RxCount++] = b;
}
}  // namespace

void ReceiveByte(uint8_t b) {
  switch (RxState) {
    case Hunt:
      if (b == ESC) RxState = AfterEsc;
      break;
    case AfterEsc:
      RxState = (b == FrameStart) ? Address : Hunt;
      break;
    case Address:
      RxAddress = b;
      RxCount = 0;
      RxState = Data;
      break;
    case Data:
      if (b == ESC) {
        RxState = EscInData;
      } else {
        StoreDataByte(b);
      }
      break;
    case EscInData:
      if (b == FrameEnd) {
        ReplyComplete = true;
        RxState = Complete;
      } else if (b == FrameStart) {
        RxState = Address;
      } else {
        StoreDataByte(b);
        RxState = Data;
      }
      break;
    case Complete:
      break;
    default:
      RxState = Hunt;
      break;
  }
}

void ResetReceiver() {
  RxState = Hunt;
  ReplyComplete = false;
}

void ResetReceiveState() { RECEIVE_STATE(RESET_STATE) }
