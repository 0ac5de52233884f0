#pragma once
// The main thread of the window: calls are delivered to the GUI thread as
// events of their own on Qt's event loop.

#include <QObject>

#include <thread>

#include "threading/MainThread.h"

namespace zv {

class TQtMainThread : public QObject, public TMainThread {
public:
    // Created on the GUI thread, whose event loop then runs the calls.
    TQtMainThread() = default;
    ~TQtMainThread() override;

    // Asked by workers too: answered without Qt, which gives every thread that
    // asks it for its current thread a thread object of its own.
    bool IsMainThread() const override { return std::this_thread::get_id() == guiThread_; }

protected:
    // Posts an event that carries the call; posting asks nothing of the
    // calling thread, so the workers stay strangers to Qt.
    void Deliver(std::function<void()> call) override;
    bool event(QEvent* event) override;

private:
    const std::thread::id guiThread_ = std::this_thread::get_id();
};

}  // namespace zv
