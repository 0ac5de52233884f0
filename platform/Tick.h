#pragma once
// The millisecond tick and the pause that the device protocol is timed with.

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace zv {

// Milliseconds of a steady clock, wrapping at 2^32 like the system tick count;
// compare ticks only by unsigned differences.
uint32_t GetTickCount();

// Makes the timer as fine as the system allows for the calling thread's
// pauses. The protocol's pauses are single milliseconds, many per frame:
// Linux's default timer slack of 50 us per sleep would add up, and Windows'
// default timer period of 15.6 ms would make a write ten times as long.
// Workers call it when they start, and SleepMs on any other thread before its
// first pause.
void UseFinestTimer();
// Whether the calling thread's pauses have the finest timer.
bool FinestTimerInUse();

void SleepMs(uint32_t milliseconds);
// The system's part of a pause, which each platform has its own way to make
// short and exact: sleeps for most of `pause` from `start`, never past its end
// by more than the system's own lateness. SleepMs waits out the rest.
void SleepMostOf(std::chrono::steady_clock::time_point start, std::chrono::nanoseconds pause);

// What the SleepMs calls of the whole process have taken so far.
struct TPauseTotals {
    uint64_t count = 0;
    uint64_t requestedNs = 0;
    uint64_t elapsedNs = 0;
};
TPauseTotals PauseTotals();

inline uint32_t TicksSince(uint32_t start) { return GetTickCount() - start; }

// Whole milliseconds left until `until`, rounded up so that a wait armed with
// them never ends before it; zero once it has passed.
inline int64_t MillisecondsUntil(std::chrono::steady_clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    return std::max<int64_t>(left.count(), 0);
}

}  // namespace zv
