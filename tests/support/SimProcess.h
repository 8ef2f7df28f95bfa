// Runs the vrx-sim program on a pseudo-terminal for the length of a test.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class SimProcess {
 public:
  // Starts vrx-sim with the options and waits until its line is ready.
  explicit SimProcess(const std::vector<std::string>& options);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool ready() const { return ready_; }
  const std::string& linkPath() const { return link_; }
  const std::string& logPath() const { return log_; }
  // Ends the simulator at once, as a device that vanishes from the line.
  void kill();
  // Starts it again with the same options on the same link path, as a line
  // that comes back (the frame log starts afresh); false when it is not ready.
  bool restart();
  // Frames the simulator received: each line "<ms> <address> <payload hex>".
  std::vector<std::string> loggedFrames() const;

 private:
  std::string dir_;
  std::string link_;
  std::string log_;
  std::vector<std::string> args_;
  pid_t pid_ = -1;
  bool ready_ = false;
  void Start();
};

// Where the built programs are.
std::string SimProgramPath();
