#pragma once
// A device's replies on their way to the host: each becomes ready at its own
// time, the reply faults are applied as it is queued, and like a real receive
// buffer the queue holds a limited number of bytes. Not locked itself: the
// device's mutex guards it.

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "sim/Scenario.h"

namespace zvsim {

using TClock = std::chrono::steady_clock;

// Like a real receive buffer, replies beyond this many queued bytes are lost.
constexpr size_t RECEIVE_QUEUE_LIMIT = 65536;

// What a reply answers, for the fault counters.
struct TReplyOrigin {
    bool text = false;
    std::optional<uint16_t> command;
};

class TReplyQueue {
public:
    explicit TReplyQueue(std::vector<TFault> faults);

    // Queues `reply` to be ready `latencyMs` after `now`, but not before the device has sent the previous one.
    // False when a fault or the full queue lost it.
    bool Add(std::vector<uint8_t> reply, TReplyOrigin origin, uint32_t latencyMs, TClock::time_point now);

    uint32_t ReadyBytes(TClock::time_point now) const;
    bool ReplyReady(TClock::time_point now) const { return !replies.empty() && replies.front().readyAt <= now; }
    // When the first reply that is not ready at `now` will be, if one is queued.
    std::optional<TClock::time_point> NextReady(TClock::time_point now) const;
    // Up to `capacity` ready bytes; with `oneReply` from the first ready reply only.
    uint32_t Take(uint8_t* buffer, uint32_t capacity, TClock::time_point now, bool oneReply);

    // Replies the device has not sent yet are kept.
    void DropReady(TClock::time_point now);
    // Everything queued is lost (unplug, close); the fault counters go on.
    void Clear();
    // A fresh open: nothing queued and the device idle from `now`.
    void Restart(TClock::time_point now);

private:
    struct TChunk {
        std::vector<uint8_t> bytes;
        size_t offset = 0;
        TClock::time_point readyAt;
    };

    const std::vector<TFault> faults;
    std::deque<TChunk> replies;
    size_t queuedBytes = 0;
    TClock::time_point busyUntil;
    // Fault counters, per process, 1-based once counted.
    uint32_t allReplies = 0;
    uint32_t textReplies = 0;
    std::map<uint16_t, uint32_t> commandReplies;
};

}  // namespace zvsim
