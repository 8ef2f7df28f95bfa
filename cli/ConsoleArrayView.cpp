#include "cli/ConsoleArrayView.h"

#include <cstdio>

void ConsoleArrayView::SetPortStatus(int panel, int port, const std::string& caption, int64_t backColor,
                                     int64_t foreColor) {
  if (caption == captions_[panel][port]) return;
  captions_[panel][port] = caption;
  if (quiet_) return;
  std::printf("%d\t%d\t%s\n", runs_[panel].address, port + 1, caption.c_str());
  std::fflush(stdout);
}
