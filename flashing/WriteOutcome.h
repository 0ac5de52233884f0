#pragma once
// What a finished write comes to, as the panel, the log and a report show it:
// one rule, so the window, the flasher and its records never disagree.

#include <cstdint>
#include <string>

#include "threading/Log.h"

namespace zv {

struct TWriteOutcome {
    std::string status;  // the panel's status line
    LogLevel statusLevel = llNormal;
    std::string logText;  // the log line, without the device prefix
    LogLevel logLevel = llNormal;

    bool operator==(const TWriteOutcome&) const = default;
};

// From a write's result code, the status of its last erase or write reply
// (138: the device is locked, whatever the code) and its duration; for a write
// that was not confirmed, what the application reported (empty: nothing).
TWriteOutcome DescribeWrite(int32_t errorCode, int32_t lastReplyCode, int32_t elapsedMs,
                            const std::string& reportedVersion = {});

// Whether trying the same write again may succeed: the device did not open or
// stopped answering, rather than refusing (locked, protected, incompatible) or
// being stopped.
bool RetryMayMend(int32_t errorCode, int32_t lastReplyCode);

// What re-reading the version after the application's start showed.
enum class TConfirmation {
    NotAsked,
    Confirmed,  // the application reports the image's version
    Mismatch,   // it reports another one
    NoAnswer,   // it could not be opened or did not answer in time
};

}  // namespace zv
