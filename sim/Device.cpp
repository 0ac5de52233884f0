#include "sim/Device.h"

#include <algorithm>
#include <cstdio>

#include "sim/Bytes.h"

namespace zvsim {

namespace {

constexpr std::string_view READ_VERSION = "FL_READ_VERSION$";
constexpr std::string_view START_BOOT_LOADER = "START_BOOT_LOADER";
constexpr std::string_view STARTED = "STARTED";
// A read without time-out still looks at the world now and then to notice an unplug by another process.
constexpr auto UNPLUG_POLL = std::chrono::milliseconds(100);

enum : uint16_t {
    CMD_ERASE = 1,
    CMD_WRITE = 2,
    CMD_FIRMWARE_VERSION = 4,
    CMD_BOOTLOADER_VERSION = 5,
    CMD_ERASE_2 = 6,
    CMD_WRITE_2 = 7,
    CMD_PROCESSOR_ID = 10,
    CMD_FLASH_DONE = 11,
    CMD_FLASH_FAILED = 12,
    CMD_START_APPLICATION = 13,
};

std::span<const uint8_t> TextBytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// The device starts its bootloader when it answers STARTED, line ends or spaces after it included.
bool AcceptsStart(const std::optional<std::string>& reply) {
    if (!reply || !reply->starts_with(STARTED)) return false;
    return reply->find_first_not_of(" \t\r\n", STARTED.size()) == std::string::npos;
}

}  // namespace

TSimDevice::TSimDevice(const TDeviceConfig& config, std::shared_ptr<TStateStore> store, std::shared_ptr<TTrace> trace)
    : config(config),
      layout(LayoutForProcessor(config.processor)),
      store(std::move(store)),
      trace(std::move(trace)),
      library(LibraryName(config.library)) {}

TOpen TSimDevice::Open(uint64_t token) {
    std::lock_guard lock(mutex);
    const TPersisted state = store->Current(config.serial);
    if (!state.plugged) return TOpen::NotPlugged;
    // A handle left open from before a replug does not keep the device busy.
    if (open && openConnection == state.connection) return TOpen::Busy;
    ++opens;
    for (const TFault& fault : config.faults) {
        if (fault.kind == TFaultKind::RefuseOpen && (fault.count == 0 || opens <= fault.count)) {
            trace->Event(config.serial, library, "refuse");
            return TOpen::Refused;
        }
    }
    try {
        flashFile = OpenFlashFile(store->Folder(), config, layout.FlashSize(), flash);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zvsim: %s\n", e.what());
        return TOpen::Failed;
    }
    open = true;
    openToken = token;
    openConnection = state.connection;
    mode = state.mode;
    replies.clear();
    queuedBytes = 0;
    frameInput.clear();
    textInput.clear();
    busyUntil = TClock::now();
    trace->Event(config.serial, library, "open");
    return TOpen::Ok;
}

void TSimDevice::Close(uint64_t token) {
    std::lock_guard lock(mutex);
    if (!open || token != openToken) return;
    open = false;
    flashFile.Reset();  // the flash file is written through, nothing is pending
    replies.clear();
    queuedBytes = 0;
    trace->Event(config.serial, library, "close");
    wakeup.notify_all();
}

TIo TSimDevice::CheckLocked(uint64_t token) {
    if (!open || token != openToken) return TIo::Unplugged;
    const TPersisted state = store->Current(config.serial);
    if (!state.plugged || state.connection != openConnection) {
        replies.clear();
        queuedBytes = 0;
        return TIo::Unplugged;
    }
    mode = state.mode;
    return TIo::Ok;
}

TIo TSimDevice::Check(uint64_t token) {
    std::lock_guard lock(mutex);
    return CheckLocked(token);
}

TIo TSimDevice::Write(uint64_t token, std::span<const uint8_t> bytes, uint32_t& accepted) {
    accepted = 0;
    std::lock_guard lock(mutex);
    if (CheckLocked(token) != TIo::Ok) return TIo::Unplugged;
    ++writeCalls;
    size_t count = bytes.size();
    for (const TFault& fault : config.faults)
        if (fault.kind == TFaultKind::PartialChunk && fault.Covers(writeCalls))
            count = std::min<size_t>(count, *fault.bytes);
    bytes = bytes.first(count);
    accepted = static_cast<uint32_t>(count);
    trace->Event(config.serial, library, "write", bytes);
    Feed(bytes, TClock::now());
    return TIo::Ok;
}

uint32_t TSimDevice::ReadyBytes(TClock::time_point now) const {
    uint32_t ready = 0;
    for (const TChunk& chunk : replies) {
        if (chunk.readyAt > now) break;
        ready += static_cast<uint32_t>(chunk.bytes.size() - chunk.offset);
    }
    return ready;
}

uint32_t TSimDevice::Take(uint8_t* buffer, uint32_t capacity, TClock::time_point now, bool oneReply) {
    uint32_t taken = 0;
    while (taken < capacity && !replies.empty() && replies.front().readyAt <= now) {
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
    if (taken > 0) trace->Event(config.serial, library, "read", {buffer, taken});
    return taken;
}

TIo TSimDevice::Read(uint64_t token, uint8_t* buffer, uint32_t capacity, std::optional<uint32_t> timeoutMs,
                     TReadKind kind, uint32_t& received) {
    received = 0;
    std::unique_lock lock(mutex);
    const TClock::time_point start = TClock::now();
    const TClock::time_point deadline =
        timeoutMs ? start + std::chrono::milliseconds(*timeoutMs) : TClock::time_point::max();
    for (;;) {
        if (CheckLocked(token) != TIo::Ok) return TIo::Unplugged;
        const TClock::time_point now = TClock::now();
        const bool late = now >= deadline;
        if (kind == TReadKind::OneReply) {
            if (capacity == 0 || late || (!replies.empty() && replies.front().readyAt <= now)) {
                received = Take(buffer, capacity, now, true);
                return TIo::Ok;
            }
        } else if (late || ReadyBytes(now) >= capacity) {
            received = Take(buffer, capacity, now, false);
            return TIo::Ok;
        }
        TClock::time_point wakeAt = std::min(deadline, now + UNPLUG_POLL);
        for (const TChunk& chunk : replies) {
            if (chunk.readyAt > now) {
                wakeAt = std::min(wakeAt, chunk.readyAt);
                break;
            }
        }
        wakeup.wait_until(lock, wakeAt);
    }
}

TIo TSimDevice::Queued(uint64_t token, uint32_t& bytes) {
    bytes = 0;
    std::lock_guard lock(mutex);
    if (CheckLocked(token) != TIo::Ok) return TIo::Unplugged;
    bytes = ReadyBytes(TClock::now());
    return TIo::Ok;
}

TIo TSimDevice::PurgeReceived(uint64_t token, const char* event) {
    std::lock_guard lock(mutex);
    if (CheckLocked(token) != TIo::Ok) return TIo::Unplugged;
    const TClock::time_point now = TClock::now();
    while (!replies.empty() && replies.front().readyAt <= now) {
        queuedBytes -= replies.front().bytes.size() - replies.front().offset;
        replies.pop_front();
    }
    trace->Event(config.serial, library, event);
    return TIo::Ok;
}

void TSimDevice::Feed(std::span<const uint8_t> bytes, TClock::time_point now) {
    switch (mode) {
        case TMode::Silent: return;
        case TMode::Bootloader: FeedFrames(bytes, now); return;
        case TMode::Application: FeedText({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, now); return;
    }
}

void TSimDevice::FeedFrames(std::span<const uint8_t> bytes, TClock::time_point now) {
    // A partial frame left idle is dropped, so that the loader can start again after a lost chunk.
    if (!frameInput.empty() && now - lastInput > FRAME_IDLE_DROP) frameInput.clear();
    lastInput = now;
    frameInput.insert(frameInput.end(), bytes.begin(), bytes.end());
    // Frames are taken from `at` on and the consumed bytes dropped once, so a huge write stays linear.
    size_t at = 0;
    while (frameInput.size() - at >= 2) {
        const std::span<const uint8_t> rest = std::span(frameInput).subspan(at);
        const size_t length = GetU16(rest.data());
        if (length < HEADER_SIZE || length > LONGEST_FRAME) {
            ReplyFrame(STATUS_BAD_FRAME, rest, {}, 0, now);
            frameInput.clear();
            return;
        }
        if (rest.size() < length) break;
        at += length;
        HandleFrame(rest.first(length), now);
        if (mode != TMode::Bootloader) {
            // The application has started: whatever followed the frame is its input.
            const std::vector<uint8_t> after(frameInput.begin() + static_cast<ptrdiff_t>(at), frameInput.end());
            frameInput.clear();
            Feed(after, now);
            return;
        }
    }
    frameInput.erase(frameInput.begin(), frameInput.begin() + static_cast<ptrdiff_t>(at));
}

void TSimDevice::HandleFrame(std::span<const uint8_t> frame, TClock::time_point now) {
    const uint16_t headerSize = GetU16(&frame[2]);
    const uint16_t command = GetU16(&frame[4]);
    const uint16_t param = GetU16(&frame[6]);
    const uint32_t address = GetU32(&frame[8]);
    std::vector<uint8_t> zeroed(frame.begin(), frame.end());
    zeroed[12] = zeroed[13] = 0;
    const bool intact = headerSize == HEADER_SIZE && Checksum(zeroed) == GetU16(&frame[12]);
    const bool bare = frame.size() == HEADER_SIZE;
    uint32_t extraMs = 0;  // set by the flash operation, so kept apart from the status it returns
    uint16_t status = STATUS_BAD_FRAME;
    if (!intact) {
        ReplyFrame(STATUS_BAD_FRAME, frame, {}, 0, now);
        return;
    }
    switch (command) {
        case CMD_ERASE:
        case CMD_ERASE_2:
            if (!bare) break;
            status = Erase(param, address, extraMs);
            ReplyFrame(status, frame, {}, extraMs, now);
            return;
        case CMD_WRITE:
        case CMD_WRITE_2:
            if (frame.size() != HEADER_SIZE + PART_SIZE) break;
            status = WritePart(param, address, frame.subspan(HEADER_SIZE), extraMs);
            ReplyFrame(status, frame, {}, extraMs, now);
            return;
        case CMD_FIRMWARE_VERSION:
        case CMD_BOOTLOADER_VERSION: {
            if (!bare) break;
            std::string text = command == CMD_FIRMWARE_VERSION ? config.firmware : config.bootloader;
            ReplyFrame(STATUS_OK, frame, TextBytes({text.c_str(), text.size() + 1}), 0, now);
            return;
        }
        case CMD_PROCESSOR_ID: {
            if (!bare) break;
            uint8_t id[4];
            PutU32(id, config.processor);
            ReplyFrame(STATUS_OK, frame, id, 0, now);
            return;
        }
        case CMD_FLASH_DONE:
        case CMD_FLASH_FAILED:
            if (!bare) break;
            ReplyFrame(STATUS_OK, frame, {}, 0, now);
            return;
        case CMD_START_APPLICATION:
            if (!bare) break;
            ReplyFrame(STATUS_OK, frame, {}, 0, now);
            mode = TMode::Application;
            store->Change(config.serial, [](TPersisted& state) { state.mode = TMode::Application; });
            return;
        default: break;
    }
    ReplyFrame(status, frame, {}, 0, now);
}

uint16_t TSimDevice::Erase(uint16_t sector, uint32_t address, uint32_t& extraMs) {
    if (config.locked) return STATUS_LOCKED;
    if (sector >= layout.sectors.size() || address != layout.sectors[sector].offset) return STATUS_BAD_ADDRESS;
    if (config.protectedSectors.contains(sector)) return STATUS_PROTECTED;
    const TSector& target = layout.sectors[sector];
    std::fill_n(flash.begin() + target.offset, target.size, uint8_t{0xFF});
    SaveFlash(target.offset, target.size);
    extraMs = target.size <= 4096 ? config.timing.eraseSmallMs : config.timing.eraseLargeMs;
    return STATUS_OK;
}

uint16_t TSimDevice::WritePart(uint16_t sector, uint32_t address, std::span<const uint8_t> part, uint32_t& extraMs) {
    if (config.locked) return STATUS_LOCKED;
    if (sector >= layout.sectors.size()) return STATUS_BAD_ADDRESS;
    const TSector& target = layout.sectors[sector];
    if (address < target.offset || address - target.offset > target.size - PART_SIZE ||
        (address - target.offset) % PART_SIZE != 0)
        return STATUS_BAD_ADDRESS;
    if (config.protectedSectors.contains(sector)) return STATUS_PROTECTED;
    auto begin = flash.begin() + address;
    if (!std::all_of(begin, begin + PART_SIZE, [](uint8_t b) { return b == 0xFF; })) return STATUS_NOT_ERASED;
    std::copy(part.begin(), part.end(), begin);
    SaveFlash(address, PART_SIZE);
    extraMs = config.timing.partMs;
    return STATUS_OK;
}

void TSimDevice::SaveFlash(uint32_t offset, uint32_t size) {
    try {
        WriteFlash(flashFile.Get(), flash, offset, size);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zvsim: %s: %s\n", config.serial.c_str(), e.what());
    }
}

void TSimDevice::ReplyFrame(uint16_t status, std::span<const uint8_t> request, std::span<const uint8_t> payload,
                            uint32_t extraMs, TClock::time_point now) {
    // The echo takes whatever the request had of param and address; missing bytes read as zero.
    uint8_t header[HEADER_SIZE] = {};
    std::copy_n(request.begin(), std::min(request.size(), HEADER_SIZE), header);
    std::vector<uint8_t> reply(HEADER_SIZE + payload.size());
    PutU16(&reply[0], static_cast<uint16_t>(reply.size()));
    PutU16(&reply[2], HEADER_SIZE);
    PutU16(&reply[4], status);
    std::copy_n(header + 6, 6, &reply[6]);
    std::copy(payload.begin(), payload.end(), reply.begin() + HEADER_SIZE);
    PutU16(&reply[12], Checksum(reply));
    TOrigin origin;
    if (request.size() >= 6) origin.command = GetU16(&header[4]);
    Queue(std::move(reply), origin, config.timing.frameMs + extraMs, now);
}

void TSimDevice::FeedText(std::string_view bytes, TClock::time_point now) {
    textInput.append(bytes);
    size_t from = 0;
    for (;;) {
        const size_t version = textInput.find(READ_VERSION, from);
        const size_t start = textInput.find(START_BOOT_LOADER, from);
        if (version == std::string::npos && start == std::string::npos) break;
        const bool isVersion = version < start;
        from = isVersion ? version + READ_VERSION.size() : start + START_BOOT_LOADER.size();
        std::optional<std::string> reply = isVersion ? config.versionReply : config.startReply;
        if (!isVersion && AcceptsStart(reply) && !store->Current(config.serial).bootAfterReplug)
            store->Change(config.serial, [](TPersisted& state) { state.bootAfterReplug = true; });
        if (reply && !reply->empty()) {
            const auto text = TextBytes(*reply);
            Queue({text.begin(), text.end()}, {.text = true, .command = std::nullopt}, config.timing.textMs, now);
        }
    }
    textInput.erase(0, std::max(from, textInput.size() > TEXT_INPUT_KEPT ? textInput.size() - TEXT_INPUT_KEPT : 0));
}

void TSimDevice::Queue(std::vector<uint8_t> reply, TOrigin origin, uint32_t latencyMs, TClock::time_point now) {
    ++allReplies;
    if (origin.text) ++textReplies;
    if (origin.command) ++commandReplies[*origin.command];
    TClock::time_point readyAt = std::max(now, busyUntil) + std::chrono::milliseconds(latencyMs);
    bool dropped = false;
    std::optional<std::pair<size_t, uint32_t>> split;  // bytes sent first, gap
    for (const TFault& fault : config.faults) {
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
            case TFaultKind::RefuseOpen: break;
        }
    }
    busyUntil = readyAt;
    if (dropped || reply.empty()) return;
    if (queuedBytes + reply.size() > RECEIVE_QUEUE_LIMIT) return;
    queuedBytes += reply.size();
    if (split && split->first > 0 && split->first < reply.size()) {
        std::vector<uint8_t> head(reply.begin(), reply.begin() + static_cast<ptrdiff_t>(split->first));
        reply.erase(reply.begin(), reply.begin() + static_cast<ptrdiff_t>(split->first));
        replies.push_back({std::move(head), 0, readyAt});
        readyAt += std::chrono::milliseconds(split->second);
        busyUntil = readyAt;
    }
    replies.push_back({std::move(reply), 0, readyAt});
    wakeup.notify_all();
}

}  // namespace zvsim
