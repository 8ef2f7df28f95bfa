#include "platform/PortMap.h"

#include <QSerialPortInfo>
#include <algorithm>

#include "platform/SettingsStore.h"

bool PortMap::Parse(const std::string& text, std::map<int, std::string>& out, std::string& error) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    if (!item.empty()) {
      const size_t eq = item.find('=');
      int port = 0;
      try {
        size_t used = 0;
        port = eq == std::string::npos ? 0 : std::stoi(item.substr(0, eq), &used);
        if (used != eq) port = 0;
      } catch (...) {
        port = 0;
      }
      if (port < 1 || port > MaxPort || eq + 1 >= item.size()) {
        error = "bad port map entry \"" + item + "\" (expected N=PATH with N from 1 to 16)";
        return false;
      }
      out[port] = item.substr(eq + 1);
    }
    start = end + 1;
  }
  return true;
}

std::vector<std::string> PortMap::SystemPorts() const {
  std::vector<std::string> locations;
  if (!useSystemPorts_) return locations;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    locations.push_back(info.systemLocation().toStdString());
  }
  std::sort(locations.begin(), locations.end());
  return locations;
}

std::string PortMap::Resolve(int port, const std::vector<std::string>* system) const {
  if (port < 1 || port > MaxPort) return "";
  if (auto it = overrides_.find(port); it != overrides_.end()) return it->second;
  if (settings_) {
    std::string path = settings_->GetSetting("Ports", "COM" + std::to_string(port), "");
    if (!path.empty()) return path;
  }
  if (!system) return "";
  return static_cast<size_t>(port) <= system->size() ? (*system)[port - 1] : "";
}

std::string PortMap::DevicePath(int port) const {
  std::string path = Resolve(port, nullptr);
  if (!path.empty()) return path;
  const std::vector<std::string> system = SystemPorts();
  return Resolve(port, &system);
}

std::vector<int> PortMap::PortNumbers() const {
  const std::vector<std::string> system = SystemPorts();
  std::vector<int> numbers;
  for (int port = 1; port <= MaxPort; ++port) {
    if (!Resolve(port, &system).empty()) numbers.push_back(port);
  }
  return numbers;
}
