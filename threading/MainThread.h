#pragma once
// The main-thread hand-over: how workers reach the thread that owns the window,
// the log and the device list. A synchronous call makes the worker wait until
// the main thread has run it; a posted call (end handlers) does not. A front
// end supplies only the queue that runs calls on its main thread; the waiting
// is done here, once, and is bounded: closing the hand-over at the end of a
// shutdown releases every worker that waits and refuses every later call.

#include <functional>
#include <memory>

namespace zv {

namespace detail {
class THandOverGate;
}

// The hand-over as a worker keeps it. It shares the hand-over's state with the
// main thread, so a worker that outlives its front end (one left running at the
// shutdown deadline) finds the hand-over closed, never a freed main thread.
class THandOver {
public:
    // Runs `call` on the main thread and returns true once it has run; an
    // exception it raises is raised again here. Returns false, and the call
    // never runs, when the hand-over is closed first. Called on the main thread
    // itself, it runs the call at once.
    bool Synchronize(const std::function<void()>& call) const;
    // Queues `call` for the main thread. Dropped when the hand-over is closed
    // before it runs.
    void Post(std::function<void()> call) const;
    bool Closed() const;

private:
    friend class TMainThread;
    explicit THandOver(std::shared_ptr<detail::THandOverGate> gate) : gate_(std::move(gate)) {}
    std::shared_ptr<detail::THandOverGate> gate_;
};

class TMainThread {
public:
    TMainThread();
    TMainThread(const TMainThread&) = delete;
    TMainThread& operator=(const TMainThread&) = delete;
    // A derived class closes the hand-over first thing in its own destructor,
    // so no call reaches its half-destroyed queue.
    virtual ~TMainThread();

    THandOver HandOver() const { return THandOver(gate_); }
    bool Synchronize(const std::function<void()>& call) const { return HandOver().Synchronize(call); }
    void Post(std::function<void()> call) const { HandOver().Post(std::move(call)); }

    // Main thread. Releases every worker waiting in Synchronize without running
    // its call, and refuses or drops every call from now on.
    void Close();
    bool Closed() const { return HandOver().Closed(); }

    virtual bool IsMainThread() const = 0;

protected:
    // Runs `call` on the main thread later, after the calls delivered before it.
    virtual void Deliver(std::function<void()> call) = 0;

private:
    friend class detail::THandOverGate;
    std::shared_ptr<detail::THandOverGate> gate_;
};

}  // namespace zv
