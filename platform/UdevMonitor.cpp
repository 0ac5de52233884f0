#include "platform/UdevMonitor.h"

#include <libudev.h>

#include <cstring>

namespace zv {

TUdevMonitor::~TUdevMonitor() {
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
}

bool TUdevMonitor::Open() {
    if (monitor_) return true;
    udev_ = udev_new();
    if (!udev_) return false;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_ || udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        if (monitor_) udev_monitor_unref(monitor_);
        monitor_ = nullptr;
        udev_unref(udev_);
        udev_ = nullptr;
        return false;
    }
    return true;
}

int TUdevMonitor::Fd() const { return monitor_ ? udev_monitor_get_fd(monitor_) : -1; }

bool TUdevMonitor::Drain() {
    if (!monitor_) return false;
    bool changed = false;
    // The monitor's socket is non-blocking: this ends when nothing waits.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0)) changed = true;
        udev_device_unref(device);
    }
    return changed;
}

}  // namespace zv
