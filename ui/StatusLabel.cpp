#include "ui/StatusLabel.h"

#include <QApplication>
#include <QLabel>

#include "operations/PortStatus.h"
#include "platform/AnsiText.h"

QColor ColorFromBgr(int64_t value, const QColor& buttonFace) {
  if (value == ColorButtonFace) return buttonFace;
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

void PaintStatusLabel(QLabel* label, const std::string& caption, int64_t backColor, int64_t foreColor) {
  QPalette palette = label->palette();
  const QColor face = QApplication::palette().color(QPalette::Button);
  palette.setColor(QPalette::Window, ColorFromBgr(backColor, face));
  palette.setColor(QPalette::WindowText, ColorFromBgr(foreColor, face));
  label->setPalette(palette);
  label->setText(FromAnsi(caption));
}
