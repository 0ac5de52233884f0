// The hand-over between workers and the main thread: synchronous calls, posted
// calls, and what a close does to both, also for a worker that outlives its
// main thread.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Tick.h"
#include "threading/EventQueue.h"
#include "threading/WorkerThread.h"

namespace zv {
namespace {

using namespace std::chrono_literals;

TEST(HandOver, SynchronousCallsRunOnTheMainThreadInOrderAndCarryExceptions) {
    TEventQueue queue;
    std::vector<int> order;
    std::vector<bool> onMainThread;
    std::string caught;
    bool done = false;
    std::thread worker([&, handOver = queue.HandOver()] {
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(handOver.Synchronize([&, i] {
                order.push_back(i);
                onMainThread.push_back(queue.IsMainThread());
            }));
        try {
            handOver.Synchronize([] { throw std::runtime_error("too big"); });
        } catch (const std::exception& error) {
            caught = error.what();
        }
        handOver.Post([&] { done = true; });
    });
    EXPECT_TRUE(queue.RunUntil([&] { return done; }, 10s));
    worker.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(onMainThread, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(caught, "too big");

    // On the main thread itself the call runs at once.
    bool ran = false;
    EXPECT_TRUE(queue.Synchronize([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

// A main thread that only keeps what is delivered to it, so a test knows when
// a worker's call is waiting.
class THeldQueue : public TMainThread {
public:
    ~THeldQueue() override { Close(); }
    bool IsMainThread() const override { return std::this_thread::get_id() == main_; }
    void RunHeld() {
        std::vector<std::function<void()>> calls;
        {
            std::lock_guard lock(mutex_);
            calls.swap(held_);
        }
        for (auto& call : calls) call();
    }
    std::atomic<int> delivered{0};

protected:
    void Deliver(std::function<void()> call) override {
        std::lock_guard lock(mutex_);
        held_.push_back(std::move(call));
        ++delivered;
    }

private:
    std::thread::id main_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::vector<std::function<void()>> held_;
};

TEST(HandOver, ClosingReleasesAWaitingWorkerAndRefusesWhatFollows) {
    THeldQueue queue;
    bool ran = false, postedRan = false;
    std::atomic<int> result{-1};
    std::thread worker(
        [&, handOver = queue.HandOver()] { result = handOver.Synchronize([&] { ran = true; }) ? 1 : 0; });
    while (queue.delivered == 0) std::this_thread::yield();
    queue.Post([&] { postedRan = true; });
    // The worker waits on its call; the main thread closes instead of serving.
    queue.Close();
    worker.join();
    EXPECT_EQ(result, 0) << "released unrun";
    queue.RunHeld();
    EXPECT_FALSE(ran) << "a call released by the close never runs";
    EXPECT_FALSE(postedRan) << "what was posted before the close does not run after it";

    EXPECT_TRUE(queue.Closed());
    EXPECT_FALSE(queue.HandOver().Synchronize([&] { ran = true; }));
    queue.Post([&] { postedRan = true; });
    EXPECT_EQ(queue.delivered, 2) << "nothing more reaches the main thread";
    queue.RunHeld();
    EXPECT_FALSE(ran || postedRan);
}

TEST(HandOver, AWorkerThatOutlivesItsMainThreadFindsItClosed) {
    auto queue = std::make_unique<TEventQueue>();
    THandOver handOver = queue->HandOver();
    queue.reset();
    bool ran = false;
    EXPECT_TRUE(handOver.Closed());
    EXPECT_FALSE(handOver.Synchronize([&] { ran = true; }));
    handOver.Post([&] { ran = true; });
    EXPECT_FALSE(ran);
}

// A worker whose body ends posts its end handler; one left running is kept,
// never destroyed, and reaches nothing once the hand-over is closed.
class TProbe : public TWorkerThread {
public:
    void Start(THandOver handOver, std::function<void()> body, std::function<void()> onTerminate) {
        Run(std::move(handOver), std::move(body), std::move(onTerminate));
    }
};

TEST(WorkerThread, TheEndHandlerFollowsTheBodyAndALeftWorkerRunsOnUnharmed) {
    TEventQueue queue;
    TProbe finished;
    bool ended = false;
    bool finest = false;
    finished.Start(
        queue.HandOver(), [&] { finest = FinestTimerInUse(); }, [&] { ended = true; });
    EXPECT_TRUE(queue.RunUntil([&] { return ended; }, 10s));
    EXPECT_TRUE(finished.Finished());
    EXPECT_TRUE(finest) << "a worker's 1 ms pauses would overshoot by the default timer";

    // Kept to the end of the process while its body still runs.
    auto left = std::make_unique<TProbe>();
    std::atomic<bool> release{false}, after{false};
    bool reached = false;
    left->Start(
        queue.HandOver(),
        [&, handOver = queue.HandOver()] {
            while (!release) std::this_thread::sleep_for(1ms);
            reached = handOver.Synchronize([] {});
            after = true;
        },
        [&] { reached = true; });
    EXPECT_FALSE(left->Finished());
    left->Abandon();
    KeepUntilExit(std::move(left));
    queue.Close();
    release = true;
    while (!after) std::this_thread::sleep_for(1ms);
    queue.ProcessPending();
    EXPECT_FALSE(reached) << "neither its hand-over nor its end handler reached the main thread";
}

}  // namespace
}  // namespace zv
