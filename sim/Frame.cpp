#include "sim/Frame.h"

namespace vrxsim {

std::vector<uint8_t> EncodeFrame(uint8_t address, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out;
  out.reserve(payload.size() + 8);
  out.push_back(kEsc);
  out.push_back(kStart);
  out.push_back(address);
  for (uint8_t b : payload) {
    out.push_back(b);
    if (b == kEsc) out.push_back(kEsc);
  }
  out.push_back(kEsc);
  out.push_back(kEnd);
  return out;
}

void FrameDecoder::storeData(uint8_t b) {
  if (payload_.size() >= kMaxPayload) {
    // Oversized: drop the frame and hunt for the next start.
    payload_.clear();
    state_ = State::Hunt;
    return;
  }
  payload_.push_back(b);
  state_ = State::Data;
}

bool FrameDecoder::feed(uint8_t b) {
  switch (state_) {
    case State::Hunt:
      if (b == kEsc) state_ = State::AfterEsc;
      return false;
    case State::AfterEsc:
      state_ = (b == kStart) ? State::Address : State::Hunt;
      return false;
    case State::Address:
      address_ = b;
      payload_.clear();
      state_ = State::Data;
      return false;
    case State::Data:
      if (b == kEsc)
        state_ = State::EscInData;
      else
        storeData(b);
      return false;
    case State::EscInData:
      if (b == kEnd) {
        state_ = State::Hunt;
        return true;
      }
      if (b == kStart) {
        state_ = State::Address;
        return false;
      }
      storeData(b);
      return false;
  }
  return false;
}

}  // namespace vrxsim
