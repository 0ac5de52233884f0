#include "platform/Bytes.h"

#include <cstddef>

namespace zv {

uint16_t FrameChecksum(const uint8_t* data, uint16_t count) {
    uint16_t sum = 0;
    auto add = [&sum](uint16_t word) {
        sum = static_cast<uint16_t>(sum + word);
        if (sum < word) sum = static_cast<uint16_t>(sum + 1);
    };
    size_t i = 0;
    for (; i + 1 < count; i += 2) add(static_cast<uint16_t>(data[i] | (data[i + 1] << 8)));
    if (i < count) add(data[i]);
    return sum;
}

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void WriteU16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void WriteU32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace zv
