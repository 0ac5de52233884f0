#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/Tick.h"

namespace zv {

uint32_t GetTickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Timer slack belongs to a thread: each one that pauses sets its own.
void UseFinestTimer() { prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0); }

bool FinestTimerInUse() { return prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0) == 1; }

namespace {

// How a thread's estimate of its own wake-up lateness moves: down when it woke
// earlier than estimated, up otherwise, so that it settles where a quarter of
// the wake-ups come before the estimate.
constexpr std::chrono::nanoseconds kLearnUp{500};
constexpr std::chrono::nanoseconds kLearnDown{3 * kLearnUp};
constexpr std::chrono::nanoseconds kMostEarly{200'000};

}  // namespace

// Even with the finest slack the kernel wakes a sleeper some tens of
// microseconds late, more in a virtual machine, and a write makes thousands of
// 1 ms pauses. So each thread asks to be woken that much sooner, and the few
// microseconds left are waited out awake: barely late, never early.
void SleepMostOf(std::chrono::steady_clock::time_point start, std::chrono::nanoseconds pause) {
    using namespace std::chrono;
    thread_local nanoseconds early{0};
    const auto wake = start + std::max(pause - early, pause / 2);
    std::this_thread::sleep_until(wake);
    const auto late = steady_clock::now() - wake;
    early = late < early ? std::max(early - kLearnDown, nanoseconds(0)) : std::min(early + kLearnUp, kMostEarly);
}

}  // namespace zv
