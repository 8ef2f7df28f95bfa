// kestrin-dde: sends one command string to a running Kestrin's automation
// interface and prints the reply. Exit 0 for a success reply, 1 for a
// failure reply, 2 when there is no answer.
#include <QCoreApplication>
#include <QLocalSocket>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "KestrinVersion.h"
#include "automation/DdeSocket.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string name = "kestrin";
  std::string command;
  bool haveCommand = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--name") == 0 && i + 1 < argc) {
      name = argv[++i];
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("kestrin-dde %s\n", KESTRIN_VERSION);
      return 0;
    } else if (std::strcmp(argv[i], "--help") == 0) {
      std::puts("Usage: kestrin-dde [--name NAME] \"<command string>\"\n"
                "Sends the command to the Kestrin automation interface NAME (default kestrin)\n"
                "and prints the reply. Exit status: 0 success, 1 failure reply, 2 no answer.\n"
                "kestrin-dde --version prints the program's version.");
      return 0;
    } else if (!haveCommand) {
      command = argv[i];
      haveCommand = true;
    } else {
      std::fprintf(stderr, "kestrin-dde: one command string only (quote it)\n");
      return 2;
    }
  }
  if (!haveCommand) {
    std::fprintf(stderr, "Usage: kestrin-dde [--name NAME] \"<command string>\"\n");
    return 2;
  }

  std::string error;
  const std::string path = DdeSocketPath(name, error);
  if (path.empty()) {
    std::fprintf(stderr, "kestrin-dde: cannot connect to \"%s\": %s\n", name.c_str(), error.c_str());
    return 2;
  }
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(path));
  if (!socket.waitForConnected(3000)) {
    // No socket file, or one left behind by a Kestrin that has ended.
    const auto why = socket.error();
    if (why == QLocalSocket::ServerNotFoundError || why == QLocalSocket::ConnectionRefusedError) {
      std::fprintf(stderr,
                   "kestrin-dde: Kestrin is not running, or its automation interface \"%s\" is off "
                   "(DDE > Enable, or start kestrin --dde)\n",
                   name.c_str());
      return 2;
    }
    std::fprintf(stderr, "kestrin-dde: cannot connect to \"%s\": %s\n", name.c_str(),
                 socket.errorString().toLocal8Bit().constData());
    return 2;
  }
  // Nothing is sent to a server run by someone else.
  if (!PeerIsUser(static_cast<int>(socket.socketDescriptor()), ::getuid(), error)) {
    std::fprintf(stderr, "kestrin-dde: refusing \"%s\": %s\n", name.c_str(), error.c_str());
    return 2;
  }
  const std::string request = "EXECUTE DDELink " + command + "\n";
  socket.write(request.data(), static_cast<qint64>(request.size()));
  socket.flush();
  QByteArray reply;
  // Long operations (a scan, a download) answer when they are done.
  while (!reply.contains("\r\n")) {
    if (!socket.waitForReadyRead(600000)) break;
    reply += socket.readAll();
  }
  const int end = reply.indexOf("\r\n");
  if (end < 0) {
    std::fprintf(stderr, "kestrin-dde: no answer\n");
    return 2;
  }
  const std::string line = reply.left(end).toStdString();
  std::printf("%s\n", line.c_str());
  const size_t bar = line.find('|');
  const bool success = bar != std::string::npos && line.compare(bar + 1, 8, "Success|") == 0;
  return success ? 0 : 1;
}
