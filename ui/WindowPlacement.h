// Where a top-level window goes on the screen: a saved placement may come
// from a larger screen or another scale factor, and the first start has none.
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

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
  // The scrolled part's viewport: what is shown of the body.
  QWidget* Viewport() const;

 private:
  QWidget* dialog_;
  QWidget* body_;
  QWidget* scroll_;
};

class QGridLayout;
class QMdiSubWindow;

// Room for a window on the screen that `widget` is on: the available area
// less what the window manager's frame and title bar take.
QSize ScreenRoom(const QWidget* widget);

// The size that shows all of the body of a window built on ScrollingDialog;
// an invalid size for other windows.
QSize WholeBodySize(const QWidget* window);

// The same bounded to `room`, with a scroll bar's width more where the
// body is taller than the room.
QSize FitBody(const QWidget* window, const QSize& room);

// The viewport of the scrolled part of a window built on ScrollingDialog (the window itself for others).
QWidget* BodyViewport(QWidget* window);

// Each time `window` is shown: no larger than the screen's room, at least as
// wide as its title (window managers cut a longer one) where the screen
// allows, and moved wholly onto the screen. A dialog built on ScrollingDialog
// is first sized to show all of its body where there is room.
void KeepOnScreen(QWidget* window);

// A child window of the main window's work area, no larger than the area
// and moved inside it.
void FitIntoArea(QMdiSubWindow* window, const QRect& area);

// The widgets of `grid`, in their order row by row, placed again in as many
// columns as fit in `width` (one at least); hidden ones take no column.
void ArrangeInColumns(QGridLayout* grid, int width);

// The width a dialog built on ScrollingDialog has for its body on the
// screen: the screen's room less the margins and a scroll bar.
int BodyRoomWidth(const QWidget* dialog);

// The items of `box` side by side while `watched` is wide enough for them,
// one above the other when it is not: tiles and frames move under each other
// instead of widening the window.
void StackWhenNarrow(QWidget* watched, QBoxLayout* box);

// Every StackWhenNarrow box of the window's body side by side again, as
// before the window's size is chosen anew; a resize stacks them again where
// they do not fit.
void SideBySide(QWidget* window);
