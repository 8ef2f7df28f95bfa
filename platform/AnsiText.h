// Texts of the program are one byte a character (the system's ANSI code
// page, Latin-1 here); the windows show them as Qt strings.
#pragma once

#include <QString>
#include <string>

inline QString FromAnsi(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}
inline std::string ToAnsi(const QString& text) { return text.toLatin1().toStdString(); }
