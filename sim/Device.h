#pragma once
// One simulated device as this process sees it: the bootloader and application
// behaviour, the queue of replies with their ready times, the injected faults
// and the flash. Every call locks the device's own mutex only.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/FlashLayout.h"
#include "sim/Scenario.h"
#include "sim/StateStore.h"
#include "sim/Trace.h"

namespace zvsim {

using TClock = std::chrono::steady_clock;

// Status values of frame replies.
constexpr uint16_t STATUS_OK = 128;
constexpr uint16_t STATUS_BAD_FRAME = 129;
constexpr uint16_t STATUS_BAD_ADDRESS = 130;
constexpr uint16_t STATUS_PROTECTED = 131;
constexpr uint16_t STATUS_NOT_ERASED = 132;
constexpr uint16_t STATUS_LOCKED = 138;

constexpr size_t HEADER_SIZE = 14;
constexpr size_t PART_SIZE = 512;
constexpr size_t LONGEST_FRAME = 4096;
constexpr size_t TEXT_INPUT_KEPT = 256;
// Like a real receive buffer, replies beyond this many queued bytes are lost.
constexpr size_t RECEIVE_QUEUE_LIMIT = 65536;
constexpr auto FRAME_IDLE_DROP = std::chrono::milliseconds(100);

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
    TIo Write(uint64_t token, std::span<const uint8_t> bytes, uint32_t& accepted);
    // No time-out waits until enough bytes are there (the device may not be unplugged meanwhile).
    TIo Read(uint64_t token, uint8_t* buffer, uint32_t capacity, std::optional<uint32_t> timeoutMs, TReadKind kind,
             uint32_t& received);
    TIo Queued(uint64_t token, uint32_t& bytes);
    // Replies not yet sent by the device are not affected.
    TIo PurgeReceived(uint64_t token, const char* event);

private:
    struct TChunk {
        std::vector<uint8_t> bytes;
        size_t offset = 0;
        TClock::time_point readyAt;
    };
    // What a reply answers, for the fault counters.
    struct TOrigin {
        bool text = false;
        std::optional<uint16_t> command;
    };

    TIo CheckLocked(uint64_t token);
    uint32_t ReadyBytes(TClock::time_point now) const;
    uint32_t Take(uint8_t* buffer, uint32_t capacity, TClock::time_point now, bool oneReply);
    void DropReceived(bool pendingToo, TClock::time_point now);

    void Feed(std::span<const uint8_t> bytes, TClock::time_point now);
    void FeedFrames(std::span<const uint8_t> bytes, TClock::time_point now);
    void FeedText(std::string_view bytes, TClock::time_point now);
    void HandleFrame(std::span<const uint8_t> frame, TClock::time_point now);
    uint16_t Erase(uint16_t sector, uint32_t address, uint32_t& extraMs);
    uint16_t WritePart(uint16_t sector, uint32_t address, std::span<const uint8_t> part, uint32_t& extraMs);
    void SaveFlash(uint32_t offset, uint32_t size);
    void ReplyFrame(uint16_t status, std::span<const uint8_t> request, std::span<const uint8_t> payload,
                    uint32_t extraMs, TClock::time_point now);
    void Queue(std::vector<uint8_t> reply, TOrigin origin, uint32_t latencyMs, TClock::time_point now);

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
    TFd flashFile;
    std::vector<uint8_t> flash;
    std::vector<uint8_t> frameInput;
    TClock::time_point lastInput;
    std::string textInput;
    std::deque<TChunk> replies;
    size_t queuedBytes = 0;
    TClock::time_point busyUntil;
    // Fault counters, per process, 1-based once counted.
    uint32_t opens = 0;
    uint32_t writeCalls = 0;
    uint32_t allReplies = 0;
    uint32_t textReplies = 0;
    std::map<uint16_t, uint32_t> commandReplies;
};

}  // namespace zvsim
