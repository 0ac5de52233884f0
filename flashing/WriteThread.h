#pragma once
// The write thread: rewrites one device's flash through its bootloader,
// sector by sector, reporting every step to the log and the progress to the
// device's panel through the main thread. One runs per device being written.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "app/Log.h"
#include "app/WorkerThread.h"
#include "devices/DevEntry.h"
#include "firmware/FirmwareImage.h"
#include "flashing/FlashPlan.h"

namespace zv {

class TLoaderCore;

// A stop request ends the sector loop before its next sector.
class TWriteThread : public TWorkerThread {
public:
    TWriteThread(TLoaderCore& core, TDevEntry& device);

    // Runs Execute on a thread of its own; `onTerminate` is then posted to
    // the main thread.
    void Start(std::function<void()> onTerminate);

    void Execute();
    void BuildFlashImage();
    bool EraseSector(int32_t sector);
    bool WriteSector(int32_t sector);
    void SendDoneFrames();
    void SendFailedFrame();
    void SendLogFmt(LogLevel level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // Results, final once the end handler runs.
    TBlockList Blocks;
    TFirmwareVersion ImageVersion;
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

private:
    int Elapsed() const;
    uint16_t EraseCommand() const;
    uint16_t WriteCommand() const;
    void SyncLoadImage();
    void SyncProgress();

    TLoaderCore& core_;
};

}  // namespace zv
