#include "ui/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A programmer's body in slate with four port lamps, one lit green, and a
// kestrel-wing stroke across the top.
QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal unit = size / 32.0;

  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x2F, 0x3E, 0x4E));
  painter.drawRoundedRect(QRectF(2 * unit, 9 * unit, 28 * unit, 20 * unit), 3 * unit, 3 * unit);

  const QColor lamps[] = {QColor(0x2E, 0xCC, 0x40), QColor(0x8A, 0x99, 0xA8), QColor(0x8A, 0x99, 0xA8),
                          QColor(0x8A, 0x99, 0xA8)};
  for (int i = 0; i < 4; ++i) {
    painter.setBrush(lamps[i]);
    painter.drawEllipse(QRectF((5 + i * 6.2) * unit, 21 * unit, 4 * unit, 4 * unit));
  }

  QPainterPath wing;
  wing.moveTo(4 * unit, 15 * unit);
  wing.cubicTo(10 * unit, 2 * unit, 20 * unit, 2 * unit, 28 * unit, 12 * unit);
  wing.cubicTo(20 * unit, 8 * unit, 12 * unit, 9 * unit, 4 * unit, 15 * unit);
  painter.setBrush(QColor(0xF2, 0xA0, 0x2C));
  painter.drawPath(wing);
  return pixmap;
}

}  // namespace

QIcon KestrinIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(DrawIcon(size));
  return icon;
}
