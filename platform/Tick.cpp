#include "platform/Tick.h"

#include <atomic>
#include <chrono>

namespace zv {

namespace {

std::atomic<uint64_t> pauseCount{0}, pauseRequestedNs{0}, pauseElapsedNs{0};

}  // namespace

void SleepMs(uint32_t milliseconds) {
    using namespace std::chrono;
    thread_local const bool finest = (UseFinestTimer(), true);
    (void)finest;
    const auto start = steady_clock::now();
    const nanoseconds pause = std::chrono::milliseconds(milliseconds);
    SleepMostOf(start, pause);
    // What the system's sleep left of the pause is waited out awake: a pause
    // never ends early.
    auto now = steady_clock::now();
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
