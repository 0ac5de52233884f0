#pragma once
// Little-endian fields, the frame header and checksum as the devices compute
// them, and text as bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace zvsim {

// Every frame, request or reply, starts with a header of this size.
constexpr size_t HEADER_SIZE = 14;

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline void PutU16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

inline void PutU32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Ones'-complement sum of little-endian words with end-around carry; an odd
// last byte counts as a low byte; not inverted.
inline uint16_t Checksum(std::span<const uint8_t> bytes) {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) sum += GetU16(&bytes[i]);
    if (i < bytes.size()) sum += bytes[i];
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

inline std::span<const uint8_t> TextBytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace zvsim
