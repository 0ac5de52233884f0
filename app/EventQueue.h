#pragma once
// A plain main thread for front ends without a GUI toolkit and for tests: the
// thread that constructs the queue is the main thread and runs the queued
// calls whenever it asks for them.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "app/MainThread.h"

namespace zv {

class TEventQueue : public TMainThread {
public:
    TEventQueue();

    void Synchronize(const std::function<void()>& call) override;
    void Post(std::function<void()> call) override;

    // Runs every queued call, also those queued meanwhile. Main thread only.
    // Returns whether any call ran.
    bool ProcessPending();

    // Waits up to `timeout` for a call to arrive, then runs what is queued.
    bool WaitAndProcess(std::chrono::milliseconds timeout);

    // Serves calls until `done()` holds or `timeout` has passed; returns done().
    template <typename Done>
    bool RunUntil(Done done, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return done();
            // Short waits, so a condition that no queued call changes is seen too.
            WaitAndProcess(std::chrono::milliseconds(20));
        }
        return true;
    }

    bool IsMainThread() const { return std::this_thread::get_id() == mainThread_; }

private:
    std::thread::id mainThread_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> calls_;
};

}  // namespace zv
