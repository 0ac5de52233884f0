#pragma once
// What the core knows of a device's panel in the window: an object the device
// entry owns and destroys, with the few things the core changes on it. The
// window shell implements it with widgets; tests with a recording panel.

#include <functional>
#include <string>

#include "threading/Log.h"

namespace zv {

class TDevicePanel {
public:
    virtual ~TDevicePanel() = default;

    // The status line, coloured by its level.
    virtual void SetStatus(const std::string& text, LogLevel style) = 0;
    virtual void SetWriteEnabled(bool enabled) = 0;
    virtual void SetProgress(int percent) = 0;
    // What a press of the panel's write button runs.
    virtual void SetWriteHandler(std::function<void()> handler) = 0;
};

}  // namespace zv
