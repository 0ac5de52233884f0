#include "transport/Channel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/Tick.h"
#include "transport/DriverLibraries.h"

namespace zv {
namespace {

bool IsFtdi(const TDevEntry& entry) { return entry.transport == TRANSPORT_FTDI; }

bool FtdiBound() { return FtdiLibrary.load(std::memory_order_acquire) != nullptr; }
bool OmBound() { return OmLibrary.load(std::memory_order_acquire) != nullptr; }

// The open key both libraries take: the serial number as "%d" prints it, so a
// serial string with leading zeros or letters cannot be opened.
struct TOpenKey {
    char text[16];
};
TOpenKey OpenKey(const TDevEntry& entry) {
    TOpenKey key;
    std::snprintf(key.text, sizeof key.text, "%d", entry.serialNumber);
    return key;
}

bool ChannelWriteChunk(TDevEntry& entry, const uint8_t* chunk, uint32_t length, uint32_t& written) {
    written = 0;
    if (IsFtdi(entry)) {
        if (!FtdiBound() || !entry.ftHandle) return false;
        ftdi::DWORD sent = 0;
        const bool ok = Ftdi.FT_Write(entry.ftHandle, const_cast<uint8_t*>(chunk), length, &sent) == ftdi::FT_OK;
        written = static_cast<uint32_t>(sent);
        return ok;
    }
    if (!OmBound() || !entry.omHandle) return false;
    return Om.OM_Write(entry.omHandle, chunk, length, &written) == OM_OK;
}

uint32_t FtdiRead(TDevEntry& entry, uint8_t* buffer, uint32_t bufferSize, uint32_t timeoutMs,
                  const std::atomic<bool>* cancel) {
    if (!FtdiBound()) return 0;
    const uint32_t start = GetTickCount();
    if (!entry.ftHandle) return 0;
    std::memset(buffer, 0, bufferSize);
    for (;;) {
        ftdi::DWORD received = 0, transmit = 0, events = 0;
        Ftdi.FT_GetStatus(entry.ftHandle, &received, &transmit, &events);
        if (received == 0) {
            // The queue is looked at once more after the deadline, so a
            // thread that slept past it still takes a reply that came in time.
            if (TicksSince(start) > timeoutMs) return 0;
            if (cancel && cancel->load(std::memory_order_relaxed)) return 0;
            SleepMs(FTDI_POLL_MS);
            continue;
        }
        // Give the rest of a reply that is still arriving a moment to queue.
        SleepMs(FTDI_POLL_MS);
        Ftdi.FT_GetStatus(entry.ftHandle, &received, &transmit, &events);
        received = std::min<ftdi::DWORD>(received, bufferSize);
        ftdi::DWORD read = 0;
        if (Ftdi.FT_Read(entry.ftHandle, buffer, received, &read) != ftdi::FT_OK) return 0;
        return static_cast<uint32_t>(std::min<ftdi::DWORD>(read, bufferSize));
    }
}

uint32_t OmRead(TDevEntry& entry, uint8_t* buffer, uint32_t bufferSize) {
    if (!OmBound()) return 0;
    uint32_t read = 0;
    if (entry.omHandle) Om.OM_ReadNotTimeOut(entry.omHandle, buffer, bufferSize, &read);
    return std::min(read, bufferSize);
}

}  // namespace

bool ChannelOpen(TDevEntry& entry) {
    TOpenKey key = OpenKey(entry);
    if (IsFtdi(entry)) {
        if (!FtdiBound()) return false;
        ftdi::FT_HANDLE handle = nullptr;
        if (Ftdi.FT_OpenEx(key.text, ftdi::FT_OPEN_BY_SERIAL_NUMBER, &handle) != ftdi::FT_OK || !handle) return false;
        entry.ftHandle = handle;
        Ftdi.FT_SetTimeouts(handle, FTDI_READ_TIMEOUT_MS, FTDI_WRITE_TIMEOUT_MS);
        return true;
    }
    if (!OmBound()) return false;
    OM_HANDLE handle = 0;
    if (Om.OM_OpenDevice(static_cast<uint16_t>(entry.deviceIndex), key.text, &handle) != OM_OK || !handle) return false;
    entry.omHandle = handle;
    Om.OM_SetTimeouts(handle, OM_READ_TIMEOUT_MS, OM_WRITE_TIMEOUT_MS);
    return true;
}

void ChannelClose(TDevEntry& entry) {
    if (IsFtdi(entry)) {
        if (!FtdiBound()) return;
        if (entry.ftHandle) {
            Ftdi.FT_ResetDevice(entry.ftHandle);
            Ftdi.FT_Close(entry.ftHandle);
        }
        entry.ftHandle = nullptr;
        return;
    }
    if (!OmBound()) return;
    if (entry.omHandle) Om.OM_CloseDevice(&entry.omHandle);
    entry.omHandle = 0;
}

bool ChannelWrite(TDevEntry& entry, const uint8_t* data, uint32_t length) {
    for (uint32_t sent = 0; sent < length;) {
        const uint32_t chunk = std::min(CHANNEL_CHUNK_SIZE, length - sent);
        uint32_t written = 0;
        if (!ChannelWriteChunk(entry, data + sent, chunk, written) || written != chunk) return false;
        sent += chunk;
        if (sent < length) SleepMs(CHANNEL_CHUNK_PAUSE_MS);
    }
    return true;
}

uint32_t ChannelRead(TDevEntry& entry, uint8_t* buffer, uint32_t bufferSize, uint32_t timeoutMs,
                     const std::atomic<bool>* cancel) {
    return IsFtdi(entry) ? FtdiRead(entry, buffer, bufferSize, timeoutMs, cancel) : OmRead(entry, buffer, bufferSize);
}

}  // namespace zv
