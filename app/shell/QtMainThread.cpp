#include "app/shell/QtMainThread.h"

#include <QThread>

#include <atomic>
#include <exception>
#include <memory>

namespace zv {

// Qt's queued calls order the worker's and the main thread's memory, but
// inside Qt, which thread checkers do not see into. The release/acquire pairs
// below state the same order in our own code, at the cost of two atomics.

void TQtMainThread::Synchronize(const std::function<void()>& call) {
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    std::exception_ptr raised;
    std::atomic<bool> handedOver{false}, returned{false};
    handedOver.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        this,
        [&] {
            (void)handedOver.load(std::memory_order_acquire);
            try {
                call();
            } catch (...) {
                raised = std::current_exception();
            }
            returned.store(true, std::memory_order_release);
        },
        Qt::BlockingQueuedConnection);
    (void)returned.load(std::memory_order_acquire);
    if (raised) std::rethrow_exception(raised);
}

void TQtMainThread::Post(std::function<void()> call) {
    auto handedOver = std::make_shared<std::atomic<bool>>(false);
    handedOver->store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        this,
        [handedOver, call = std::move(call)] {
            (void)handedOver->load(std::memory_order_acquire);
            call();
        },
        Qt::QueuedConnection);
}

}  // namespace zv
