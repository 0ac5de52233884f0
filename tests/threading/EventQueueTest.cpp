#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "threading/EventQueue.h"

namespace zv {
namespace {

using namespace std::chrono_literals;

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

TEST(EventQueue, AWaitEndsWhenACallArrivesNotAtItsTimeout) {
    TEventQueue queue;
    bool ran = false;
    std::thread worker([&] {
        std::this_thread::sleep_for(20ms);
        queue.Post([&] { ran = true; });
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(queue.RunUntil([&] { return ran; }, 30s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    worker.join();
    // A condition that nothing changes is given up at the timeout.
    EXPECT_FALSE(queue.RunUntil([] { return false; }, 30ms));
}

}  // namespace
}  // namespace zv
