#pragma once
// Device-tree changes from udev: USB devices added or removed. In a container
// without udevd the monitor opens and simply never reports anything.

struct udev;
struct udev_monitor;

namespace zv {

class TUdevMonitor {
public:
    TUdevMonitor() = default;
    ~TUdevMonitor();
    TUdevMonitor(const TUdevMonitor&) = delete;
    TUdevMonitor& operator=(const TUdevMonitor&) = delete;

    // False when udev cannot be reached; the loader then runs without it.
    bool Open();
    // Readable when events wait; -1 when not open.
    int Fd() const;
    // Reads every waiting event; true if a USB device was added or removed.
    bool Drain();

private:
    ::udev* udev_ = nullptr;
    ::udev_monitor* monitor_ = nullptr;
};

}  // namespace zv
