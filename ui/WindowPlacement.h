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

class QScrollArea;
class QWidget;

// Sizes a dialog whose `body` scrolls in `scroll` to show all of the body
// where the screen has room for it, and no larger than the screen.
void FitDialogToContents(QWidget* dialog, QWidget* body, QScrollArea* scroll);
