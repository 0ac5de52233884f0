#pragma once
// The single-instance test: an advisory lock on a file in the runtime folder.
// The system drops it when the process ends, so a crashed instance never
// blocks the next start.

#include <chrono>
#include <filesystem>
#include <memory>

namespace zv {

inline constexpr const char* INSTANCE_LOCK_NAME = "ZVUSBFirmwareLoaderBaseMutex";

class TInstanceLock {
public:
    // Tries for up to `wait`; empty when another process holds the lock or the
    // file cannot be made (both mean: not the first instance).
    static std::unique_ptr<TInstanceLock> Acquire(const std::filesystem::path& file, std::chrono::milliseconds wait);
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

private:
    explicit TInstanceLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace zv
