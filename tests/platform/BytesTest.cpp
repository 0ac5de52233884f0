#include <gtest/gtest.h>

#include <vector>

#include "platform/Bytes.h"

namespace zv {
namespace {

uint16_t Sum(std::vector<uint8_t> bytes) { return FrameChecksum(bytes.data(), static_cast<uint16_t>(bytes.size())); }

TEST(FrameChecksum, WorkedExamples) {
    EXPECT_EQ(Sum({0xFF, 0xFF, 0x01, 0x00}), 0x0001);  // wraps to 1, never 0
    EXPECT_EQ(Sum({0x01, 0x02, 0x03}), 0x0204);        // odd byte is a low byte
    EXPECT_EQ(Sum({0xFF, 0xFF, 0xFF}), 0x00FF);
    EXPECT_EQ(Sum({}), 0x0000);
    EXPECT_EQ(Sum({0x34, 0x12}), 0x1234);
}

TEST(Bytes, FieldsAreLittleEndian) {
    uint8_t bytes[6] = {};
    WriteU16(bytes, 0xBEEF);
    WriteU32(bytes + 2, 0x12345678);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 6), (std::vector<uint8_t>{0xEF, 0xBE, 0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(ReadU16(bytes), 0xBEEF);
    EXPECT_EQ(ReadU32(bytes + 2), 0x12345678u);
    const uint8_t high[4] = {0xFF, 0xFF, 0xFF, 0x80};
    EXPECT_EQ(ReadU32(high), 0x80FFFFFFu);  // no sign spreads from the top byte
}

}  // namespace
}  // namespace zv
