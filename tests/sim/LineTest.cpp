#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimTestSupport.h"
#include "sim/FlashLayout.h"
#include "sim/Frame.h"
#include "sim/Line.h"

namespace {

using namespace simtest;
using vrxsim::Baud;
using vrxsim::EncodeFrame;
using vrxsim::Line;
using vrxsim::UnitConfig;

UnitConfig At(int address, Baud baud = Baud::B115200) {
  UnitConfig c;
  c.address = address;
  c.baud = baud;
  return c;
}

void Send(Line& line, int address, const Bytes& payload, double nowMs) {
  Bytes frame = EncodeFrame(uint8_t(address), payload);
  line.receive(frame.data(), frame.size(), nowMs);
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Line, UnitAtTheFrameAddressAnswersWithOneFrame) {
  Line line;
  line.addUnit(At(1));
  line.addUnit(At(3));
  Send(line, 3, {0x00}, 10);
  ASSERT_TRUE(line.hasOutput());
  EXPECT_EQ(line.nextOutputMs(), 10);
  EXPECT_EQ(line.takeOutput(10), EncodeFrame(3, {0x80, 0, 10, 3}));
  EXPECT_FALSE(line.hasOutput());

  Send(line, 2, {0x00}, 20);
  EXPECT_FALSE(line.hasOutput()) << "nobody at address 2";
}

TEST(Line, FrameIsHandledWhenItsLastByteArrives) {
  Line line;
  line.addUnit(At(1));
  Bytes frame = EncodeFrame(1, {0x00});
  line.receive(frame.data(), frame.size() - 1, 5);
  EXPECT_FALSE(line.hasOutput());
  EXPECT_TRUE(line.log().empty());
  line.receive(&frame.back(), 1, 7.5);
  EXPECT_EQ(line.nextOutputMs(), 7.5);
  EXPECT_TRUE(line.takeOutput(7.4).empty()) << "not due yet";
  EXPECT_EQ(line.takeOutput(7.5), EncodeFrame(1, {0x80, 0, 10, 3}));
}

TEST(Line, StuffedPayloadReachesTheFlashAndComesBackStuffed) {
  Line line;
  vrxsim::Unit& unit = line.addUnit(At(1));
  const Bytes data{0x1B, 0x1B, 0x45, 0x1B, 0x53};
  Send(line, 1, {0x7F}, 0);
  Send(line, 1, WriteFlashCmd(0x11B1B, data), 0);
  EXPECT_EQ(line.takeOutput(0), Cat(EncodeFrame(1, {0xFF, 0}), EncodeFrame(1, {0x81, 0})));
  EXPECT_EQ(Bytes(unit.flash() + 0x11B1B, unit.flash() + 0x11B1B + data.size()), data);

  Send(line, 1, ReadFlashCmd(0x11B1B, uint32_t(data.size())), 1);
  EXPECT_EQ(line.takeOutput(1), EncodeFrame(1, Cat({0x82, 0}, data)));
}

TEST(Line, UnitsAnswerOnlyAtTheirSpeed) {
  struct Case {
    Baud unit;
    int line;
    bool answers;
  };
  const std::vector<Case> cases = {
      {Baud::B38400, 38400, true},   {Baud::B38400, 115200, false}, {Baud::B115200, 115200, true},
      {Baud::B115200, 38400, false}, {Baud::Both, 38400, true},     {Baud::Both, 115200, true},
      {Baud::Both, 9600, false},
  };
  for (const Case& c : cases) {
    Line line;
    line.addUnit(At(4, c.unit));
    line.setBaud(c.line);
    Send(line, 4, {0x00}, 0);
    EXPECT_EQ(line.hasOutput(), c.answers) << "unit " << int(c.unit) << " on a line at " << c.line;
  }
}

TEST(Line, BaudSourceIsAskedWhenAFrameCompletes) {
  Line line;
  line.addUnit(At(1, Baud::B38400));
  int pcSpeed = 115200;
  line.setBaudSource([&pcSpeed] { return pcSpeed; });
  Send(line, 1, {0x00}, 0);
  EXPECT_FALSE(line.hasOutput());
  pcSpeed = 38400;
  Send(line, 1, {0x00}, 1);
  EXPECT_TRUE(line.hasOutput());
  ASSERT_EQ(line.log().size(), 2u);
  EXPECT_EQ(line.log()[0].lineBaud, 115200);
  EXPECT_EQ(line.log()[1].lineBaud, 38400);
}

TEST(Line, TwoUnitsAtOneAddressCollide) {
  Line line;
  UnitConfig second = At(2);
  second.fwMinor = 11;
  line.addUnit(At(2));
  line.addUnit(second);
  Send(line, 2, {0x00}, 0);
  EXPECT_EQ(line.takeOutput(0), Cat(EncodeFrame(2, {0x80, 0, 10, 3}), EncodeFrame(2, {0x80, 0, 11, 3})));
}

TEST(Line, LogKeepsEveryCompleteFrame) {
  Line line;
  line.addUnit(At(1));
  Send(line, 1, {0x00}, 1.5);
  Send(line, 9, {0x05, 0x1B}, 2.5);
  ASSERT_EQ(line.log().size(), 2u);
  EXPECT_EQ(line.log()[0].address, 1);
  EXPECT_EQ(line.log()[0].payload, Bytes{0x00});
  EXPECT_EQ(line.log()[0].timeMs, 1.5);
  EXPECT_EQ(line.log()[1].address, 9);
  EXPECT_EQ(line.log()[1].payload, (Bytes{0x05, 0x1B}));
  line.clearLog();
  EXPECT_TRUE(line.log().empty());
}

TEST(Line, ConfigureProgrammerMovesTheAddressAfterReplying) {
  Line line;
  vrxsim::Unit& unit = line.addUnit(At(1));
  Send(line, 1, {0x7F}, 0);
  Send(line, 1, WriteFlashCmd(31, {7}), 0);
  line.takeOutput(0);
  EXPECT_EQ(unit.address(), 1) << "the block is not in effect yet";

  Send(line, 1, {0x7D}, 1);
  EXPECT_EQ(line.takeOutput(1), EncodeFrame(1, {0xFD, 0})) << "reply from the old address";
  EXPECT_EQ(unit.address(), 7);
  Send(line, 1, {0x00}, 2);
  EXPECT_FALSE(line.hasOutput());
  Send(line, 7, {0x00}, 3);
  EXPECT_EQ(line.takeOutput(3), EncodeFrame(7, {0x80, 0, 10, 3}));

  // An address outside 1..16 is not taken.
  Send(line, 7, WriteFlashCmd(31, {0x20}), 4);
  Send(line, 7, {0x7D}, 4);
  EXPECT_EQ(unit.address(), 7);
}

TEST(Line, LoadFirmwareSilencesTheUnitThenItAnswersWithTheNewRevision) {
  Line line;
  UnitConfig config = At(5);
  config.reloadSilenceMs = 3000;
  config.reloadFwMajor = 3;
  config.reloadFwMinor = 11;
  vrxsim::Unit& unit = line.addUnit(config);
  Send(line, 5, {0x7E}, 1000);
  EXPECT_EQ(line.takeOutput(1000), EncodeFrame(5, {0xFE, 0}));
  EXPECT_FALSE(unit.answersAt(115200, 3999));
  Send(line, 5, {0x00}, 3999);
  EXPECT_FALSE(line.hasOutput());
  EXPECT_TRUE(unit.answersAt(115200, 4000));
  Send(line, 5, {0x00}, 4000);
  EXPECT_EQ(line.takeOutput(4000), EncodeFrame(5, {0x80, 0, 11, 3}));
}

TEST(Line, LoadFirmwareInstallsTheRevisionTheFirmwareBrings) {
  // Generation 3 finds its firmware through the flash map; older ones at 0x1000.
  for (int generation : {3, 2}) {
    Line line;
    UnitConfig config = At(4);
    config.fwMajor = generation;
    config.fwMinor = 1;
    config.reloadSilenceMs = 500;
    config.reloadFwMajor = 9;  // taken only when the firmware area holds no firmware
    vrxsim::Unit& unit = line.addUnit(config);
    const uint32_t base = generation >= 3 ? vrxsim::ReadFlashMap(unit.flash())[vrxsim::kFirmwareBase] : 0x1000;
    Send(line, 4, {0x7F}, 0);
    Send(line, 4, WriteFlashCmd(base, {'V', 'R', 'X', 'F', 12, 2}), 0);
    Send(line, 4, {0x7E}, 10);
    line.takeOutput(10);
    Send(line, 4, {0x00}, 520);
    EXPECT_EQ(line.takeOutput(520), EncodeFrame(4, {0x80, 0, 12, 2})) << generation;
  }
}

TEST(Line, AUnitSetNeverToReloadStaysSilentAfterLoadFirmware) {
  Line line;
  UnitConfig config = At(2);
  config.reloadSilenceMs = -1;
  vrxsim::Unit& unit = line.addUnit(config);
  Send(line, 2, {0x7E}, 0);
  EXPECT_EQ(line.takeOutput(0), EncodeFrame(2, {0xFE, 0}));
  Send(line, 2, {0x00}, 3600e3);
  EXPECT_FALSE(line.hasOutput());
  EXPECT_FALSE(unit.answersAt(115200, 1e12));
}

TEST(Line, LoadFirmwareDropsARun) {
  Line line;
  UnitConfig config = At(1);
  config.reloadSilenceMs = 100;
  vrxsim::Unit& unit = line.addUnit(config);
  unit.flash()[0x40] = 0x10;  // slot 1 holds an image
  unit.flash()[0x41] = unit.flash()[0x42] = unit.flash()[0x43] = 0;
  Send(line, 1, {0x04, 0}, 0);
  Send(line, 1, {0x7E}, 10);
  Send(line, 1, {0x05}, 200);
  Bytes out = line.takeOutput(200);
  EXPECT_EQ(out, Cat(Cat(EncodeFrame(1, {0x84, 0}), EncodeFrame(1, {0xFE, 0})), EncodeFrame(1, {0x85, 0, 0, 0, 0, 0})));
}

}  // namespace
