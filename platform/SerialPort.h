// The serial port as the program uses it: one port at a time, chosen by number
// (1..16), with the line settings given as "38400,n,8,1" or "115200,n,8,1".
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual void SetCommPort(int portNumber) = 0;
  virtual int CommPort() const = 0;
  // The device behind the chosen port number ("/dev/ttyUSB0"); "" when none.
  virtual std::string PortPath() const { return ""; }
  virtual void SetSettings(const std::string& settings) = 0;
  // Opens the port; on failure fills the port's own error number and text.
  virtual bool Open(int32_t& errorNumber, std::string& errorText) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // The port was closed under the program (the device vanished), not by
  // Close(); Open() or Close() ends it.
  virtual bool Vanished() const { return false; }
  virtual void SetRThreshold(int bytes) = 0;
  // One write per frame.
  virtual void Write(const uint8_t* data, size_t count) = 0;
  // Reads and so removes every byte waiting in the receive queue.
  virtual std::vector<uint8_t> ReadAll() = 0;

  // The receive event: called when bytes have arrived.
  std::function<void()> OnReceive;
};
