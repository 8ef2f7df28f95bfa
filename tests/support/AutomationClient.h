// A client of the automation channel for tests: one local socket, request
// lines out, answers (without CR LF) back, the event loop running meanwhile.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <string>

#include "automation/DdeSocket.h"

class AutomationClient {
 public:
  // Connects to the automation interface NAME where the program puts it.
  explicit AutomationClient(const QString& name) {
    std::string error;
    socket.connectToServer(QString::fromStdString(DdeSocketPath(name.toStdString(), error)));
  }
  bool Connected() { return socket.waitForConnected(2000) || socket.state() == QLocalSocket::ConnectedState; }
  // Sends one request line without waiting for its answer.
  void Send(const std::string& line) {
    socket.write((line + "\n").c_str());
    socket.flush();
  }
  // Sends one request line and waits for its answer; "" when none came.
  std::string Ask(const std::string& line) {
    Send(line);
    return Answer();
  }
  // Waits for the next answer; "" when none came.
  std::string Answer() {
    QElapsedTimer guard;   // only against a hang; nothing is timed
    guard.start();
    while (!buffer.contains("\r\n") && guard.elapsed() < 120000 && socket.state() == QLocalSocket::ConnectedState) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      buffer += socket.readAll();
    }
    buffer += socket.readAll();
    const int end = buffer.indexOf("\r\n");
    if (end < 0) return "";
    const std::string answer = buffer.left(end).toStdString();
    buffer.remove(0, end + 2);
    return answer;
  }
  QLocalSocket socket;
  QByteArray buffer;
};
