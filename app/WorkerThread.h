#pragma once
// What the discovery and write threads share: a thread that runs the body once,
// a stop request it checks where it may stop, and an end handler posted to the
// main thread when the body has returned. The object outlives its thread.

#include <atomic>
#include <functional>
#include <thread>

#include "app/MainThread.h"

namespace zv {

class TWorkerThread {
public:
    TWorkerThread() = default;
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    void RequestStop() { stop_.store(true, std::memory_order_relaxed); }
    bool StopRequested() const { return stop_.load(std::memory_order_relaxed); }

protected:
    // Joins; by then the body has returned. Derived destructors end first,
    // so a derived class must not be destroyed while its body may still run:
    // the end handler is the earliest point.
    ~TWorkerThread() {
        if (thread_.joinable()) thread_.join();
    }

    void Run(TMainThread& mainThread, std::function<void()> body, std::function<void()> onTerminate) {
        thread_ = std::thread([&mainThread, body = std::move(body), onTerminate = std::move(onTerminate)]() mutable {
            body();
            mainThread.Post(std::move(onTerminate));
        });
    }

    // The flag itself, for waits that a stop request should cut short.
    const std::atomic<bool>* StopFlag() const { return &stop_; }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace zv
