#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/EventQueue.h"

namespace zv {
namespace {

using namespace std::chrono_literals;

TEST(EventQueue, SynchronizeRunsOnTheMainThreadAndWaits) {
    TEventQueue queue;
    std::vector<int> order;
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) queue.Synchronize([&, i] { order.push_back(i); });
        workerDone = true;
    });
    EXPECT_TRUE(queue.RunUntil([&] { return workerDone.load(); }, 5000ms));
    worker.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));

    // On the main thread itself the call runs at once.
    bool ran = false;
    queue.Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(EventQueue, ExceptionsReachTheWorker) {
    TEventQueue queue;
    std::string caught;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        try {
            queue.Synchronize([] { throw std::runtime_error("too big"); });
        } catch (const std::exception& error) {
            caught = error.what();
        }
        done = true;
    });
    queue.RunUntil([&] { return done.load(); }, 5000ms);
    worker.join();
    EXPECT_EQ(caught, "too big");
}

TEST(EventQueue, PostedCallsRunInOrderWhenServed) {
    TEventQueue queue;
    std::vector<int> order;
    queue.Post([&] { order.push_back(1); });
    queue.Post([&] {
        order.push_back(2);
        queue.Post([&] { order.push_back(3); });
    });
    EXPECT_TRUE(order.empty());
    EXPECT_TRUE(queue.ProcessPending());
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(queue.ProcessPending());
    EXPECT_FALSE(queue.WaitAndProcess(5ms));
}

}  // namespace
}  // namespace zv
