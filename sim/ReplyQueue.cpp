#include "sim/ReplyQueue.h"

#include <algorithm>

#include "sim/Bytes.h"

namespace zvsim {

TReplyQueue::TReplyQueue(std::vector<TFault> faults) : faults(std::move(faults)) {}

bool TReplyQueue::Add(std::vector<uint8_t> reply, TReplyOrigin origin, uint32_t latencyMs, TClock::time_point now) {
    ++allReplies;
    if (origin.text) ++textReplies;
    if (origin.command) ++commandReplies[*origin.command];
    TClock::time_point readyAt = std::max(now, busyUntil) + std::chrono::milliseconds(latencyMs);
    bool dropped = false;
    std::optional<std::pair<size_t, uint32_t>> split;  // bytes sent first, gap
    for (const TFault& fault : faults) {
        uint32_t number = 0;
        switch (fault.filter) {
            case TReplyFilter::All: number = allReplies; break;
            case TReplyFilter::Text: number = origin.text ? textReplies : 0; break;
            case TReplyFilter::Command:
                number = origin.command == fault.command ? commandReplies[fault.command] : 0;
                break;
        }
        if (number == 0 || !fault.Covers(number)) continue;
        const size_t half = reply.size() / 2;
        switch (fault.kind) {
            case TFaultKind::Drop: dropped = true; break;
            case TFaultKind::Shorten: reply.resize(std::min<size_t>(reply.size(), fault.bytes.value_or(half))); break;
            case TFaultKind::Corrupt:
                if (origin.text) {
                    for (uint8_t& b : reply) b ^= 0xFF;
                } else {
                    if (reply.size() > 4) reply[4] ^= 0xFF;  // status 128 reads as 127
                    for (size_t i = HEADER_SIZE; i < reply.size(); ++i) reply[i] ^= 0xFF;
                }
                break;
            case TFaultKind::WrongEcho:
                if (!origin.text && reply.size() >= HEADER_SIZE) {
                    PutU16(&reply[6], static_cast<uint16_t>(GetU16(&reply[6]) + 1));
                    PutU16(&reply[12], 0);
                    PutU16(&reply[12], Checksum(reply));
                }
                break;
            case TFaultKind::NoPayload:
                // A header that claims no payload: the length says 14.
                if (!origin.text && reply.size() >= HEADER_SIZE) {
                    reply.resize(HEADER_SIZE);
                    PutU16(&reply[0], static_cast<uint16_t>(HEADER_SIZE));
                    PutU16(&reply[12], 0);
                    PutU16(&reply[12], Checksum(reply));
                }
                break;
            case TFaultKind::Split:
                split = {std::min<size_t>(reply.size(), fault.bytes.value_or(half)), fault.gapMs};
                break;
            case TFaultKind::PartialChunk:
            case TFaultKind::RefuseOpen:
            case TFaultKind::Hang: break;
        }
    }
    busyUntil = readyAt;
    if (dropped || reply.empty()) return false;
    if (queuedBytes + reply.size() > RECEIVE_QUEUE_LIMIT) return false;
    queuedBytes += reply.size();
    if (split && split->first > 0 && split->first < reply.size()) {
        std::vector<uint8_t> head(reply.begin(), reply.begin() + static_cast<ptrdiff_t>(split->first));
        reply.erase(reply.begin(), reply.begin() + static_cast<ptrdiff_t>(split->first));
        replies.push_back({std::move(head), 0, readyAt});
        readyAt += std::chrono::milliseconds(split->second);
        busyUntil = readyAt;
    }
    replies.push_back({std::move(reply), 0, readyAt});
    return true;
}

uint32_t TReplyQueue::ReadyBytes(TClock::time_point now) const {
    uint32_t ready = 0;
    for (const TChunk& chunk : replies) {
        if (chunk.readyAt > now) break;
        ready += static_cast<uint32_t>(chunk.bytes.size() - chunk.offset);
    }
    return ready;
}

std::optional<TClock::time_point> TReplyQueue::NextReady(TClock::time_point now) const {
    for (const TChunk& chunk : replies)
        if (chunk.readyAt > now) return chunk.readyAt;
    return std::nullopt;
}

uint32_t TReplyQueue::Take(uint8_t* buffer, uint32_t capacity, TClock::time_point now, bool oneReply) {
    uint32_t taken = 0;
    while (taken < capacity && ReplyReady(now)) {
        TChunk& chunk = replies.front();
        const size_t n = std::min<size_t>(capacity - taken, chunk.bytes.size() - chunk.offset);
        std::copy_n(chunk.bytes.begin() + static_cast<ptrdiff_t>(chunk.offset), n, buffer + taken);
        chunk.offset += n;
        taken += static_cast<uint32_t>(n);
        queuedBytes -= n;
        const bool whole = chunk.offset == chunk.bytes.size();
        if (whole) replies.pop_front();
        if (oneReply) break;
    }
    return taken;
}

void TReplyQueue::DropReady(TClock::time_point now) {
    while (ReplyReady(now)) {
        queuedBytes -= replies.front().bytes.size() - replies.front().offset;
        replies.pop_front();
    }
}

void TReplyQueue::Clear() {
    replies.clear();
    queuedBytes = 0;
}

void TReplyQueue::Restart(TClock::time_point now) {
    Clear();
    busyUntil = now;
}

}  // namespace zvsim
