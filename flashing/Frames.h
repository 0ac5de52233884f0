#pragma once
// Bootloader frames: the 14-byte little-endian header, the frame checksum,
// a builder for every request the loader sends and the three reply rules.
// No other unit assembles or takes apart protocol bytes.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Bytes.h"

namespace zv {

constexpr uint16_t CMD_ERASE_SECTOR = 1;
constexpr uint16_t CMD_WRITE_SECTOR = 2;
constexpr uint16_t CMD_READ_FW_VERSION = 4;
constexpr uint16_t CMD_READ_BOOT_VERSION = 5;
constexpr uint16_t CMD_ERASE_SECTOR_V2 = 6;
constexpr uint16_t CMD_WRITE_SECTOR_V2 = 7;
constexpr uint16_t CMD_READ_PROCESSOR_ID = 10;
constexpr uint16_t CMD_FLASH_DONE = 11;
constexpr uint16_t CMD_FLASH_FAILED = 12;
constexpr uint16_t CMD_START_APP = 13;

constexpr uint16_t STATUS_OK = 128;
constexpr uint16_t STATUS_PROTECTED = 131;
constexpr uint16_t STATUS_LOCKED = 138;

constexpr uint16_t FRAME_HEADER_SIZE = 14;
constexpr uint16_t FRAME_PART_SIZE = 512;  // payload of one write frame
constexpr uint16_t FRAME_WRITE_LENGTH = FRAME_HEADER_SIZE + FRAME_PART_SIZE;
constexpr uint16_t FRAME_QUERY_PARAM = 10;  // `param` of every request but erase and write

// Reply limits and time-outs of the exchanges.
constexpr uint32_t REPLY_BUFFER_SIZE = 1024;
constexpr uint32_t SECTOR_REPLY_SIZE = 14;
constexpr uint32_t SECTOR_REPLY_TIMEOUT_MS = 1000;
constexpr uint32_t SECTOR_REQUEST_SENDS = 3;
constexpr uint32_t VERSION_REPLY_TIMEOUT_MS = 100;
constexpr uint32_t PROCESSOR_REPLY_TIMEOUT_MS = 500;
constexpr uint32_t DRAIN_REPLY_TIMEOUT_MS = 100;

struct TFrameHeader {
    uint16_t length = 0;
    uint16_t headerSize = 0;
    uint16_t command = 0;  // the status in a reply
    uint16_t param = 0;
    uint32_t address = 0;
    uint16_t checksum = 0;
};

// Reads a header from at least FRAME_HEADER_SIZE bytes.
TFrameHeader ReadFrameHeader(std::span<const uint8_t> bytes);

// A query without payload: commands 4, 5, 10, 11, 12 and 13.
std::array<uint8_t, FRAME_HEADER_SIZE> BuildQueryFrame(uint16_t command);
// An erase request (command 1 or 6) for a sector starting at `address`.
std::array<uint8_t, FRAME_HEADER_SIZE> BuildEraseFrame(uint16_t command, uint16_t sector, uint32_t address);
// A write request (command 2 or 7) carrying one 512-byte part.
std::array<uint8_t, FRAME_WRITE_LENGTH> BuildWriteFrame(uint16_t command, uint16_t sector, uint32_t address,
                                                        std::span<const uint8_t, FRAME_PART_SIZE> part);

// Identification reply (commands 4, 5, 10): the payload, from offset 14 to the
// end of the received bytes, when the reply is accepted.
std::optional<std::span<const uint8_t>> AcceptIdentificationReply(std::span<const uint8_t> received);
// The version text of a command 4 or 5 payload: up to the first zero byte.
std::string PayloadText(std::span<const uint8_t> payload);
// The processor identifier of a command 10 payload; missing bytes read as 0.
uint32_t PayloadProcessorId(std::span<const uint8_t> payload);

// Sector reply (commands 1, 2, 6, 7).
enum class TSectorReply {
    NoAnswer,  // fewer than 14 bytes: send the request again
    Mismatch,  // wrong length, header size or echo: the operation fails at once
    Status,    // the status decides
};
struct TSectorReplyCheck {
    TSectorReply kind;
    uint16_t status = 0;
};
// `address` is checked for write replies only.
TSectorReplyCheck CheckSectorReply(std::span<const uint8_t> received, uint16_t sector, std::optional<uint32_t> address);

}  // namespace zv
