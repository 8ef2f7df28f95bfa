// Faults the line puts on replies: lost, damaged, late or surrounded by
// garbage. Each configured fault counts the replies it could apply to and
// picks its victims by position, so a test knows exactly which reply is hit.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/Config.h"

namespace vrxsim {

// How one reply goes onto the wire once its faults are applied.
struct ReplyShape {
  bool drop = false;
  double delayMs = 0;
  bool noise = false;     // garbage before the frame
  bool trailing = false;  // garbage after the frame
  bool endless = false;   // the frame is never closed
  bool cut = false;       // the line died with this reply
};

class FaultInjector {
 public:
  void add(const FaultConfig& fault) { faults_.push_back({fault}); }
  bool empty() const { return faults_.empty(); }
  void clear() { faults_.clear(); }

  // Applies the faults that hit this reply; payload and address may be changed.
  ReplyShape apply(int commandCode, std::vector<uint8_t>& payload, uint8_t& address);

 private:
  struct Active {
    FaultConfig config;
    long long seen = 0;  // matching replies so far
    long long hits = 0;
  };
  std::vector<Active> faults_;
};

// The bytes of one reply as they go onto the wire.
std::vector<uint8_t> ReplyBytes(uint8_t address, const std::vector<uint8_t>& payload, const ReplyShape& shape);

}  // namespace vrxsim
