#include "shell/LogPane.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

#include "shell/Controls.h"

namespace zv {

TLogPane::TLogPane(QPlainTextEdit* pane, int maxLines) : QObject(pane), pane_(pane), maxLines_(maxLines) {
    pane_->document()->setMaximumBlockCount(maxLines_);
    batch_.setSingleShot(true);
    batch_.setInterval(LOG_PANE_BATCH_MS);
    connect(&batch_, &QTimer::timeout, this, [this] { Flush(); });
}

void TLogPane::Append(LogLevel level, QString line) {
    // A line that the bound would drop in the same batch is never laid out.
    if (static_cast<int>(queued_.size()) == maxLines_) queued_.pop_front();
    queued_.push_back({level, std::move(line)});
    if (!batch_.isActive()) batch_.start();
}

void TLogPane::Flush() {
    batch_.stop();
    if (queued_.empty()) return;
    QTextDocument* document = pane_->document();
    QScrollBar* bar = pane_->verticalScrollBar();
    // Following the end unless the user has scrolled away from it.
    const bool following = bar->value() >= bar->maximum();
    const int top = bar->value();
    const bool empty = document->isEmpty();
    const int before = empty ? 0 : document->blockCount();

    QTextCharFormat formats[3];
    for (int level = 0; level < 3; ++level) {
        const QColor color = LevelColor(static_cast<LogLevel>(level));
        formats[level].setForeground(color.isValid() ? color : pane_->palette().color(QPalette::Text));
    }
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    bool first = empty;
    for (const TLine& line : queued_) {
        if (!first) cursor.insertBlock();
        first = false;
        const auto level = static_cast<unsigned>(line.level);
        cursor.insertText(line.text, formats[level < 3 ? level : 0]);
    }
    cursor.endEditBlock();
    const int dropped = before + static_cast<int>(queued_.size()) - document->blockCount();
    queued_.clear();

    // A user reading older lines keeps them in view while the oldest go.
    bar->setValue(following ? bar->maximum() : std::max(top - dropped, 0));
}

}  // namespace zv
