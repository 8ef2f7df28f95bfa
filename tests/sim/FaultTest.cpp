#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "SimTestSupport.h"
#include "sim/Frame.h"
#include "sim/Line.h"

namespace {

using namespace simtest;
using vrxsim::EncodeFrame;
using vrxsim::FaultConfig;
using vrxsim::FaultKind;
using vrxsim::Line;

const Bytes kFwRevReply{0x80, 0, 10, 3};

Bytes Exchange(Line& line, const Bytes& payload, double nowMs) {
  Bytes frame = EncodeFrame(1, payload);
  line.receive(frame.data(), frame.size(), nowMs);
  return line.takeOutput(nowMs);
}

// What the PC's receiver makes of the bytes: the frames it would complete.
std::vector<std::pair<int, Bytes>> PcFrames(const Bytes& wire) {
  vrxsim::FrameDecoder d;
  std::vector<std::pair<int, Bytes>> frames;
  for (uint8_t b : wire)
    if (d.feed(b)) frames.emplace_back(d.address(), d.payload());
  return frames;
}

TEST(Faults, EachKindShapesTheReply) {
  const Bytes clean = EncodeFrame(1, kFwRevReply);
  auto hasNoEsc = [](const Bytes& b) { return std::find(b.begin(), b.end(), 0x1B) == b.end(); };

  struct Case {
    const char* name;
    FaultConfig fault;
    std::function<void(const Bytes&)> check;
  };
  const std::vector<Case> cases = {
      {"drop", {FaultKind::Drop}, [](const Bytes& out) { EXPECT_TRUE(out.empty()); }},
      {"corrupt", {FaultKind::Corrupt},
       [](const Bytes& out) { EXPECT_EQ(out, EncodeFrame(1, {0x80, 0, 10, 0xFC})); }},
      {"wrong address", {FaultKind::WrongAddress},
       [](const Bytes& out) { EXPECT_EQ(out, EncodeFrame(2, kFwRevReply)); }},
      {"flip bit 4 of the status", [] {
         FaultConfig f{FaultKind::Flip};
         f.byte = 1;
         f.bit = 4;
         return f;
       }(),
       [](const Bytes& out) { EXPECT_EQ(out, EncodeFrame(1, {0x80, 0x10, 10, 3})); }},
      {"flip bit 0 of the last byte", {FaultKind::Flip},
       [](const Bytes& out) { EXPECT_EQ(out, EncodeFrame(1, {0x80, 0, 10, 2})); }},
      {"wrong id", {FaultKind::WrongId},
       [](const Bytes& out) { EXPECT_EQ(out, EncodeFrame(1, {0x81, 0, 10, 3})); }},
      {"endless", {FaultKind::Endless},
       [&](const Bytes& out) {
         EXPECT_EQ(out, Bytes(clean.begin(), clean.end() - 2));
         EXPECT_TRUE(PcFrames(out).empty());
       }},
      {"noise", {FaultKind::Noise},
       [&](const Bytes& out) {
         ASSERT_GT(out.size(), clean.size());
         Bytes before(out.begin(), out.end() - clean.size());
         EXPECT_TRUE(hasNoEsc(before));
         EXPECT_EQ(Bytes(out.end() - clean.size(), out.end()), clean);
       }},
      {"trailing", {FaultKind::Trailing},
       [&](const Bytes& out) {
         ASSERT_GT(out.size(), clean.size());
         EXPECT_EQ(Bytes(out.begin(), out.begin() + clean.size()), clean);
         EXPECT_TRUE(hasNoEsc(Bytes(out.begin() + clean.size(), out.end())));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Line line;
    line.addUnit(vrxsim::UnitConfig{});
    line.addFault(c.fault);
    c.check(Exchange(line, {0x00}, 0));
  }
}

TEST(Faults, NoiseAndTrailingStillLeaveOneGoodReplyForThePc) {
  for (FaultKind kind : {FaultKind::Noise, FaultKind::Trailing}) {
    Line line;
    line.addUnit(vrxsim::UnitConfig{});
    line.addFault({kind});
    auto frames = PcFrames(Exchange(line, {0x00}, 0));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].first, 1);
    EXPECT_EQ(frames[0].second, kFwRevReply);
  }
}

TEST(Faults, DelayHoldsTheReplyBack) {
  Line line;
  line.addUnit(vrxsim::UnitConfig{});
  FaultConfig delay{FaultKind::Delay};
  delay.ms = 250;
  line.addFault(delay);
  EXPECT_TRUE(Exchange(line, {0x00}, 100).empty());
  EXPECT_EQ(line.nextOutputMs(), 350);
  EXPECT_TRUE(line.takeOutput(349.9).empty());
  EXPECT_EQ(line.takeOutput(350), EncodeFrame(1, kFwRevReply));
}

TEST(Faults, StatusOnOneCommandOnly) {
  Line line;
  line.addUnit(vrxsim::UnitConfig{});
  FaultConfig status{FaultKind::Status};
  status.command = 0x02;
  status.code = 9;
  line.addFault(status);
  EXPECT_EQ(Exchange(line, {0x00}, 0), EncodeFrame(1, kFwRevReply));
  Bytes expected{0x82, 9};
  expected.insert(expected.end(), 4, 0xFF);
  EXPECT_EQ(Exchange(line, ReadFlashCmd(0x20, 4), 0), EncodeFrame(1, expected));
}

TEST(Faults, EveryAfterAndCountPickTheReplies) {
  Line line;
  line.addUnit(vrxsim::UnitConfig{});
  FaultConfig drop{FaultKind::Drop};
  drop.every = 2;
  drop.after = 1;
  drop.count = 2;
  line.addFault(drop);
  std::vector<bool> answered;
  for (int i = 0; i < 8; ++i) answered.push_back(!Exchange(line, {0x00}, i).empty());
  // Reply 1 spared; then every second one (3, 5) until two were hit.
  EXPECT_EQ(answered, (std::vector<bool>{true, true, false, true, false, true, true, true}));
}

TEST(Faults, CutLineCarriesOutTheWriteThenHearsNothingUntilRestored) {
  Line line;
  vrxsim::Unit& unit = line.addUnit(vrxsim::UnitConfig{});
  FaultConfig cut{FaultKind::Cut};
  cut.command = 0x01;  // WriteFlash
  cut.after = 1;
  line.addFault(cut);
  ASSERT_EQ(Exchange(line, {0x7F}, 0), EncodeFrame(1, {0xFF, 0}));  // UnlockFlash
  const uint32_t at = 0x30000;
  EXPECT_EQ(Exchange(line, WriteFlashCmd(at, {1, 2}), 0), EncodeFrame(1, {0x81, 0}));
  EXPECT_TRUE(Exchange(line, WriteFlashCmd(at + 2, {3, 4}), 0).empty()) << "the second write's reply is lost";
  EXPECT_TRUE(line.isCut());
  EXPECT_TRUE(Exchange(line, WriteFlashCmd(at + 4, {5, 6}), 0).empty());
  EXPECT_TRUE(Exchange(line, {0x00}, 0).empty());
  EXPECT_EQ(Bytes(unit.flash() + at, unit.flash() + at + 6), (Bytes{1, 2, 3, 4, 0xFF, 0xFF}))
      << "the cut write was carried out, nothing after it";
  line.restore();
  EXPECT_EQ(Exchange(line, {0x00}, 0), EncodeFrame(1, kFwRevReply));
}

TEST(Faults, CountsOnlyRepliesToTheirCommand) {
  Line line;
  line.addUnit(vrxsim::UnitConfig{});
  FaultConfig drop{FaultKind::Drop};
  drop.command = 0x05;
  drop.after = 1;
  line.addFault(drop);
  EXPECT_FALSE(Exchange(line, {0x00}, 0).empty());
  EXPECT_FALSE(Exchange(line, {0x05}, 0).empty()) << "the first GetStatus is spared";
  EXPECT_FALSE(Exchange(line, {0x00}, 0).empty());
  EXPECT_TRUE(Exchange(line, {0x05}, 0).empty());
}

}  // namespace
