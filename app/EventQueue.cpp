#include "app/EventQueue.h"

namespace zv {

TEventQueue::TEventQueue() : mainThread_(std::this_thread::get_id()) {}

void TEventQueue::Synchronize(const std::function<void()>& call) {
    if (IsMainThread()) {
        call();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    std::exception_ptr error;
    Post([&] {
        try {
            call();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_one();
    });
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
    if (error) std::rethrow_exception(error);
}

void TEventQueue::Post(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    arrived_.notify_one();
}

bool TEventQueue::ProcessPending() {
    bool ran = false;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (calls_.empty()) return ran;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
        ran = true;
    }
}

bool TEventQueue::WaitAndProcess(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, timeout, [this] { return !calls_.empty(); });
    }
    return ProcessPending();
}

}  // namespace zv
