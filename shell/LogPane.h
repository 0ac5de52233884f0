#pragma once
// The log pane's feed. A worker waits in its hand-over until its line is
// taken, so taking a line only queues it; the pane draws the queued lines in
// one edit at most every LOG_PANE_BATCH_MS, in the order they came.

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>

#include "threading/Log.h"

class QPlainTextEdit;

namespace zv {

inline constexpr int LOG_PANE_BATCH_MS = 40;

class TLogPane : public QObject {
public:
    // Feeds `pane` and bounds it to `maxLines` lines: it drops the oldest.
    TLogPane(QPlainTextEdit* pane, int maxLines);

    void Append(LogLevel level, QString line);
    // Draws what is queued now rather than at the next batch.
    void Flush();

private:
    struct TLine {
        LogLevel level;
        QString text;
    };

    QPlainTextEdit* pane_;
    int maxLines_;
    QTimer batch_;
    std::deque<TLine> queued_;
};

}  // namespace zv
