#include "threading/MainThread.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

namespace zv {
namespace detail {

// One synchronous call on its way: the worker waits on it until the main
// thread has run it or the hand-over has been closed. Both happen on the main
// thread, so a call either runs whole before the close or never.
class TPendingCall {
public:
    // The worker, for a new call: the main thread is done with this one.
    void Reset() {
        std::lock_guard lock(mutex_);
        state_ = TState::Waiting;
        error_ = nullptr;
    }

    // Main thread.
    void Run(const std::function<void()>& call) {
        {
            std::lock_guard lock(mutex_);
            if (state_ != TState::Waiting) return;
        }
        try {
            call();
        } catch (...) {
            error_ = std::current_exception();
        }
        Settle(TState::Ran);
    }
    // Main thread: a call that has not run by now never will.
    void Cancel() {
        std::lock_guard lock(mutex_);
        if (state_ != TState::Waiting) return;
        state_ = TState::Cancelled;
        ready_.notify_all();
    }

    // The worker. True when the call ran; `error` then holds what it raised.
    // Taken, not shared: the exception then lives and dies on the worker's
    // side, whichever thread lets this call go last.
    bool Wait(std::exception_ptr& error) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return state_ != TState::Waiting; });
        error = std::move(error_);
        return state_ == TState::Ran;
    }

private:
    enum class TState { Waiting, Ran, Cancelled };
    void Settle(TState state) {
        std::lock_guard lock(mutex_);
        state_ = state;
        ready_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    TState state_ = TState::Waiting;
    std::exception_ptr error_;
};

// What the main thread and its workers share. The main thread is reached only
// under the lock and only while open, so a closed gate never touches it again.
class THandOverGate {
public:
    explicit THandOverGate(TMainThread& owner) : owner_(&owner) {}

    bool Synchronize(const std::shared_ptr<THandOverGate>& self, const std::function<void()>& call) {
        std::shared_ptr<TPendingCall> pending;
        {
            std::lock_guard lock(mutex_);
            if (!owner_) return false;
            if (!owner_->IsMainThread()) {
                pending = SparePendingCall();
                waiting_.push_back(pending);
                // Looking at the gate first also orders what the worker wrote
                // before the hand-over, whatever queue carries the call.
                owner_->Deliver([self, pending, &call] {
                    if (!self->Closed()) pending->Run(call);
                });
            }
        }
        if (!pending) {
            call();
            return true;
        }
        std::exception_ptr error;
        const bool ran = pending->Wait(error);
        {
            std::lock_guard lock(mutex_);
            std::erase(waiting_, pending);
            if (spares_.size() < kMostSpares) spares_.push_back(pending);
        }
        if (error) std::rethrow_exception(error);
        return ran;
    }

    void Post(const std::shared_ptr<THandOverGate>& self, std::function<void()> call) {
        std::lock_guard lock(mutex_);
        if (!owner_) return;
        // Looked at when the call runs, so nothing posted before a close runs after it.
        owner_->Deliver([self, call = std::move(call)] {
            if (!self->Closed()) call();
        });
    }

    void Close() {
        std::vector<std::shared_ptr<TPendingCall>> waiting;
        {
            std::lock_guard lock(mutex_);
            owner_ = nullptr;
            waiting.swap(waiting_);
        }
        for (const auto& pending : waiting) pending->Cancel();
    }

    bool Closed() const {
        std::lock_guard lock(mutex_);
        return owner_ == nullptr;
    }

private:
    // Pending calls are made once and used again: a worker makes one
    // synchronous call per line it logs, and on Windows every new mutex and
    // condition variable is a kernel object made under the runtime's one
    // global lock, on which a full hub of writers would spin. A spare is
    // taken only once the main thread has let go of it; the lock in Reset
    // orders its last touch there before the reuse. Under the lock.
    std::shared_ptr<TPendingCall> SparePendingCall() {
        for (auto spare = spares_.begin(); spare != spares_.end(); ++spare)
            if (spare->use_count() == 1) {
                std::shared_ptr<TPendingCall> pending = std::move(*spare);
                spares_.erase(spare);
                pending->Reset();
                return pending;
            }
        return std::make_shared<TPendingCall>();
    }
    static constexpr size_t kMostSpares = 64;

    mutable std::mutex mutex_;
    TMainThread* owner_;
    std::vector<std::shared_ptr<TPendingCall>> waiting_;
    std::vector<std::shared_ptr<TPendingCall>> spares_;
};

}  // namespace detail

bool THandOver::Synchronize(const std::function<void()>& call) const { return gate_->Synchronize(gate_, call); }

void THandOver::Post(std::function<void()> call) const { gate_->Post(gate_, std::move(call)); }

bool THandOver::Closed() const { return gate_->Closed(); }

TMainThread::TMainThread() : gate_(std::make_shared<detail::THandOverGate>(*this)) {}

TMainThread::~TMainThread() { Close(); }

void TMainThread::Close() { gate_->Close(); }

}  // namespace zv
