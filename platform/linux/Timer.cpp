#include <sys/prctl.h>

#include <chrono>

#include "platform/Tick.h"

namespace zv {

uint32_t GetTickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Timer slack belongs to a thread: each one that pauses sets its own.
void UseFinestTimer() { prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0); }

bool FinestTimerInUse() { return prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0) == 1; }

}  // namespace zv
