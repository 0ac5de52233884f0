#pragma once
// The main thread of the window: calls are delivered to the GUI thread as
// queued calls on Qt's event loop.

#include <QObject>

#include "threading/MainThread.h"

namespace zv {

class TQtMainThread : public QObject, public TMainThread {
public:
    // Created on the GUI thread, whose event loop then runs the calls.
    TQtMainThread() = default;
    ~TQtMainThread() override;

    bool IsMainThread() const override;

protected:
    void Deliver(std::function<void()> call) override;
};

}  // namespace zv
