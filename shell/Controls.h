#pragma once
// Controls placed in pixels, in the window's font face at a given pixel size:
// the window's layout is drawn in pixels, so its fonts are given in pixels too.

#include <QColor>
#include <QFont>
#include <QString>

#include "threading/Log.h"

class QLabel;
class QWidget;

namespace zv {

// The colour of a status line or log line of the given level; llNormal and
// unknown levels give an invalid colour, meaning the palette's text colour.
QColor LevelColor(LogLevel level);

QFont PixelFont(const QWidget* parent, int pixels, bool bold = false);

// An auto-sized label at `left`, `top`.
QLabel* MakeLabel(QWidget* parent, const QString& text, int left, int top, int pixels, bool bold);

}  // namespace zv
