#include "shell/QtMainThread.h"

#include <QThread>

namespace zv {

TQtMainThread::~TQtMainThread() { Close(); }

bool TQtMainThread::IsMainThread() const { return QThread::currentThread() == thread(); }

void TQtMainThread::Deliver(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

}  // namespace zv
