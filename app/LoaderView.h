#pragma once
// The window as the core sees it: what the registry, the flash result and the
// log draw. The shell implements it with widgets; tests with a recording view.

#include <memory>
#include <string>

#include "app/Log.h"
#include "devices/DevicePanel.h"

namespace zv {

class TLoaderView {
public:
    virtual ~TLoaderView() = default;

    // A new panel, stacked below the existing ones; `top` is the position the
    // registry computes for it.
    virtual std::unique_ptr<TDevicePanel> CreateDevicePanel(int top, const std::string& serialText,
                                                            const std::string& firmwareText,
                                                            const std::string& bootloaderText) = 0;
    // One finished line for the log pane.
    virtual void AppendLogLine(LogLevel level, const std::string& line) = 0;
    // So the scroll box around the device area can reach every panel.
    virtual void SetDeviceAreaMinHeight(int pixels) = 0;
    // The version and build date of the image loaded last.
    virtual void ShowFirmwareInfo(const std::string& version, const std::string& date) = 0;
    // The file box's history changed (a new item first).
    virtual void FileHistoryChanged() = 0;
};

}  // namespace zv
