#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Sha256.h"

namespace zv {
namespace {

std::string Hex(const std::string& text) {
    return Sha256Hex({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

const char* const kMillionA = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";

TEST(Sha256, StandardVectors) {
    EXPECT_EQ(Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Hex(std::string(1000000, 'a')), kMillionA);
}

// Where the padding and the length field stop fitting the last block; bytes
// (i * 37 + 11) mod 256, digests from sha256sum.
TEST(Sha256, LengthsAroundTheBlockEnd) {
    const std::pair<size_t, const char*> cases[] = {
        {55, "2900465fcb533e05a158fd2b3be0e5e3b03740d83060aa3580e0d98a96bf2384"},
        {56, "31454ff48ef36af2f08fd511bdc37d9d5855ac23e992e5ff5445cb6b7674a674"},
        {63, "5f6401b96532c36de4e65beec0409b69b1d181864c8009b7a04f43e5d56350d1"},
        {64, "94eb5de4943613fd048dc93393ab06877405faa39c11f53e9386083339833e7e"},
        {65, "fc518669b6eb4b4dd91827ecacef86689c725bd5bab888fd3b26dbb196eec954"},
        {119, "b0dc41b1a384e2f1203f0351b38fbeaafceef577ce1191d5bfc25da39f721eae"},
        {120, "5df24dd802ac26132ce608dcb5f09841eef039ee0f152acf98d26d17fe4e88e6"},
    };
    for (const auto& [size, digest] : cases) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
        EXPECT_EQ(Sha256Hex(bytes), digest) << size << " bytes";
    }
}

TEST(Sha256, PiecesOfAnySizeGiveTheWholeDigest) {
    // Shorter and longer than a block, and empty, so that buffered and direct blocks mix.
    const std::vector<uint8_t> million(1000000, 'a');
    const size_t sizes[] = {1, 63, 64, 65, 0, 1000, 7};
    TSha256 sha;
    for (size_t at = 0, i = 0; at < million.size(); ++i) {
        const size_t size = std::min(sizes[i % std::size(sizes)], million.size() - at);
        sha.Add(std::span(million).subspan(at, size));
        at += size;
    }
    char hex[65] = {};
    const std::array<uint8_t, 32> digest = sha.Finish();
    for (size_t i = 0; i < digest.size(); ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    EXPECT_STREQ(hex, kMillionA);
}

}  // namespace
}  // namespace zv
