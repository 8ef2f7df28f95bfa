// Small helpers shared by the simulator tests: command payloads and a way
// to talk to a unit without the ceremony.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "sim/Unit.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline void AppendLe(Bytes& out, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

inline Bytes WriteFlashCmd(uint32_t address, const Bytes& data) {
  Bytes p{0x01};
  AppendLe(p, address, 4);
  AppendLe(p, uint32_t(data.size()), 2);
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

inline Bytes ReadFlashCmd(uint32_t address, uint32_t n) {
  Bytes p{0x02};
  AppendLe(p, address, 4);
  AppendLe(p, n, 2);
  return p;
}

inline Bytes CrcFlashCmd(uint32_t address, uint32_t length) {
  Bytes p{0x03};
  AppendLe(p, address, 4);
  AppendLe(p, length, 4);
  return p;
}

// The reply to one command; a silent unit gives an empty reply (and fails).
inline Bytes Call(vrxsim::Unit& unit, const Bytes& payload, double nowMs) {
  auto reply = unit.handle(payload, nowMs);
  EXPECT_TRUE(reply.has_value()) << "unit stayed silent";
  return reply ? *reply : Bytes{};
}

inline uint8_t StatusOf(const Bytes& reply) { return reply.size() >= 2 ? reply[1] : 0xEE; }

// Writes flash the way the PC does: unlock, then blocks of at most 256 bytes.
inline void Store(vrxsim::Unit& unit, uint32_t address, const Bytes& data, double nowMs = 0) {
  ASSERT_EQ(StatusOf(Call(unit, {0x7F}, nowMs)), 0);
  for (size_t at = 0; at < data.size(); at += 256) {
    Bytes block(data.begin() + at, data.begin() + std::min(data.size(), at + 256));
    ASSERT_EQ(StatusOf(Call(unit, WriteFlashCmd(address + uint32_t(at), block), nowMs)), 0);
  }
}

inline Bytes Load(vrxsim::Unit& unit, uint32_t address, uint32_t n, double nowMs = 0) {
  Bytes reply = Call(unit, ReadFlashCmd(address, n), nowMs);
  EXPECT_EQ(StatusOf(reply), 0);
  return reply.size() >= 2 ? Bytes(reply.begin() + 2, reply.end()) : Bytes{};
}

inline uint32_t Le32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace simtest
