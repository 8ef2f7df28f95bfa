#include "sim/Line.h"

#include <algorithm>
#include <limits>

namespace vrxsim {

Unit& Line::addUnit(const UnitConfig& config, const std::string& flashFile) {
  units_.push_back(std::make_unique<Unit>(config, flashFile));
  return *units_.back();
}

void Line::receive(const uint8_t* data, size_t n, double nowMs) {
  for (size_t i = 0; i < n; ++i)
    if (decoder_.feed(data[i])) dispatch(nowMs);
}

void Line::advance(double nowMs) {
  for (auto& u : units_) u->advance(nowMs);
}

void Line::dispatch(double nowMs) {
  if (baudSource_) baud_ = baudSource_();
  const uint8_t address = decoder_.address();
  const std::vector<uint8_t>& payload = decoder_.payload();
  log_.push_back({address, payload, nowMs, baud_});
  if (cut_) return;
  advance(nowMs);
  const int command = payload.empty() ? -1 : payload[0];
  for (auto& u : units_) {
    if (u->address() != address || !u->answersAt(baud_, nowMs)) continue;
    if (auto reply = u->handle(payload, nowMs)) queueReply(address, command, std::move(*reply), nowMs);
  }
}

void Line::queueReply(uint8_t address, int commandCode, std::vector<uint8_t> payload, double nowMs) {
  if (cut_) return;
  ReplyShape shape = faults_.apply(commandCode, payload, address);
  if (shape.cut) cut_ = true;
  if (shape.drop || shape.cut) return;
  Pending p{nowMs + shape.delayMs, ReplyBytes(address, payload, shape)};
  auto at = std::upper_bound(output_.begin(), output_.end(), p.dueMs,
                             [](double due, const Pending& q) { return due < q.dueMs; });
  output_.insert(at, std::move(p));
}

double Line::nextOutputMs() const {
  return output_.empty() ? std::numeric_limits<double>::infinity() : output_.front().dueMs;
}

std::vector<uint8_t> Line::takeOutput(double nowMs) {
  std::vector<uint8_t> out;
  auto end = output_.begin();
  for (; end != output_.end() && end->dueMs <= nowMs; ++end) out.insert(out.end(), end->bytes.begin(), end->bytes.end());
  output_.erase(output_.begin(), end);
  return out;
}

}  // namespace vrxsim
