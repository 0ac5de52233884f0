#pragma once
// The flasher's main thread: an event queue whose arrivals, the stop signals
// (SIGINT, SIGTERM), the summary signal (SIGUSR1) and any watched descriptor (the window endpoint, udev) are
// all waited for in one ppoll, so nothing is ever polled in a sleep loop.

#include <signal.h>

#include <chrono>
#include <functional>
#include <vector>

#include "threading/EventQueue.h"

namespace zv::cli {

// An event queue with an eventfd that becomes readable whenever a call is
// queued.
class TPolledQueue : public TEventQueue {
public:
    TPolledQueue();
    ~TPolledQueue() override;
    TPolledQueue(const TPolledQueue&) = delete;
    TPolledQueue& operator=(const TPolledQueue&) = delete;

    int Fd() const { return fd_; }
    // Clears the readable state; the calls are then run by ProcessPending.
    void Acknowledge();

protected:
    void Deliver(std::function<void()> call) override;

private:
    int fd_;
};

class TEventLoop {
public:
    using TClock = std::chrono::steady_clock;

    // Takes over SIGINT, SIGTERM and SIGUSR1: they are blocked everywhere but in the
    // wait, and the workers started later inherit that mask, so a signal never
    // lands in one of their device waits. One loop at a time.
    TEventLoop();
    ~TEventLoop();
    TEventLoop(const TEventLoop&) = delete;
    TEventLoop& operator=(const TEventLoop&) = delete;

    TMainThread& MainThread() { return queue_; }

    // `onReadable` runs on this thread whenever `fd` is readable.
    void Watch(int fd, std::function<void()> onReadable);

    // Waits until a call is queued, a stop signal arrives, a watched descriptor
    // is readable or `until` has passed; then serves the calls and the
    // readable descriptors. Returns whether a stop signal arrived.
    bool Wait(TClock::time_point until);
    // Whether SIGUSR1 arrived since the last call.
    bool TakeSummaryRequest();

private:
    struct TWatched {
        int fd;
        std::function<void()> onReadable;
    };

    TPolledQueue queue_;
    std::vector<TWatched> watched_;
    sigset_t previousMask_{};
    sigset_t waitMask_{};
    bool summaryAsked_ = false;
};

}  // namespace zv::cli
