#include "shell/Controls.h"

#include <QLabel>

namespace zv {

QColor LevelColor(LogLevel level) {
    switch (level) {
        case llError: return QColor(255, 0, 0);
        case llSuccess: return QColor(0, 128, 0);
        default: return QColor();
    }
}

QFont PixelFont(const QWidget* parent, int pixels, bool bold) {
    QFont font = parent->font();
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int left, int top, int pixels, bool bold) {
    auto* label = new QLabel(text, parent);
    label->setFont(PixelFont(parent, pixels, bold));
    label->adjustSize();
    label->move(left, top);
    return label;
}

}  // namespace zv
