// A port status label: caption and colours as the program keeps them
// (0xBBGGRR values, 0x8000000F the system's button face).
#pragma once

#include <QColor>
#include <cstdint>
#include <string>

class QLabel;

QColor ColorFromBgr(int64_t value, const QColor& buttonFace);
void PaintStatusLabel(QLabel* label, const std::string& caption, int64_t backColor, int64_t foreColor);
