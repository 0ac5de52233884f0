#pragma once
// The write thread: rewrites one device's flash through its bootloader,
// sector by sector, reporting every step to the log and the progress to the
// device's panel through the main thread. One runs per device being written.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "devices/DevEntry.h"
#include "firmware/FirmwareImage.h"
#include "flashing/FlashPlan.h"
#include "flashing/WriteOutcome.h"
#include "threading/Log.h"
#include "threading/WorkerHost.h"
#include "threading/WorkerThread.h"

namespace zv {

// What a write thread needs of the loader besides the hand-over and the log.
// Main thread only, like every host call.
class TWriteHost : public virtual TWorkerHost {
public:
    // cbStartApp at this moment.
    virtual bool StartApp() const = 0;
    // Loads the image chosen at this moment; may raise for an oversized block.
    virtual bool LoadFirmware(TBlockList& blocks, TFirmwareVersion& version) = 0;
    // The SHA-256 of the image LoadFirmware loaded last, whole file or resource.
    virtual std::string LoadedImageSha256() const = 0;
    // How long a started application may take to report its version; zero:
    // the version is not checked.
    virtual std::chrono::milliseconds ConfirmTimeout() const = 0;

protected:
    ~TWriteHost() = default;
};

// Between attempts to reach a started application.
constexpr uint32_t CONFIRM_RETRY_MS = 100;

// A stop request ends the sector loop before its next sector.
class TWriteThread : public TWorkerThread {
public:
    TWriteThread(TWriteHost& host, TDevEntry& device);

    // Runs Execute on a thread of its own; `onTerminate` is then posted to
    // the main thread.
    void Start(std::function<void()> onTerminate);

    void Execute();
    void BuildFlashImage();
    bool EraseSector(int32_t sector);
    bool WriteSector(int32_t sector);
    void SendDoneFrames();
    void SendFailedFrame();
    // After the application's start: reopens the device until it reports a
    // version or `timeout` has passed, and compares it with the image's.
    void ConfirmVersion(std::chrono::milliseconds timeout);
    void SendLogFmt(LogLevel level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // Results, final once the end handler runs.
    TBlockList Blocks;
    TFirmwareVersion ImageVersion;
    std::string ImageSha256;
    TFlashPlan Plan;
    uint32_t StartTick = 0;
    std::string MsgText;
    LogLevel MsgLevel = llNormal;
    int32_t DoneUnits = 0;
    TDevEntry* Device;
    int32_t ErrorCode = 0;
    int32_t LastReplyCode = 0;
    int32_t ElapsedMs = 0;
    int32_t SectorsWritten = 0;
    int32_t SectorsSkipped = 0;
    // Sectors that answered 131 to their erase or a write.
    int32_t SectorsProtected = 0;
    std::chrono::system_clock::time_point StartedAt;
    TConfirmation Confirmation = TConfirmation::NotAsked;
    std::string ReportedVersion;  // what the started application reported

private:
    int Elapsed() const;
    // A step of the sector loop: the "(% 6d)" head with the time so far, then the text.
    void SendStepFmt(LogLevel level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void SendLog(LogLevel level, std::string text);
    uint16_t EraseCommand() const;
    uint16_t WriteCommand() const;
    void SyncLoadImage();
    void SyncProgress();
    // One of the sector's replies said it is protected.
    void NoteProtected(int32_t sector);

    int32_t LastProtectedSector = -1;
    // Set by SendDoneFrames when the application was started.
    std::chrono::milliseconds ConfirmWithin{0};

    TWriteHost& Host;
    const THandOver MainThread;
};

}  // namespace zv
