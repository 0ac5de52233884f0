#pragma once
// The main-thread hand-over: how workers reach the thread that owns the window,
// the log and the device list. A synchronous call makes the worker wait until
// the main thread has run it; a posted call (end handlers) does not.

#include <functional>

namespace zv {

class TMainThread {
public:
    virtual ~TMainThread() = default;

    // Runs `call` on the main thread and returns when it has run. An exception
    // it raises is raised again in the caller. Called on the main thread
    // itself, it runs at once.
    virtual void Synchronize(const std::function<void()>& call) = 0;

    // Queues `call` to run on the main thread later.
    virtual void Post(std::function<void()> call) = 0;
};

}  // namespace zv
