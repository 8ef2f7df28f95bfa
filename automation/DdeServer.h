// The automation channel: command strings and replies over a local socket,
// one request line at a time, in arrival order, on the user-interface thread.
//   EXECUTE DDELink <command string>   runs the command, answers DDEStatus
//   REQUEST DDELink DDEStatus          answers DDEStatus
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <deque>
#include <string>

class QLocalSocket;
class DdeLink;

class DdeServer : public QObject {
  Q_OBJECT
 public:
  // Listens as NAME in the user's private socket folder; refused, never
  // taken over, when another running program answers on that name.
  DdeServer(DdeLink& link, const QString& name);
  ~DdeServer() override;

  bool Listening() const { return server_.isListening(); }
  QString ErrorText() const { return error_.isEmpty() ? server_.errorString() : error_; }
  // The socket's full path ("" when the name gives none).
  QString SocketPath() const { return path_; }

  // The answer to one request line (without its line end).
  std::string Answer(const std::string& line);

  static constexpr size_t MaxLine = 64 * 1024;

 private:
  void Accept();
  void Read(QLocalSocket* socket);
  void ServeQueue();
  void Listen(const QString& name);

  DdeLink& link_;
  QLocalServer server_;
  QString path_;
  QString error_;
  struct Request {
    QPointer<QLocalSocket> client;
    std::string line;
  };
  std::deque<Request> queue_;
  bool serving_ = false;
  int lineObserver_ = 0;
};
