#include "sim/Faults.h"

#include "sim/Frame.h"

namespace vrxsim {
namespace {

// Garbage without ESC, so it can never start or end a frame.
const std::vector<uint8_t> kNoise{0x00, 0x53, 0xFF, 0x45, 0x7E};
const std::vector<uint8_t> kTrailing{0x55, 0xAA, 0x00};

}  // namespace

ReplyShape FaultInjector::apply(int commandCode, std::vector<uint8_t>& payload, uint8_t& address) {
  ReplyShape shape;
  for (Active& a : faults_) {
    const FaultConfig& f = a.config;
    if (f.command >= 0 && f.command != commandCode) continue;
    long long index = a.seen++;
    if (index < f.after) continue;
    long long every = f.every < 1 ? 1 : f.every;
    if ((index - f.after + 1) % every != 0) continue;
    if (f.count >= 0 && a.hits >= f.count) continue;
    ++a.hits;
    switch (f.kind) {
      case FaultKind::Drop: shape.drop = true; break;
      case FaultKind::Delay: shape.delayMs += f.ms; break;
      case FaultKind::Noise: shape.noise = true; break;
      case FaultKind::Trailing: shape.trailing = true; break;
      case FaultKind::Endless: shape.endless = true; break;
      case FaultKind::WrongAddress: address = uint8_t(address + 1); break;
      case FaultKind::Corrupt:
        // The chosen byte, or the last: reply data when there is any, else the status.
        if (f.byte >= 0 && static_cast<size_t>(f.byte) < payload.size()) {
          payload[static_cast<size_t>(f.byte)] ^= 0xFF;
        } else if (f.byte < 0 && !payload.empty()) {
          payload.back() ^= 0xFF;
        }
        break;
      case FaultKind::WrongId:
        if (!payload.empty()) payload[0] = uint8_t(payload[0] + 1);
        break;
      case FaultKind::Status:
        if (payload.size() >= 2) payload[1] = uint8_t(f.code);
        break;
      case FaultKind::Flip:
        if (f.byte >= 0 && static_cast<size_t>(f.byte) < payload.size()) {
          payload[static_cast<size_t>(f.byte)] ^= uint8_t(1u << (f.bit & 7));
        } else if (f.byte < 0 && !payload.empty()) {
          payload.back() ^= uint8_t(1u << (f.bit & 7));
        }
        break;
      case FaultKind::Cut: shape.cut = true; break;
    }
  }
  return shape;
}

std::vector<uint8_t> ReplyBytes(uint8_t address, const std::vector<uint8_t>& payload, const ReplyShape& shape) {
  std::vector<uint8_t> out;
  if (shape.noise) out = kNoise;
  std::vector<uint8_t> frame = EncodeFrame(address, payload);
  if (shape.endless) frame.resize(frame.size() - 2);  // no ESC 'E'
  out.insert(out.end(), frame.begin(), frame.end());
  if (shape.trailing) out.insert(out.end(), kTrailing.begin(), kTrailing.end());
  return out;
}

}  // namespace vrxsim
