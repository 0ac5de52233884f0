#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "platform/Bytes.h"

namespace zv {
namespace {

struct Parsed {
    bool ok = false;
    TFirmwareVersion version;
    TBlockList blocks;
    std::vector<std::string> log;
};

Parsed Parse(std::vector<uint8_t> image) {
    Parsed p;
    p.ok = ParseFirmwareImage(image, p.version, p.blocks, [&](LogLevel level, const std::string& m) {
        p.log.push_back(std::to_string(level) + ":" + m);
    });
    return p;
}

std::vector<uint8_t> Payload(size_t size) {
    std::vector<uint8_t> payload(size);
    for (size_t i = 0; i < size; ++i) payload[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
    return payload;
}

TEST(FirmwareImage, PackedImageParsesBack) {
    const auto payload = Payload(1000);
    Parsed p = Parse(PackFirmwareImage("ZVOM-1.04 TR", std::string("30.06.2014 17:52:29"), payload));
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.log.empty());
    EXPECT_EQ(p.version.formatVersion(), "ZVOM-1.4TR");
    EXPECT_EQ(p.version.formatDate(), "30-06-2014 17:52:29");
    ASSERT_EQ(p.blocks.size(), 1u);
    EXPECT_EQ(p.blocks[0]->offset, -1);
    ASSERT_EQ(p.blocks[0]->size, 1000);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), p.blocks[0]->data.get()));
}

TEST(FirmwareImage, WithoutDateFlagThePayloadFollowsTheVersion) {
    auto image = PackFirmwareImage("ZVMB-3.2", std::nullopt, Payload(10));
    EXPECT_EQ(ReadU32(image.data()) & IMAGE_DATE_FLAG, 0u);
    Parsed p = Parse(image);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.version.formatDate(), "неизвестна");
    EXPECT_EQ(p.blocks[0]->size, 10);
    EXPECT_EQ(p.blocks[0]->data[0], image[16]);
}

TEST(FirmwareImage, RefusalsLeaveRecordAndListAlone) {
    const auto good = PackFirmwareImage("ZVOM-3.2", std::nullopt, Payload(100));

    auto wrongSize = good;
    WriteU32(wrongSize.data(), static_cast<uint32_t>(good.size() + 1));
    Parsed p = Parse(wrongSize);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.log, std::vector<std::string>{"1:Не верный размер файла прошивки"});
    EXPECT_EQ(p.version.name, "");
    EXPECT_TRUE(p.blocks.empty());

    auto badSum = good;
    badSum[50] ^= 1;
    p = Parse(badSum);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.log, std::vector<std::string>{"1:Ошибка контрольной суммы файла прошивки"});
    EXPECT_TRUE(p.blocks.empty());

    // A version text that is no version fails without a message of its own.
    p = Parse(PackFirmwareImage("firmware", std::nullopt, Payload(100)));
    EXPECT_FALSE(p.ok);
    EXPECT_TRUE(p.log.empty());
    EXPECT_TRUE(p.blocks.empty());
}

TEST(FirmwareImage, UndecodableDateIsLoggedButAccepted) {
    for (const char* date : {"31.02.2014 10:00:00", "30.06.2014", "garbage", "30.06.2014 24:00:00", ""}) {
        Parsed p = Parse(PackFirmwareImage("ZVOM-3.2", std::string(date), Payload(4)));
        EXPECT_TRUE(p.ok) << date;
        EXPECT_EQ(p.log, std::vector<std::string>{"1:Ошибка декодирования времени компиляции прошивки"}) << date;
        EXPECT_EQ(p.version.buildDate, 0);
        EXPECT_EQ(p.blocks.size(), 1u);
    }
}

TEST(FirmwareImage, ChecksumCoversSizeModulo65536) {
    // Exactly 65536 bytes: the checksum covers no bytes at all.
    const size_t header = 8 + 8;
    auto image = PackFirmwareImage("ZVOM-3.2", std::nullopt, Payload(65536 - header));
    ASSERT_EQ(image.size(), 65536u);
    EXPECT_EQ(ReadU16(image.data() + 4), 0);
    image[1000] ^= 0xFF;  // outside the covered bytes
    EXPECT_TRUE(Parse(image).ok);

    // One byte more: only the first byte counts, as the low byte of a word.
    auto bigger = PackFirmwareImage("ZVOM-3.2", std::nullopt, Payload(65537 - header));
    EXPECT_EQ(ReadU16(bigger.data() + 4), bigger[0]);

    // Odd counts end with a low byte.
    auto odd = PackFirmwareImage("ZVOM-3.2", std::nullopt, Payload(5));
    ASSERT_EQ(odd.size() % 2, 1u);
    auto copy = odd;
    copy[4] = copy[5] = 0;
    EXPECT_EQ(ReadU16(odd.data() + 4), FrameChecksum(copy.data(), static_cast<uint16_t>(copy.size())));
    EXPECT_TRUE(Parse(odd).ok);
}

TEST(FirmwareImage, PayloadSizeLimits) {
    Parsed empty = Parse(PackFirmwareImage("ZVOM-3.2", std::nullopt, {}));
    ASSERT_TRUE(empty.ok);
    ASSERT_EQ(empty.blocks.size(), 1u);
    EXPECT_EQ(empty.blocks[0]->size, 0);

    EXPECT_TRUE(Parse(PackFirmwareImage("ZVOM-3.2", std::nullopt, Payload(MAX_FIRMWARE_BLOCK_SIZE))).ok);

    auto tooBig = PackFirmwareImage("ZVOM-3.2", std::nullopt, Payload(MAX_FIRMWARE_BLOCK_SIZE + 1));
    TFirmwareVersion version;
    TBlockList blocks;
    try {
        ParseFirmwareImage(tooBig, version, blocks, nullptr);
        FAIL() << "no error raised";
    } catch (const TFirmwareError& error) {
        EXPECT_STREQ(error.what(), "Слишком большой размер блока прошивки");
    }
    EXPECT_TRUE(blocks.empty());
}

TEST(FirmwareImage, TruncatedHeadersAreRefusedWithoutReadingPastTheEnd) {
    // Each image claims its own length correctly, so only the header's text
    // lengths can give it away; the sanitizer build checks no byte beyond
    // the buffer is read.
    auto claim = [](std::vector<uint8_t> image, bool date) {
        WriteU32(image.data(), static_cast<uint32_t>(image.size()) | (date ? IMAGE_DATE_FLAG : 0));
        WriteU16(image.data() + 4, 0);
        WriteU16(image.data() + 4, ImageChecksum(image));
        return image;
    };
    std::vector<std::vector<uint8_t>> images;
    for (size_t n = 0; n < 8; ++n) images.emplace_back(n, 0);
    images.push_back(claim({0, 0, 0, 0, 0, 0, 200, 0, 'Z', 'V'}, false));                // version runs past the end
    images.push_back(claim({0, 0, 0, 0, 0, 0, 2, 0, 'A', '-'}, true));                   // date length missing
    images.push_back(claim({0, 0, 0, 0, 0, 0, 2, 0, 'A', '-', 1}, true));                // half a date length
    images.push_back(claim({0, 0, 0, 0, 0, 0, 2, 0, 'A', '-', 50, 0, '3', '0'}, true));  // date runs past
    for (const auto& image : images) {
        // Exact-size heap copies, so a read past the end is caught.
        auto heap = std::make_unique<uint8_t[]>(image.size() + (image.empty() ? 1 : 0));
        std::copy(image.begin(), image.end(), heap.get());
        TFirmwareVersion version;
        TBlockList blocks;
        std::vector<std::string> log;
        EXPECT_FALSE(ParseFirmwareImage(std::span<uint8_t>(heap.get(), image.size()), version, blocks,
                                        [&](LogLevel, const std::string& m) { log.push_back(m); }))
            << image.size();
        EXPECT_EQ(log, std::vector<std::string>{"Не верный размер файла прошивки"});
        EXPECT_EQ(version.name, "");
        EXPECT_TRUE(blocks.empty());
    }
}

TEST(FirmwareBlock, ClearBlocksEmptiesTheList) {
    const uint8_t bytes[] = {1, 2, 3};
    TBlockList blocks;
    blocks.push_back(std::make_unique<TFirmwareBlock>(bytes, 3u, 0x1000));
    blocks.push_back(std::make_unique<TFirmwareBlock>(bytes, 0u, -1));
    EXPECT_EQ(blocks[0]->offset, 0x1000);
    EXPECT_EQ(blocks[0]->data[2], 3);
    ClearBlocks(blocks);
    EXPECT_TRUE(blocks.empty());
    EXPECT_THROW(TFirmwareBlock(bytes, 0xFFFFFFFFu, -1), TFirmwareError);
}

}  // namespace
}  // namespace zv
