// Ctrl-C reaches the flasher's event loop as the console's control event, and
// ends its wait as a stop request.

#include <gtest/gtest.h>

#include <chrono>

#include "cli/EventLoop.h"

// After our headers: windows.h has macros of some of their names.
#include <windows.h>

namespace zv::cli {
namespace {

using namespace std::chrono_literals;

TEST(ConsoleStop, ControlEventsEndTheWaitAsAStop) {
    // A console of this process's own, whose events reach this process.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    TEventLoop loop;
    EXPECT_FALSE(loop.Wait(TEventLoop::TClock::now() + 50ms)) << "nothing asked for a stop yet";
    // Twice: the loop stays ready for the next one.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
        const auto start = std::chrono::steady_clock::now();
        bool stopped = false;
        while (!stopped && std::chrono::steady_clock::now() - start < 5s)
            stopped = loop.Wait(TEventLoop::TClock::now() + 5s);
        EXPECT_TRUE(stopped) << "round " << round;
        EXPECT_FALSE(loop.Wait(TEventLoop::TClock::now() + 20ms)) << "one stop per event";
    }
    EXPECT_FALSE(loop.TakeSummaryRequest()) << "no summary signal on Windows";
}

}  // namespace
}  // namespace zv::cli
