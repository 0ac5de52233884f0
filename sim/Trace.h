#pragma once
// The event trace: one line per event, appended with a single write.
//   <microseconds> <serial> <ftdi|om> <event> <count> <hex bytes or ->

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sim/System.h"

namespace zvsim {

class TTrace {
public:
    // Does nothing when `path` is empty or cannot be opened.
    explicit TTrace(const std::string& path);

    void Event(std::string_view serial, std::string_view library, std::string_view event,
               std::span<const uint8_t> bytes = {}, uint32_t count = 0);

private:
    TFile file;
};

// A steady clock in microseconds, the trace's time base.
uint64_t MonotonicMicros();

}  // namespace zvsim
