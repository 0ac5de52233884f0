#include "shell/QtMainThread.h"

#include <QCoreApplication>
#include <QEvent>

namespace zv {
namespace {

class TCallEvent : public QEvent {
public:
    static QEvent::Type Kind() {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }
    explicit TCallEvent(std::function<void()> call) : QEvent(Kind()), call_(std::move(call)) {}
    void Run() { call_(); }

private:
    std::function<void()> call_;
};

}  // namespace

TQtMainThread::~TQtMainThread() { Close(); }

void TQtMainThread::Deliver(std::function<void()> call) {
    // Qt owns the event from here, and deletes it after it has been handled or
    // when this object goes first.
    QCoreApplication::postEvent(this, new TCallEvent(std::move(call)));
}

bool TQtMainThread::event(QEvent* event) {
    if (event->type() != TCallEvent::Kind()) return QObject::event(event);
    static_cast<TCallEvent*>(event)->Run();
    return true;
}

}  // namespace zv
