#include "ui/WindowPlacement.h"

#include <algorithm>

QRect FitToScreen(const QRect& window, const QRect& available) {
  if (available.isEmpty()) return window;
  const int width = std::clamp(window.width(), 1, available.width());
  const int height = std::clamp(window.height(), 1, available.height());
  const int left = std::clamp(window.x(), available.left(), available.left() + available.width() - width);
  const int top = std::clamp(window.y(), available.top(), available.top() + available.height() - height);
  return QRect(left, top, width, height);
}

QRect FirstStartPlacement(const QRect& available, const QSize& minimum) {
  if (available.isEmpty()) return QRect(QPoint(0, 0), minimum);
  const int width = std::min(std::max(available.width() * 7 / 10, minimum.width()), available.width());
  const int height = std::min(std::max(available.height() * 7 / 10, minimum.height()), available.height());
  return QRect(available.left() + (available.width() - width) / 2,
               available.top() + (available.height() - height) / 2, width, height);
}
