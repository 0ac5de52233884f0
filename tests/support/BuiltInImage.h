#pragma once
// The built-in image as a written device's flash should hold it.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/Resources.h"

namespace zv::testing_support {

// The image's payload: everything after its 37-byte header.
inline std::vector<uint8_t> BuiltInPayload() {
    auto image = FindResource("FRMV", "RC_DATA");
    return std::vector<uint8_t>(image->begin() + 37, image->end());
}

// On a device with processor 0x26013F37 the payload starts at 0xA000, and its
// bytes for sector 12 (0xC000, which the image leaves empty) are skipped.
inline bool HoldsBuiltInImage(const std::vector<uint8_t>& flash) {
    const auto payload = BuiltInPayload();
    return flash.size() >= 0xA000 + payload.size() &&
           std::equal(payload.begin(), payload.begin() + 0x2000, flash.begin() + 0xA000) &&
           std::equal(payload.begin() + 0x3000, payload.end(), flash.begin() + 0xD000);
}

}  // namespace zv::testing_support
