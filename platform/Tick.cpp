#include "platform/Tick.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace zv {

namespace {

std::atomic<uint64_t> pauseCount{0}, pauseRequestedNs{0}, pauseElapsedNs{0};

// How a thread's estimate of its own wake-up lateness moves: down when it woke
// earlier than estimated, up otherwise, so that it settles where a quarter of
// the wake-ups come before the estimate.
constexpr std::chrono::nanoseconds kLearnUp{500};
constexpr std::chrono::nanoseconds kLearnDown{3 * kLearnUp};
constexpr std::chrono::nanoseconds kMostEarly{200'000};

}  // namespace

void SleepMs(uint32_t milliseconds) {
    using namespace std::chrono;
    thread_local const bool finest = (UseFinestTimer(), true);
    (void)finest;
    // Even with the finest slack the kernel wakes a sleeper some tens of
    // microseconds late, more in a virtual machine, and a write makes
    // thousands of 1 ms pauses. So each thread asks to be woken that much
    // sooner and, when it wakes before the pause is over, waits out the few
    // microseconds left awake: a pause never ends early, and barely late.
    thread_local nanoseconds early{0};
    const auto start = steady_clock::now();
    const nanoseconds pause = std::chrono::milliseconds(milliseconds);
    const auto wake = start + std::max(pause - early, pause / 2);
    std::this_thread::sleep_until(wake);
    auto now = steady_clock::now();
    early = now - wake < early ? std::max(early - kLearnDown, nanoseconds(0)) : std::min(early + kLearnUp, kMostEarly);
    while (now < start + pause) now = steady_clock::now();

    // Relaxed: totals for the benchmarks, read once the pauses are over.
    pauseCount.fetch_add(1, std::memory_order_relaxed);
    pauseRequestedNs.fetch_add(static_cast<uint64_t>(pause.count()), std::memory_order_relaxed);
    pauseElapsedNs.fetch_add(static_cast<uint64_t>(duration_cast<nanoseconds>(now - start).count()),
                             std::memory_order_relaxed);
}

TPauseTotals PauseTotals() {
    return {pauseCount.load(std::memory_order_relaxed), pauseRequestedNs.load(std::memory_order_relaxed),
            pauseElapsedNs.load(std::memory_order_relaxed)};
}

}  // namespace zv
