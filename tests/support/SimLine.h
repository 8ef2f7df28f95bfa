// The in-process simulated line behind a fake serial port: frames written to
// the port reach the units at the port's line speed, replies come back on the
// event loop's next turn.
#pragma once

#include "sim/Line.h"
#include "tests/support/FakePlatform.h"

inline void ConnectSimLine(FakeSerialPort& port, vrxsim::Line& line) {
  auto baudOf = [](const std::string& settings) { return settings.rfind("115200", 0) == 0 ? 115200 : 38400; };
  port.Peer = [&line, &port, baudOf](const std::vector<uint8_t>& written, const std::string& settings) {
    line.setBaud(baudOf(settings));
    line.receive(written.data(), written.size(), port.nowMs);
    return line.takeOutput(port.nowMs);
  };
  port.Poll = [&line](double nowMs) { return line.takeOutput(nowMs); };
}
