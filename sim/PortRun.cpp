#include "sim/PortRun.h"

#include <cstddef>
#include <limits>

namespace vrxsim {

PortRun::PortRun(RunKind kind, int slot, double startMs, const std::array<PortPlan, 4>& plans)
    : kind_(kind), slot_(slot), startMs_(startMs), plans_(plans),
      cancelMs_(std::numeric_limits<double>::infinity()) {}

double PortRun::finishMs(int port) const {
  const PortPlan& p = plans_[port];
  if (!p.active || p.stepMs <= 0) return startMs_;
  return startMs_ + double(p.steps.size()) * p.stepMs;
}

bool PortRun::cancelled(int port) const {
  return plans_[port].active && finishMs(port) > cancelMs_;
}

uint8_t PortRun::status(int port, double nowMs) const {
  const PortPlan& p = plans_[port];
  if (!p.active) return p.idleCode;
  if (cancelled(port) && nowMs >= cancelMs_) return kDisabled;
  if (nowMs >= finishMs(port) || p.steps.empty()) return p.result;
  double elapsed = nowMs > startMs_ ? nowMs - startMs_ : 0.0;
  size_t step = size_t(elapsed / p.stepMs);
  return p.steps[step < p.steps.size() ? step : p.steps.size() - 1];
}

bool PortRun::busy(double nowMs) const {
  for (int port = 0; port < 4; ++port) {
    if (!plans_[port].active) continue;
    if (nowMs < finishMs(port) && nowMs < cancelMs_) return true;
  }
  return false;
}

void PortRun::cancel(double nowMs) {
  if (nowMs < cancelMs_) cancelMs_ = nowMs;
}

}  // namespace vrxsim
