// The endpoint's Unix socket as a killed process leaves it and as a raw
// client that never finishes uses it.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/MessageEndpoint.h"
#include "support/TempDir.h"

namespace zv {
namespace {

using namespace std::chrono_literals;

using SocketEndpointTest = TempDirTest;

TEST_F(SocketEndpointTest, DeliversLinesInOrderAndReplacesStaleSocket) {
    const auto socket = dir / WINDOW_ENDPOINT_NAME;
    EXPECT_FALSE(PostWindowMessages(socket, {{1025, 0, 0}})) << "nobody listens yet";

    {
        // A socket file left behind by a killed process.
        const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, socket.c_str());
        ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(stale);
    }
    TMessageEndpoint endpoint;
    ASSERT_TRUE(endpoint.Listen(socket));
    TMessageEndpoint rival;
    EXPECT_FALSE(rival.Listen(socket)) << "a live endpoint must not be taken over";

    ASSERT_TRUE(PostWindowMessages(socket, {{1025, 0, 0}, {7, 0, 0}}));
    std::vector<TWindowMessage> got;
    endpoint.Serve([&](const TWindowMessage& m) { got.push_back(m); });
    EXPECT_EQ(got, (std::vector<TWindowMessage>{{1025, 0, 0}, {7, 0, 0}}));
}

TEST_F(SocketEndpointTest, SlowOrEndlessClientCannotHoldTheServer) {
    const auto socket = dir / WINDOW_ENDPOINT_NAME;
    TMessageEndpoint endpoint;
    ASSERT_TRUE(endpoint.Listen(socket));
    const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket.c_str());
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::send(client, "537 7 0\n537 7", 13, 0), 13);  // the second line never ends
    std::vector<TWindowMessage> got;
    const auto start = std::chrono::steady_clock::now();
    endpoint.Serve([&](const TWindowMessage& m) { got.push_back(m); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(got, (std::vector<TWindowMessage>{{537, 7, 0}}));
    ::close(client);
}

}  // namespace
}  // namespace zv
