#include "platform/QtSettingsStore.h"

namespace {
QString KeyPath(const std::string& section, const std::string& key) {
  return QString::fromStdString(section) + "/" + QString::fromStdString(key);
}
}  // namespace

QtSettingsStore::QtSettingsStore()
    : settings_(QSettings::IniFormat, QSettings::UserScope, "Kestrin", "Kestrin") {}

std::string QtSettingsStore::GetSetting(const std::string& section, const std::string& key,
                                        const std::string& defaultValue) {
  return settings_.value(KeyPath(section, key), QString::fromStdString(defaultValue)).toString().toStdString();
}

void QtSettingsStore::SaveSetting(const std::string& section, const std::string& key, const std::string& value) {
  settings_.setValue(KeyPath(section, key), QString::fromStdString(value));
  settings_.sync();
}
