#include "cli/ConsoleProgramManager.h"

#include <cstdio>

#include "operations/PortStatus.h"

void ConsoleProgramManager::SetPortStatus(int port, const std::string& caption, int64_t backColor,
                                          int64_t foreColor) {
  failed_[port] = foreColor == ColorRed;
  if (caption == captions_[port]) return;
  captions_[port] = caption;
  if (caption.empty() || quiet_) return;
  std::printf("Port %d: %s\n", port + 1, caption.c_str());
  std::fflush(stdout);
}

bool ConsoleProgramManager::AnyPortFailed() const {
  for (bool f : failed_) {
    if (f) return true;
  }
  return false;
}
