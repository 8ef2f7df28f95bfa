#include "platform/QtSerialPort.h"

#include "platform/PortMap.h"

#include <cstdio>

namespace {
// Error numbers of the port, as the program has always reported them.
constexpr int32_t ErrInvalidPort = 8002;
constexpr int32_t ErrPortInUse = 8005;
constexpr int32_t ErrPortUnavailable = 8010;
constexpr int32_t ErrPortSettings = 8015;
}  // namespace

QtSerialPort::QtSerialPort(const PortMap& map) : map_(map) {
  connect(&port_, &QSerialPort::readyRead, this, [this] {
    if (OnReceive) OnReceive();
  });
  // A device that vanishes (unplugged, simulator ended) closes the port; the
  // commands then time out instead of spinning on a dead descriptor.
  connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
    if (error == QSerialPort::ResourceError && port_.isOpen()) {
      port_.close();
      vanished_ = true;   // the next command may open it again once the device is back
    }
  });
}

void QtSerialPort::SetCommPort(int portNumber) { commPort_ = portNumber; }

std::string QtSerialPort::PortPath() const {
  // An open port keeps the device it was opened on; looking it up again may
  // list the system's ports.
  return port_.isOpen() ? devicePath_ : map_.DevicePath(commPort_);
}

bool QtSerialPort::ParseSettings(const std::string& text, qint32& baud, QSerialPort::Parity& parity,
                                 QSerialPort::DataBits& dataBits, QSerialPort::StopBits& stopBits) {
  int rate = 0, bits = 0, stop = 0;
  char parityLetter = 0;
  if (std::sscanf(text.c_str(), "%d,%c,%d,%d", &rate, &parityLetter, &bits, &stop) != 4) return false;
  if (rate <= 0 || bits < 5 || bits > 8 || (stop != 1 && stop != 2)) return false;
  switch (parityLetter) {
    case 'n': case 'N': parity = QSerialPort::NoParity; break;
    case 'e': case 'E': parity = QSerialPort::EvenParity; break;
    case 'o': case 'O': parity = QSerialPort::OddParity; break;
    case 'm': case 'M': parity = QSerialPort::MarkParity; break;
    case 's': case 'S': parity = QSerialPort::SpaceParity; break;
    default: return false;
  }
  baud = rate;
  dataBits = static_cast<QSerialPort::DataBits>(bits);
  stopBits = stop == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop;
  return true;
}

void QtSerialPort::SetSettings(const std::string& settings) {
  settings_ = settings;
  if (port_.isOpen()) ApplySettings();
}

bool QtSerialPort::ApplySettings() {
  qint32 baud;
  QSerialPort::Parity parity;
  QSerialPort::DataBits dataBits;
  QSerialPort::StopBits stopBits;
  if (!ParseSettings(settings_, baud, parity, dataBits, stopBits)) return false;
  port_.setBaudRate(baud);
  port_.setParity(parity);
  port_.setDataBits(dataBits);
  port_.setStopBits(stopBits);
  port_.setFlowControl(QSerialPort::NoFlowControl);
  return true;
}

bool QtSerialPort::Open(int32_t& errorNumber, std::string& errorText) {
  if (port_.isOpen()) port_.close();
  devicePath_ = map_.DevicePath(commPort_);
  if (devicePath_.empty()) {
    errorNumber = ErrInvalidPort;
    errorText = "Invalid Port Number (no device for COM" + std::to_string(commPort_) + ")";
    return false;
  }
  port_.setPortName(QString::fromStdString(devicePath_));
  if (!port_.open(QIODevice::ReadWrite)) {
    switch (port_.error()) {
      case QSerialPort::DeviceNotFoundError: errorNumber = ErrInvalidPort; break;
      case QSerialPort::PermissionError:
      case QSerialPort::OpenError: errorNumber = ErrPortInUse; break;
      default: errorNumber = ErrPortUnavailable; break;
    }
    // The system's reason and the device, so the report says what to fix.
    std::string reason = port_.errorString().toStdString();
    if (reason.empty()) reason = "Cannot open the device";
    errorText = reason + " (" + devicePath_ + ")";
    return false;
  }
  if (!ApplySettings()) {
    port_.close();
    errorNumber = ErrPortSettings;
    errorText = "Invalid line settings \"" + settings_ + "\"";
    return false;
  }
  vanished_ = false;   // a failed open leaves it: the next command tries again
  return true;
}

void QtSerialPort::Close() {
  vanished_ = false;
  if (port_.isOpen()) port_.close();
}

bool QtSerialPort::IsOpen() const { return port_.isOpen(); }

void QtSerialPort::Write(const uint8_t* data, size_t count) {
  if (!port_.isOpen()) return;
  port_.write(reinterpret_cast<const char*>(data), static_cast<qint64>(count));
  port_.flush();   // out now, in one write, not at the next turn of the event loop
}

std::vector<uint8_t> QtSerialPort::ReadAll() {
  if (!port_.isOpen()) return {};
  const QByteArray bytes = port_.readAll();
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}
