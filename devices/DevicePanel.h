#pragma once
// What the core knows of a device's panel in the window: an object the device
// entry owns and destroys. The window shell derives its widget group from it.

namespace zv {

class TDevicePanel {
public:
    virtual ~TDevicePanel() = default;
};

}  // namespace zv
