#pragma once
// The loader without its widgets: the device registry, the discovery and write
// threads, the log, the firmware image and the options, and the rules that both
// front ends follow alike: what binding the drivers tells the user, when a
// device change searches, and how shutdown stops the workers. The window shell
// and the command-line flasher each own one and draw what it reports through a
// TLoaderView; tests drive it with a plain event queue.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/LoaderView.h"
#include "core/Storage.h"
#include "core/WriteRecord.h"
#include "devices/Registry.h"
#include "discovery/ReadVersion.h"
#include "firmware/FirmwareImage.h"
#include "flashing/WriteOutcome.h"
#include "flashing/WriteThread.h"
#include "threading/Log.h"
#include "threading/MainThread.h"
#include "transport/DriverLibraries.h"

namespace zv {

// The option check boxes.
struct TLoaderOptions {
    bool autoWrite = false;       // cbAutoWrite
    bool writeLogToFile = false;  // cbWritelogToFile
    bool startApp = false;        // cbStartApp
    // After the application's start, how long it may take to report the
    // image's version; zero: not checked. Only with startApp.
    std::chrono::milliseconds confirmTimeout{0};
    // A device whose firmware already has the image's version is not written.
    bool skipCurrent = false;
};

// The results of this run's writes, as the window's counter line shows them.
struct TWriteCounters {
    int written = 0;
    int failed = 0;
};

// What binding the driver libraries has to tell the user, in this order, and
// whether the loader cannot run at all.
struct TDriverReport {
    std::vector<std::string> messages;
    bool quit = false;
};
TDriverReport ReportDrivers(const TBindingResult& bound);

inline constexpr const char* STATUS_REPLUG = "Отключите прибор и подключите заново.";
// A device in application mode that accepted the bootloader start: it can be
// written only after it has been plugged in again.
bool AsksForReplug(const TDevEntry& entry);

// A search starts this long after the last of a burst of device changes.
inline constexpr std::chrono::milliseconds DEVICE_CHANGE_DELAY{100};
// How long shutdown waits for the workers before it leaves them running.
inline constexpr std::chrono::milliseconds SHUTDOWN_TIMEOUT{10000};

// A write that was still running when shutdown stopped waiting for it.
struct TLeftWrite {
    int32_t serialNumber = 0;
    int32_t transport = 0;
};

class TLoaderCore : public TWriteHost, public TSearchHost {
public:
    using TClock = std::chrono::steady_clock;
    // Serves the main thread until it has served a call or `until` has passed.
    using TServe = std::function<void(TClock::time_point until)>;
    // A finished write and what it came to, before its entry may go.
    using TWriteObserver = std::function<void(const TWriteThread& thread, const TWriteOutcome& outcome)>;
    // Every production record, as it is filed.
    using TRecordObserver = std::function<void(const TWriteRecord& record)>;

    TLoaderCore(TMainThread& mainThread, TLoaderView& view, std::filesystem::path exeDir);
    TLoaderCore(const TLoaderCore&) = delete;
    TLoaderCore& operator=(const TLoaderCore&) = delete;
    // Leaves the workers that still run (Shutdown has normally stopped them)
    // and closes every device.
    ~TLoaderCore();

    const std::filesystem::path& ExeDir() const { return FExeDir; }
    // Where this build keeps the settings file and, by default, the daily files.
    const TStorage& Storage() const { return FStorage; }
    TLoaderOptions& Options() { return FOptions; }
    const TLoaderOptions& Options() const { return FOptions; }

    // Log, main thread only.
    void LogMessage(LogLevel level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void LogDeviceMessage(LogLevel level, int32_t serialNumber, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    void LogDeviceText(LogLevel level, int32_t serialNumber, const std::string& text) override;
    void AddLogLine(LogLevel level, const std::string& line);
    // Where the daily files go while writeLogToFile is set: the storage's
    // folder unless a front end names another one.
    void SetLogFolder(std::filesystem::path folder) { FLogFolder = std::move(folder); }
    const std::filesystem::path& LogFolder() const { return FLogFolder; }
    // Where the production records go: this file whatever the options say, or
    // (nullopt) the day's records file beside the daily log while
    // writeLogToFile is set.
    void SetRecordsFile(std::optional<std::filesystem::path> file) { FRecordsFile = std::move(file); }
    void SetRecordObserver(TRecordObserver observer) { FRecordObserver = std::move(observer); }

    // Registry, main thread only.
    const TDeviceRegistry& Devices() const { return FDevices; }
    // A change of the device tree: when the search it asks for is due (the
    // front end arms its timer for then), or nothing when it asks for none.
    std::optional<TClock::time_point> DeviceChanged(int64_t wParam) const;
    void StartDeviceSearch();
    bool Searching() const { return FSearchThread != nullptr; }
    // New devices that the following searches list but leave alone.
    void SetLeftAlone(std::vector<TDeviceKey> devices) { FLeftAlone = std::move(devices); }
    const std::vector<TDeviceKey>& LeftAlone() const { return FLeftAlone; }
    // The devices the last finished search could not open or identify; that
    // search's new devices were dropped.
    const std::vector<TDeviceKey>& LastSearchUnanswered() const { return FLastUnanswered; }
    // Whether this attached entry shares its serial number with another one:
    // neither is written automatically then.
    bool SharesSerial(const TDevEntry& entry) const;

    // Flash start and result, main thread only.
    void WriteButtonClick(const TDevicePanel* sender);
    size_t WritesRunning() const { return FWriteThreads.size(); }
    void SetWriteObserver(TWriteObserver observer) { FWriteObserver = std::move(observer); }
    const TWriteCounters& Counters() const { return FCounters; }
    void ResetCounters();

    // Firmware image, main thread only. btnFwLoadClick may raise TFirmwareError
    // for an oversized payload, which the caller reports.
    void SetExternFirmware(bool on) { FExternFirmware = on; }
    bool ExternFirmware() const { return FExternFirmware; }
    void SetFirmwareFile(std::string path) { FFirmwareFile = std::move(path); }
    const std::string& FirmwareFile() const { return FFirmwareFile; }
    // The file box's drop-down items, most recent first.
    void SetFileHistory(std::vector<std::string> history) { FFileHistory = std::move(history); }
    const std::vector<std::string>& FileHistory() const { return FFileHistory; }
    const TFirmwareVersion& FirmwareVersion() const { return FFirmwareVersion; }
    // The image LoadFirmware loaded last, and its SHA-256 (empty before).
    const TFirmwareVersion& LoadedImageVersion() const { return FLoadedVersion; }
    std::string LoadedImageSha256() const override { return FLoadedSha256; }
    bool EmbeddedLoaded() const { return FEmbeddedLoaded; }
    void btnFwLoadClick();
    bool LoadFirmware(TBlockList& blocks, TFirmwareVersion& version) override;
    bool LoadFirmwareFromFile(TBlockList& blocks, TFirmwareVersion& version);
    bool LoadFirmwareFromResource(TBlockList& blocks, TFirmwareVersion& version);

    // Shutdown, main thread only. Shutdown does all of it: it asks every
    // worker to stop, serves the main thread until their end handlers have run
    // or the deadline has passed, leaves the workers still running, and closes
    // the devices. A front end that must not block (a window's close) takes
    // the steps itself: BeginShutdown, then LeaveRunningWorkers at the deadline.
    void SetShutdownTimeout(std::chrono::milliseconds timeout) { FShutdownTimeout = timeout; }
    void Shutdown(const TServe& serve);
    // Asks every worker to stop and starts nothing from now on. `whenStopped`
    // runs from the end handler of the last worker to end.
    void BeginShutdown(std::function<void()> whenStopped);
    bool ShuttingDown() const { return FShuttingDown; }
    bool WorkersRunning() const { return FSearchThread || !FWriteThreads.empty(); }
    TClock::time_point ShutdownDeadline() const { return FShutdownDeadline; }
    // Logs each worker still running and keeps it, with the entry it writes,
    // to the end of the process; then closes the hand-over, so that none of
    // them reaches the loader again.
    void LeaveRunningWorkers();
    const std::vector<TLeftWrite>& LeftWrites() const { return FLeftWrites; }
    // Closes the channel of every entry and destroys them. No worker may run.
    void CloseDevices();

private:
    // The hosts of the workers.
    THandOver HandOver() const override { return FMainThread.HandOver(); }
    bool StartApp() const override { return FOptions.startApp; }
    std::chrono::milliseconds ConfirmTimeout() const override { return FOptions.confirmTimeout; }
    void CompareWithRegistry(TDeviceList& listed) override { FDevices.Compare(listed); }

    // Where reading and parsing an image report: the loader's log, unprefixed.
    TLogCallback ImageLog();
    void ReadVersionTerminate();
    void CreateDevicePanel(TDevEntry& entry);
    void SetDeviceStatus(TDevEntry& entry, const std::string& text, LogLevel style);
    void StartDeviceWrite(TDevEntry& entry);
    // The skipped write of a device that already holds the image.
    void SkipDeviceWrite(TDevEntry& entry);
    void WriteThreadTerminate(TWriteThread& thread);
    // One warning line per serial number that attached devices share.
    void WarnAboutSharedSerials();
    // What a record says of the device, the host and the loader.
    TWriteRecord DeviceRecord(const TDevEntry& entry);
    void FileRecord(const TWriteRecord& record);
    // After an end handler: hands a shutdown over to whoever waits for it.
    void NotifyIfStopped();

    TMainThread& FMainThread;
    TLoaderView& FView;
    std::filesystem::path FExeDir;
    TStorage FStorage;
    std::filesystem::path FLogFolder;
    std::optional<std::filesystem::path> FRecordsFile;
    TRecordObserver FRecordObserver;
    TWriteCounters FCounters;
    // Writes started in this run, per device.
    std::vector<std::pair<TDeviceKey, int32_t>> FAttempts;
    std::vector<TDeviceKey> FLeftAlone;
    std::vector<TDeviceKey> FLastUnanswered;
    TLoaderOptions FOptions;
    TDeviceRegistry FDevices;
    std::unique_ptr<TReadVersion> FSearchThread;
    // Write threads live until their end handler has returned.
    std::list<std::unique_ptr<TWriteThread>> FWriteThreads;
    TWriteObserver FWriteObserver;
    bool FExternFirmware = false;
    std::string FFirmwareFile;
    std::vector<std::string> FFileHistory;
    TFirmwareVersion FFirmwareVersion;
    TFirmwareVersion FLoadedVersion;
    std::string FLoadedSha256;
    std::string FResourceSha256;
    bool FEmbeddedLoaded = false;
    std::chrono::milliseconds FShutdownTimeout = SHUTDOWN_TIMEOUT;
    bool FShuttingDown = false;
    TClock::time_point FShutdownDeadline;
    std::function<void()> FWhenStopped;
    std::vector<TLeftWrite> FLeftWrites;
};

}  // namespace zv
