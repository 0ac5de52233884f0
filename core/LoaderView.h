#pragma once
// The window as the core sees it: what the registry, the flash result and the
// log draw. The shell implements it with widgets; tests with a recording view.
// The core speaks of entries, never of pixels: the shell lays them out.

#include <memory>
#include <string>

#include "devices/DevicePanel.h"
#include "threading/Log.h"

namespace zv {

class TLoaderView {
public:
    virtual ~TLoaderView() = default;

    // A new panel, stacked below the existing ones; `position` is the number of
    // entries in the registry, this one counted (1 for the first).
    virtual std::unique_ptr<TDevicePanel> CreateDevicePanel(int position, const std::string& serialText,
                                                            const std::string& firmwareText,
                                                            const std::string& bootloaderText) = 0;
    // One finished line for the log pane, which may draw it a little later,
    // but in the order the lines came.
    virtual void AppendLogLine(LogLevel level, const std::string& line) = 0;
    // The registry now holds `count` entries, so the device area can make room
    // for every panel.
    virtual void ShowDeviceCount(int count) = 0;
    // The version, build date and SHA-256 (64 hex digits) of the image loaded last.
    virtual void ShowFirmwareInfo(const std::string& version, const std::string& date, const std::string& sha256) = 0;
    // This run's write results so far.
    virtual void ShowWriteCounters(int written, int failed) = 0;
    // The file box's history changed (a new item first).
    virtual void FileHistoryChanged() = 0;
};

}  // namespace zv
