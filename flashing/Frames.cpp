#include "flashing/Frames.h"

#include <algorithm>
#include <cstring>

namespace zv {

TFrameHeader ReadFrameHeader(std::span<const uint8_t> bytes) {
    const uint8_t* p = bytes.data();
    return {ReadU16(p), ReadU16(p + 2), ReadU16(p + 4), ReadU16(p + 6), ReadU32(p + 8), ReadU16(p + 12)};
}

namespace {

// Lays the header into the frame's first 14 bytes and seals the frame with its
// checksum, computed over all `length` bytes with the checksum field zero.
void SealFrame(std::span<uint8_t> frame, uint16_t command, uint16_t param, uint32_t address) {
    uint8_t* p = frame.data();
    const auto length = static_cast<uint16_t>(frame.size());
    WriteU16(p, length);
    WriteU16(p + 2, FRAME_HEADER_SIZE);
    WriteU16(p + 4, command);
    WriteU16(p + 6, param);
    WriteU32(p + 8, address);
    WriteU16(p + 12, 0);
    WriteU16(p + 12, FrameChecksum(p, length));
}

}  // namespace

std::array<uint8_t, FRAME_HEADER_SIZE> BuildQueryFrame(uint16_t command) {
    std::array<uint8_t, FRAME_HEADER_SIZE> frame{};
    SealFrame(frame, command, FRAME_QUERY_PARAM, 0);
    return frame;
}

std::array<uint8_t, FRAME_HEADER_SIZE> BuildEraseFrame(uint16_t command, uint16_t sector, uint32_t address) {
    std::array<uint8_t, FRAME_HEADER_SIZE> frame{};
    SealFrame(frame, command, sector, address);
    return frame;
}

std::array<uint8_t, FRAME_WRITE_LENGTH> BuildWriteFrame(uint16_t command, uint16_t sector, uint32_t address,
                                                        std::span<const uint8_t, FRAME_PART_SIZE> part) {
    std::array<uint8_t, FRAME_WRITE_LENGTH> frame{};
    std::memcpy(frame.data() + FRAME_HEADER_SIZE, part.data(), FRAME_PART_SIZE);
    SealFrame(frame, command, sector, address);
    return frame;
}

std::optional<std::span<const uint8_t>> AcceptIdentificationReply(std::span<const uint8_t> received) {
    if (received.size() < FRAME_HEADER_SIZE) return std::nullopt;
    const TFrameHeader header = ReadFrameHeader(received);
    if (header.headerSize != FRAME_HEADER_SIZE || header.command != STATUS_OK || header.headerSize >= header.length)
        return std::nullopt;
    return received.subspan(FRAME_HEADER_SIZE);
}

std::string PayloadText(std::span<const uint8_t> payload) {
    auto end = std::find(payload.begin(), payload.end(), uint8_t{0});
    return std::string(payload.begin(), end);
}

uint32_t PayloadProcessorId(std::span<const uint8_t> payload) {
    uint8_t bytes[4] = {};
    std::copy_n(payload.begin(), std::min<size_t>(payload.size(), 4), bytes);
    return ReadU32(bytes);
}

TSectorReplyCheck CheckSectorReply(std::span<const uint8_t> received, uint16_t sector,
                                   std::optional<uint32_t> address) {
    if (received.size() < SECTOR_REPLY_SIZE) return {TSectorReply::NoAnswer};
    const TFrameHeader header = ReadFrameHeader(received);
    if (header.length != FRAME_HEADER_SIZE || header.headerSize != FRAME_HEADER_SIZE || header.param != sector ||
        (address && header.address != *address))
        return {TSectorReply::Mismatch, header.command};
    return {TSectorReply::Status, header.command};
}

}  // namespace zv
