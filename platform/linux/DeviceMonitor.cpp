#include "platform/DeviceMonitor.h"

#include <libudev.h>

#include <cstring>

namespace zv {

struct TDeviceMonitor::TState {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;

    void Close() {
        if (monitor) udev_monitor_unref(monitor);
        if (context) udev_unref(context);
        monitor = nullptr;
        context = nullptr;
    }
};

TDeviceMonitor::TDeviceMonitor() : state_(std::make_unique<TState>()) {}

TDeviceMonitor::~TDeviceMonitor() { state_->Close(); }

bool TDeviceMonitor::Open() {
    TState& s = *state_;
    if (s.monitor) return true;
    s.context = udev_new();
    if (!s.context) return false;
    s.monitor = udev_monitor_new_from_netlink(s.context, "udev");
    if (!s.monitor || udev_monitor_filter_add_match_subsystem_devtype(s.monitor, "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(s.monitor) < 0) {
        s.Close();
        return false;
    }
    return true;
}

TWaitHandle TDeviceMonitor::WaitHandle() const {
    return state_->monitor ? udev_monitor_get_fd(state_->monitor) : NO_WAIT_HANDLE;
}

bool TDeviceMonitor::Drain() {
    if (!state_->monitor) return false;
    bool changed = false;
    // The monitor's socket is non-blocking: this ends when nothing waits.
    while (udev_device* device = udev_monitor_receive_device(state_->monitor)) {
        const char* action = udev_device_get_action(device);
        if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0)) changed = true;
        udev_device_unref(device);
    }
    return changed;
}

}  // namespace zv
