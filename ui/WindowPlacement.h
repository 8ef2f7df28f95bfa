// Where a top-level window goes on the screen: a saved placement may come
// from a larger screen or another scale factor, and the first start has none.
#pragma once

#include <QRect>
#include <QSize>

// The window shrunk to the available area where it is larger, then moved
// inside it, so its title bar and buttons can be reached.
QRect FitToScreen(const QRect& window, const QRect& available);

// The first start's placement: seven tenths of the available area, no
// smaller than `minimum` (as far as the screen allows), centred on it.
QRect FirstStartPlacement(const QRect& available, const QSize& minimum);

class QBoxLayout;
class QWidget;

// A dialog whose controls scroll above a row that stays: `outer` is the
// dialog's own layout, with the scrolled body first; `layout` is the body's.
struct ScrollingDialog {
  explicit ScrollingDialog(QWidget* dialog);
  QBoxLayout* outer;
  QBoxLayout* layout;
  // Once the body is filled: sizes the dialog to show all of it where the
  // screen has room, and no larger than the screen.
  void FitToContents() const;

 private:
  QWidget* dialog_;
  QWidget* body_;
  QWidget* scroll_;
};
