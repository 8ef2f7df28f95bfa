// The --json form of kestrin-cli's commands: one JSON document on standard
// output, with the run's times in UTC.
#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <string>

// The start and end of a command as every JSON document carries them.
class RunTimes {
 public:
  RunTimes();
  // "start", "end" (ISO 8601 UTC, milliseconds) and "durationMs".
  void Stamp(QJsonObject& document) const;
  double Seconds() const { return static_cast<double>(timer_.elapsed()) / 1000.0; }

 private:
  QDateTime start_;
  QElapsedTimer timer_;
};

QString JsonText(const std::string& text);

// The last-error record as {"number", "source", "description", "function"}; null without one.
QJsonValue JsonLastError();

// Adds "exitCode", "ok" and, when the command wrote to the run log, "runLog"
// ({"written": false, "error": "FOLDER: REASON"} for a record lost), and
// prints the document indented, then a line end.
int PrintJsonDocument(QJsonObject document, int exitCode);
