#pragma once
// USB devices arriving and leaving. Linux: udev; in a container without udevd
// the monitor opens and simply never reports anything. Windows: device
// interface notifications to a message-only window, on a thread of its own.

#include <memory>

#include "platform/Waitable.h"

namespace zv {

class TDeviceMonitor {
public:
    TDeviceMonitor();
    ~TDeviceMonitor();
    TDeviceMonitor(const TDeviceMonitor&) = delete;
    TDeviceMonitor& operator=(const TDeviceMonitor&) = delete;

    // False when the system's notifications cannot be had; the loader then
    // runs without them.
    bool Open();
    // Ready when changes wait; NO_WAIT_HANDLE when not open.
    TWaitHandle WaitHandle() const;
    // Takes every waiting change; true if a USB device arrived or left.
    bool Drain();

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

// The class of the Windows monitor's message-only window, which a test may
// send WM_DEVICECHANGE to.
inline constexpr const wchar_t* DEVICE_MONITOR_WINDOW_CLASS = L"ZVDeviceMonitor";

}  // namespace zv
