// The bootloader side of a device: frames reassembled from the byte stream,
// their commands answered, the flash erased and written through to its file.

#include <algorithm>
#include <cstdio>

#include "sim/Bytes.h"
#include "sim/Device.h"

namespace zvsim {

namespace {

// Status values of frame replies.
constexpr uint16_t STATUS_OK = 128;
constexpr uint16_t STATUS_BAD_FRAME = 129;
constexpr uint16_t STATUS_BAD_ADDRESS = 130;
constexpr uint16_t STATUS_PROTECTED = 131;
constexpr uint16_t STATUS_NOT_ERASED = 132;
constexpr uint16_t STATUS_LOCKED = 138;

constexpr size_t PART_SIZE = 512;
constexpr size_t LONGEST_FRAME = 4096;

enum : uint16_t {
    CMD_ERASE = 1,
    CMD_WRITE = 2,
    CMD_FIRMWARE_VERSION = 4,
    CMD_BOOTLOADER_VERSION = 5,
    CMD_ERASE_2 = 6,
    CMD_WRITE_2 = 7,
    CMD_PROCESSOR_ID = 10,
    CMD_FLASH_DONE = 11,
    CMD_FLASH_FAILED = 12,
    CMD_START_APPLICATION = 13,
};

}  // namespace

void TSimDevice::FeedFrames(std::span<const uint8_t> bytes, TClock::time_point now) {
    // A partial frame left idle is dropped, so that the loader can start again after a lost chunk.
    if (!frameInput.empty() && now - lastInput > std::chrono::milliseconds(config.timing.frameIdleMs))
        frameInput.clear();
    lastInput = now;
    frameInput.insert(frameInput.end(), bytes.begin(), bytes.end());
    // Frames are taken from `at` on and the consumed bytes dropped once, so a huge write stays linear.
    size_t at = 0;
    while (frameInput.size() - at >= 2) {
        const std::span<const uint8_t> rest = std::span(frameInput).subspan(at);
        const size_t length = GetU16(rest.data());
        if (length < HEADER_SIZE || length > LONGEST_FRAME) {
            ReplyFrame(STATUS_BAD_FRAME, rest, {}, 0, now);
            frameInput.clear();
            return;
        }
        if (rest.size() < length) break;
        at += length;
        HandleFrame(rest.first(length), now);
        if (mode != TMode::Bootloader) {
            // The application has started: whatever followed the frame is its input.
            const std::vector<uint8_t> after(frameInput.begin() + static_cast<ptrdiff_t>(at), frameInput.end());
            frameInput.clear();
            Feed(after, now);
            return;
        }
    }
    frameInput.erase(frameInput.begin(), frameInput.begin() + static_cast<ptrdiff_t>(at));
}

void TSimDevice::HandleFrame(std::span<const uint8_t> frame, TClock::time_point now) {
    const uint16_t headerSize = GetU16(&frame[2]);
    const uint16_t command = GetU16(&frame[4]);
    const uint16_t param = GetU16(&frame[6]);
    const uint32_t address = GetU32(&frame[8]);
    std::vector<uint8_t> zeroed(frame.begin(), frame.end());
    zeroed[12] = zeroed[13] = 0;
    const bool intact = headerSize == HEADER_SIZE && Checksum(zeroed) == GetU16(&frame[12]);
    const bool bare = frame.size() == HEADER_SIZE;
    uint32_t extraMs = 0;  // set by the flash operation, so kept apart from the status it returns
    uint16_t status = STATUS_BAD_FRAME;
    if (!intact) {
        ReplyFrame(STATUS_BAD_FRAME, frame, {}, 0, now);
        return;
    }
    switch (command) {
        case CMD_ERASE:
        case CMD_ERASE_2:
            if (!bare) break;
            status = Erase(param, address, extraMs);
            ReplyFrame(status, frame, {}, extraMs, now);
            return;
        case CMD_WRITE:
        case CMD_WRITE_2:
            if (frame.size() != HEADER_SIZE + PART_SIZE) break;
            status = WritePart(param, address, frame.subspan(HEADER_SIZE), extraMs);
            ReplyFrame(status, frame, {}, extraMs, now);
            return;
        case CMD_FIRMWARE_VERSION:
        case CMD_BOOTLOADER_VERSION: {
            if (!bare) break;
            const std::string text =
                command == CMD_FIRMWARE_VERSION ? WrittenFirmware().value_or(config.firmware) : config.bootloader;
            ReplyFrame(STATUS_OK, frame, TextBytes({text.c_str(), text.size() + 1}), 0, now);
            return;
        }
        case CMD_PROCESSOR_ID: {
            if (!bare) break;
            uint8_t id[4];
            PutU32(id, config.processor);
            ReplyFrame(STATUS_OK, frame, id, 0, now);
            return;
        }
        case CMD_FLASH_DONE:
        case CMD_FLASH_FAILED:
            if (!bare) break;
            ReplyFrame(STATUS_OK, frame, {}, 0, now);
            // Kept in the world: the loader confirms the version after closing the device, maybe in another process.
            if (command == CMD_FLASH_DONE && !store->Current(config.serial).flashDone)
                store->Change(config.serial, [](TPersisted& state) { state.flashDone = true; });
            return;
        case CMD_START_APPLICATION:
            if (!bare) break;
            ReplyFrame(STATUS_OK, frame, {}, 0, now);
            mode = TMode::Application;
            store->Change(config.serial, [](TPersisted& state) { state.mode = TMode::Application; });
            return;
        default: break;
    }
    ReplyFrame(status, frame, {}, 0, now);
}

uint16_t TSimDevice::Erase(uint16_t sector, uint32_t address, uint32_t& extraMs) {
    if (config.locked) return STATUS_LOCKED;
    if (sector >= layout.sectors.size() || address != layout.sectors[sector].offset) return STATUS_BAD_ADDRESS;
    if (config.protectedSectors.contains(sector)) return STATUS_PROTECTED;
    const TSector& target = layout.sectors[sector];
    std::fill_n(flash.begin() + target.offset, target.size, uint8_t{0xFF});
    SaveFlash(target.offset, target.size);
    extraMs = target.size <= 4096 ? config.timing.eraseSmallMs : config.timing.eraseLargeMs;
    return STATUS_OK;
}

uint16_t TSimDevice::WritePart(uint16_t sector, uint32_t address, std::span<const uint8_t> part, uint32_t& extraMs) {
    if (config.locked) return STATUS_LOCKED;
    if (sector >= layout.sectors.size()) return STATUS_BAD_ADDRESS;
    const TSector& target = layout.sectors[sector];
    if (address < target.offset || address - target.offset > target.size - PART_SIZE ||
        (address - target.offset) % PART_SIZE != 0)
        return STATUS_BAD_ADDRESS;
    if (config.protectedSectors.contains(sector)) return STATUS_PROTECTED;
    auto begin = flash.begin() + address;
    if (!std::all_of(begin, begin + PART_SIZE, [](uint8_t b) { return b == 0xFF; })) return STATUS_NOT_ERASED;
    std::copy(part.begin(), part.end(), begin);
    SaveFlash(address, PART_SIZE);
    extraMs = config.timing.partMs;
    return STATUS_OK;
}

void TSimDevice::SaveFlash(uint32_t offset, uint32_t size) {
    try {
        WriteFlash(flashFile, flash, offset, size);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zvsim: %s: %s\n", config.serial.c_str(), e.what());
    }
}

void TSimDevice::ReplyFrame(uint16_t status, std::span<const uint8_t> request, std::span<const uint8_t> payload,
                            uint32_t extraMs, TClock::time_point now) {
    // The echo takes whatever the request had of param and address; missing bytes read as zero.
    uint8_t header[HEADER_SIZE] = {};
    std::copy_n(request.begin(), std::min(request.size(), HEADER_SIZE), header);
    std::vector<uint8_t> reply(HEADER_SIZE + payload.size());
    PutU16(&reply[0], static_cast<uint16_t>(reply.size()));
    PutU16(&reply[2], HEADER_SIZE);
    PutU16(&reply[4], status);
    std::copy_n(header + 6, 6, &reply[6]);
    std::copy(payload.begin(), payload.end(), reply.begin() + HEADER_SIZE);
    PutU16(&reply[12], Checksum(reply));
    TReplyOrigin origin;
    if (request.size() >= 6) origin.command = GetU16(&header[4]);
    Reply(std::move(reply), origin, config.timing.frameMs + extraMs, now);
}

}  // namespace zvsim
