#pragma once
// Flash layouts by processor: the built-in sector tables, the writable range
// the loader may touch, and which erase/write command set a device takes.

#include <cstdint>
#include <span>
#include <string>

#include "devices/DevEntry.h"
#include "devices/FirmwareVersion.h"
#include "threading/Log.h"

namespace zv {

struct TSectorInfo {
    uint32_t offset;  // start in flash, bytes
    uint16_t size;    // at most 32768
};

using TSectorTable = std::span<const TSectorInfo>;

// The seven built-in tables.
extern const TSectorTable SECTORS_UNIFORM_4K_16;
extern const TSectorTable SECTORS_UNIFORM_4K_64;
extern const TSectorTable SECTORS_SMALL_LARGE_22;
extern const TSectorTable SECTORS_SMALL_LARGE_30;
extern const TSectorTable SECTORS_PAGES_512;
extern const TSectorTable SECTORS_SMALL_LARGE_SMALL_28;
extern const TSectorTable SECTORS_SMALL_LARGE_SMALL_27;

struct TSectorMap {
    TSectorTable table;
    int32_t firstSector = -1;
    int32_t lastSector = -1;

    // Offset just past the last writable sector.
    uint32_t FlashEnd() const { return table[lastSector].offset + table[lastSector].size; }
    uint32_t FlashStart() const { return table[firstSector].offset; }
    bool operator==(const TSectorMap& other) const {
        return table.data() == other.table.data() && firstSector == other.firstSector && lastSector == other.lastSector;
    }
};

// Never fails: an unknown identifier gets the small-large-small layout chosen
// by the bootloader's suffix, after a message to `log`.
TSectorMap SelectSectorMap(const TDevEntry& device, const TLogCallback& log);

// True when erases and writes use commands 6 and 7 instead of 1 and 2.
bool UsesSecondCommandSet(const TDevEntry& device, const TFirmwareVersion& image);

}  // namespace zv
