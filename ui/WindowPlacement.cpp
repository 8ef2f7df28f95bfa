#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
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

ScrollingDialog::ScrollingDialog(QWidget* dialog) : dialog_(dialog) {
  outer = new QVBoxLayout(dialog);
  auto* scroll = new QScrollArea(dialog);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  body_ = new QWidget(scroll);
  layout = new QVBoxLayout(body_);
  layout->setContentsMargins(0, 0, 0, 0);
  scroll->setWidget(body_);
  outer->addWidget(scroll, 1);   // the stay-put row goes below it
  scroll_ = scroll;
}

void ScrollingDialog::FitToContents() const {
  // What the dialog needs besides the scrolled part: margins and the buttons.
  const QSize around = dialog_->sizeHint() - scroll_->sizeHint();
  const QSize wanted = body_->sizeHint() + around;
  const QWidget* anchor = dialog_->parentWidget() ? dialog_->parentWidget() : dialog_;
  const QScreen* screen = anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
  // Room for the window manager's frame and title bar.
  const QSize room = screen ? screen->availableGeometry().size() - QSize(16, 48) : wanted;
  dialog_->resize(wanted.boundedTo(room));
}
