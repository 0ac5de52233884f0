#include "sim/Device.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace zvsim {

namespace {

// A read without time-out still looks at the world now and then to notice an unplug by another process.
constexpr auto UNPLUG_POLL = std::chrono::milliseconds(100);

}  // namespace

TSimDevice::TSimDevice(const TDeviceConfig& config, std::shared_ptr<TStateStore> store, std::shared_ptr<TTrace> trace)
    : config(config),
      layout(LayoutForProcessor(config.processor)),
      store(std::move(store)),
      trace(std::move(trace)),
      library(LibraryName(config.library)),
      replies(config.faults) {}

TOpen TSimDevice::Open(uint64_t token) {
    std::lock_guard lock(mutex);
    const TPersisted state = store->Current(config.serial);
    if (!state.plugged) return TOpen::NotPlugged;
    // A handle left open from before a replug does not keep the device busy.
    if (open && openConnection == state.connection) return TOpen::Busy;
    ++opens;
    for (const TFault& fault : config.faults) {
        if (fault.RefusesOpen(opens)) {
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
    replies.Restart(TClock::now());
    frameInput.clear();
    textInput.clear();
    trace->Event(config.serial, library, "open");
    return TOpen::Ok;
}

void TSimDevice::Close(uint64_t token) {
    std::lock_guard lock(mutex);
    if (!open || token != openToken) return;
    open = false;
    flashFile.Reset();  // the flash file is written through, nothing is pending
    replies.Clear();
    trace->Event(config.serial, library, "close");
    wakeup.notify_all();
}

TIo TSimDevice::CheckLocked(uint64_t token) {
    if (!open || token != openToken) return TIo::Unplugged;
    const TPersisted state = store->Current(config.serial);
    if (!state.plugged || state.connection != openConnection) {
        replies.Clear();
        return TIo::Unplugged;
    }
    mode = state.mode;
    return TIo::Ok;
}

TIo TSimDevice::Check(uint64_t token) {
    std::lock_guard lock(mutex);
    return CheckLocked(token);
}

bool TSimDevice::Hang(TCallKind kind, uint32_t call, std::unique_lock<std::mutex>& lock) {
    uint32_t ms = 0;
    for (const TFault& fault : config.faults)
        if (fault.kind == TFaultKind::Hang && fault.call == kind && fault.Covers(call)) ms = std::max(ms, fault.hangMs);
    if (ms == 0) return false;
    trace->Event(config.serial, library, "hang", {}, ms);
    // Only the calling thread waits: a close, a status query, other devices and the process's exit go on.
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    lock.lock();
    return true;
}

TIo TSimDevice::Write(uint64_t token, std::span<const uint8_t> bytes, uint32_t& accepted) {
    accepted = 0;
    std::unique_lock lock(mutex);
    if (CheckLocked(token) != TIo::Ok) return TIo::Unplugged;
    const uint32_t call = ++writeCalls;
    // The handle may have been closed or the device unplugged while the call hung.
    if (Hang(TCallKind::Write, call, lock) && CheckLocked(token) != TIo::Ok) return TIo::Unplugged;
    size_t count = bytes.size();
    for (const TFault& fault : config.faults)
        if (fault.kind == TFaultKind::PartialChunk && fault.Covers(call)) count = std::min<size_t>(count, *fault.bytes);
    bytes = bytes.first(count);
    accepted = static_cast<uint32_t>(count);
    trace->Event(config.serial, library, "write", bytes);
    Feed(bytes, TClock::now());
    return TIo::Ok;
}

TIo TSimDevice::Read(uint64_t token, uint8_t* buffer, uint32_t capacity, std::optional<uint32_t> timeoutMs,
                     TReadKind kind, uint32_t& received) {
    received = 0;
    std::unique_lock lock(mutex);
    if (CheckLocked(token) != TIo::Ok) return TIo::Unplugged;
    if (Hang(TCallKind::Read, ++readCalls, lock) && CheckLocked(token) != TIo::Ok) return TIo::Unplugged;
    const TClock::time_point start = TClock::now();
    const TClock::time_point deadline =
        timeoutMs ? start + std::chrono::milliseconds(*timeoutMs) : TClock::time_point::max();
    const bool oneReply = kind == TReadKind::OneReply;
    for (;;) {
        const TClock::time_point now = TClock::now();
        const bool late = now >= deadline;
        const bool done =
            oneReply ? capacity == 0 || late || replies.ReplyReady(now) : late || replies.ReadyBytes(now) >= capacity;
        if (done) {
            received = replies.Take(buffer, capacity, now, oneReply);
            if (received > 0) trace->Event(config.serial, library, "read", {buffer, received});
            return TIo::Ok;
        }
        TClock::time_point wakeAt = std::min(deadline, now + UNPLUG_POLL);
        if (const auto next = replies.NextReady(now)) wakeAt = std::min(wakeAt, *next);
        wakeup.wait_until(lock, wakeAt);
        if (CheckLocked(token) != TIo::Ok) return TIo::Unplugged;
    }
}

TIo TSimDevice::Queued(uint64_t token, uint32_t& bytes) {
    bytes = 0;
    std::lock_guard lock(mutex);
    if (CheckLocked(token) != TIo::Ok) return TIo::Unplugged;
    bytes = replies.ReadyBytes(TClock::now());
    return TIo::Ok;
}

TIo TSimDevice::PurgeReceived(uint64_t token, const char* event) {
    std::lock_guard lock(mutex);
    if (CheckLocked(token) != TIo::Ok) return TIo::Unplugged;
    replies.DropReady(TClock::now());
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

std::optional<std::string> TSimDevice::WrittenFirmware() {
    if (!config.firmwareAfterWrite || !store->Current(config.serial).flashDone) return std::nullopt;
    return config.firmwareAfterWrite;
}

void TSimDevice::Reply(std::vector<uint8_t> reply, TReplyOrigin origin, uint32_t latencyMs, TClock::time_point now) {
    if (replies.Add(std::move(reply), origin, latencyMs, now)) wakeup.notify_all();
}

}  // namespace zvsim
