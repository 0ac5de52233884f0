#pragma once
// The simulated devices' flash layouts, chosen by processor identifier.

#include <cstdint>
#include <vector>

namespace zvsim {

struct TSector {
    uint32_t offset;
    uint32_t size;
};

struct TFlashLayout {
    std::vector<TSector> sectors;  // indexed by sector number

    // The flash file covers offset 0 up to the end of the last sector.
    uint32_t FlashSize() const { return sectors.empty() ? 0 : sectors.back().offset + sectors.back().size; }
};

TFlashLayout LayoutForProcessor(uint32_t processorId);

}  // namespace zvsim
