// The single-instance lock and the window's message endpoint, as two
// processes of the loader (or the simulator's tool) use them.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/InstanceLock.h"
#include "platform/MessageEndpoint.h"
#include "support/TempDir.h"

namespace zv {
namespace {

using namespace std::chrono_literals;

using InstanceLockTest = TempDirTest;
using MessageEndpointTest = TempDirTest;

TEST_F(InstanceLockTest, OnlyOneHolderUntilReleased) {
    const auto file = dir / INSTANCE_LOCK_NAME;
    auto first = TInstanceLock::Acquire(file, 50ms);
    ASSERT_TRUE(first);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(TInstanceLock::Acquire(file, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    first.reset();
    EXPECT_TRUE(TInstanceLock::Acquire(file, 50ms));
}

TEST(WindowMessageTest, ParsesOnlyThreeDecimalNumbers) {
    TWindowMessage m;
    EXPECT_TRUE(ParseWindowMessage("537 7 0", m));
    EXPECT_EQ(m, (TWindowMessage{537, 7, 0}));
    EXPECT_TRUE(ParseWindowMessage("1025 0 -1\r", m));
    EXPECT_EQ(m.lParam, -1);
    for (const char* bad : {"", "537", "537 7", "537 7 0 9", "x 7 0", "537 seven 0", "-5 0 0"})
        EXPECT_FALSE(ParseWindowMessage(bad, m)) << bad;
}

TEST_F(MessageEndpointTest, DeliversLinesInOrderAndIsNotTakenOver) {
    const auto socket = dir / WINDOW_ENDPOINT_NAME;
    EXPECT_FALSE(PostWindowMessages(socket, {{1025, 0, 0}})) << "nobody listens yet";
    TMessageEndpoint endpoint;
    EXPECT_EQ(endpoint.WaitHandle(), NO_WAIT_HANDLE);
    ASSERT_TRUE(endpoint.Listen(socket));
    EXPECT_NE(endpoint.WaitHandle(), NO_WAIT_HANDLE);
    TMessageEndpoint rival;
    EXPECT_FALSE(rival.Listen(socket)) << "a live endpoint must not be taken over";

    ASSERT_TRUE(PostWindowMessages(socket, {{1025, 0, 0}, {7, 0, 0}}));
    std::vector<TWindowMessage> got;
    endpoint.Serve([&](const TWindowMessage& m) { got.push_back(m); });
    EXPECT_EQ(got, (std::vector<TWindowMessage>{{1025, 0, 0}, {7, 0, 0}}));

    // Several clients one after another, each served whole.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(PostWindowMessages(socket, {{537, 7, i}}));
    got.clear();
    const auto start = std::chrono::steady_clock::now();
    while (got.size() < 3 && std::chrono::steady_clock::now() - start < 5s)
        endpoint.Serve([&](const TWindowMessage& m) { got.push_back(m); });
    EXPECT_EQ(got, (std::vector<TWindowMessage>{{537, 7, 0}, {537, 7, 1}, {537, 7, 2}}));
}

TEST_F(MessageEndpointTest, AClosedEndpointFreesItsName) {
    const auto socket = dir / WINDOW_ENDPOINT_NAME;
    {
        TMessageEndpoint first;
        ASSERT_TRUE(first.Listen(socket));
    }
    TMessageEndpoint second;
    EXPECT_TRUE(second.Listen(socket));
}

}  // namespace
}  // namespace zv
