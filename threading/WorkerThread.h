#pragma once
// What the discovery and write threads share: a thread that runs the body once,
// a stop request it checks where it may stop, and an end handler posted to the
// main thread when the body has returned. The object outlives its thread.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "platform/Tick.h"
#include "threading/MainThread.h"

namespace zv {

class TWorkerThread {
public:
    TWorkerThread() = default;
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    void RequestStop() { stop_.store(true, std::memory_order_relaxed); }
    bool StopRequested() const { return stop_.load(std::memory_order_relaxed); }
    // True once the body has returned; its end handler may still be queued.
    bool Finished() const { return finished_.load(std::memory_order_acquire); }

    // For a worker that did not stop by the shutdown deadline: its thread runs
    // on unjoined, so the object must never be destroyed (KeepUntilExit).
    void Abandon() {
        if (thread_.joinable()) thread_.detach();
    }

protected:
    // Joins; by then the body has returned. Derived destructors end first,
    // so a derived class must not be destroyed while its body may still run:
    // the end handler is the earliest point.
    ~TWorkerThread() {
        if (thread_.joinable()) thread_.join();
    }

    void Run(THandOver handOver, std::function<void()> body, std::function<void()> onTerminate) {
        thread_ = std::thread(
            [this, handOver = std::move(handOver), body = std::move(body), onTerminate = std::move(onTerminate)] {
                UseFinestTimer();
                body();
                finished_.store(true, std::memory_order_release);
                handOver.Post(onTerminate);
            });
    }

    // The flag itself, for waits that a stop request should cut short.
    const std::atomic<bool>* StopFlag() const { return &stop_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// Keeps `what` to the end of the process and never destroys it: a worker left
// running at the shutdown deadline, and what it still uses, so that it never
// touches freed memory and the process may end while it still runs.
void KeepUntilExit(std::shared_ptr<void> what);

}  // namespace zv
