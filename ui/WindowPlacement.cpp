#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QWidget>
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

void FitDialogToContents(QWidget* dialog, QWidget* body, QScrollArea* scroll) {
  // What the dialog needs besides the scrolled part: margins and the buttons.
  const QSize around = dialog->sizeHint() - scroll->sizeHint();
  const QSize wanted = body->sizeHint() + around;
  const QWidget* anchor = dialog->parentWidget() ? dialog->parentWidget() : dialog;
  const QScreen* screen = anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
  // Room for the window manager's frame and title bar.
  const QSize room = screen ? screen->availableGeometry().size() - QSize(16, 48) : wanted;
  dialog->resize(wanted.boundedTo(room));
}
