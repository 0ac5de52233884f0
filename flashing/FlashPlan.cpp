#include "flashing/FlashPlan.h"

#include <cstring>

namespace zv {

bool SectorHasData(const uint8_t* data, uint32_t size) {
    for (uint32_t i = 0; i + 4 <= size; i += 4) {
        uint32_t word;
        std::memcpy(&word, data + i, 4);
        if (word != 0xFFFFFFFFu) return true;
    }
    return false;
}

bool TFlashPlan::SectorHasData(int32_t sector) const {
    const TSectorInfo& info = map.table[static_cast<size_t>(sector)];
    return zv::SectorHasData(flashImage.data() + info.offset, info.size);
}

TFlashPlan PlanFlash(const TSectorMap& map, const TBlockList& blocks) {
    TFlashPlan plan;
    plan.map = map;
    plan.firstSector = map.firstSector;
    plan.lastSector = map.lastSector;
    if (map.table.empty() || map.firstSector < 0 || map.lastSector < 0 || map.lastSector < map.firstSector ||
        static_cast<size_t>(map.lastSector) >= map.table.size()) {
        plan.errorCode = WRITE_MAP_UNUSABLE;
        return plan;
    }
    const uint64_t extent = map.FlashEnd();
    plan.flashImage.assign(extent, 0xFF);
    for (const auto& block : blocks) {
        const uint64_t destination =
            block->offset >= 0 ? static_cast<uint64_t>(block->offset) : map.table[map.firstSector].offset;
        if (destination + static_cast<uint32_t>(block->size) > extent) {
            plan.errorCode = WRITE_BLOCK_DOES_NOT_FIT;
            return plan;
        }
        if (block->size > 0) std::memcpy(plan.flashImage.data() + destination, block->data.get(), block->size);
    }
    while (plan.lastSector >= plan.firstSector && !plan.SectorHasData(plan.lastSector)) --plan.lastSector;
    if (plan.lastSector < plan.firstSector) {
        plan.errorCode = WRITE_NO_DATA;
        return plan;
    }
    const TSectorInfo& last = map.table[plan.lastSector];
    plan.totalUnits =
        static_cast<int32_t>((last.offset + last.size - map.table[plan.firstSector].offset) / FLASH_UNIT_SIZE);
    return plan;
}

}  // namespace zv
