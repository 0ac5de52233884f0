#include "firmware/FirmwareImage.h"

#include <cstdio>
#include <cstring>

#include "platform/Bytes.h"
#include "platform/Text.h"

namespace zv {
namespace {

constexpr uint32_t kSizeOffset = 0;
constexpr uint32_t kChecksumOffset = 4;
constexpr uint32_t kVersionLengthOffset = 6;
constexpr uint32_t kVersionOffset = 8;

void Log(const TLogCallback& log, const char* message) {
    if (log) log(llError, message);
}

}  // namespace

TFirmwareBlock::TFirmwareBlock(const uint8_t* bytes, uint32_t count, int32_t offset_) : offset(offset_) {
    if (count > MAX_FIRMWARE_BLOCK_SIZE) throw TFirmwareError("Слишком большой размер блока прошивки");
    size = static_cast<int32_t>(count);
    data = std::make_unique<uint8_t[]>(count);
    if (count) std::memcpy(data.get(), bytes, count);
}

void ClearBlocks(TBlockList& blocks) {
    for (auto& block : blocks) block.reset();
    blocks.clear();
}

std::optional<TImageHeader> ReadImageHeader(std::span<const uint8_t> image) {
    if (image.size() < kVersionOffset) return std::nullopt;
    TImageHeader header;
    const uint32_t first = ReadU32(image.data() + kSizeOffset);
    header.size = first & ~IMAGE_DATE_FLAG;
    header.hasDate = (first & IMAGE_DATE_FLAG) != 0;
    header.checksum = ReadU16(image.data() + kChecksumOffset);
    const size_t versionLength = ReadU16(image.data() + kVersionLengthOffset);
    size_t pos = kVersionOffset;
    if (image.size() - pos < versionLength) return std::nullopt;
    header.versionText.assign(reinterpret_cast<const char*>(image.data() + pos), versionLength);
    pos += versionLength;
    if (header.hasDate) {
        if (image.size() - pos < 2) return std::nullopt;
        const size_t dateLength = ReadU16(image.data() + pos);
        pos += 2;
        if (image.size() - pos < dateLength) return std::nullopt;
        header.dateText.assign(reinterpret_cast<const char*>(image.data() + pos), dateLength);
        pos += dateLength;
    }
    header.payloadOffset = static_cast<uint32_t>(pos);
    return header;
}

uint16_t ImageChecksum(std::span<const uint8_t> image) {
    // The count is 16 bits wide, so images of 64 KiB and more are covered
    // only up to their size mod 65536: that is how images are made.
    const auto count = static_cast<uint16_t>(image.size());
    if (image.size() < kChecksumOffset + 2 || count < kChecksumOffset + 2) return FrameChecksum(image.data(), count);
    std::vector<uint8_t> head(image.begin(), image.begin() + count);
    head[kChecksumOffset] = head[kChecksumOffset + 1] = 0;
    return FrameChecksum(head.data(), count);
}

bool ParseFirmwareImage(std::span<uint8_t> image, TFirmwareVersion& version, TBlockList& blocks,
                        const TLogCallback& log) {
    // A buffer shorter than its own header or whose text lengths run past its
    // end is refused before anything is read from beyond it.
    const std::optional<TImageHeader> header = ReadImageHeader(image);
    if (!header || header->size != image.size()) {
        Log(log, "Не верный размер файла прошивки");
        return false;
    }
    WriteU16(image.data() + kChecksumOffset, 0);
    if (FrameChecksum(image.data(), static_cast<uint16_t>(image.size())) != header->checksum) {
        Log(log, "Ошибка контрольной суммы файла прошивки");
        return false;
    }
    if (!version.parse(Cp1251ToUtf8(header->versionText))) return false;

    version.buildDate = 0;
    if (header->hasDate) {
        int day, month, year, hour, minute, second;
        TDateTime date = 0;
        if (std::sscanf(header->dateText.c_str(), "%d.%d.%d %d:%d:%d", &day, &month, &year, &hour, &minute, &second) ==
                6 &&
            TryEncodeDateTime(year, month, day, hour, minute, second, date))
            version.buildDate = date;
        else
            Log(log, "Ошибка декодирования времени компиляции прошивки");
    }
    const auto payload = image.subspan(header->payloadOffset);
    blocks.push_back(std::make_unique<TFirmwareBlock>(payload.data(), static_cast<uint32_t>(payload.size()), -1));
    return true;
}

std::vector<uint8_t> PackFirmwareImage(const std::string& versionText, const std::optional<std::string>& dateText,
                                       std::span<const uint8_t> payload) {
    std::vector<uint8_t> image(kVersionOffset);
    WriteU16(image.data() + kVersionLengthOffset, static_cast<uint16_t>(versionText.size()));
    image.insert(image.end(), versionText.begin(), versionText.end());
    if (dateText) {
        uint8_t length[2];
        WriteU16(length, static_cast<uint16_t>(dateText->size()));
        image.insert(image.end(), length, length + 2);
        image.insert(image.end(), dateText->begin(), dateText->end());
    }
    image.insert(image.end(), payload.begin(), payload.end());
    WriteU32(image.data() + kSizeOffset, static_cast<uint32_t>(image.size()) | (dateText ? IMAGE_DATE_FLAG : 0));
    WriteU16(image.data() + kChecksumOffset, ImageChecksum(image));
    return image;
}

}  // namespace zv
