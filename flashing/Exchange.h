#pragma once
// One exchange function per reply rule: each sends a frame over the device
// channel, reads, checks and (for sector frames) retries in one place.

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "devices/DevEntry.h"
#include "flashing/Frames.h"

namespace zv {

struct TIdentificationReply {
    bool sent = false;                            // the request went out whole
    uint32_t received = 0;                        // bytes read
    std::optional<std::vector<uint8_t>> payload;  // set when the reply was accepted
};

// Commands 4, 5 and 10: sent once, one read of up to 1024 bytes.
TIdentificationReply ExchangeIdentification(TDevEntry& device, uint16_t command, uint32_t timeoutMs,
                                            const std::atomic<bool>* cancel = nullptr);

enum class TSectorResult {
    Ok,         // status 128
    Protected,  // status 131: counted as success
    Failed,     // no 14-byte reply in three sends, a wrong header or echo, or another status
};

struct TSectorExchange {
    TSectorResult result = TSectorResult::Failed;
    std::optional<uint16_t> status;  // set when the reply passed the header checks
};

// Commands 1, 2, 6, 7: up to three sends while fewer than 14 bytes come back
// within 1000 ms; the first 14-byte reply decides. `replyBuffer` keeps the
// bytes of the last read, for the caller's error report.
TSectorExchange ExchangeSectorFrame(TDevEntry& device, std::span<const uint8_t> frame, uint16_t sector,
                                    std::optional<uint32_t> address,
                                    std::array<uint8_t, SECTOR_REPLY_SIZE>& replyBuffer);

// The application's version query, what it reads and how long it waits.
inline constexpr char APP_VERSION_COMMAND[] = "FL_READ_VERSION$";
constexpr int APP_VERSION_ATTEMPTS = 4;
constexpr uint32_t APP_VERSION_REPLY_SIZE = 100;
constexpr uint32_t APP_VERSION_TIMEOUT_MS = 2000;
constexpr uint32_t APP_VERSION_MIN_REPLY = 8;

// A device's text: Windows-1251 bytes up to the first zero, as UTF-8.
std::string DeviceText(const uint8_t* bytes, size_t size);

// FL_READ_VERSION$ to a device running its application, sent once; the bytes
// of one read of up to `buffer.size()` within `timeoutMs`.
uint32_t ExchangeAppVersion(TDevEntry& device, std::span<uint8_t> buffer, uint32_t timeoutMs,
                            const std::atomic<bool>* cancel = nullptr);

// Commands 11, 12, 13: after a successful send, up to 1024 bytes are read
// within 100 ms and dropped.
void ExchangeDrained(TDevEntry& device, uint16_t command);

}  // namespace zv
