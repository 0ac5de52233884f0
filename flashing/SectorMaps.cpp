#include "flashing/SectorMaps.h"

#include <algorithm>
#include <array>

#include "platform/Format.h"

namespace zv {
namespace {

// Builds a table from runs of equal sectors: {count, size}, laid end to end
// from `start`.
struct TRun {
    uint32_t count;
    uint32_t size;
};

template <size_t N>
constexpr std::array<TSectorInfo, N> MakeTable(uint32_t start, std::initializer_list<TRun> runs) {
    std::array<TSectorInfo, N> table{};
    size_t i = 0;
    uint32_t offset = start;
    for (const TRun& run : runs)
        for (uint32_t k = 0; k < run.count; ++k, ++i) {
            table[i] = {offset, static_cast<uint16_t>(run.size)};
            offset += run.size;
        }
    return table;
}

constexpr auto kUniform4k16 = MakeTable<16>(0, {{16, 0x1000}});
constexpr auto kUniform4k64 = MakeTable<64>(0, {{64, 0x1000}});
constexpr auto kSmallLarge22 = MakeTable<22>(0, {{16, 0x1000}, {6, 0x8000}});
constexpr auto kSmallLarge30 = MakeTable<30>(0, {{16, 0x1000}, {14, 0x8000}});
constexpr auto kPages512 = MakeTable<256>(0x4400, {{256, 0x200}});
constexpr auto kSmallLargeSmall28 = MakeTable<28>(0, {{8, 0x1000}, {14, 0x8000}, {6, 0x1000}});

static_assert(kSmallLarge30[29].offset == 0x78000);
static_assert(kPages512[255].offset + kPages512[255].size == 0x24400);
static_assert(kSmallLargeSmall28[22].offset == 0x78000 && kSmallLargeSmall28[27].offset == 0x7D000);

struct TProcessorLayout {
    uint32_t processorId;
    const TSectorTable* table;
    int32_t first;
    int32_t last;
};

const TProcessorLayout kLayouts[] = {
    {0x0001BC40, &SECTORS_UNIFORM_4K_16, 4, 15},   {0x10040204, &SECTORS_UNIFORM_4K_64, 4, 63},
    {0x25011723, &SECTORS_SMALL_LARGE_22, 10, 21}, {0x26013733, &SECTORS_SMALL_LARGE_22, 10, 21},
    {0x26013F33, &SECTORS_SMALL_LARGE_22, 10, 21}, {0x25013F37, &SECTORS_SMALL_LARGE_30, 10, 29},
    {0x25113737, &SECTORS_SMALL_LARGE_30, 10, 29}, {0x26012837, &SECTORS_SMALL_LARGE_30, 10, 29},
    {0x26013F37, &SECTORS_SMALL_LARGE_30, 10, 29}, {0x26113F37, &SECTORS_SMALL_LARGE_30, 10, 29},
    {0x27193F47, &SECTORS_SMALL_LARGE_30, 10, 29}, {0x47193F47, &SECTORS_SMALL_LARGE_30, 10, 29},
    {0x481D3F47, &SECTORS_SMALL_LARGE_30, 10, 29}, {0x400FE000, &SECTORS_PAGES_512, 0, 255},
};

// The one known processor that keeps the first command set unless the image
// and bootloader ask for the second.
constexpr uint32_t kFirstGenerationProcessor = 0x0001BC40;

const TProcessorLayout* FindLayout(uint32_t processorId) {
    auto it = std::find_if(std::begin(kLayouts), std::end(kLayouts),
                           [processorId](const TProcessorLayout& l) { return l.processorId == processorId; });
    return it == std::end(kLayouts) ? nullptr : &*it;
}

}  // namespace

constinit const TSectorTable SECTORS_UNIFORM_4K_16 = kUniform4k16;
constinit const TSectorTable SECTORS_UNIFORM_4K_64 = kUniform4k64;
constinit const TSectorTable SECTORS_SMALL_LARGE_22 = kSmallLarge22;
constinit const TSectorTable SECTORS_SMALL_LARGE_30 = kSmallLarge30;
constinit const TSectorTable SECTORS_PAGES_512 = kPages512;
constinit const TSectorTable SECTORS_SMALL_LARGE_SMALL_28 = kSmallLargeSmall28;
constinit const TSectorTable SECTORS_SMALL_LARGE_SMALL_27 = TSectorTable(kSmallLargeSmall28).first(27);

TSectorMap SelectSectorMap(const TDevEntry& device, const TLogCallback& log) {
    if (const TProcessorLayout* layout = FindLayout(device.processorId))
        return {*layout->table, layout->first, layout->last};
    if (log) log(llNormal, Format("Неизвестный идентификатор %08X", device.processorId));
    const std::string& suffix = device.bootloaderVersion.suffix;
    if (suffix == "TR" || suffix == "PP") return {SECTORS_SMALL_LARGE_SMALL_27, 4, 26};
    return {SECTORS_SMALL_LARGE_SMALL_28, 4, 27};
}

bool UsesSecondCommandSet(const TDevEntry& device, const TFirmwareVersion& image) {
    if (device.processorId != kFirstGenerationProcessor && FindLayout(device.processorId)) return true;
    return image.name == "ZVOM" && device.bootloaderVersion.number >= 104;
}

}  // namespace zv
