// Writes the built-in firmware image: a deterministic payload packed with the
// header the loader has always carried (ZVMB-3.2 of 30.06.2014 17:52:29,
// checksum 0xE745). One payload word is chosen so the checksum comes out so.

#include <cstdio>
#include <fstream>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "platform/Bytes.h"

namespace {

constexpr size_t kPayloadSize = 221184;
constexpr uint16_t kChecksum = 0xE745;
// A 4 KiB stretch of erased flash, so writes show the empty-sector skip.
constexpr size_t kEmptyBegin = 0x2000, kEmptyEnd = 0x3000;
// The image offset of the word that balances the checksum; even, and inside
// the checksummed head of the image.
constexpr size_t kBalanceOffset = 0x40;

std::vector<uint8_t> MakePayload() {
    std::vector<uint8_t> payload(kPayloadSize);
    uint32_t state = 0x5A17C0DE;
    for (size_t i = 0; i < payload.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        payload[i] = static_cast<uint8_t>(state >> 11);
    }
    std::fill(payload.begin() + kEmptyBegin, payload.begin() + kEmptyEnd, 0xFF);
    return payload;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen-embedded-image OUT\n");
        return 2;
    }
    std::vector<uint8_t> payload = MakePayload();
    std::vector<uint8_t> image = zv::PackFirmwareImage("ZVMB-3.2", std::string("30.06.2014 17:52:29"), payload);
    // The checksum is a ones'-complement sum: adding the balance word to the
    // sum taken with that word zero gives the final one.
    zv::WriteU16(image.data() + kBalanceOffset, 0);
    const uint16_t base = zv::ImageChecksum(image);
    bool balanced = false;
    for (uint32_t word = 0; word <= 0xFFFF && !balanced; ++word) {
        auto sum = static_cast<uint16_t>(base + word);
        if (sum < word) ++sum;
        if (sum == kChecksum) {
            zv::WriteU16(image.data() + kBalanceOffset, static_cast<uint16_t>(word));
            balanced = true;
        }
    }
    if (!balanced || zv::ImageChecksum(image) != kChecksum) {
        std::fprintf(stderr, "gen-embedded-image: no word balances the checksum\n");
        return 1;
    }
    zv::WriteU16(image.data() + 4, kChecksum);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out) {
        std::fprintf(stderr, "gen-embedded-image: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
