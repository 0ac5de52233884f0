#pragma once
// The local calendar time of a moment, with the zone's offset from UTC then.

#include <ctime>

namespace zv {

struct TCalendarTime {
    std::tm fields;
    long utcOffsetSeconds;  // east of UTC positive
};
TCalendarTime LocalCalendarTime(std::time_t seconds);

}  // namespace zv
