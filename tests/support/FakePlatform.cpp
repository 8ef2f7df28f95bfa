#include "tests/support/FakePlatform.h"

#include "link/Frame.h"
#include "link/Transport.h"
#include "state/Bindings.h"
#include "tests/support/ProgramState.h"

bool FakeSerialPort::Open(int32_t& errorNumber, std::string& errorText) {
  if (failOpen) {
    errorNumber = openErrorNumber;
    errorText = openErrorText;
    return false;
  }
  open = true;
  vanished = false;
  ++opens;
  return true;
}

void FakeSerialPort::Write(const uint8_t* data, size_t count) {
  if (!open) return;
  writes.emplace_back(data, data + count);
  if (Peer) {
    for (uint8_t b : Peer(writes.back(), settings)) incoming.push_back(b);
  }
}

std::vector<uint8_t> FakeSerialPort::ReadAll() {
  std::vector<uint8_t> bytes(incoming.begin(), incoming.end());
  incoming.clear();
  return bytes;
}

bool FakeSerialPort::DeliverIncoming() {
  if (Poll) {
    for (uint8_t b : Poll(nowMs)) incoming.push_back(b);
  }
  if (incoming.empty()) return false;
  if (OnReceive) OnReceive();
  return true;
}

void FakeEventLoop::DoEvents() {
  if (OnTurn) OnTurn();
  if (port_.DeliverIncoming()) return;
  Timer1_Timer();
  ++ticks;
  port_.nowMs += 50;
  if (OnTick) OnTick();
}

FakePlatform::FakePlatform() {
  ResetProgramState();
  port.OnReceive = ReceiveBytes;
  MSComm1 = &port;
  Events = &events;
  Settings = &settings;
  MessageBox = &messages;
  frmMain = &window;
}

FakePlatform::~FakePlatform() {
  MSComm1 = nullptr;
  Events = nullptr;
  Settings = nullptr;
  MessageBox = nullptr;
  frmMain = nullptr;
}

std::vector<uint8_t> FramePayload(const std::vector<uint8_t>& frame, uint8_t* address) {
  if (frame.size() < 5 || frame[0] != 0x1B || frame[1] != 0x53 || frame[frame.size() - 2] != 0x1B ||
      frame.back() != 0x45) {
    return {};
  }
  if (address) *address = frame[2];
  std::vector<uint8_t> payload;
  for (size_t i = 3; i + 2 < frame.size(); ++i) {
    payload.push_back(frame[i]);
    if (frame[i] == 0x1B) ++i;   // the doubled ESC
  }
  return payload;
}

std::vector<uint8_t> ReplyFrame(uint8_t address, const std::vector<uint8_t>& payload) {
  return BuildFrame(address, payload.data(), payload.size());
}
