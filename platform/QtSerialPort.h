// The serial port through Qt: port numbers resolved by the port map, the line
// settings applied to the device for real.
#pragma once

#include <QObject>
#include <QSerialPort>

#include "platform/SerialPort.h"

class PortMap;

class QtSerialPort : public QObject, public SerialPort {
  Q_OBJECT
 public:
  explicit QtSerialPort(const PortMap& map);

  void SetCommPort(int portNumber) override;
  int CommPort() const override { return commPort_; }
  std::string PortPath() const override;
  void SetSettings(const std::string& settings) override;
  bool Open(int32_t& errorNumber, std::string& errorText) override;
  void Close() override;
  bool IsOpen() const override;
  bool Vanished() const override { return vanished_; }
  void SetRThreshold(int bytes) override {}   // every arrival raises the receive event
  void Write(const uint8_t* data, size_t count) override;
  std::vector<uint8_t> ReadAll() override;

  // The device path of the port last opened (shown to the operator).
  std::string DevicePath() const { return devicePath_; }

  // Parses "38400,n,8,1"; false when the text is not a line setting.
  static bool ParseSettings(const std::string& text, qint32& baud, QSerialPort::Parity& parity,
                            QSerialPort::DataBits& dataBits, QSerialPort::StopBits& stopBits);

 private:
  bool ApplySettings();
  const PortMap& map_;
  QSerialPort port_;
  int commPort_ = 1;
  std::string settings_ = "38400,n,8,1";
  std::string devicePath_;
  bool vanished_ = false;
};
