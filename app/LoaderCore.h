#pragma once
// The loader without its widgets: the device registry with its lock, the
// discovery and write threads, the log and the options that workers read.
// The window shell and the command-line flasher each own one and draw what it
// reports through a TLoaderView; tests drive it with a plain event queue.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <vector>
#include <mutex>
#include <string>

#include "app/Log.h"
#include "app/LoaderView.h"
#include "app/MainThread.h"
#include "devices/Registry.h"
#include "discovery/ReadVersion.h"
#include "firmware/FirmwareImage.h"
#include "flashing/WriteThread.h"

namespace zv {

// The option check boxes, mirrored for the workers that read them.
struct TLoaderOptions {
    std::atomic<bool> autoWrite{false};       // cbAutoWrite
    std::atomic<bool> writeLogToFile{false};  // cbWritelogToFile
    std::atomic<bool> startApp{false};        // cbStartApp
};

// Height of one device panel in the device area, margins included, and of
// the empty area.
constexpr int DEVICE_PANEL_PITCH = 96;
constexpr int DEVICE_AREA_MIN_HEIGHT = 90;
// The top position a new panel is given per entry in the registry.
constexpr int DEVICE_PANEL_TOP_STEP = 80;

class TLoaderCore {
public:
    TLoaderCore(TMainThread& mainThread, TLoaderView& view, std::filesystem::path exeDir);
    TLoaderCore(const TLoaderCore&) = delete;
    TLoaderCore& operator=(const TLoaderCore&) = delete;
    // Destroys the remaining entries; the workers must have ended (Shutdown).
    ~TLoaderCore();

    TMainThread& MainThread() { return mainThread_; }
    const std::filesystem::path& ExeDir() const { return exeDir_; }

    // Log, main thread only.
    void LogMessage(LogLevel level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void LogDeviceMessage(LogLevel level, int32_t serialNumber, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    void LogDeviceText(LogLevel level, int32_t serialNumber, const std::string& text);
    void AddLogLine(LogLevel level, const std::string& line);

    // Registry, main thread only.
    void StartDeviceSearch();
    void ReadVersionTerminate();
    void CreateDevicePanel(TDevEntry& entry);
    void SetDeviceStatus(TDevEntry& entry, const std::string& text, LogLevel style);

    // Flash start and result, main thread only.
    void WriteButtonClick(const TDevicePanel* sender);
    void StartDeviceWrite(TDevEntry& entry);
    void WriteThreadTerminate(TWriteThread& thread);
    // Called with each finished write before its entry may go, for front ends
    // that keep their own records (the command-line report).
    std::function<void(const TWriteThread&)> onWriteFinished;

    // Firmware loading, main thread only. May raise TFirmwareError for an
    // oversized payload, which the caller reports.
    void btnFwLoadClick();
    bool LoadFirmware(TBlockList& blocks, TFirmwareVersion& version);
    bool LoadFirmwareFromFile(TBlockList& blocks, TFirmwareVersion& version);
    bool LoadFirmwareFromResource(TBlockList& blocks, TFirmwareVersion& version);

    // File mode and the file box, set by the front end.
    bool FExternFirmware = false;
    std::string FirmwareFile;              // the file box's text
    std::vector<std::string> FileHistory;  // its drop-down items, most recent first
    TFirmwareVersion FFirmwareVersion;
    bool FEmbeddedLoaded = false;

    // Shutdown: ask every worker to stop; serve the main thread until
    // WorkersRunning() is false; then CloseDevices().
    void RequestStopAll();
    bool WorkersRunning() const;
    void CloseDevices();

    TLoaderOptions options;
    TDeviceList FDevices;
    // Re-entrant, as the critical section it stands for.
    std::recursive_mutex DevicesLock;
    std::unique_ptr<TReadVersion> SearchThread;
    // Write threads live until their end handler has returned.
    std::list<std::unique_ptr<TWriteThread>> WriteThreads;

private:
    TMainThread& mainThread_;
    TLoaderView& view_;
    std::filesystem::path exeDir_;
};

}  // namespace zv
