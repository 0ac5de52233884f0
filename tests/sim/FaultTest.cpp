// Injected faults: which reply, open, write or listing they hit and what they do to it.

#include "SimHarness.h"

namespace zvsim::test {
namespace {

class Faults : public TSimTest {
protected:
    // A bootloader device with the given faults, opened with a short read time-out.
    FT_HANDLE Device(const std::string& faults) {
        OneDevice(R"("firmware": "ZVOM-3.2", "faults": )" + faults);
        FT_HANDLE h = OpenFtdi();
        Ftdi().FT_SetTimeouts(h, 60, 60);
        return h;
    }
};

TEST_F(Faults, DropCountsRepliesOfOneCommandOverSeveralReplies) {
    FT_HANDLE h = Device(R"([{"kind": "drop", "reply": 2, "command": 11, "count": 2}])");
    EXPECT_EQ(Exchange(h, Query(11)).status, 128);
    EXPECT_EQ(Exchange(h, Query(12)).status, 128);  // another command does not count
    Send(h, Query(11));
    Send(h, Query(11));
    EXPECT_TRUE(Receive(h, 14).empty());
    EXPECT_EQ(Exchange(h, Query(11)).status, 128);
    Ftdi().FT_Close(h);
}

TEST_F(Faults, ShortenKeepsTheFirstBytes) {
    FT_HANDLE h = Device(R"([{"kind": "shorten", "reply": 1, "bytes": 5}, {"kind": "shorten", "reply": 2}])");
    Send(h, Query(4));
    EXPECT_EQ(Receive(h, 23).size(), 5u);
    Send(h, Query(4));
    EXPECT_EQ(Receive(h, 23).size(), 11u);  // half by default
    Ftdi().FT_Close(h);
}

TEST_F(Faults, CorruptFlipsStatusAndPayload) {
    FT_HANDLE h = Device(R"([{"kind": "corrupt", "reply": 1}])");
    Send(h, Query(4));
    const TReply reply = Parse(Receive(h, 23));
    EXPECT_EQ(reply.status, 127);
    EXPECT_EQ(reply.length, 23);
    EXPECT_EQ(reply.param, 10);
    EXPECT_FALSE(reply.checksumOk);
    EXPECT_EQ(reply.payload[0], static_cast<uint8_t>('Z' ^ 0xFF));
    Ftdi().FT_Close(h);
}

TEST_F(Faults, WrongEchoAddsOneToTheParam) {
    FT_HANDLE h = Device(R"([{"kind": "wrongEcho", "reply": 1}])");
    const TReply reply = Exchange(h, Frame(1, 4, 0x4000));
    EXPECT_EQ(reply.status, 128);
    EXPECT_EQ(reply.param, 5);
    EXPECT_TRUE(reply.checksumOk);
    Ftdi().FT_Close(h);
}

TEST_F(Faults, SplitSendsTheRestAfterTheGap) {
    FT_HANDLE h = Device(R"([{"kind": "split", "reply": 1, "bytes": 6, "gapMs": 80}])");
    Send(h, Query(11));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Queued(h), 6u);
    Ftdi().FT_SetTimeouts(h, 500, 500);
    EXPECT_EQ(Parse(Receive(h, 14)).status, 128);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 70ms);
    Ftdi().FT_Close(h);
}

TEST_F(Faults, TextRepliesCountSeparately) {
    OneDevice(R"("mode": "application", "firmware": "ZVOM-3.2",
                 "faults": [{"kind": "corrupt", "reply": 2, "command": "text"}])");
    FT_HANDLE h = OpenFtdi();
    Send(h, Text("FL_READ_VERSION$FL_READ_VERSION$"));
    EXPECT_EQ(AsText(Receive(h, 8)), "ZVOM-3.2");
    const TBytes second = Receive(h, 8);
    ASSERT_EQ(second.size(), 8u);
    EXPECT_EQ(second[0], static_cast<uint8_t>('Z' ^ 0xFF));
    Ftdi().FT_Close(h);
}

TEST_F(Faults, PartialChunkAcceptsOnlySomeBytes) {
    FT_HANDLE h = Device(R"([{"kind": "partialChunk", "write": 2, "bytes": 3}])");
    const TBytes frame = Query(11);
    DWORD written = 0;
    ASSERT_EQ(Ftdi().FT_Write(h, const_cast<uint8_t*>(frame.data()), 8, &written), FT_OK);
    EXPECT_EQ(written, 8u);
    ASSERT_EQ(Ftdi().FT_Write(h, const_cast<uint8_t*>(frame.data() + 8), 6, &written), FT_OK);
    EXPECT_EQ(written, 3u);
    EXPECT_TRUE(Receive(h, 14).empty());
    ASSERT_EQ(Ftdi().FT_Write(h, const_cast<uint8_t*>(frame.data() + 11), 3, &written), FT_OK);
    EXPECT_EQ(Parse(Receive(h, 14)).status, 128);
    Ftdi().FT_Close(h);
}

TEST_F(Faults, RefuseOpen) {
    World(R"({"devices": [{"serial": "1", "faults": [{"kind": "refuseOpen", "count": 2}]},
                          {"serial": "2", "library": "om", "faults": [{"kind": "refuseOpen"}]}]})");
    FT_HANDLE h = nullptr;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(Ftdi().FT_OpenEx(const_cast<char*>("1"), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(Ftdi().FT_OpenEx(const_cast<char*>("1"), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    Ftdi().FT_Close(h);
    OM_HANDLE om = 0;
    for (int i = 0; i < 3; ++i) EXPECT_NE(Om().OM_OpenDevice(0, "2", &om), OM_OK);
}

TEST_F(Faults, ListingFaults) {
    World(R"({"ftdi": {"failListing": [2], "emptyDescriptions": 1}, "om": {"failListing": [2]},
              "devices": [{"serial": "1"}, {"serial": "2", "library": "om"}]})");
    DWORD count = 0;
    FT_DEVICE_LIST_INFO_NODE node{};
    EXPECT_EQ(Ftdi().FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(Ftdi().FT_GetDeviceInfoList(&node, &count), FT_OK);
    EXPECT_STREQ(node.Description, "");
    EXPECT_NE(Ftdi().FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(Ftdi().FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(Ftdi().FT_GetDeviceInfoList(&node, &count), FT_OK);
    EXPECT_STREQ(node.Description, "Zelvia");

    // A listing is the size query and the fetch that follows it.
    uint8_t records[OM_DEVICE_RECORD_SIZE];
    uint32_t omCount = 5;
    EXPECT_EQ(Om().OM_GetListDevices(OM_LIST_ALL_DEVICES, nullptr, &omCount), OM_OK);
    EXPECT_EQ(Om().OM_GetListDevices(OM_LIST_ALL_DEVICES, records, &omCount), OM_OK);
    EXPECT_NE(Om().OM_GetListDevices(OM_LIST_ALL_DEVICES, nullptr, &omCount), OM_OK);
    EXPECT_EQ(Om().OM_GetListDevices(OM_LIST_ALL_DEVICES, nullptr, &omCount), OM_OK);
}

}  // namespace
}  // namespace zvsim::test
