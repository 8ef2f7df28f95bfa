// The programmer link: frames, the receive state machine, time-outs, every
// command's payload and reply handling, block transfers and the error report.
#include <gtest/gtest.h>

#include <memory>

#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/Frame.h"
#include "link/LineState.h"
#include "link/Transport.h"
#include "operations/Serialize.h"
#include "programmers/UnitState.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"

namespace {

using Bytes = std::vector<uint8_t>;

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.port.open = true;
    CurrentAddress = 3;
  }

  // The programmer answers every command frame with reply(payload); an empty
  // reply means silence.
  void Answer(std::function<Bytes(const Bytes&)> reply) {
    platform.port.Peer = [reply](const Bytes& written, const std::string&) {
      uint8_t address = 0;
      Bytes payload = FramePayload(written, &address);
      Bytes answer = reply(payload);
      return answer.empty() ? Bytes{} : ReplyFrame(address, answer);
    };
  }
  // Success with the given data for every command.
  void AnswerOk(Bytes data = {}) {
    Answer([data](const Bytes& p) {
      Bytes r(2 + data.size(), 0);
      r[0] = static_cast<uint8_t>(p[0] + 0x80);
      std::copy(data.begin(), data.end(), r.begin() + 2);
      return r;
    });
  }

  std::vector<Bytes> SentPayloads() const {
    std::vector<Bytes> payloads;
    for (const Bytes& w : platform.port.writes) payloads.push_back(FramePayload(w));
    return payloads;
  }

  FakePlatform platform;
};

TEST(FrameTest, StuffsEscapeBytesAndWrapsThePayload) {
  const Bytes payload{0x01, 0x1B, 0x02, 0x1B, 0x1B};
  EXPECT_EQ(BuildFrame(5, payload.data(), payload.size()),
            (Bytes{0x1B, 0x53, 0x05, 0x01, 0x1B, 0x1B, 0x02, 0x1B, 0x1B, 0x1B, 0x1B, 0x1B, 0x45}));
}

struct ReceiveCase {
  const char* name;
  Bytes bytes;
  bool complete;
  uint8_t address;
  Bytes data;
};

class ReceiverTest : public ::testing::TestWithParam<ReceiveCase> {};

TEST_P(ReceiverTest, DecodesTheReply) {
  FakePlatform platform;
  RxBuffer.fill(0xEE);
  ResetReceiver();
  for (uint8_t b : GetParam().bytes) ReceiveByte(b);
  EXPECT_EQ(ReplyComplete, GetParam().complete);
  if (!GetParam().complete) return;
  EXPECT_EQ(RxAddress, GetParam().address);
  EXPECT_EQ(Bytes(RxBuffer.begin(), RxBuffer.begin() + RxCount), GetParam().data);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ReceiverTest,
    ::testing::Values(
        ReceiveCase{"Plain", {0x1B, 0x53, 2, 0x80, 0, 7, 0x1B, 0x45}, true, 2, {0x80, 0, 7}},
        ReceiveCase{"NoiseBefore", {0x00, 0x45, 0x53, 0x1B, 0x00, 0x1B, 0x53, 4, 0x85, 0, 0x1B, 0x45}, true, 4, {0x85, 0}},
        ReceiveCase{"EscapePairIsOneByte", {0x1B, 0x53, 1, 0x82, 0, 0x1B, 0x1B, 9, 0x1B, 0x45}, true, 1, {0x82, 0, 0x1B, 9}},
        ReceiveCase{"RestartKeepsSecondFrame", {0x1B, 0x53, 1, 0xAA, 0xBB, 0x1B, 0x53, 2, 0xCC, 0x1B, 0x45}, true, 2, {0xCC}},
        ReceiveCase{"EscBeforeOtherByteKeepsTheByte", {0x1B, 0x53, 1, 0x80, 0x1B, 0x07, 0x1B, 0x45}, true, 1, {0x80, 0x07}},
        ReceiveCase{"BytesAfterEndIgnored", {0x1B, 0x53, 1, 0x80, 0, 0x1B, 0x45, 0x1B, 0x53, 9, 0x55, 0x1B, 0x45}, true, 1, {0x80, 0}},
        ReceiveCase{"AddressByteMayBeEsc", {0x1B, 0x53, 0x1B, 0x80, 0x1B, 0x45}, true, 0x1B, {0x80}},
        ReceiveCase{"TruncatedFrameIsNotComplete", {0x1B, 0x53, 1, 0x80, 0, 0x1B}, false, 0, {}},
        ReceiveCase{"EscThenOtherInHuntStaysHunting", {0x1B, 0x01, 0x53, 1, 0x80, 0x1B, 0x45}, false, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReceiverLimitTest, EndlessFrameNeverWritesPastTheBuffer) {
  FakePlatform platform;
  ResetReceiver();
  for (uint8_t b : Bytes{0x1B, 0x53, 1}) ReceiveByte(b);
  for (int i = 0; i < 5000; ++i) ReceiveByte(static_cast<uint8_t>(i & 0x7F));
  EXPECT_FALSE(ReplyComplete);
  EXPECT_EQ(RxCount, RxBufferSize);
}

TEST(WrapTickTest, WrapsToOneAboveTwoBillion) {
  EXPECT_EQ(WrapTick(2000000000), 2000000000);
  EXPECT_EQ(WrapTick(2000000001), 1);
  FakePlatform platform;
  TickCount = 2000000000;
  Timer1_Timer();
  EXPECT_EQ(TickCount, 1);
}

TEST_F(LinkTest, TimeOutWaitsOneTickMoreThanItsLength) {
  // A time-out of T ticks waits until the tick count passes start + T: between
  // T and T + 1 tick periods of real time.
  for (int timeout : {1, 3, 60}) {
    platform.events.ticks = 0;
    const uint8_t payload[] = {CmdFwRev};
    EXPECT_FALSE(SendCommand(payload, 1, timeout));
    EXPECT_EQ(platform.events.ticks, timeout + 1) << "time-out " << timeout;
    EXPECT_EQ(Err.Number, ErrNoResponse);
    EXPECT_EQ(Err.Source, "Send Command");
    EXPECT_EQ(Err.Description, "No Response from Programmer");
  }
}

TEST_F(LinkTest, ReplyFromAnotherAddressFailsEvenWhenComplete) {
  platform.port.Peer = [](const Bytes&, const std::string&) { return ReplyFrame(4, {0x80, 0, 1, 2}); };
  std::string revision;
  EXPECT_FALSE(FwRev(revision));
  EXPECT_EQ(LastErrorNumber, ErrWrongAddress);
  EXPECT_EQ(LastErrorSource, "Send Command");
  EXPECT_EQ(LastErrorText, "Bad Response from Programmer - Address");
}

TEST_F(LinkTest, BytesAfterTheReplyDoNotChangeItUntilTheNextCommand) {
  platform.port.Peer = [](const Bytes&, const std::string&) {
    Bytes r = ReplyFrame(3, {0x80, 0, 5, 2});
    Bytes late = ReplyFrame(3, {0x80, 0, 9, 9});
    r.insert(r.end(), late.begin(), late.end());
    return r;
  };
  std::string revision;
  ASSERT_TRUE(FwRev(revision));
  ReceiveBytes();   // anything still arriving
  EXPECT_EQ(revision, "2.005");
  EXPECT_EQ(RxBuffer[2], 5);
}

TEST_F(LinkTest, StaleBytesAreDiscardedBeforeSending) {
  const Bytes stale = ReplyFrame(3, {0x80, 0, 1, 1});
  platform.port.incoming.assign(stale.begin(), stale.end());
  std::string revision;
  EXPECT_FALSE(FwRev(revision));
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
}

// ---- The command table ----

struct CommandCase {
  const char* name;
  std::function<bool()> run;
  Bytes payload;
  int timeout;
  const char* function;
  const char* source;
};

class CommandTableTest : public LinkTest, public ::testing::WithParamInterface<CommandCase> {};

std::vector<CommandCase> CommandCases() {
  static std::string revision;
  static std::array<uint8_t, 4> status;
  static SerialRecord serial;
  static std::array<std::string, 4> serials;
  return {
      {"FwRev", [] { return FwRev(revision); }, {0x00}, 3, "FwRev", "VRX FwRev"},
      {"Program", [] { return Program(1); }, {0x04, 0x00}, 60, "Program", "Program"},
      {"Verify", [] { return Verify(4); }, {0x0B, 0x03}, 60, "Verify", "Verify"},
      {"GetStatus", [] { return GetStatus(status); }, {0x05}, 10, "Get Status", "Get Status"},
      {"Cancel", [] { return CancelProgramming(); }, {0x06}, 10, "Cancel Programming", "Cancel Programming"},
      {"PortsEnable", [] { return PortsEnable(0x0F); }, {0x07, 0x00}, 10, "Ports Enable / Disable", "Program"},
      {"ReadDevice", [] { return ReadDevice(2, 3); }, {0x0A, 0x01, 0x02}, 60, "Read Device",
       "Read Device"},
      {"WriteSerialization",
       [] {
         SerialRecord record;
         record.memory = 1;
         record.format = 2;
         record.address = 0x12345678;
         record.number = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
         return WriteSerialization(2, record);
       },
       {0x0C, 2, 1, 2, 0x78, 0x56, 0x34, 0x12, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}, 10, "Write Serialization",
       "Write Serialization Data"},
      {"ReadSerialization", [] { return ReadSerialization(1, serial); }, {0x0D, 0x01}, 10, "Get Status", "ReadSerialization"},
      {"GetLastSerials", [] { return GetLastSerials(serials); }, {0x0E}, 10, "Get Status", "GetLastSerials"},
      {"Configure", [] { return ConfigureProgrammer(); }, {0x7D}, 10, "Configure Programmer", "Configure Programmer"},
      {"LoadFirmware", [] { return LoadFirmware(); }, {0x7E}, 60, "Load Firmware", "Load Firmware"},
      {"Unlock", [] { return UnlockFlash(); }, {0x7F}, 5, "Unlock Flash", "Unlock Flash"},
  };
}

TEST_P(CommandTableTest, SendsItsPayloadAndSucceedsOnStatusZero) {
  AnswerOk(Bytes(24, 0));
  ASSERT_TRUE(GetParam().run());
  ASSERT_EQ(SentPayloads().size(), 1u);
  EXPECT_EQ(SentPayloads()[0], GetParam().payload);
  EXPECT_EQ(LastFunction, GetParam().function);
  EXPECT_EQ(LastErrorNumber, 0);
}

TEST_P(CommandTableTest, WaitsItsOwnTimeOut) {
  ASSERT_FALSE(GetParam().run());
  EXPECT_EQ(platform.events.ticks, GetParam().timeout + 1);
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  EXPECT_EQ(LastErrorSource, "Send Command");
  EXPECT_EQ(LastFunction, GetParam().function);
}

TEST_P(CommandTableTest, WrongResponseIdFailsWithItsSource) {
  Answer([](const Bytes& p) { return Bytes{static_cast<uint8_t>(p[0] + 0x81), 0, 0, 0, 0, 0}; });
  ASSERT_FALSE(GetParam().run());
  EXPECT_EQ(LastErrorNumber, ErrWrongResponseId);
  EXPECT_EQ(LastErrorText, "Bad Response from Programmer - Response ID");
  EXPECT_EQ(LastErrorSource, GetParam().source);
}

TEST_P(CommandTableTest, ProgrammerStatusBecomesTheErrorWithItsText) {
  Answer([](const Bytes& p) { return Bytes{static_cast<uint8_t>(p[0] + 0x80), 5}; });
  ASSERT_FALSE(GetParam().run());
  EXPECT_EQ(LastErrorNumber, 5);
  EXPECT_EQ(LastErrorText, "Programmer Busy");
  EXPECT_EQ(LastErrorSource, GetParam().source);
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandTableTest, ::testing::ValuesIn(CommandCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkTest, ProgrammerStatusTexts) {
  const char* texts[] = {"Missing Parameter", "Bad Parameter", "Flash Write Error", "Bad Command",
                         "Programmer Busy", "Invalid Image Selection", "Selected Image is Empty",
                         "Crc Fail - Image is Corrupted"};
  for (uint8_t status = 1; status <= 8; ++status) {
    Answer([status](const Bytes& p) { return Bytes{static_cast<uint8_t>(p[0] + 0x80), status}; });
    EXPECT_FALSE(UnlockFlash());
    EXPECT_EQ(LastErrorText, texts[status - 1]);
  }
  Answer([](const Bytes& p) { return Bytes{static_cast<uint8_t>(p[0] + 0x80), 12}; });
  EXPECT_FALSE(UnlockFlash());
  EXPECT_EQ(LastErrorNumber, 12);
  EXPECT_EQ(LastErrorText, "Programmer Error");
}

TEST_F(LinkTest, FwRevFormatsMajorAndThreeDigitMinor) {
  for (auto [major, minor, text] : {std::tuple{2, 5, "2.005"}, {10, 7, "10.007"}, {0, 0, "0.000"}, {3, 255, "3.255"}}) {
    AnswerOk({static_cast<uint8_t>(minor), static_cast<uint8_t>(major)});
    std::string revision;
    ASSERT_TRUE(FwRev(revision));
    EXPECT_EQ(revision, text);
  }
}

TEST_F(LinkTest, ShortReplyIsABadResponseNotStaleData) {
  AnswerOk({1, 2, 3, 4});
  std::array<uint8_t, 4> status{};
  ASSERT_TRUE(GetStatus(status));
  EXPECT_EQ(status, (std::array<uint8_t, 4>{1, 2, 3, 4}));
  AnswerOk({9});   // one status byte where four belong
  status.fill(0);
  EXPECT_FALSE(GetStatus(status));
  EXPECT_EQ(LastErrorNumber, ErrWrongResponseId);
  EXPECT_EQ(status, (std::array<uint8_t, 4>{0, 0, 0, 0}));
}

TEST_F(LinkTest, ReadSerializationFillsTheRecord) {
  AnswerOk({3, 4, 0x78, 0x56, 0x34, 0x92, 1, 2, 3, 4, 5, 6});
  SerialRecord record;
  ASSERT_TRUE(ReadSerialization(0, record));
  EXPECT_EQ(record.memory, 3);
  EXPECT_EQ(record.format, 4);
  EXPECT_EQ(record.address, static_cast<int32_t>(0x92345678));
  EXPECT_EQ(Bytes(record.number.begin(), record.number.begin() + 6), (Bytes{1, 2, 3, 4, 5, 6}));
}

// The read-back decides: the six number bytes the line carries and every
// other field must come back as sent; byte 6 of the number never travels.
TEST_F(LinkTest, WriteSerializationVerifiedComparesTheReadBackWithWhatWasSent) {
  SerialRecord sent;
  sent.memory = 2;
  sent.format = 0x84;
  sent.address = 0x1F00;
  sent.number = {1, 2, 3, 4, 5, 6, 0x77};
  const Bytes same{2, 0x84, 0x00, 0x1F, 0, 0, 1, 2, 3, 4, 5, 6};
  struct Case {
    const char* name;
    size_t index;   // byte of the read-back changed, or none
    bool verified;
  };
  const Case cases[] = {{"as sent", same.size(), true},   {"memory", 0, false},   {"format", 1, false},
                        {"address", 3, false},            {"number byte 0", 6, false}, {"number byte 5", 11, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes readBack = same;
    if (c.index < readBack.size()) readBack[c.index] ^= 0x10;
    Answer([readBack](const Bytes& p) {
      const bool read = p[0] == CmdReadSerialization;
      Bytes r(2 + (read ? readBack.size() : 0), 0);
      r[0] = static_cast<uint8_t>(p[0] + 0x80);
      if (read) std::copy(readBack.begin(), readBack.end(), r.begin() + 2);
      return r;
    });
    platform.port.writes.clear();
    EXPECT_EQ(WriteSerializationVerified(1, sent), c.verified);
    EXPECT_EQ(LastErrorNumber, c.verified ? 0 : ErrReadVerify);
    const std::vector<Bytes> payloads = SentPayloads();
    ASSERT_EQ(payloads.size(), 2u);
    EXPECT_EQ(payloads[0], (Bytes{CmdWriteSerialization, 1, 2, 0x84, 0x00, 0x1F, 0, 0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(payloads[1], (Bytes{CmdReadSerialization, 1}));
  }
}

TEST_F(LinkTest, GetLastSerialsWritesUpperCaseHex) {
  Bytes data;
  for (int i = 0; i < 24; ++i) data.push_back(static_cast<uint8_t>(i * 11));
  AnswerOk(data);
  std::array<std::string, 4> serials;
  ASSERT_TRUE(GetLastSerials(serials));
  EXPECT_EQ(serials[0], "000B16212C37");
  EXPECT_EQ(serials[3], "C6D1DCE7F2FD");
}

TEST_F(LinkTest, WriteSerializationWithoutSupportSendsNothing) {
  SerialSupported = false;
  AnswerOk();
  EXPECT_TRUE(WriteSerializationSettings(0));
  EXPECT_TRUE(platform.port.writes.empty());
}

// ---- Ports enable ----

TEST(PortsEnablePayloadTest, InvertsPortsAndClearsTopBits) {
  EXPECT_EQ(PortsEnablePayload(0x0F), 0x00);
  EXPECT_EQ(PortsEnablePayload(0x00), 0x0F);
  EXPECT_EQ(PortsEnablePayload(0x35), 0x3A);
  EXPECT_EQ(PortsEnablePayload(0xC5), 0x0A);
}

TEST_F(LinkTest, PortsEnableRefusedFallsBackToAllPortsDisabledOnce) {
  Answer([](const Bytes& p) { return Bytes{static_cast<uint8_t>(p[0] + 0x80), p[1] == 0x0F ? uint8_t{0} : uint8_t{2}}; });
  EXPECT_FALSE(PortsEnable(0x05));
  EXPECT_EQ(SentPayloads(), (std::vector<Bytes>{{0x07, 0x0A}, {0x07, 0x0F}}));
  EXPECT_EQ(LastErrorNumber, 2);
  EXPECT_EQ(LastErrorText, "Bad Parameter");
  EXPECT_EQ(LastErrorSource, "Program");
}

TEST_F(LinkTest, PortsEnableFallbackRefusedTooIsNotRepeated) {
  Answer([](const Bytes& p) { return Bytes{static_cast<uint8_t>(p[0] + 0x80), 4}; });
  EXPECT_FALSE(PortsEnable(0x01));
  EXPECT_EQ(SentPayloads().size(), 2u);
  EXPECT_EQ(LastErrorNumber, 4);
}

TEST_F(LinkTest, PortsEnableTimeOutHasNoFallback) {
  EXPECT_FALSE(PortsEnable(0x01));
  EXPECT_EQ(SentPayloads().size(), 1u);
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
}

// ---- Block transfers ----

TEST_F(LinkTest, WriteFlashSplitsIntoBlocksOf256) {
  AnswerOk();
  Bytes data(600);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(WriteFlash(0x10000, 600, data.data(), true));
  const std::vector<Bytes> sent = SentPayloads();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0], Bytes{0x7F});
  const int32_t addresses[] = {0x10000, 0x10100, 0x10200};
  const int sizes[] = {256, 256, 88};
  size_t offset = 0;
  for (int block = 0; block < 3; ++block) {
    const Bytes& p = sent[block + 1];
    Bytes header{0x01};
    for (int i = 0; i < 4; ++i) header.push_back(static_cast<uint8_t>(addresses[block] >> (8 * i)));
    header.push_back(static_cast<uint8_t>(sizes[block]));
    header.push_back(static_cast<uint8_t>(sizes[block] >> 8));
    ASSERT_EQ(p.size(), 7u + sizes[block]);
    EXPECT_EQ(Bytes(p.begin(), p.begin() + 7), header);
    EXPECT_EQ(Bytes(p.begin() + 7, p.end()), Bytes(data.begin() + offset, data.begin() + offset + sizes[block]));
    offset += sizes[block];
  }
  EXPECT_EQ(LastFunction, "Write Flash");
  EXPECT_EQ(platform.window.progressValues.back(), 100);
  EXPECT_FALSE(platform.window.progressVisible);
}

TEST_F(LinkTest, ReadFlashCopiesEveryBlockAndAcceptsStatusNine) {
  Answer([](const Bytes& p) {
    if (p[0] == 0x7F) return Bytes{0xFF, 0};
    const uint32_t address = p[1] | p[2] << 8 | p[3] << 16 | p[4] << 24;
    const int n = p[5] | p[6] << 8;
    Bytes r{0x82, static_cast<uint8_t>(address == 0x100 ? 9 : 0)};
    for (int i = 0; i < n; ++i) r.push_back(static_cast<uint8_t>((address + i) * 3));
    return r;
  });
  Bytes data(300, 0);
  ASSERT_TRUE(ReadFlash(0, 300, data.data(), false));
  for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(data[i], static_cast<uint8_t>(i * 3)) << i;
  EXPECT_EQ(LastErrorNumber, 0);
}

TEST_F(LinkTest, ReadFlashOfNothingOnlyUnlocks) {
  AnswerOk();
  EXPECT_TRUE(ReadFlash(0x20, 0, nullptr, true));
  EXPECT_EQ(SentPayloads(), std::vector<Bytes>{{0x7F}});
}

TEST_F(LinkTest, BlockStatusStopsTheTransferAsThousandPlusStatus) {
  int blocks = 0;
  Answer([&blocks](const Bytes& p) {
    if (p[0] == 0x7F) return Bytes{0xFF, 0};
    return Bytes{0x81, static_cast<uint8_t>(++blocks == 2 ? 3 : 0)};
  });
  Bytes data(600, 0xAB);
  EXPECT_FALSE(WriteFlash(0, 600, data.data(), true));
  EXPECT_EQ(blocks, 2);
  EXPECT_EQ(LastErrorNumber, 1003);
  EXPECT_EQ(LastErrorSource, "Programmer Error");
  EXPECT_EQ(LastErrorText, "");
  EXPECT_EQ(LastFunction, "Write Flash");
  EXPECT_FALSE(platform.window.progressVisible);
}

TEST_F(LinkTest, FailedUnlockSendsNoBlock) {
  Answer([](const Bytes& p) { return Bytes{0xFF, 5}; });
  Bytes data(10, 0);
  EXPECT_FALSE(ReadFlash(0, 10, data.data(), false));
  EXPECT_EQ(SentPayloads().size(), 1u);
  EXPECT_EQ(LastFunction, "Unlock Flash");
  EXPECT_EQ(LastErrorNumber, 5);
  std::array<uint8_t, 2> crc{};
  platform.port.writes.clear();
  EXPECT_FALSE(CrcFlash(0, 10, crc));
  EXPECT_EQ(SentPayloads().size(), 1u);
}

TEST_F(LinkTest, CrcFlashPayloadTimeOutAndResult) {
  EXPECT_EQ(CrcFlashTimeout(262144), 526);
  EXPECT_EQ(CrcFlashTimeout(30), 2);
  EXPECT_EQ(CrcFlashTimeout(250), 2);    // 2.5 rounds to the even 2
  EXPECT_EQ(CrcFlashTimeout(750), 4);    // 3.5 rounds to the even 4
  Answer([](const Bytes& p) { return p[0] == 0x7F ? Bytes{0xFF, 0} : Bytes{0x83, 0, 0x34, 0x12}; });
  std::array<uint8_t, 2> crc{};
  ASSERT_TRUE(CrcFlash(0x20, 30, crc));
  EXPECT_EQ(SentPayloads()[1], (Bytes{0x03, 0x20, 0, 0, 0, 30, 0, 0, 0}));
  EXPECT_EQ(crc, (std::array<uint8_t, 2>{0x34, 0x12}));
  EXPECT_EQ(LastFunction, "Crc Flash");

  Answer([](const Bytes& p) { return p[0] == 0x7F ? Bytes{0xFF, 0} : Bytes{0x83, 2}; });
  EXPECT_FALSE(CrcFlash(0, 262144, crc));
  EXPECT_EQ(LastErrorNumber, 1002);
  EXPECT_EQ(LastErrorSource, "Programmer Error");

  platform.events.ticks = 0;
  Answer([](const Bytes& p) { return p[0] == 0x7F ? Bytes{0xFF, 0} : Bytes{}; });
  EXPECT_FALSE(CrcFlash(0, 262144, crc));
  EXPECT_EQ(platform.events.ticks, 527);
}

// ---- Error report ----

TEST_F(LinkTest, ErrorReportOfAnUnlockTimeOut) {
  ClearError();
  ErrorTitle = "Load Image";
  platform.port.path = "/dev/ttyUSB0";
  EXPECT_FALSE(UnlockFlash());
  ShowErrorReport();
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  const auto& box = platform.messages.boxes[0];
  EXPECT_EQ(box.title, "Kestrin - Load Image");
  EXPECT_EQ(box.style, vbOKOnly);
  EXPECT_EQ(box.text,
            "Function: Unlock Flash\r\nError Code:  1500\r\nSource: Send Command\r\nNo Response from Programmer\r\n"
            "\r\nTried: COM1 (/dev/ttyUSB0), address " + std::to_string(CurrentAddress) + "\r\n"
            "Check that the programmer is powered, set to this address and connected to /dev/ttyUSB0.");
}

TEST_F(LinkTest, ClearErrorEmptiesTheRecord) {
  EXPECT_FALSE(UnlockFlash());
  ErrorTitle = "Something";
  ClearError();
  EXPECT_EQ(LastErrorNumber, 0);
  EXPECT_EQ(LastFunction, "");
  EXPECT_EQ(ErrorTitle, "");
  EXPECT_EQ(LastErrorText, "");
  EXPECT_FALSE(ErrorPending());
}

}  // namespace

// ---- A line that goes and comes back ----

class LineLossTest : public LinkTest {
 protected:
  // The port closed under the program, as the port does when its device goes.
  void PortVanishes() {
    platform.port.open = false;
    platform.port.vanished = true;
  }
  // The programmer at address 3 is the selected one.
  void SelectAddress3() {
    ProgCount = 1;
    SelectedProgrammer = 1;
    ProgrammerTable[1].Address = 3;
  }
};

TEST_F(LineLossTest, VanishedPortIsOpenedAgainBeforeTheNextCommandStarts) {
  AnswerOk({5, 2});
  PortVanishes();
  std::string revision;
  ASSERT_TRUE(FwRev(revision)) << LastErrorText;
  EXPECT_EQ(revision, "2.005");
  EXPECT_TRUE(platform.port.open);
  EXPECT_EQ(platform.port.opens, 1);
  EXPECT_EQ(SentPayloads(), std::vector<Bytes>{{0x00}});   // sent once, after the reopening
}

TEST_F(LineLossTest, PortClosedOnPurposeIsNotOpenedByACommand) {
  AnswerOk({5, 2});
  platform.port.open = false;
  std::string revision;
  EXPECT_FALSE(FwRev(revision));
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  EXPECT_EQ(platform.port.opens, 0);
}

TEST_F(LineLossTest, PortThatStaysGoneFailsWithoutSendingAndSaysWhy) {
  AnswerOk({5, 2});
  PortVanishes();
  platform.port.failOpen = true;
  platform.port.openErrorText = "No such file or directory (/dev/ttyUSB0)";
  std::string revision;
  EXPECT_FALSE(FwRev(revision));
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  EXPECT_EQ(LastFunction, "FwRev");
  EXPECT_NE(LastErrorTried.find("reopening"), std::string::npos) << LastErrorTried;
  EXPECT_NE(LastErrorTried.find("No such file or directory"), std::string::npos) << LastErrorTried;
  EXPECT_TRUE(platform.port.writes.empty());
  EXPECT_EQ(platform.events.ticks, 0);   // no time-out waited for a port that is not there
  EXPECT_EQ(LineLostText.rfind("Line lost: ", 0), 0u) << LineLostText;
  // Still gone for the next command, which tries again.
  platform.port.failOpen = false;
  ASSERT_TRUE(FwRev(revision));
  EXPECT_EQ(platform.port.opens, 1);
}

TEST_F(LineLossTest, PortVanishingInsideATransferIsNotOpenedAgainUntilTheNextCommand) {
  int blocks = 0;
  Answer([&](const Bytes& p) {
    if (p[0] == 0x7F) return Bytes{0xFF, 0};
    if (p[0] == 0x00) return Bytes{0x80, 0, 5, 2};
    if (++blocks == 1) PortVanishes();   // gone right after the first block's reply
    Bytes r{0x82, 0};
    r.resize(2 + 256, 0x11);
    return r;
  });
  Bytes data(512, 0);
  EXPECT_FALSE(ReadFlash(0, 512, data.data(), false));
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  EXPECT_EQ(blocks, 1);                    // the second block was never sent again on a reopened port
  EXPECT_EQ(platform.port.opens, 0);
  EXPECT_FALSE(platform.port.open);
  std::string revision;
  ASSERT_TRUE(FwRev(revision));            // the next command starts on the reopened port
  EXPECT_EQ(platform.port.opens, 1);
}

struct SilenceCase {
  const char* name;
  uint8_t asked;         // address the command goes to
  bool selected;         // address 3 is the selected programmer
  bool expected;         // the silence is expected (firmware being rewritten)
  bool lost;
};

class SilenceTest : public LineLossTest, public ::testing::WithParamInterface<SilenceCase> {};

TEST_P(SilenceTest, OnlyTheSelectedProgrammersUnexpectedSilenceLosesTheLine) {
  const SilenceCase& c = GetParam();
  if (c.selected) SelectAddress3();
  CurrentAddress = c.asked;
  Answer([](const Bytes&) { return Bytes{}; });
  {
    std::unique_ptr<SilenceExpected> silence;
    if (c.expected) silence = std::make_unique<SilenceExpected>();
    std::string revision;
    EXPECT_FALSE(FwRev(revision));
  }
  EXPECT_EQ(!LineLostText.empty(), c.lost) << LineLostText;
  EXPECT_EQ(platform.window.lineState, LineLostText);
}

INSTANTIATE_TEST_SUITE_P(Cases, SilenceTest,
                         ::testing::Values(SilenceCase{"SelectedProgrammer", 3, true, false, true},
                                           SilenceCase{"AnotherAddress", 4, true, false, false},
                                           SilenceCase{"NoneSelected", 3, false, false, false},
                                           SilenceCase{"RewritingFirmware", 3, true, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LineLossTest, AnAnswerAfterTheLossSaysTheLineIsBackAndAScanClearsIt) {
  SelectAddress3();
  bool silent = true;
  Answer([&](const Bytes& p) { return silent ? Bytes{} : Bytes{static_cast<uint8_t>(p[0] + 0x80), 0, 5, 2}; });
  std::string revision;
  EXPECT_FALSE(FwRev(revision));
  EXPECT_EQ(LineLostText.rfind("Line lost: ", 0), 0u) << LineLostText;
  silent = false;
  ASSERT_TRUE(FwRev(revision));
  EXPECT_EQ(LineLostText.rfind("Line back on ", 0), 0u) << LineLostText;
  EXPECT_EQ(platform.window.lineState, LineLostText);
  NoteLineBack();
  EXPECT_EQ(LineLostText, "");
  EXPECT_EQ(platform.window.lineState, "");
}
