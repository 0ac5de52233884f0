// The protocol's pauses: a thread that learns to wake sooner must still never
// end a pause before the time it asked for.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Runtime.h"
#include "platform/Tick.h"

namespace zv {
namespace {

TEST(Pause, NeverEndsEarlyWhateverTheThreadHasLearnedAndIsCounted) {
    using namespace std::chrono;
    const TPauseTotals before = PauseTotals();
    nanoseconds shortest = hours(1), total{0};
    // Short and longer pauses mixed, so an estimate learned on one kind is
    // tried on the other.
    for (int i = 0; i < 300; ++i) {
        const uint32_t asked = i % 10 == 9 ? 3 : 1;
        const auto start = steady_clock::now();
        SleepMs(asked);
        const nanoseconds took = steady_clock::now() - start;
        total += took;
        shortest = std::min(shortest, took - milliseconds(asked));
    }
    EXPECT_GE(shortest.count(), 0) << "a pause ended before its time";
    const TPauseTotals after = PauseTotals();
    EXPECT_EQ(after.count - before.count, 300u);
    EXPECT_EQ(after.requestedNs - before.requestedNs, 360'000'000u);
    EXPECT_GE(after.elapsedNs - before.elapsedNs, 360'000'000u);
    EXPECT_LE(after.elapsedNs - before.elapsedNs, static_cast<uint64_t>(total.count()));
}

TEST(Pause, SleepsRatherThanSpins) {
    // A full hub pauses 32 threads at once on two cores: a pause that kept
    // its thread busy would starve the others. Only the last few
    // microseconds of each may be waited out awake.
    using namespace std::chrono;
    SleepMs(1);
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = steady_clock::now();
    for (int i = 0; i < 200; ++i) SleepMs(1);
    const double wall = duration<double>(steady_clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    EXPECT_LT(cpu, wall / 2) << cpu << " s busy in " << wall << " s of pauses";
}

TEST(Pause, AThreadThatPausesHasTheFinestTimer) {
    // Each thread that pauses asks for it: on Windows a 1 ms pause would
    // otherwise last a whole 15.6 ms tick, which Wine does not show.
    bool finest = false;
    std::thread([&] {
        SleepMs(1);
        finest = FinestTimerInUse();
    }).join();
    EXPECT_TRUE(finest);
}

}  // namespace
}  // namespace zv
