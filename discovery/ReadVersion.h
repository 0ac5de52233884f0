#pragma once
// The discovery thread: lists the devices of both driver libraries, has the
// main thread compare them with the registry, and identifies the new ones
// (mode, versions, processor), sending application-mode devices the bootloader
// start. The registry takes its results over on the main thread when it has
// ended.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "devices/Registry.h"
#include "threading/Log.h"
#include "threading/WorkerHost.h"
#include "threading/WorkerThread.h"

namespace zv {

// What a search needs of the loader besides the hand-over and the log. Main
// thread only, like every host call.
class TSearchHost : public virtual TWorkerHost {
public:
    // The registry's comparison (TDeviceRegistry::Compare): leaves in `listed`
    // the devices the registry does not know.
    virtual void CompareWithRegistry(TDeviceList& listed) = 0;

protected:
    ~TSearchHost() = default;
};

constexpr int32_t ErrDeviceOpen = 7;
constexpr int32_t ErrNoIdentification = 8;

inline constexpr const char* FTDI_PRODUCT_DESCRIPTION = "Zelvia";
constexpr int FTDI_LIST_ATTEMPTS = 50;
constexpr uint32_t FTDI_LIST_RETRY_MS = 100;
constexpr uint32_t OM_FIRST_LIST_COUNT = 5;
constexpr uint32_t BOOT_START_TIMEOUT_MS = 1000;

class TReadVersion : public TWorkerThread {
public:
    explicit TReadVersion(TSearchHost& host);

    // Runs Execute on a thread of its own; `onTerminate` is then posted to the
    // main thread.
    void Start(std::function<void()> onTerminate);

    void Execute();
    void SearchDevices();
    void ListFtdiDevices();
    void ListOmDevices();
    bool IdentifyDevice(TDevEntry& entry);
    bool ProbeBootloader(TDevEntry& entry);
    bool ReadAppVersion(TDevEntry& entry);
    bool ReadBootloaderInfo(TDevEntry& entry);
    bool StartBootloader(TDevEntry& entry);

    void SendLog(LogLevel level, int32_t device, std::string text);
    void SendLogFmt(LogLevel level, int32_t device, const char* format, ...) __attribute__((format(printf, 4, 5)));

    // Results, final once the end handler runs.
    uint32_t StartTick = 0;
    std::string MsgText;
    LogLevel MsgLevel = llNormal;
    int32_t MsgDevice = 0;
    TDeviceList NewDevices;
    // Set before Start: new devices that this search lists but leaves alone.
    std::vector<TDeviceKey> LeaveAlone;
    // The new devices that could not be opened or did not answer.
    std::vector<TDeviceKey> Unanswered;
    int32_t ErrorCode = 0;
    int32_t LastReplyCode = 0;
    int32_t ElapsedMs = 0;

private:
    void SyncLog();
    void LogException(const std::exception& error);

    TSearchHost& Host;
    const THandOver MainThread;
};

}  // namespace zv
