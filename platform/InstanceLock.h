#pragma once
// The single-instance test: on Linux an advisory lock on a file in the runtime
// folder, on Windows the named mutex of the file's name (named objects live in
// the session, not in folders). The system drops either when the process ends,
// so a crashed instance never blocks the next start.

#include <chrono>
#include <cstdint>
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
    explicit TInstanceLock(intptr_t handle) : handle_(handle) {}
    intptr_t handle_;  // the lock file's descriptor; the mutex's handle
};

}  // namespace zv
