#pragma once
// SHA-256 (FIPS 180-4), so that an image file can be named by a digest anyone
// can check with sha256sum.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zv {

// Bytes may be added in pieces of any size; the digest is that of all of them
// in order.
class TSha256 {
public:
    void Add(std::span<const uint8_t> bytes);
    // The digest of everything added; the object is spent afterwards.
    std::array<uint8_t, 32> Finish();

private:
    void Compress(const uint8_t* block);

    std::array<uint32_t, 8> state = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<uint8_t, 64> pending{};
    size_t pendingSize = 0;
    uint64_t totalBytes = 0;
};

// The SHA-256 of `bytes` as 64 lower-case hex digits.
std::string Sha256Hex(std::span<const uint8_t> bytes);

}  // namespace zv
