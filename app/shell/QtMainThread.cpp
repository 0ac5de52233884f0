#include "app/shell/QtMainThread.h"

#include <QThread>

#include <exception>

namespace zv {

void TQtMainThread::Synchronize(const std::function<void()>& call) {
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    std::exception_ptr raised;
    QMetaObject::invokeMethod(
        this,
        [&call, &raised] {
            try {
                call();
            } catch (...) {
                raised = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (raised) std::rethrow_exception(raised);
}

void TQtMainThread::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

}  // namespace zv
