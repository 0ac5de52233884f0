#pragma once
// The flasher's main thread: an event queue whose arrivals, the stop requests
// (SIGINT and SIGTERM; Ctrl-C and Ctrl-Break on a Windows console), the
// summary request (SIGUSR1, Linux only) and any watched handle (the window
// endpoint, device notifications) are all waited for at once, in one ppoll or
// WaitForMultipleObjects, so nothing is ever polled in a sleep loop.

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Waitable.h"
#include "threading/EventQueue.h"

namespace zv::cli {

// An event queue with a handle (an eventfd, an event) that becomes ready
// whenever a call is queued.
class TPolledQueue : public TEventQueue {
public:
    TPolledQueue();
    ~TPolledQueue() override;
    TPolledQueue(const TPolledQueue&) = delete;
    TPolledQueue& operator=(const TPolledQueue&) = delete;

    TWaitHandle WaitHandle() const { return handle_; }
    // Clears the ready state; the calls are then run by ProcessPending.
    void Acknowledge();

protected:
    void Deliver(std::function<void()> call) override;

private:
    TWaitHandle handle_;
};

class TEventLoop {
public:
    using TClock = std::chrono::steady_clock;

    // Takes over the stop and summary requests. On Linux SIGINT, SIGTERM and
    // SIGUSR1 are blocked everywhere but in the wait, and the workers started
    // later inherit that mask, so a signal never lands in one of their device
    // waits. One loop at a time.
    TEventLoop();
    ~TEventLoop();
    TEventLoop(const TEventLoop&) = delete;
    TEventLoop& operator=(const TEventLoop&) = delete;

    TMainThread& MainThread() { return queue_; }

    // `onReady` runs on this thread whenever `handle` is ready.
    void Watch(TWaitHandle handle, std::function<void()> onReady);

    // Waits until a call is queued, a stop request arrives, a watched handle
    // is ready or `until` has passed; then serves the calls and the ready
    // handles. Returns whether a stop request arrived.
    bool Wait(TClock::time_point until);
    // Whether a summary was asked for (SIGUSR1) since the last call.
    bool TakeSummaryRequest();

private:
    struct TWatched {
        TWaitHandle handle;
        std::function<void()> onReady;
    };
    struct TRequests;  // how the system's stop and summary requests come in

    std::unique_ptr<TRequests> requests_;
    TPolledQueue queue_;
    std::vector<TWatched> watched_;
    bool summaryAsked_ = false;
};

}  // namespace zv::cli
