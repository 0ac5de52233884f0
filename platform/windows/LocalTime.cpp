#include "platform/LocalTime.h"

namespace zv {

TCalendarTime LocalCalendarTime(std::time_t seconds) {
    TCalendarTime local{};
    localtime_s(&local.fields, &seconds);
    // The local fields read as UTC lie ahead of the moment by the offset.
    std::tm copy = local.fields;
    local.utcOffsetSeconds = static_cast<long>(_mkgmtime(&copy) - seconds);
    return local;
}

}  // namespace zv
