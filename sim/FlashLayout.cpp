#include "sim/FlashLayout.h"

#include <span>

namespace zvsim {

namespace {

// Consecutive sectors of one size.
struct TRun {
    uint32_t start;
    uint32_t count;
    uint32_t size;
};

constexpr uint32_t KIB = 1024;

constexpr TRun UNIFORM_16[] = {{0, 16, 4 * KIB}};
constexpr TRun UNIFORM_64[] = {{0, 64, 4 * KIB}};
constexpr TRun SMALL_LARGE_256K[] = {{0, 16, 4 * KIB}, {0x10000, 6, 32 * KIB}};
constexpr TRun SMALL_LARGE_512K[] = {{0, 16, 4 * KIB}, {0x10000, 14, 32 * KIB}};
constexpr TRun PAGES_512[] = {{0x4400, 256, 512}};
constexpr TRun SMALL_LARGE_SMALL[] = {{0, 8, 4 * KIB}, {0x8000, 14, 32 * KIB}, {0x78000, 6, 4 * KIB}};

struct TLayoutEntry {
    uint32_t processorId;
    std::span<const TRun> runs;
};

const TLayoutEntry LAYOUTS[] = {
    {0x0001BC40, UNIFORM_16},       {0x10040204, UNIFORM_64},       {0x25011723, SMALL_LARGE_256K},
    {0x26013733, SMALL_LARGE_256K}, {0x26013F33, SMALL_LARGE_256K}, {0x25013F37, SMALL_LARGE_512K},
    {0x25113737, SMALL_LARGE_512K}, {0x26012837, SMALL_LARGE_512K}, {0x26013F37, SMALL_LARGE_512K},
    {0x26113F37, SMALL_LARGE_512K}, {0x27193F47, SMALL_LARGE_512K}, {0x47193F47, SMALL_LARGE_512K},
    {0x481D3F47, SMALL_LARGE_512K}, {0x400FE000, PAGES_512},
};

}  // namespace

TFlashLayout LayoutForProcessor(uint32_t processorId) {
    std::span<const TRun> runs = SMALL_LARGE_SMALL;
    for (const TLayoutEntry& entry : LAYOUTS)
        if (entry.processorId == processorId) runs = entry.runs;
    TFlashLayout layout;
    for (const TRun& run : runs)
        for (uint32_t i = 0; i < run.count; ++i) layout.sectors.push_back({run.start + i * run.size, run.size});
    return layout;
}

}  // namespace zvsim
