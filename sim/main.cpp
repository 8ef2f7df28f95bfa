// vrx-sim: a line of simulated VRX programmers on a pseudo-terminal.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "KestrinVersion.h"
#include "sim/CommandLine.h"
#include "sim/Line.h"
#include "sim/LineServer.h"
#include "sim/Pty.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) { gStop = 1; }

void MakeDirs(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
      throw std::runtime_error("cannot create " + part + ": " + std::strerror(errno));
    if (slash == std::string::npos) break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vrxsim;
  SimOptions options;
  std::string error;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--version") {
      std::printf("vrx-sim %s\n", KESTRIN_VERSION);
      return 0;
    }
  }
  if (!ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "vrx-sim: %s\nTry 'vrx-sim --help'.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }

  // Signals are taken only while the server waits, so nothing is cut short.
  sigset_t stopSignals, waitMask;
  sigemptyset(&stopSignals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, s);
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigdelset(&waitMask, s);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  Line line;
  std::FILE* log = nullptr;
  Pty pty;
  try {
    if (!options.stateDir.empty()) MakeDirs(options.stateDir);
    for (size_t i = 0; i < options.units.size(); ++i) {
      std::string file;
      if (!options.stateDir.empty()) file = options.stateDir + "/unit" + std::to_string(i + 1) + ".flash";
      line.addUnit(options.units[i], file);
    }
    for (const FaultConfig& f : options.faults) line.addFault(f);
    if (!options.logFile.empty()) {
      log = std::fopen(options.logFile.c_str(), "w");
      if (!log) throw std::runtime_error("cannot write " + options.logFile + ": " + std::strerror(errno));
    }
    pty = OpenPty();
    PlaceLink(pty.slavePath, options.link);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vrx-sim: %s\n", e.what());
    ClosePty(pty);
    return 1;
  }
  line.setBaudSource([&pty] { return LineBaud(pty.master); });

  LineServer server(line, pty.master, options.lineRate, log);
  std::printf("vrx-sim ready %s\n", pty.slavePath.c_str());
  std::fflush(stdout);
  server.run(gStop, waitMask);

  line.advance(server.nowMs());  // runs that finished reach the flash files
  RemoveLink(options.link, pty.slavePath);
  ClosePty(pty);
  if (log) std::fclose(log);
  return 0;
}
