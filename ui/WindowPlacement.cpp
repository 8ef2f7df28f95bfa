#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QMdiSubWindow>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

namespace {
const char* const BodyName = "ScrollingBody";

// What a title needs in a title bar (often in a bold font), with room for the window's buttons.
int TitleWidth(const QString& title) {
  QFont font = QApplication::font("QMdiSubWindowTitleBar");
  font.setBold(true);
  const QFontMetrics metrics(font);
  return metrics.horizontalAdvance(title) + 5 * metrics.height();
}

const QScreen* ScreenOf(const QWidget* widget) {
  const QWidget* anchor = widget->parentWidget() ? widget->parentWidget()->window() : widget;
  const QScreen* screen = anchor->screen();
  return screen ? screen : QGuiApplication::primaryScreen();
}

// A layout and every layout inside it measured afresh.
void InvalidateAll(QLayout* layout) {
  for (int i = 0; i < layout->count(); ++i) {
    if (QLayout* inner = layout->itemAt(i)->layout()) InvalidateAll(inner);
  }
  layout->invalidate();
}

class ScreenKeeper : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched == parent()) Fit(static_cast<QWidget*>(watched));
    return false;
  }

 private:
  void Fit(QWidget* window) {
    if (!window->isWindow()) return;
    const QScreen* screen = ScreenOf(window);
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    const QSize room = ScreenRoom(window);
    QSize size = window->size();
    if (!sized_) {   // the first time only: the operator may size it himself afterwards
      sized_ = true;
      const QSize body = FitBody(window, room);
      if (body.isValid()) size = body;
    }
    size.setWidth(std::max(size.width(), TitleWidth(window->windowTitle())));
    size = size.boundedTo(room).expandedTo(window->minimumSize());
    if (size != window->size()) window->resize(size);
    // The frame where the window manager has told it, else the room's allowance.
    const QRect frame = window->frameGeometry();
    QSize outer = frame.size() - window->geometry().size();
    if (outer.isEmpty()) outer = available.size() - room;
    const QRect placed = FitToScreen(QRect(frame.topLeft(), size + outer), available);
    if (placed.topLeft() != frame.topLeft()) window->move(placed.topLeft());
  }
  bool sized_ = false;
};
}  // namespace

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
  scroll->setObjectName(QString::fromLatin1(BodyName));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  body_ = new QWidget(scroll);
  layout = new QVBoxLayout(body_);
  layout->setContentsMargins(0, 0, 0, 0);
  scroll->setWidget(body_);
  outer->addWidget(scroll, 1);   // the stay-put row goes below it
  scroll_ = scroll;
}

void ScrollingDialog::FitToContents() const { dialog_->resize(FitBody(dialog_, ScreenRoom(dialog_))); }

QWidget* ScrollingDialog::Viewport() const { return static_cast<QScrollArea*>(scroll_)->viewport(); }

QSize WholeBodySize(const QWidget* window) {
  const auto* scroll = window->findChild<QScrollArea*>(QString::fromLatin1(BodyName), Qt::FindDirectChildrenOnly);
  QLayout* outer = window->layout();
  if (!scroll || !scroll->widget() || !outer) return QSize();
  // The body, and around it the margins and the rows that stay (measured
  // afresh: the layout's own figures for the scrolled part lag behind it).
  const QMargins margins = outer->contentsMargins();
  const int spacing = std::max(outer->spacing(), 0);
  // Rows added to a layout inside the body since it was laid out (the array
  // window's panels) count only once the body's own layout is told.
  if (QLayout* body = scroll->widget()->layout()) InvalidateAll(body);
  QSize size = scroll->widget()->sizeHint() + QSize(2, 2) * scroll->frameWidth();
  for (int i = 0; i < outer->count(); ++i) {
    QLayoutItem* item = outer->itemAt(i);
    if (item->widget() == scroll || item->isEmpty()) continue;
    item->invalidate();
    const QSize hint = item->sizeHint();
    size = QSize(std::max(size.width(), hint.width()), size.height() + spacing + hint.height());
  }
  return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize FitBody(const QWidget* window, const QSize& room) {
  QSize size = WholeBodySize(window);
  if (!size.isValid()) return size;
  // A body taller than the room gets a scroll bar beside it, which takes width.
  if (size.height() > room.height()) size.rwidth() += window->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  return size.boundedTo(room);
}

QWidget* BodyViewport(QWidget* window) {
  auto* scroll = window->findChild<QScrollArea*>(QString::fromLatin1(BodyName), Qt::FindDirectChildrenOnly);
  return scroll ? scroll->viewport() : window;
}

QSize ScreenRoom(const QWidget* widget) {
  const QScreen* screen = ScreenOf(widget);
  // Room for the window manager's frame and title bar.
  return screen ? screen->availableGeometry().size() - QSize(16, 48) : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void KeepOnScreen(QWidget* window) { window->installEventFilter(new ScreenKeeper(window)); }

void FitIntoArea(QMdiSubWindow* window, const QRect& area) {
  if (!window || area.isEmpty()) return;
  const QRect fitted = FitToScreen(window->geometry(), area);
  if (fitted != window->geometry()) window->setGeometry(fitted);
}

void ArrangeInColumns(QGridLayout* grid, int width) {
  struct Placed {
    int row, column;
    QWidget* widget;
  };
  std::vector<Placed> items;
  for (int i = 0; i < grid->count(); ++i) {
    int row = 0, column = 0, rows = 0, columns = 0;
    grid->getItemPosition(i, &row, &column, &rows, &columns);
    if (QWidget* widget = grid->itemAt(i)->widget()) items.push_back({row, column, widget});
  }
  std::stable_sort(items.begin(), items.end(), [](const Placed& a, const Placed& b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
  });
  std::vector<QWidget*> shown, hidden;
  int widest = 1;
  for (const Placed& item : items) {
    grid->removeWidget(item.widget);
    (item.widget->isHidden() ? hidden : shown).push_back(item.widget);
    if (!item.widget->isHidden()) widest = std::max(widest, item.widget->sizeHint().width());
  }
  const int spacing = std::max(grid->horizontalSpacing(), 0);
  const int fit = (width + spacing) / (widest + spacing);
  const int columns = std::max(1, std::min(fit, static_cast<int>(shown.size())));
  int at = 0;
  for (QWidget* widget : shown) {
    grid->addWidget(widget, at / columns, at % columns);
    ++at;
  }
  for (QWidget* widget : hidden) grid->addWidget(widget, at / columns, at % columns);   // in the last row, no room taken
}

int BodyRoomWidth(const QWidget* dialog) {
  const QStyle* style = dialog->style();
  return ScreenRoom(dialog).width() - 4 * style->pixelMetric(QStyle::PM_LayoutLeftMargin) -
         style->pixelMetric(QStyle::PM_ScrollBarExtent);
}

namespace {
class NarrowStacker : public QObject {
 public:
  NarrowStacker(QWidget* watched, QBoxLayout* box) : QObject(watched), box_(box) {}
  void SideBySide() { box_->setDirection(QBoxLayout::LeftToRight); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == parent() && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) Reflow();
    return false;
  }

 private:
  void Reflow() {
    const auto* watched = static_cast<QWidget*>(parent());
    int wanted = 0, items = 0;
    for (int i = 0; i < box_->count(); ++i) {
      QLayoutItem* item = box_->itemAt(i);
      if (item->isEmpty()) continue;
      wanted += item->sizeHint().width();
      ++items;
    }
    const int spacing = std::max(box_->spacing(), 0);
    wanted += spacing * std::max(items - 1, 0);
    // The margins of the layouts around the box, as the style has them.
    const int margins = 4 * watched->style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    const auto direction = watched->width() - margins >= wanted ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
    if (box_->direction() != direction) box_->setDirection(direction);
  }
  QBoxLayout* box_;
};
}  // namespace

void StackWhenNarrow(QWidget* watched, QBoxLayout* box) { watched->installEventFilter(new NarrowStacker(watched, box)); }

void SideBySide(QWidget* window) {
  for (QObject* object : BodyViewport(window)->children()) {
    if (auto* stacker = dynamic_cast<NarrowStacker*>(object)) stacker->SideBySide();
  }
}
