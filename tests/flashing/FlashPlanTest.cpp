#include <gtest/gtest.h>

#include "firmware/FirmwareImage.h"
#include "flashing/FlashPlan.h"
#include "platform/Resources.h"

namespace zv {
namespace {

TSectorMap MapOf(uint32_t processorId, const char* suffix = "") {
    TDevEntry device("1", -1, TRANSPORT_FTDI);
    device.processorId = processorId;
    device.bootloaderVersion.suffix = suffix;
    return SelectSectorMap(device, nullptr);
}

TBlockList Blocks(std::initializer_list<std::pair<int32_t, uint32_t>> offsetsAndSizes, uint8_t fill = 0x5A) {
    TBlockList blocks;
    for (auto [offset, size] : offsetsAndSizes) {
        std::vector<uint8_t> bytes(size, fill);
        blocks.push_back(std::make_unique<TFirmwareBlock>(bytes.data(), size, offset));
    }
    return blocks;
}

TEST(FlashPlan, TrailingEmptySectorsAreDropped) {
    // Data from 0xA000 ending inside sector 12 (0xC000..0xCFFF).
    const TFlashPlan plan = PlanFlash(MapOf(0x26013F37), Blocks({{-1, 0x2800}}));
    EXPECT_EQ(plan.errorCode, WRITE_OK);
    EXPECT_EQ(plan.firstSector, 10);
    EXPECT_EQ(plan.lastSector, 12);
    EXPECT_EQ(plan.totalUnits, 0x3000 / 512);
    EXPECT_EQ(plan.flashImage.size(), 0x80000u);
    EXPECT_EQ(plan.flashImage[0xA000], 0x5A);
    EXPECT_EQ(plan.flashImage[0xC7FF], 0x5A);
    EXPECT_EQ(plan.flashImage[0xC800], 0xFF);
    EXPECT_EQ(plan.flashImage[0x9FFF], 0xFF);
}

TEST(FlashPlan, NegativeOffsetMeansTheFirstWritableSector) {
    EXPECT_EQ(PlanFlash(MapOf(0x12345678), Blocks({{-1, 16}})).flashImage[0x4000], 0x5A);
    EXPECT_EQ(PlanFlash(MapOf(0x12345678), Blocks({{-7, 16}})).flashImage[0x4000], 0x5A);
    EXPECT_EQ(PlanFlash(MapOf(0x400FE000), Blocks({{-1, 16}})).flashImage[0x4400], 0x5A);
}

TEST(FlashPlan, BlocksMustEndWithinTheMap) {
    // 0x26013F37 ends at 0x80000: a block ending exactly there fits.
    TFlashPlan fits = PlanFlash(MapOf(0x26013F37), Blocks({{0x7F000, 0x1000}}));
    EXPECT_EQ(fits.errorCode, WRITE_OK);
    EXPECT_EQ(fits.lastSector, 29);
    EXPECT_EQ(PlanFlash(MapOf(0x26013F37), Blocks({{0x7F000, 0x1001}})).errorCode, WRITE_BLOCK_DOES_NOT_FIT);
    EXPECT_EQ(PlanFlash(MapOf(0x26013F37), Blocks({{-1, 0x80000 - 0xA000 + 1}})).errorCode, WRITE_BLOCK_DOES_NOT_FIT);
    // A later block that does not fit stops the plan even after good ones.
    EXPECT_EQ(PlanFlash(MapOf(0x26013F37), Blocks({{-1, 16}, {0x7FFFFFFF, 16}})).errorCode, WRITE_BLOCK_DOES_NOT_FIT);
}

TEST(FlashPlan, NoDataAndUnusableMaps) {
    EXPECT_EQ(PlanFlash(MapOf(0x26013F37), Blocks({{-1, 0x4000}}, 0xFF)).errorCode, WRITE_NO_DATA);
    EXPECT_EQ(PlanFlash(MapOf(0x26013F37), Blocks({})).errorCode, WRITE_NO_DATA);
    // Data only below the first writable sector is never sent.
    EXPECT_EQ(PlanFlash(MapOf(0x26013F37), Blocks({{0, 0x1000}})).errorCode, WRITE_NO_DATA);
    TSectorMap broken = MapOf(0x26013F37);
    broken.lastSector = 9;
    EXPECT_EQ(PlanFlash(broken, Blocks({{-1, 16}})).errorCode, WRITE_MAP_UNUSABLE);
    broken.firstSector = -1;
    EXPECT_EQ(PlanFlash(broken, Blocks({{-1, 16}})).errorCode, WRITE_MAP_UNUSABLE);
    EXPECT_EQ(PlanFlash(TSectorMap{}, Blocks({{-1, 16}})).errorCode, WRITE_MAP_UNUSABLE);
}

TEST(FlashPlan, LaterBlocksOverwriteEarlierOnes) {
    TBlockList blocks = Blocks({{-1, 0x100}});
    const uint8_t patch[2] = {1, 2};
    blocks.push_back(std::make_unique<TFirmwareBlock>(patch, 2u, 0xA010));
    const TFlashPlan plan = PlanFlash(MapOf(0x26013F37), blocks);
    EXPECT_EQ(plan.flashImage[0xA00F], 0x5A);
    EXPECT_EQ(plan.flashImage[0xA010], 1);
    EXPECT_EQ(plan.flashImage[0xA011], 2);
}

TEST(FlashPlan, TheBuiltInImageOnTheCommonProcessor) {
    auto resource = FindResource("FRMV", "RC_DATA");
    ASSERT_TRUE(resource);
    std::vector<uint8_t> image(resource->begin(), resource->end());
    TFirmwareVersion version;
    TBlockList blocks;
    ASSERT_TRUE(ParseFirmwareImage(image, version, blocks, nullptr));
    const TFlashPlan plan = PlanFlash(MapOf(0x26013F37), blocks);
    EXPECT_EQ(plan.errorCode, WRITE_OK);
    EXPECT_EQ(plan.firstSector, 10);
    EXPECT_EQ(plan.lastSector, 21);  // 221,184 bytes from 0xA000 end at 0x40000
    EXPECT_EQ(plan.totalUnits, 221184 / 512);
    EXPECT_FALSE(plan.SectorHasData(12));  // the erased stretch at payload 0x2000
    EXPECT_TRUE(plan.SectorHasData(11));
    EXPECT_TRUE(plan.SectorHasData(13));
}

TEST(SectorHasData, LooksAtWholeWords) {
    std::vector<uint8_t> bytes(512, 0xFF);
    EXPECT_FALSE(SectorHasData(bytes.data(), 512));
    bytes[511] = 0xFE;
    EXPECT_TRUE(SectorHasData(bytes.data(), 512));
    EXPECT_FALSE(SectorHasData(bytes.data(), 508));
}

}  // namespace
}  // namespace zv
