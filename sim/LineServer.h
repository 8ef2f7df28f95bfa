// Serves a Line on the master side of the pseudo-terminal: feeds the PC's
// bytes in, writes the replies out, and with line-rate pacing makes every
// byte take the time it would take on the wire, in both directions.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "sim/Line.h"

namespace vrxsim {

class LineServer {
 public:
  // log: where received frames are logged, or nullptr.
  LineServer(Line& line, int masterFd, bool lineRate, std::FILE* log);

  // Serves until `stop` becomes non-zero; the wait runs with `waitMask` as the
  // signal mask, so signals blocked elsewhere can end it.
  void run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask);
  // Milliseconds since the server was made, on the monotonic clock.
  double nowMs() const;

 private:
  void readInput();
  void collectOutput(double now);
  void writeDue(double now);
  void writeLog();
  double nextWakeMs(double now) const;

  Line& line_;
  int fd_;
  bool lineRate_;
  std::FILE* log_;
  long long startNs_;
  // Reply bytes waiting for their time on the wire.
  std::vector<uint8_t> outBytes_;
  std::vector<double> outDue_;
  size_t outHead_ = 0;
  bool blocked_ = false;    // the PC side is not taking bytes
  double lastOutDue_ = 0;   // wire time of the last reply byte scheduled
  double lastArrival_ = 0;  // wire time of the last PC byte
};

}  // namespace vrxsim
