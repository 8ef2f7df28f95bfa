#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "sim/Frame.h"
#include "sim/Line.h"

namespace {

using Bytes = std::vector<uint8_t>;
using vrxsim::Line;

TEST(Robustness, EveryFrameGetsExactlyOneWellFormedReply) {
  Line line;
  line.addUnit(vrxsim::UnitConfig{});
  std::mt19937 rng(12345);
  // Everything except the commands that unlock flash, move the address or
  // restart the unit, so the unit keeps answering at address 1.
  std::vector<uint8_t> codes;
  for (int c = 0; c < 256; ++c)
    if (c != 0x7D && c != 0x7E && c != 0x7F) codes.push_back(uint8_t(c));

  vrxsim::FrameDecoder pc;
  for (int i = 0; i < 3000; ++i) {
    Bytes payload(rng() % 300);
    for (uint8_t& b : payload) b = uint8_t(rng());
    if (!payload.empty()) payload[0] = codes[rng() % codes.size()];
    Bytes wire = vrxsim::EncodeFrame(1, payload);
    line.receive(wire.data(), wire.size(), i * 10.0);

    int frames = 0;
    for (uint8_t b : line.takeOutput(i * 10.0)) {
      if (!pc.feed(b)) continue;
      ++frames;
      ASSERT_EQ(pc.address(), 1);
      ASSERT_GE(pc.payload().size(), 2u);
      ASSERT_EQ(pc.payload()[0], uint8_t((payload.empty() ? 0 : payload[0]) + 0x80)) << "frame " << i;
      ASSERT_LE(pc.payload()[1], 8);
    }
    ASSERT_EQ(frames, 1) << "frame " << i;
  }
}

TEST(Robustness, GarbageOnTheLineIsHarmless) {
  Line line;
  vrxsim::UnitConfig config;
  line.addUnit(config);
  config.address = 2;
  config.baud = vrxsim::Baud::Both;
  line.addUnit(config);
  std::mt19937 rng(777);
  Bytes garbage(200000);
  for (uint8_t& b : garbage) {
    // Plenty of ESC, 'S' and 'E' so frames start, restart and end at random.
    uint32_t r = rng() % 8;
    b = r == 0 ? 0x1B : r == 1 ? 0x53 : r == 2 ? 0x45 : uint8_t(rng());
  }
  for (size_t at = 0; at < garbage.size(); at += 997)
    line.receive(garbage.data() + at, std::min<size_t>(997, garbage.size() - at), double(at));
  line.takeOutput(1e12);

  // The line still works afterwards: two plain bytes leave any half frame,
  // then a FwRev long after any restart the garbage may have caused.
  Bytes hello{0x00, 0x00};
  Bytes frame = vrxsim::EncodeFrame(1, {0x00});
  hello.insert(hello.end(), frame.begin(), frame.end());
  line.receive(hello.data(), hello.size(), 1e9);
  vrxsim::FrameDecoder pc;
  int replies = 0;
  for (uint8_t b : line.takeOutput(1e9)) {
    if (!pc.feed(b)) continue;
    ++replies;
    EXPECT_EQ(pc.address(), 1);
    EXPECT_EQ(pc.payload(), (Bytes{0x80, 0, 10, 3}));
  }
  EXPECT_EQ(replies, 1);
}

}  // namespace
