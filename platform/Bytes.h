#pragma once
// Little-endian fields and the 16-bit ones'-complement sum that the bootloader
// frames and the firmware image format both use: one rule for both.

#include <cstdint>

namespace zv {

// 16-bit ones'-complement sum of `count` bytes, little-endian words, end-around
// carry, an odd last byte as a low byte, not inverted.
uint16_t FrameChecksum(const uint8_t* data, uint16_t count);

uint16_t ReadU16(const uint8_t* p);
uint32_t ReadU32(const uint8_t* p);
void WriteU16(uint8_t* p, uint16_t value);
void WriteU32(uint8_t* p, uint32_t value);

}  // namespace zv
