#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sim/Frame.h"

namespace {

using Bytes = std::vector<uint8_t>;
using vrxsim::EncodeFrame;
using vrxsim::FrameDecoder;

struct Decoded {
  int address;
  Bytes payload;
  bool operator==(const Decoded& o) const { return address == o.address && payload == o.payload; }
};

std::vector<Decoded> DecodeAll(const Bytes& stream) {
  FrameDecoder d;
  std::vector<Decoded> out;
  for (uint8_t b : stream)
    if (d.feed(b)) out.push_back({d.address(), d.payload()});
  return out;
}

TEST(Frame, EncodeStuffsEscInPayloadOnly) {
  // The address 0x1B is not stuffed; the payload's ESC bytes are doubled.
  EXPECT_EQ(EncodeFrame(0x1B, {0x01, 0x1B, 0x02}), (Bytes{0x1B, 0x53, 0x1B, 0x01, 0x1B, 0x1B, 0x02, 0x1B, 0x45}));
  EXPECT_EQ(EncodeFrame(3, {}), (Bytes{0x1B, 0x53, 0x03, 0x1B, 0x45}));
}

TEST(Frame, DecodeCases) {
  struct Case {
    const char* name;
    Bytes stream;
    std::vector<Decoded> frames;
  };
  const std::vector<Case> cases = {
      {"plain", {0x1B, 0x53, 0x01, 0x00, 0x1B, 0x45}, {{1, {0x00}}}},
      {"stuffed ESC is one data byte", {0x1B, 0x53, 0x02, 0x1B, 0x1B, 0x05, 0x1B, 0x45}, {{2, {0x1B, 0x05}}}},
      {"ESC then other byte is that byte", {0x1B, 0x53, 0x02, 0x1B, 0x07, 0x1B, 0x45}, {{2, {0x07}}}},
      {"noise before the start is ignored", {0x45, 0x53, 0x1B, 0x00, 0x1B, 0x53, 0x04, 0x09, 0x1B, 0x45}, {{4, {0x09}}}},
      {"ESC S restarts with a new address", {0x1B, 0x53, 0x01, 0xAA, 0x1B, 0x53, 0x05, 0xBB, 0x1B, 0x45}, {{5, {0xBB}}}},
      {"address byte ESC is taken as it is", {0x1B, 0x53, 0x1B, 0x01, 0x1B, 0x45}, {{0x1B, {0x01}}}},
      {"two frames back to back",
       {0x1B, 0x53, 0x01, 0x00, 0x1B, 0x45, 0x77, 0x1B, 0x53, 0x02, 0x05, 0x1B, 0x45},
       {{1, {0x00}}, {2, {0x05}}}},
      {"unfinished frame gives nothing", {0x1B, 0x53, 0x01, 0x00, 0x01}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeAll(c.stream), c.frames) << c.name;
}

TEST(Frame, RoundTripOfEveryByteValue) {
  Bytes payload;
  for (int i = 0; i < 256; ++i) payload.push_back(uint8_t(i));
  auto frames = DecodeAll(EncodeFrame(9, payload));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].payload, payload);
}

TEST(Frame, OversizedFrameIsDroppedAndTheNextOneStillDecodes) {
  Bytes big(vrxsim::kMaxPayload + 1, 0x11);
  Bytes stream = EncodeFrame(1, big);
  Bytes good = EncodeFrame(2, {0x00});
  stream.insert(stream.end(), good.begin(), good.end());
  auto frames = DecodeAll(stream);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], (Decoded{2, {0x00}}));

  // The largest accepted payload still goes through.
  EXPECT_EQ(DecodeAll(EncodeFrame(1, Bytes(vrxsim::kMaxPayload, 0x1B))).size(), 1u);
}

}  // namespace
