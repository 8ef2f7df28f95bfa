#include "sim/LineServer.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

#include "sim/Pty.h"

namespace vrxsim {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Bytes nobody reads (the PC closed the port and the buffer filled up) are
// dropped after this long, as a line without a listener loses them.
constexpr double kStaleOutputMs = 2000;

long long MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// 8 data bits, no parity, 1 stop bit: ten bit times per byte.
double ByteMs(int baud) { return baud > 0 ? 10000.0 / baud : 0.0; }

}  // namespace

LineServer::LineServer(Line& line, int masterFd, bool lineRate, std::FILE* log)
    : line_(line), fd_(masterFd), lineRate_(lineRate), log_(log), startNs_(MonotonicNs()) {
#ifdef __linux__
  // Wake-ups as close to the due time as the kernel can make them.
  if (lineRate_) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

double LineServer::nowMs() const { return double(MonotonicNs() - startNs_) / 1e6; }

void LineServer::run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask) {
  while (!stop) {
    double now = nowMs();
    collectOutput(now);
    writeDue(now);

    double wake = nextWakeMs(now);
    timespec timeout{};
    timespec* timeoutPtr = nullptr;
    if (wake != kInf) {
      double ms = std::max(0.0, wake - nowMs());
      timeout.tv_sec = time_t(ms / 1000);
      timeout.tv_nsec = long(std::fmod(ms, 1000.0) * 1e6);
      timeoutPtr = &timeout;
    }
    pollfd pfd{fd_, short(POLLIN | (blocked_ ? POLLOUT : 0)), 0};
    int n = ppoll(&pfd, 1, timeoutPtr, &waitMask);
    if (n < 0) continue;  // a signal; the loop condition decides
    if (pfd.revents & POLLIN) {
      readInput();
    } else if (pfd.revents & (POLLHUP | POLLERR)) {
      // Should not happen while the slave is held open; do not spin if it does.
      usleep(10000);
    }
  }
}

void LineServer::readInput() {
  uint8_t buf[4096];
  ssize_t n = read(fd_, buf, sizeof buf);
  if (n <= 0) return;
  double now = nowMs();
  if (lineRate_) {
    // Each byte arrives one byte time after the previous one, at the earliest.
    double byteMs = ByteMs(LineBaud(fd_));
    for (ssize_t i = 0; i < n; ++i) {
      lastArrival_ = std::max(now, lastArrival_) + byteMs;
      line_.receive(&buf[i], 1, lastArrival_);
    }
  } else {
    line_.receive(buf, size_t(n), now);
  }
  writeLog();
}

void LineServer::collectOutput(double now) {
  if (!line_.hasOutput()) return;
  if (!lineRate_) {
    std::vector<uint8_t> bytes = line_.takeOutput(now);
    outBytes_.insert(outBytes_.end(), bytes.begin(), bytes.end());
    outDue_.insert(outDue_.end(), bytes.size(), now);
    return;
  }
  // Replies are scheduled as soon as they exist, each byte on the wire
  // after the one before it.
  double byteMs = ByteMs(line_.baud());
  while (line_.hasOutput()) {
    double ready = line_.nextOutputMs();
    for (uint8_t b : line_.takeOutput(ready)) {
      lastOutDue_ = std::max(ready, lastOutDue_) + byteMs;
      outBytes_.push_back(b);
      outDue_.push_back(lastOutDue_);
    }
  }
}

void LineServer::writeDue(double now) {
  size_t end = outHead_;
  while (end < outBytes_.size() && outDue_[end] <= now) ++end;
  if (end > outHead_) {
    ssize_t w = write(fd_, &outBytes_[outHead_], end - outHead_);
    if (w > 0) outHead_ += size_t(w);
    blocked_ = outHead_ < end;
  }
  if (blocked_ && outHead_ < outBytes_.size() && now - outDue_[outHead_] > kStaleOutputMs) {
    outHead_ = outBytes_.size();
    blocked_ = false;
  }
  if (outHead_ == outBytes_.size()) {
    outBytes_.clear();
    outDue_.clear();
    outHead_ = 0;
  }
}

double LineServer::nextWakeMs(double now) const {
  double wake = kInf;
  if (outHead_ < outBytes_.size()) wake = blocked_ ? now + 20 : outDue_[outHead_];
  if (line_.hasOutput()) wake = std::min(wake, line_.nextOutputMs());
  return wake;
}

void LineServer::writeLog() {
  if (log_) {
    for (const LoggedFrame& f : line_.log()) {
      std::fprintf(log_, "%.3f %d", f.timeMs, f.address);
      for (uint8_t b : f.payload) std::fprintf(log_, " %02X", b);
      std::fputc('\n', log_);
      std::fflush(log_);
    }
  }
  line_.clearLog();
}

}  // namespace vrxsim
