#include <windows.h>
// After windows.h, whose types it uses.
#include <timeapi.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "platform/Tick.h"

namespace zv {
namespace {

std::atomic<bool> finestPeriod{false};

}  // namespace

uint32_t GetTickCount() { return ::GetTickCount(); }

// The timer period belongs to the whole process and is asked for once, for
// its whole life: every pause of a write is a single millisecond, which the
// default period of 15.6 ms would stretch to a tick each. Wine keeps a fine
// timer anyway, so only a check of the request shows this works there.
void UseFinestTimer() {
    static std::once_flag once;
    std::call_once(once, [] { finestPeriod = timeBeginPeriod(1) == TIMERR_NOERROR; });
}

bool FinestTimerInUse() { return finestPeriod; }

// Sleep itself, for the whole pause at the 1 ms period. The runtime's
// sleep_until keeps the thread busy for a wait of a millisecond here (a
// core per device, measured), which with many devices starves the writes.
void SleepMostOf(std::chrono::steady_clock::time_point, std::chrono::nanoseconds pause) {
    ::Sleep(static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(pause).count()));
}

}  // namespace zv
