// The device channel over the real binding, against simulated devices; the
// simulator's trace shows what reached the library and when.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "platform/Bytes.h"
#include "support/SimWorld.h"
#include "support/TraceReader.h"
#include "transport/Channel.h"
#include "transport/DriverLibraries.h"

namespace zv {
namespace {

using testing_support::TSimWorld;

class ChannelTest : public testing::Test {
protected:
    void SetUp() override {
        std::string omName;
        const TBindingResult bound = BindDriverLibraries(omName);
        ASSERT_TRUE(bound.ftdiBound && bound.omBound);
    }
    static std::vector<zvsim::TTraceEvent> Events(const TSimWorld& world, const std::string& kind) {
        std::vector<zvsim::TTraceEvent> selected;
        for (auto& e : zvsim::LoadTrace(world.trace.string()))
            if (e.kind == kind) selected.push_back(e);
        return selected;
    }
};

// The channel moves bytes only; the tests lay out the two frames they send.
constexpr uint32_t kFrameHeader = 14;

std::vector<uint8_t> Frame(uint16_t command, uint16_t param, uint32_t address, size_t payload) {
    std::vector<uint8_t> frame(kFrameHeader + payload, 0xFF);
    WriteU16(frame.data(), static_cast<uint16_t>(frame.size()));
    WriteU16(frame.data() + 2, kFrameHeader);
    WriteU16(frame.data() + 4, command);
    WriteU16(frame.data() + 6, param);
    WriteU32(frame.data() + 8, address);
    WriteU16(frame.data() + 12, 0);
    WriteU16(frame.data() + 12, FrameChecksum(frame.data(), static_cast<uint16_t>(frame.size())));
    return frame;
}

const char* kDevices = R"({"devices": [
  {"serial": "301", "library": "ftdi", "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"},
  {"serial": "302", "library": "om", "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"}]})";

TEST_F(ChannelTest, WritesGoOutIn64ByteChunksWithPausesBetween) {
    TSimWorld world(kDevices);
    for (auto [serial, index, transport] :
         {std::tuple{"301", int16_t{-1}, TRANSPORT_FTDI}, std::tuple{"302", int16_t{0}, TRANSPORT_OM}}) {
        TDevEntry device(serial, index, transport);
        ASSERT_TRUE(ChannelOpen(device)) << serial;
        std::vector<uint8_t> bytes(65, 0xA5);
        EXPECT_TRUE(ChannelWrite(device, bytes.data(), 64));
        EXPECT_TRUE(ChannelWrite(device, bytes.data(), 65));
        EXPECT_TRUE(ChannelWrite(device, bytes.data(), 0));
        const auto frame = Frame(7, 10, 0xA000, 512);  // a write of one part
        EXPECT_TRUE(ChannelWrite(device, frame.data(), static_cast<uint32_t>(frame.size())));
        ChannelClose(device);

        std::vector<zvsim::TTraceEvent> writes;
        for (auto& e : Events(world, "write"))
            if (e.serial == serial) writes.push_back(e);
        ASSERT_EQ(writes.size(), 1u + 2u + 9u) << serial;
        EXPECT_EQ(writes[0].count, 64u);
        EXPECT_EQ(writes[1].count, 64u);
        EXPECT_EQ(writes[2].count, 1u);
        EXPECT_GE(writes[2].micros - writes[1].micros, 1000u);
        // The frame: eight chunks of 64 and one of 14, at least 1 ms apart.
        for (size_t i = 3; i < writes.size(); ++i) {
            EXPECT_EQ(writes[i].count, i + 1 < writes.size() ? 64u : 14u);
            if (i > 3) {
                EXPECT_GE(writes[i].micros - writes[i - 1].micros, 1000u) << "chunk " << i - 3;
            }
        }
        std::vector<uint8_t> sent;
        for (size_t i = 3; i < writes.size(); ++i)
            sent.insert(sent.end(), writes[i].bytes.begin(), writes[i].bytes.end());
        EXPECT_TRUE(std::equal(sent.begin(), sent.end(), frame.begin(), frame.end()));
    }
}

TEST_F(ChannelTest, AChunkAcceptedInPartFailsTheWriteAtOnce) {
    TSimWorld world(R"({"devices": [{"serial": "311", "library": "ftdi",
        "faults": [{"kind": "partialChunk", "write": 2, "bytes": 10}]}]})");
    TDevEntry device("311", -1, TRANSPORT_FTDI);
    ASSERT_TRUE(ChannelOpen(device));
    std::vector<uint8_t> bytes(200, 1);
    EXPECT_FALSE(ChannelWrite(device, bytes.data(), 200));
    ChannelClose(device);
    const auto writes = Events(world, "write");
    ASSERT_EQ(writes.size(), 2u);  // the rest was never offered
    EXPECT_EQ(writes[1].count, 10u);
}

TEST_F(ChannelTest, FtdiReadsTakeWhatHasArrivedUpToTheBuffer) {
    const std::string reply200 = "ZVOM-3.2 " + std::string(191, 'x');
    TSimWorld world(R"({"devices": [
      {"serial": "321", "library": "ftdi", "mode": "application", "versionReply": ")" +
                    reply200 + R"("},
      {"serial": "322", "library": "ftdi", "mode": "application", "firmware": "ZVOM-3.2",
       "faults": [{"kind": "split", "reply": 1, "command": "text", "bytes": 5, "gapMs": 200}]}]})");
    const std::string query = "FL_READ_VERSION$";
    {
        TDevEntry device("321", -1, TRANSPORT_FTDI);
        ASSERT_TRUE(ChannelOpen(device));
        ASSERT_TRUE(ChannelWrite(device, reinterpret_cast<const uint8_t*>(query.data()), 16));
        std::array<uint8_t, 101> buffer{};
        ASSERT_EQ(ChannelRead(device, buffer.data(), 100, 2000), 100u);
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 100), reply200.substr(0, 100));
        ASSERT_EQ(ChannelRead(device, buffer.data(), 100, 2000), 100u);
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 100), reply200.substr(100));
        EXPECT_EQ(ChannelRead(device, buffer.data(), 100, 20), 0u);  // nothing more
        ChannelClose(device);
    }
    {
        // Two parts 200 ms apart come back as two reads.
        TDevEntry device("322", -1, TRANSPORT_FTDI);
        ASSERT_TRUE(ChannelOpen(device));
        ASSERT_TRUE(ChannelWrite(device, reinterpret_cast<const uint8_t*>(query.data()), 16));
        std::array<uint8_t, 101> buffer{};
        ASSERT_EQ(ChannelRead(device, buffer.data(), 100, 2000), 5u);
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 5), "ZVOM-");
        ASSERT_EQ(ChannelRead(device, buffer.data(), 100, 2000), 3u);
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 3), "3.2");
        ChannelClose(device);
    }
}

TEST_F(ChannelTest, TheOpenKeyIsTheSerialNumberPrintedAgain) {
    TSimWorld world(R"({"devices": [
      {"serial": "-1", "library": "ftdi"}, {"serial": "007", "library": "ftdi"}, {"serial": "0042", "library": "om"}]})");
    TDevEntry notANumber("FT4X2Q", -1, TRANSPORT_FTDI);
    ASSERT_EQ(notANumber.serialNumber, -1);
    EXPECT_TRUE(ChannelOpen(notANumber));  // reaches the device whose serial is "-1"
    ChannelClose(notANumber);
    TDevEntry leadingZeros("007", -1, TRANSPORT_FTDI);
    EXPECT_FALSE(ChannelOpen(leadingZeros));
    EXPECT_EQ(leadingZeros.ftHandle, nullptr);
    TDevEntry om("0042", 0, TRANSPORT_OM);
    EXPECT_FALSE(ChannelOpen(om));
    EXPECT_EQ(om.omHandle, 0u);
    const auto opens = Events(world, "open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].serial, "-1");
}

TEST_F(ChannelTest, CloseOnAClosedChannelCallsNothing) {
    TSimWorld world(kDevices);
    for (auto [serial, index, transport] :
         {std::tuple{"301", int16_t{-1}, TRANSPORT_FTDI}, std::tuple{"302", int16_t{0}, TRANSPORT_OM}}) {
        TDevEntry device(serial, index, transport);
        ChannelClose(device);
        EXPECT_EQ(device.ftHandle, nullptr);
        EXPECT_EQ(device.omHandle, 0u);
        ASSERT_TRUE(ChannelOpen(device));
        EXPECT_TRUE(transport == TRANSPORT_FTDI ? device.ftHandle != nullptr : device.omHandle != 0);
        ChannelClose(device);
        EXPECT_EQ(device.ftHandle, nullptr);
        EXPECT_EQ(device.omHandle, 0u);
        ChannelClose(device);
        // A closed channel neither writes nor reads.
        const uint8_t byte = 0;
        EXPECT_FALSE(ChannelWrite(device, &byte, 1));
        uint8_t buffer[4] = {7, 7, 7, 7};
        EXPECT_EQ(ChannelRead(device, buffer, 4, 10), 0u);
        EXPECT_EQ(buffer[0], 7);
    }
    EXPECT_EQ(Events(world, "close").size(), 2u);
}

TEST_F(ChannelTest, AFrameAndItsReplyOverEitherLibrary) {
    TSimWorld world(kDevices);
    for (auto [serial, index, transport] :
         {std::tuple{"301", int16_t{-1}, TRANSPORT_FTDI}, std::tuple{"302", int16_t{0}, TRANSPORT_OM}}) {
        TDevEntry device(serial, index, transport);
        ASSERT_TRUE(ChannelOpen(device));
        const auto frame = Frame(4, 10, 0, 0);  // the firmware version query
        ASSERT_TRUE(ChannelWrite(device, frame.data(), kFrameHeader));
        std::array<uint8_t, 1024> reply{};
        const uint32_t received = ChannelRead(device, reply.data(), static_cast<uint32_t>(reply.size()), 100);
        // One whole reply: its header, status 128 and the text with its zero.
        ASSERT_EQ(received, kFrameHeader + 9) << serial;
        EXPECT_EQ(ReadU16(reply.data()), received);
        EXPECT_EQ(ReadU16(reply.data() + 4), 128);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.data() + kFrameHeader)), "ZVMB-3.2");
        ChannelClose(device);
    }
}

}  // namespace
}  // namespace zv
