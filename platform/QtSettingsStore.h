// The settings store as an INI file under the organisation and application "Kestrin".
#pragma once

#include <QSettings>

#include "platform/SettingsStore.h"

class QtSettingsStore : public SettingsStore {
 public:
  QtSettingsStore();
  std::string GetSetting(const std::string& section, const std::string& key,
                         const std::string& defaultValue) override;
  void SaveSetting(const std::string& section, const std::string& key, const std::string& value) override;

 private:
  QSettings settings_;
};
