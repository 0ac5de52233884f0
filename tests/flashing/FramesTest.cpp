#include <gtest/gtest.h>

#include <vector>

#include "flashing/Frames.h"

namespace zv {
namespace {

TEST(Frames, QueryFramesMatchTheWire) {
    const std::array<uint8_t, 14> expected = {0x0E, 0x00, 0x0E, 0x00, 0x04, 0x00, 0x0A,
                                              0x00, 0x00, 0x00, 0x00, 0x00, 0x2A, 0x00};
    EXPECT_EQ(BuildQueryFrame(CMD_READ_FW_VERSION), expected);
    EXPECT_EQ(ReadFrameHeader(BuildQueryFrame(CMD_START_APP)).checksum, 0x0033);
    for (uint16_t command : {CMD_READ_BOOT_VERSION, CMD_READ_PROCESSOR_ID, CMD_FLASH_DONE, CMD_FLASH_FAILED}) {
        const auto frame = BuildQueryFrame(command);
        const TFrameHeader h = ReadFrameHeader(frame);
        EXPECT_EQ(h.length, 14);
        EXPECT_EQ(h.headerSize, 14);
        EXPECT_EQ(h.command, command);
        EXPECT_EQ(h.param, 10);
        EXPECT_EQ(h.address, 0u);
        EXPECT_EQ(h.checksum, 14 + 14 + 10 + command);
    }
}

TEST(Frames, EraseAndWriteFrames) {
    const auto erase = BuildEraseFrame(CMD_ERASE_SECTOR_V2, 10, 0xA000);
    const TFrameHeader e = ReadFrameHeader(erase);
    EXPECT_EQ(e.checksum, 0xA02C);
    EXPECT_EQ(e.param, 10);
    EXPECT_EQ(e.address, 0xA000u);

    std::array<uint8_t, FRAME_PART_SIZE> part;
    for (size_t i = 0; i < part.size(); ++i) part[i] = static_cast<uint8_t>(i * 7 + 3);
    const auto write = BuildWriteFrame(CMD_WRITE_SECTOR, 12, 0xC200, part);
    const TFrameHeader w = ReadFrameHeader(write);
    EXPECT_EQ(w.length, 526);
    EXPECT_EQ(w.headerSize, 14);
    EXPECT_EQ(w.command, CMD_WRITE_SECTOR);
    EXPECT_EQ(w.param, 12);
    EXPECT_EQ(w.address, 0xC200u);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), write.begin() + 14));
    // The checksum covers the payload: recomputing with the field zeroed gives it back.
    auto copy = write;
    copy[12] = copy[13] = 0;
    EXPECT_EQ(FrameChecksum(copy.data(), 526), w.checksum);
}

std::vector<uint8_t> Reply(uint16_t length, uint16_t headerSize, uint16_t status, uint16_t param, uint32_t address,
                           std::vector<uint8_t> payload = {}) {
    std::vector<uint8_t> r(14);
    WriteU16(r.data(), length);
    WriteU16(r.data() + 2, headerSize);
    WriteU16(r.data() + 4, status);
    WriteU16(r.data() + 6, param);
    WriteU32(r.data() + 8, address);
    r.insert(r.end(), payload.begin(), payload.end());
    return r;
}

TEST(Frames, IdentificationReplyRule) {
    const auto good = Reply(22, 14, STATUS_OK, 10, 0, {'Z', 'V', 'O', 'M', '-', '3', '.', '2'});
    auto payload = AcceptIdentificationReply(good);
    ASSERT_TRUE(payload);
    EXPECT_EQ(PayloadText(*payload), "ZVOM-3.2");

    // Text ends at the first zero byte, or at the end of what arrived.
    const auto zero = Reply(40, 14, STATUS_OK, 10, 0, {'A', '-', '1', '.', '0', 0, 'x', 'y'});
    EXPECT_EQ(PayloadText(*AcceptIdentificationReply(zero)), "A-1.0");

    EXPECT_FALSE(AcceptIdentificationReply(Reply(14, 14, STATUS_OK, 10, 0)));  // no payload
    EXPECT_FALSE(AcceptIdentificationReply(Reply(22, 14, 129, 10, 0, {'x'})));
    EXPECT_FALSE(AcceptIdentificationReply(Reply(22, 16, STATUS_OK, 10, 0, {'x'})));
    EXPECT_FALSE(AcceptIdentificationReply(Reply(10, 14, STATUS_OK, 10, 0, {'x'})));
    auto shortReply = Reply(22, 14, STATUS_OK, 10, 0);
    shortReply.resize(13);
    EXPECT_FALSE(AcceptIdentificationReply(shortReply));

    // A reply shorter than its own length is accepted; the identifier reads
    // missing bytes as zero.
    const auto id = Reply(18, 14, STATUS_OK, 10, 0, {0x37, 0x3F, 0x01, 0x26});
    EXPECT_EQ(PayloadProcessorId(*AcceptIdentificationReply(id)), 0x26013F37u);
    const auto partial = Reply(18, 14, STATUS_OK, 10, 0, {0x37, 0x3F});
    EXPECT_EQ(PayloadProcessorId(*AcceptIdentificationReply(partial)), 0x3F37u);
}

TEST(Frames, SectorReplyRule) {
    auto ok = Reply(14, 14, STATUS_OK, 12, 0xC000);
    EXPECT_EQ(CheckSectorReply(ok, 12, 0xC000u).kind, TSectorReply::Status);
    EXPECT_EQ(CheckSectorReply(ok, 12, 0xC000u).status, STATUS_OK);
    // Erase replies are not checked for the address.
    EXPECT_EQ(CheckSectorReply(ok, 12, std::nullopt).kind, TSectorReply::Status);
    EXPECT_EQ(CheckSectorReply(Reply(14, 14, STATUS_PROTECTED, 12, 0), 12, std::nullopt).status, STATUS_PROTECTED);

    auto thirteen = ok;
    thirteen.resize(13);
    EXPECT_EQ(CheckSectorReply(thirteen, 12, 0xC000u).kind, TSectorReply::NoAnswer);
    EXPECT_EQ(CheckSectorReply({}, 12, 0xC000u).kind, TSectorReply::NoAnswer);

    EXPECT_EQ(CheckSectorReply(Reply(14, 14, STATUS_OK, 13, 0xC000), 12, 0xC000u).kind, TSectorReply::Mismatch);
    EXPECT_EQ(CheckSectorReply(Reply(14, 14, STATUS_OK, 12, 0xC200), 12, 0xC000u).kind, TSectorReply::Mismatch);
    EXPECT_EQ(CheckSectorReply(Reply(16, 14, STATUS_OK, 12, 0xC000), 12, 0xC000u).kind, TSectorReply::Mismatch);
    EXPECT_EQ(CheckSectorReply(Reply(14, 12, STATUS_OK, 12, 0xC000), 12, 0xC000u).kind, TSectorReply::Mismatch);
}

}  // namespace
}  // namespace zv
