#include "threading/EventQueue.h"

namespace zv {

TEventQueue::TEventQueue() : mainThread_(std::this_thread::get_id()) {}

TEventQueue::~TEventQueue() { Close(); }

void TEventQueue::Deliver(std::function<void()> call) {
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

bool TEventQueue::WaitAndProcess(TClock::time_point until) {
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_until(lock, until, [this] { return !calls_.empty(); });
    }
    return ProcessPending();
}

}  // namespace zv
