#pragma once
// The main-thread hand-over on Qt's event loop: a synchronous call is a
// blocking queued call into the GUI thread, a posted call a queued one.

#include <QObject>

#include "app/MainThread.h"

namespace zv {

class TQtMainThread : public QObject, public TMainThread {
public:
    // Created on the GUI thread, whose event loop then runs the calls.
    TQtMainThread() = default;

    void Synchronize(const std::function<void()>& call) override;
    void Post(std::function<void()> call) override;
};

}  // namespace zv
