#include <gtest/gtest.h>

#include <vector>

#include "flashing/SectorMaps.h"

namespace zv {
namespace {

struct Logged {
    std::vector<std::string> lines;
    TLogCallback sink() {
        return [this](LogLevel level, const std::string& body) { lines.push_back(std::to_string(level) + ":" + body); };
    }
};

TEST(SectorTables, AreContiguousAndEndWhereTheLayoutsSay) {
    struct Expect {
        TSectorTable table;
        size_t count;
        uint32_t begin, end;
    };
    for (const Expect& e :
         {Expect{SECTORS_UNIFORM_4K_16, 16, 0, 0x10000}, Expect{SECTORS_UNIFORM_4K_64, 64, 0, 0x40000},
          Expect{SECTORS_SMALL_LARGE_22, 22, 0, 0x40000}, Expect{SECTORS_SMALL_LARGE_30, 30, 0, 0x80000},
          Expect{SECTORS_PAGES_512, 256, 0x4400, 0x24400}, Expect{SECTORS_SMALL_LARGE_SMALL_28, 28, 0, 0x7E000},
          Expect{SECTORS_SMALL_LARGE_SMALL_27, 27, 0, 0x7D000}}) {
        ASSERT_EQ(e.table.size(), e.count);
        EXPECT_EQ(e.table.front().offset, e.begin);
        for (size_t i = 1; i < e.table.size(); ++i)
            ASSERT_EQ(e.table[i].offset, e.table[i - 1].offset + e.table[i - 1].size) << i;
        EXPECT_EQ(e.table.back().offset + e.table.back().size, e.end);
    }
    EXPECT_EQ(SECTORS_SMALL_LARGE_22[15].size, 0x1000);
    EXPECT_EQ(SECTORS_SMALL_LARGE_22[16].offset, 0x10000u);
    EXPECT_EQ(SECTORS_SMALL_LARGE_22[16].size, 0x8000);
    EXPECT_EQ(SECTORS_SMALL_LARGE_SMALL_28[8].offset, 0x8000u);
    EXPECT_EQ(SECTORS_SMALL_LARGE_SMALL_28[21].size, 0x8000);
    EXPECT_EQ(SECTORS_SMALL_LARGE_SMALL_28[22].offset, 0x78000u);
    EXPECT_EQ(SECTORS_SMALL_LARGE_SMALL_28[22].size, 0x1000);
}

// What each layout family lets the loader touch, at its edges: the first and
// the last writable byte, the sizes of the sectors that hold them, and no gap
// below the first. Known processors say nothing to the log.
TEST(SelectSectorMap, EachLayoutFamilyAtItsEdges) {
    struct Expect {
        const char* family;
        uint32_t processor;
        const char* suffix;
        uint32_t firstByte, lastByte;
        uint16_t firstSize, lastSize;
        size_t logged;
    };
    for (const Expect& e : {Expect{"16 x 4 KiB", 0x0001BC40, "", 0x4000, 0xFFFF, 0x1000, 0x1000, 0},
                            Expect{"64 x 4 KiB", 0x10040204, "", 0x4000, 0x3FFFF, 0x1000, 0x1000, 0},
                            Expect{"16 x 4 KiB, 6 x 32 KiB", 0x26013F33, "TR", 0xA000, 0x3FFFF, 0x1000, 0x8000, 0},
                            Expect{"16 x 4 KiB, 14 x 32 KiB", 0x26013F37, "", 0xA000, 0x7FFFF, 0x1000, 0x8000, 0},
                            Expect{"256 pages of 512 bytes", 0x400FE000, "", 0x4400, 0x243FF, 0x200, 0x200, 0},
                            Expect{"unknown, TR bootloader", 0x12345678, "TR", 0x4000, 0x7CFFF, 0x1000, 0x1000, 1},
                            Expect{"unknown, other bootloader", 0x12345678, "", 0x4000, 0x7DFFF, 0x1000, 0x1000, 1}}) {
        TDevEntry device("1", -1, TRANSPORT_FTDI);
        device.processorId = e.processor;
        device.bootloaderVersion.suffix = e.suffix;
        Logged log;
        const TSectorMap map = SelectSectorMap(device, log.sink());
        EXPECT_EQ(map.FlashStart(), e.firstByte) << e.family;
        EXPECT_EQ(map.FlashEnd() - 1, e.lastByte) << e.family;
        EXPECT_EQ(map.table[map.firstSector].size, e.firstSize) << e.family;
        EXPECT_EQ(map.table[map.lastSector].size, e.lastSize) << e.family;
        if (map.firstSector > 0) {
            const TSectorInfo& below = map.table[map.firstSector - 1];
            EXPECT_EQ(below.offset + below.size, e.firstByte) << e.family;
        }
        EXPECT_EQ(log.lines.size(), e.logged) << e.family;
    }
}

TEST(SelectSectorMap, UnknownProcessorChoosesBySuffixAndSaysSo) {
    struct Expect {
        uint32_t id;
        const char* suffix;
        int last;
        uint32_t end;
        const char* message;
    };
    for (const Expect& e : {Expect{0, "TR", 26, 0x7D000, "0:Неизвестный идентификатор 00000000"},
                            Expect{0xDEADBEEF, "PP", 26, 0x7D000, "0:Неизвестный идентификатор DEADBEEF"},
                            Expect{0x1BC41, "tr", 27, 0x7E000, "0:Неизвестный идентификатор 0001BC41"},
                            Expect{0x1BC41, "TRX", 27, 0x7E000, "0:Неизвестный идентификатор 0001BC41"},
                            Expect{0x1BC41, "", 27, 0x7E000, "0:Неизвестный идентификатор 0001BC41"}}) {
        TDevEntry device("1", -1, TRANSPORT_FTDI);
        device.processorId = e.id;
        device.bootloaderVersion.suffix = e.suffix;
        Logged log;
        const TSectorMap map = SelectSectorMap(device, log.sink());
        EXPECT_EQ(map.firstSector, 4);
        EXPECT_EQ(map.lastSector, e.last) << e.suffix;
        EXPECT_EQ(map.FlashEnd(), e.end) << e.suffix;
        EXPECT_EQ(map.table.data(), SECTORS_SMALL_LARGE_SMALL_28.data());
        EXPECT_EQ(log.lines, std::vector<std::string>{e.message});
    }
}

TEST(UsesSecondCommandSet, ByProcessorImageAndBootloader) {
    auto uses = [](uint32_t id, const char* imageType, uint16_t bootloader) {
        TDevEntry device("1", -1, TRANSPORT_FTDI);
        device.processorId = id;
        device.bootloaderVersion.number = bootloader;
        TFirmwareVersion image;
        image.name = imageType;
        return UsesSecondCommandSet(device, image);
    };
    EXPECT_FALSE(uses(0x0001BC40, "ZVOM", 103));
    EXPECT_TRUE(uses(0x0001BC40, "ZVOM", 104));
    EXPECT_FALSE(uses(0x0001BC40, "LEAD", 104));
    EXPECT_FALSE(uses(0x0001BC40, "LEAD", 999));
    EXPECT_TRUE(uses(0x26113F37, "LEAD", 0));
    EXPECT_TRUE(uses(0x26113F37, "ZVMB", 103));
    for (uint32_t id : {0x10040204u, 0x25011723u, 0x26013733u, 0x26013F33u, 0x25013F37u, 0x25113737u, 0x26012837u,
                        0x26013F37u, 0x27193F47u, 0x47193F47u, 0x481D3F47u, 0x400FE000u})
        EXPECT_TRUE(uses(id, "", 0)) << std::hex << id;
    EXPECT_FALSE(uses(0x12345678, "ZVMB", 200));
    EXPECT_TRUE(uses(0x12345678, "ZVOM", 104));
    EXPECT_FALSE(uses(0, "zvom", 104));
}

}  // namespace
}  // namespace zv
