#pragma once
// What every worker needs of the loader that runs it: the hand-over to the main
// thread and the device log. Each worker adds what it uses besides; none sees
// the whole loader. Workers call the host only inside a synchronous hand-over,
// so a host is only ever touched on the main thread.

#include <cstdint>
#include <string>

#include "threading/Log.h"
#include "threading/MainThread.h"

namespace zv {

class TWorkerHost {
public:
    // Taken when the worker is made, on the main thread.
    virtual THandOver HandOver() const = 0;
    // One line of the log, with the device prefix of `serialNumber` (0: none).
    virtual void LogDeviceText(LogLevel level, int32_t serialNumber, const std::string& text) = 0;

protected:
    ~TWorkerHost() = default;
};

}  // namespace zv
