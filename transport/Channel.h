#pragma once
// The device channel: open, close, paced write and timed read of one device,
// whichever driver library serves it. It moves bytes only: no framing, no
// retries; callers build and check what travels.

#include <atomic>
#include <cstdint>

#include "devices/DevEntry.h"

namespace zv {

constexpr uint32_t CHANNEL_CHUNK_SIZE = 64;
constexpr uint32_t CHANNEL_CHUNK_PAUSE_MS = 1;
constexpr uint32_t FTDI_READ_TIMEOUT_MS = 1000;
constexpr uint32_t FTDI_WRITE_TIMEOUT_MS = 200;
constexpr uint32_t OM_READ_TIMEOUT_MS = 500;
constexpr uint32_t OM_WRITE_TIMEOUT_MS = 200;
constexpr uint32_t FTDI_POLL_MS = 1;

// Opens by the serial number printed with "%d"; false when the library is not
// bound, refuses, or gives no handle.
bool ChannelOpen(TDevEntry& entry);
// Makes no library call for a closed channel; the handle is 0 afterwards.
void ChannelClose(TDevEntry& entry);
// Sends in chunks of 64 bytes with 1 ms between chunks; true only when every
// byte was accepted. A chunk accepted in part fails the write at once.
bool ChannelWrite(TDevEntry& entry, const uint8_t* data, uint32_t length);
// The number of bytes stored at the start of `buffer` (0..bufferSize); 0 when
// nothing arrived within `timeoutMs` (FTDI; the maker library waits by the
// time-outs given at open) or the read failed. A set `cancel` flag ends the
// FTDI wait early, so a stop request never waits out a silent device.
uint32_t ChannelRead(TDevEntry& entry, uint8_t* buffer, uint32_t bufferSize, uint32_t timeoutMs,
                     const std::atomic<bool>* cancel = nullptr);

}  // namespace zv
