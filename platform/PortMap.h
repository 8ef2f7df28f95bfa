// Serial port numbers 1..16 and the device paths behind them: the settings
// section "Ports" (key "COM<p>"), otherwise the system's serial ports in order
// of their location; a map given on the command line overrides both.
#pragma once

#include <map>
#include <string>
#include <vector>

class SettingsStore;

class PortMap {
 public:
  explicit PortMap(SettingsStore* settings) : settings_(settings) {}

  // "1=/dev/ttyUSB0,3=/tmp/vrx-line"
  static bool Parse(const std::string& text, std::map<int, std::string>& out, std::string& error);
  void SetOverrides(const std::map<int, std::string>& overrides) { overrides_ = overrides; }
  // Whether ports without a mapping fall back to the system's serial ports.
  void SetUseSystemPorts(bool use) { useSystemPorts_ = use; }

  // The device path behind a port number, "" when there is none.
  std::string DevicePath(int port) const;
  // Port numbers that have a device path, ascending.
  std::vector<int> PortNumbers() const;

  static constexpr int MaxPort = 16;

 private:
  std::vector<std::string> SystemPorts() const;
  // Overrides, then settings, then the system's list when given.
  std::string Resolve(int port, const std::vector<std::string>* system) const;
  SettingsStore* settings_;
  std::map<int, std::string> overrides_;
  bool useSystemPorts_ = true;
};
