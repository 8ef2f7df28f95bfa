#include "cli/CliJson.h"

#include <QJsonDocument>
#include <cstdio>

#include "operations/RunLog.h"
#include "state/ErrorState.h"

RunTimes::RunTimes() : start_(QDateTime::currentDateTimeUtc()) { timer_.start(); }

void RunTimes::Stamp(QJsonObject& document) const {
  const qint64 ms = timer_.elapsed();
  document["start"] = start_.toString(Qt::ISODateWithMs);
  document["end"] = start_.addMSecs(ms).toString(Qt::ISODateWithMs);
  document["durationMs"] = ms;
}

QString JsonText(const std::string& text) {
  // Names read from a programmer are one byte a character, not always UTF-8.
  const QString utf8 = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (!utf8.contains(QChar::ReplacementCharacter)) return utf8;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QJsonValue JsonLastError() {
  if (LastErrorNumber == 0) return QJsonValue::Null;
  QJsonObject error;
  error["number"] = LastErrorNumber;
  error["source"] = JsonText(LastErrorSource);
  error["description"] = JsonText(LastErrorText);
  error["function"] = JsonText(LastFunction);
  return error;
}

int PrintJsonDocument(QJsonObject document, int exitCode) {
  document["exitCode"] = exitCode;
  document["ok"] = exitCode == 0;
  // Whether the command's run log records were written.
  if (RunLogTried) {
    QJsonObject runLog;
    runLog["written"] = RunLogLost.empty();
    if (!RunLogLost.empty()) runLog["error"] = JsonText(RunLogLost);
    document["runLog"] = runLog;
  }
  const QByteArray text = QJsonDocument(document).toJson(QJsonDocument::Indented);
  std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
  std::fflush(stdout);
  return exitCode;
}
