#include "automation/DdeServer.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "automation/DdeLink.h"
#include "automation/DdeSocket.h"
#include "state/LineGuard.h"

namespace {
const char* const PartialLine = "kestrinPartialLine";
const std::string Execute = "EXECUTE DDELink ";
const std::string RequestStatus = "REQUEST DDELink DDEStatus";
}  // namespace

DdeServer::DdeServer(DdeLink& link, const QString& name) : link_(link) {
  Listen(name);
  connect(&server_, &QLocalServer::newConnection, this, &DdeServer::Accept);
  // Requests that waited for another operation are served once it is over,
  // from the event loop rather than from inside that operation's last step.
  lineObserver_ = AddLineObserver([this](bool busy) {
    if (!busy && !queue_.empty()) QTimer::singleShot(0, this, &DdeServer::ServeQueue);
  });
}

DdeServer::~DdeServer() {
  RemoveLineObserver(lineObserver_);
  server_.close();
}

void DdeServer::Listen(const QString& name) {
  std::string error;
  const std::string path = DdeSocketPath(name.toStdString(), error);
  if (path.empty()) {
    error_ = QString::fromStdString(error);
    return;
  }
  path_ = QString::fromStdString(path);
  // Two instances starting together take turns at the check and the listen;
  // one lock for the folder, so no lock file is left behind per name.
  const QString lockPath = QFileInfo(path_).absolutePath() + QStringLiteral("/.kestrin-dde.lock");
  const int lock = ::open(lockPath.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
    error_ = QStringLiteral("cannot lock %1: %2").arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
    if (lock >= 0) ::close(lock);
    return;
  }
  if (QFile::exists(path_) || QFileInfo(path_).isSymLink()) {
    QLocalSocket probe;
    probe.connectToServer(path_);
    const bool answered = probe.waitForConnected(1000);
    const auto why = probe.error();
    const QString whyText = probe.errorString();
    probe.abort();
    if (answered) {
      error_ = QStringLiteral("the name is in use by another running program (%1)").arg(path_);
      ::close(lock);
      return;
    }
    // Only a file nobody listens on is taken: a busy server is never removed.
    if (why != QLocalSocket::ConnectionRefusedError && why != QLocalSocket::ServerNotFoundError) {
      error_ = QStringLiteral("cannot tell whether the name is in use (%1): %2").arg(path_, whyText);
      ::close(lock);
      return;
    }
    QFile::remove(path_);   // nothing answers: left by a program that ended abruptly
  }
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.listen(path_);
  ::close(lock);
}

void DdeServer::Accept() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  }
}

void DdeServer::Read(QLocalSocket* socket) {
  QByteArray pending = socket->property(PartialLine).toByteArray() + socket->readAll();
  int end;
  while ((end = pending.indexOf('\n')) >= 0) {
    QByteArray line = pending.left(end);
    pending.remove(0, end + 1);
    if (line.endsWith('\r')) line.chop(1);
    if (static_cast<size_t>(line.size()) > MaxLine) {
      pending.clear();
      socket->write("ERROR request line longer than 64 KiB\r\n");
      socket->disconnectFromServer();
      return;
    }
    queue_.push_back({socket, line.toStdString()});
  }
  if (static_cast<size_t>(pending.size()) > MaxLine) {
    socket->setProperty(PartialLine, QByteArray());
    socket->write("ERROR request line longer than 64 KiB\r\n");
    socket->flush();
    socket->disconnectFromServer();
    return;
  }
  socket->setProperty(PartialLine, pending);
  ServeQueue();
}

void DdeServer::ServeQueue() {
  // A command pumps events while it waits for the programmer; requests that
  // arrive meanwhile, or while a window's operation holds the line, wait
  // their turn here instead of running inside it.
  if (serving_) return;
  serving_ = true;
  while (!queue_.empty() && !LineBusy()) {
    Request request = queue_.front();
    queue_.pop_front();
    if (!request.client) continue;   // its client has gone
    const std::string answer = Answer(request.line);
    if (request.client && request.client->state() == QLocalSocket::ConnectedState) {
      request.client->write(answer.data(), static_cast<qint64>(answer.size()));
      request.client->flush();
    }
  }
  serving_ = false;
}

std::string DdeServer::Answer(const std::string& line) {
  if (line.compare(0, Execute.size(), Execute) == 0) return link_.Execute(line.substr(Execute.size()));
  if (line == RequestStatus) return link_.DDEStatus;
  if (line.compare(0, 8, "EXECUTE ") == 0 || line.compare(0, 8, "REQUEST ") == 0) {
    return "ERROR unknown topic or item (the topic is DDELink, the item DDEStatus)\r\n";
  }
  return "ERROR unknown request (expected EXECUTE DDELink <command> or REQUEST DDELink DDEStatus)\r\n";
}
