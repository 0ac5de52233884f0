#pragma once
// The firmware image format (".eraw" files and the built-in image): header
// checks, the in-memory form as a version record and a block list, and the
// packing of a payload into an image.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "devices/FirmwareVersion.h"
#include "threading/Log.h"

namespace zv {

constexpr uint32_t MAX_FIRMWARE_BLOCK_SIZE = 2097152;
constexpr uint32_t IMAGE_DATE_FLAG = 0x80000000u;

// The error a block raises for an oversized payload.
class TFirmwareError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TFirmwareBlock {
public:
    // Raises TFirmwareError "Слишком большой размер блока прошивки" for more
    // than MAX_FIRMWARE_BLOCK_SIZE bytes.
    TFirmwareBlock(const uint8_t* bytes, uint32_t count, int32_t offset);

    int32_t offset;  // position in flash; -1: start of the first written sector
    int32_t size;
    std::unique_ptr<uint8_t[]> data;
};

using TBlockList = std::vector<std::unique_ptr<TFirmwareBlock>>;

void ClearBlocks(TBlockList& blocks);

// Checks an image and, on success, fills `version` (not reset first) and
// appends one block with the payload to `blocks`. Messages go to `log` at
// llError. Overwrites the buffer's checksum field with 0. May raise
// TFirmwareError for an oversized payload.
bool ParseFirmwareImage(std::span<uint8_t> image, TFirmwareVersion& version, TBlockList& blocks,
                        const TLogCallback& log);

// What an image's header says, read without judging it.
struct TImageHeader {
    uint32_t size = 0;  // bits 0..30 of the first word
    bool hasDate = false;
    uint16_t checksum = 0;
    std::string versionText;  // Windows-1251 bytes as stored
    std::string dateText;
    uint32_t payloadOffset = 0;
};
// nullopt when the image is shorter than its header or a text length runs
// past its end.
std::optional<TImageHeader> ReadImageHeader(std::span<const uint8_t> image);

// The image's checksum: over the first (size mod 65536) bytes, with the
// checksum field taken as 0.
uint16_t ImageChecksum(std::span<const uint8_t> image);

// Builds an image around `payload`: size word, date flag, checksum.
std::vector<uint8_t> PackFirmwareImage(const std::string& versionText, const std::optional<std::string>& dateText,
                                       std::span<const uint8_t> payload);

}  // namespace zv
