#pragma once
// The millisecond tick and the pause that the device protocol is timed with.

#include <cstdint>

namespace zv {

// Milliseconds of a steady clock, wrapping at 2^32 like the system tick count;
// compare ticks only by unsigned differences.
uint32_t GetTickCount();

void SleepMs(uint32_t milliseconds);

inline uint32_t TicksSince(uint32_t start) { return GetTickCount() - start; }

}  // namespace zv
