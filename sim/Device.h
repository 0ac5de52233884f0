#pragma once
// One simulated device as this process sees it: open, close, reads, writes and
// the hang faults here (Device.cpp), its bootloader (Bootloader.cpp), its
// application (Application.cpp) and its queue of replies (TReplyQueue). Every
// call locks the device's own mutex only.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/FlashLayout.h"
#include "sim/ReplyQueue.h"
#include "sim/Scenario.h"
#include "sim/StateStore.h"
#include "sim/Trace.h"

namespace zvsim {

enum class TIo { Ok, Unplugged };
enum class TOpen { Ok, NotPlugged, Busy, Refused, Failed };
enum class TReadKind {
    Fill,      // wait for `capacity` bytes or the time-out; return what is ready
    OneReply,  // wait for a reply; return up to `capacity` bytes of it
};

class TSimDevice {
public:
    TSimDevice(const TDeviceConfig& config, std::shared_ptr<TStateStore> store, std::shared_ptr<TTrace> trace);

    const TDeviceConfig& Config() const { return config; }

    // `token` names the handle; calls with another token than the last open's fail.
    TOpen Open(uint64_t token);
    void Close(uint64_t token);
    TIo Check(uint64_t token);
    // Reads and writes first sit out the hang faults that cover them, then do their work as if just called.
    TIo Write(uint64_t token, std::span<const uint8_t> bytes, uint32_t& accepted);
    // No time-out waits until enough bytes are there (the device may not be unplugged meanwhile).
    TIo Read(uint64_t token, uint8_t* buffer, uint32_t capacity, std::optional<uint32_t> timeoutMs, TReadKind kind,
             uint32_t& received);
    TIo Queued(uint64_t token, uint32_t& bytes);
    // Replies not yet sent by the device are not affected.
    TIo PurgeReceived(uint64_t token, const char* event);

private:
    TIo CheckLocked(uint64_t token);
    // Sleeps out the hang faults that cover call number `call` with `lock` released; false when none does.
    bool Hang(TCallKind kind, uint32_t call, std::unique_lock<std::mutex>& lock);
    // Hands written bytes to the current mode.
    void Feed(std::span<const uint8_t> bytes, TClock::time_point now);
    void Reply(std::vector<uint8_t> reply, TReplyOrigin origin, uint32_t latencyMs, TClock::time_point now);
    // The scenario's firmwareAfterWrite once a write is confirmed, in any process; otherwise none.
    std::optional<std::string> WrittenFirmware();

    // Bootloader.cpp
    void FeedFrames(std::span<const uint8_t> bytes, TClock::time_point now);
    void HandleFrame(std::span<const uint8_t> frame, TClock::time_point now);
    uint16_t Erase(uint16_t sector, uint32_t address, uint32_t& extraMs);
    uint16_t WritePart(uint16_t sector, uint32_t address, std::span<const uint8_t> part, uint32_t& extraMs);
    void SaveFlash(uint32_t offset, uint32_t size);
    void ReplyFrame(uint16_t status, std::span<const uint8_t> request, std::span<const uint8_t> payload,
                    uint32_t extraMs, TClock::time_point now);

    // Application.cpp
    void FeedText(std::string_view bytes, TClock::time_point now);

    const TDeviceConfig config;
    const TFlashLayout layout;
    const std::shared_ptr<TStateStore> store;
    const std::shared_ptr<TTrace> trace;
    const char* const library;

    std::mutex mutex;
    std::condition_variable wakeup;
    bool open = false;
    uint64_t openToken = 0;
    uint64_t openConnection = 0;
    TMode mode = TMode::Bootloader;
    TFile flashFile;
    std::vector<uint8_t> flash;
    std::vector<uint8_t> frameInput;
    TClock::time_point lastInput;
    std::string textInput;
    TReplyQueue replies;
    // Fault counters, per process, 1-based once counted.
    uint32_t opens = 0;
    uint32_t readCalls = 0;
    uint32_t writeCalls = 0;
};

}  // namespace zvsim
