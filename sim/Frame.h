// Line framing: ESC 'S' address payload ESC 'E'. The address byte is sent
// as it is; every ESC inside the payload is sent twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrxsim {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kStart = 0x53;  // 'S'
constexpr uint8_t kEnd = 0x45;    // 'E'

// Longest payload a unit accepts; anything longer is line garbage.
constexpr size_t kMaxPayload = 1024;

std::vector<uint8_t> EncodeFrame(uint8_t address, const std::vector<uint8_t>& payload);

// Receive state machine as the units run it: hunt for ESC 'S', take the
// address, collect data; ESC 'E' ends the frame, ESC 'S' restarts one, and
// ESC followed by anything else is that byte as data.
class FrameDecoder {
 public:
  // Feeds one byte; true when it completed a frame (see address()/payload()).
  bool feed(uint8_t b);
  uint8_t address() const { return address_; }
  const std::vector<uint8_t>& payload() const { return payload_; }

 private:
  enum class State { Hunt, AfterEsc, Address, Data, EscInData };
  State state_ = State::Hunt;
  uint8_t address_ = 0;
  std::vector<uint8_t> payload_;

  void storeData(uint8_t b);
};

}  // namespace vrxsim
