#include "tests/support/SimProcess.h"

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

std::string SimProgramPath() { return VRX_SIM_PATH; }

SimProcess::SimProcess(const std::vector<std::string>& options) {
  char pattern[] = "/tmp/vrx-test-XXXXXX";
  dir_ = mkdtemp(pattern);
  link_ = dir_ + "/line";
  log_ = dir_ + "/frames.log";

  args_ = {SimProgramPath(), "--link", link_, "--log", log_};
  args_.insert(args_.end(), options.begin(), options.end());
  Start();
}

bool SimProcess::restart() {
  kill();
  Start();
  return ready_;
}

void SimProcess::Start() {
  ready_ = false;
  std::vector<std::string> args = args_;
  int out[2];
  if (pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);

  // Wait for the ready line, at most ten seconds.
  std::string text;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < giveUp) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  ready_ = text.rfind("vrx-sim ready", 0) == 0;
}

void SimProcess::kill() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

SimProcess::~SimProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::vector<std::string> SimProcess::loggedFrames() const {
  std::vector<std::string> lines;
  std::ifstream file(log_);
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}
