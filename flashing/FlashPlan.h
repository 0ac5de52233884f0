#pragma once
// What a write will do, worked out before the device is opened: the image
// laid into flash coordinates over the sector map, the range of sectors that
// hold data, and the units of progress. A plain value, so tests compare plans.

#include <cstdint>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "flashing/SectorMaps.h"

namespace zv {

// Result codes of a write.
constexpr int32_t WRITE_OK = 0;
constexpr int32_t WRITE_IMAGE_NOT_LOADED = 1;
constexpr int32_t WRITE_MAP_UNUSABLE = 2;
constexpr int32_t WRITE_BLOCK_DOES_NOT_FIT = 3;
constexpr int32_t WRITE_NO_DATA = 4;
constexpr int32_t WRITE_ERASE_FAILED = 5;
constexpr int32_t WRITE_WRITE_FAILED = 6;
constexpr int32_t WRITE_OPEN_FAILED = 7;
constexpr int32_t WRITE_INCOMPATIBLE = 9;
constexpr int32_t WRITE_INTERRUPTED = 10;
// Written and started, but the application did not report the image's version.
constexpr int32_t WRITE_NOT_CONFIRMED = 11;

constexpr uint32_t FLASH_UNIT_SIZE = 512;

struct TFlashPlan {
    int32_t errorCode = WRITE_OK;  // 0, or 2, 3, 4
    TSectorMap map;
    int32_t firstSector = -1;
    int32_t lastSector = -1;          // lowered to the last sector holding data
    std::vector<uint8_t> flashImage;  // offset 0 to the end of the map's last writable sector
    int32_t totalUnits = 0;

    bool SectorHasData(int32_t sector) const;
};

// False when every byte is 0xFF, read as 32-bit words.
bool SectorHasData(const uint8_t* data, uint32_t size);

TFlashPlan PlanFlash(const TSectorMap& map, const TBlockList& blocks);

}  // namespace zv
