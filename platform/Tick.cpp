#include "platform/Tick.h"

#include <sys/prctl.h>

#include <chrono>
#include <thread>

namespace zv {

uint32_t GetTickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepMs(uint32_t milliseconds) {
    // The protocol's pauses are single milliseconds, many per frame; the
    // kernel's default 50 us of timer slack per sleep would add up.
    thread_local const bool tightSlack = prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
    (void)tightSlack;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace zv
