#pragma once
// A plain main thread for front ends without a GUI toolkit and for tests: the
// thread that constructs the queue is the main thread and runs the queued
// calls whenever it asks for them.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "threading/MainThread.h"

namespace zv {

class TEventQueue : public TMainThread {
public:
    using TClock = std::chrono::steady_clock;

    TEventQueue();
    ~TEventQueue() override;

    bool IsMainThread() const override { return std::this_thread::get_id() == mainThread_; }

    // Runs every queued call, also those queued meanwhile. Main thread only.
    // Returns whether any call ran.
    bool ProcessPending();

    // Waits until a call arrives or `until` has passed, then runs what is
    // queued. Returns whether any call ran.
    bool WaitAndProcess(TClock::time_point until);
    bool WaitAndProcess(std::chrono::milliseconds timeout) { return WaitAndProcess(TClock::now() + timeout); }

    // Serves calls until `done()` holds or `timeout` has passed; returns done().
    // `done` is looked at after each call served, so what it tests must change
    // on the main thread, through a queued call.
    template <typename Done>
    bool RunUntil(Done done, std::chrono::milliseconds timeout) {
        const auto deadline = TClock::now() + timeout;
        while (!done()) {
            if (TClock::now() >= deadline) return false;
            WaitAndProcess(deadline);
        }
        return true;
    }

protected:
    void Deliver(std::function<void()> call) override;

private:
    std::thread::id mainThread_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> calls_;
};

}  // namespace zv
