// One serial line with its units. Bytes from the PC go in with the time
// they arrived; a frame is handled when its closing ESC 'E' arrives, and
// every unit at the frame's address that listens at the line's speed answers.
// Replies come out when due (the frame's time plus any injected delay).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/Config.h"
#include "sim/Faults.h"
#include "sim/Frame.h"
#include "sim/Unit.h"

namespace vrxsim {

struct LoggedFrame {
  int address;
  std::vector<uint8_t> payload;
  double timeMs;
  int lineBaud;
};

class Line {
 public:
  Unit& addUnit(const UnitConfig& config, const std::string& flashFile = "");
  void addFault(const FaultConfig& fault) { faults_.add(fault); }
  // Removes every fault and brings a cut line back, as after power returns.
  void restore() {
    faults_.clear();
    cut_ = false;
  }
  bool isCut() const { return cut_; }

  // The PC's current line speed.
  void setBaud(int baud) { baud_ = baud; }
  int baud() const { return baud_; }
  // When set, asked for the line speed each time a frame completes.
  void setBaudSource(std::function<int()> source) { baudSource_ = std::move(source); }

  void receive(const uint8_t* data, size_t n, double nowMs);
  bool hasOutput() const { return !output_.empty(); }
  double nextOutputMs() const;                    // +infinity when nothing is queued
  std::vector<uint8_t> takeOutput(double nowMs);  // all reply bytes due by nowMs, in order

  // Every complete frame received, whoever answered.
  const std::vector<LoggedFrame>& log() const { return log_; }
  void clearLog() { log_.clear(); }

  size_t unitCount() const { return units_.size(); }
  Unit& unit(size_t index) { return *units_.at(index); }
  // Lets every unit apply what happened by nowMs (finished runs, restarts).
  void advance(double nowMs);

 private:
  struct Pending {
    double dueMs;
    std::vector<uint8_t> bytes;
  };

  void dispatch(double nowMs);
  void queueReply(uint8_t address, int commandCode, std::vector<uint8_t> payload, double nowMs);

  std::vector<std::unique_ptr<Unit>> units_;
  FaultInjector faults_;
  FrameDecoder decoder_;
  int baud_ = 115200;
  std::function<int()> baudSource_;
  bool cut_ = false;
  std::vector<Pending> output_;  // ordered by due time, equal times in queueing order
  std::vector<LoggedFrame> log_;
};

}  // namespace vrxsim
