#include "cli/ConsoleMainWindow.h"

#include <cstdio>

void ConsoleMainWindow::SetProgressVisible(bool visible) {
  if (verbose_ && progressVisible_ && !visible) std::fputs("\n", stderr);
  progressVisible_ = visible;
  progress_ = -1;
}

void ConsoleMainWindow::SetProgressValue(int percent) {
  if (!verbose_ || !progressVisible_ || percent == progress_) return;
  progress_ = percent;
  std::fprintf(stderr, "\r%3d%%", percent);
  std::fflush(stderr);
}

void ConsoleMainWindow::SetStatusPanel(const std::string& key, const std::string& text) {
  if (key != "Status") return;
  status_ = text;
  if (verbose_ && !text.empty()) std::fprintf(stderr, "%s\n", text.c_str());
}
