#pragma once
// The log as every layer sees it: the levels a message carries (which also
// colour a panel's status line), the sink a unit that is not the window sends
// its messages to, and the "(% 6d)" head of timed steps.

#include <cstdint>
#include <functional>
#include <string>

namespace zv {

enum LogLevel : uint8_t {
    llNormal = 0,
    llError = 1,
    llSuccess = 2,
};

// Where a unit that is not the window sends its messages: a level and a
// finished body, without the device prefix.
using TLogCallback = std::function<void(LogLevel level, const std::string& body)>;

// "(% 6d)" with a count of milliseconds: "(  1234)", "( 1234567)". Every timed
// line of the loader starts with it.
std::string ElapsedHead(int64_t milliseconds);

}  // namespace zv
