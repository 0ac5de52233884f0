#include "platform/LocalTime.h"

namespace zv {

TCalendarTime LocalCalendarTime(std::time_t seconds) {
    TCalendarTime local{};
    localtime_r(&seconds, &local.fields);
    local.utcOffsetSeconds = local.fields.tm_gmtoff;
    return local;
}

}  // namespace zv
