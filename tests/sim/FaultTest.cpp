// Injected faults: which reply, open, read, write or listing they hit and what they do to it.

#include <sstream>

#include "Faults.h"

namespace zvsim::test {
namespace {

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

TEST_F(Faults, RefuseOpenFromALaterOpen) {
    World(R"({"devices": [{"serial": "1", "faults": [{"kind": "refuseOpen", "from": 2, "count": 1}]},
                          {"serial": "2", "library": "om", "faults": [{"kind": "refuseOpen", "from": 3}]}]})");
    std::vector<bool> ftdiOpened, omOpened;
    for (int i = 0; i < 4; ++i) {
        FT_HANDLE h = nullptr;
        ftdiOpened.push_back(Ftdi().FT_OpenEx(const_cast<char*>("1"), FT_OPEN_BY_SERIAL_NUMBER, &h) == FT_OK);
        if (h) Ftdi().FT_Close(h);
        OM_HANDLE om = 0;
        omOpened.push_back(Om().OM_OpenDevice(0, "2", &om) == OM_OK);
        if (om) Om().OM_CloseDevice(&om);
    }
    EXPECT_EQ(ftdiOpened, (std::vector<bool>{true, false, true, true}));
    EXPECT_EQ(omOpened, (std::vector<bool>{true, true, false, false}));

    OneDevice(R"("faults": [{"kind": "refuseOpen", "from": 0}])");
    EXPECT_EQ(Tool("list"), 2);
}

TEST_F(Faults, HungReadTakesItsTimeThenReadsAsIfJustCalled) {
    FT_HANDLE h = Device(R"([{"kind": "hang", "read": 1, "count": 2, "ms": 300}])");
    Send(h, Query(11));
    TBytes reply;
    EXPECT_GE(Took([&] { reply = Receive(h, 14); }), 300ms);
    EXPECT_EQ(Parse(reply).status, 128);
    // The read time-out (60 ms) only starts once the hang is over.
    EXPECT_GE(Took([&] { reply = Receive(h, 14); }), 350ms);
    EXPECT_TRUE(reply.empty());
    Ftdi().FT_Close(h);
}

TEST_F(Faults, HungWriteTakesItsTimeThenWritesUnlessUnpluggedMeanwhile) {
    World(R"({"devices": [{"serial": "7300001", "library": "om",
                           "faults": [{"kind": "hang", "write": 1, "count": 2, "ms": 300}]}]})");
    OM_HANDLE h = 0;
    ASSERT_EQ(Om().OM_OpenDevice(0, "7300001", &h), OM_OK);
    const TBytes frame = Query(11);
    uint32_t written = 0, got = 0;
    EXPECT_GE(Took([&] { EXPECT_EQ(Om().OM_Write(h, frame.data(), 14, &written), OM_OK); }), 300ms);
    EXPECT_EQ(written, 14u);
    uint8_t reply[14];
    EXPECT_LT(Took([&] { EXPECT_EQ(Om().OM_ReadNotTimeOut(h, reply, 14, &got), OM_OK); }), 150ms);
    EXPECT_EQ(Parse(TBytes(reply, reply + got)).status, 128);

    // The write does its work only after the hang, so an unplug during it fails the write.
    std::thread unplug([&] {
        EXPECT_TRUE(WaitForHangs(2, "7300001"));
        EXPECT_EQ(Tool("unplug 7300001"), 0);
    });
    EXPECT_NE(Om().OM_Write(h, frame.data(), 14, &written), OM_OK);
    unplug.join();
    EXPECT_EQ(written, 0u);
    Om().OM_CloseDevice(&h);
}

TEST_F(Faults, HangCoversOnlyTheNamedCallsOfItsKind) {
    FT_HANDLE h = Device(R"([{"kind": "hang", "read": 2, "count": 2, "ms": 200},
                             {"kind": "hang", "write": 3, "ms": 200}])");
    // Status queries are not read calls.
    EXPECT_LT(Took([&] {
                  Queued(h);
                  Queued(h);
              }),
              150ms);
    const bool writeHangs[] = {false, false, true, false};
    const bool readHangs[] = {false, true, true, false};
    for (size_t call = 0; call < 4; ++call) {
        const auto wrote = Took([&] { Send(h, Query(11)); });
        TBytes reply;
        const auto read = Took([&] { reply = Receive(h, 14); });
        EXPECT_EQ(wrote >= 200ms, writeHangs[call]) << "write " << call + 1 << " took " << wrote.count() << " ms";
        EXPECT_EQ(read >= 200ms, readHangs[call]) << "read " << call + 1 << " took " << read.count() << " ms";
        EXPECT_EQ(Parse(reply).status, 128);
    }
    Ftdi().FT_Close(h);
}

TEST_F(Faults, OtherCallsGoOnWhileAReadHangs) {
    World(R"({"devices": [{"serial": "1", "faults": [{"kind": "hang", "read": 1, "ms": 500}]}, {"serial": "2"}]})");
    FT_HANDLE hung = OpenFtdi("1"), other = OpenFtdi("2");
    FT_STATUS readStatus = FT_OK;
    std::chrono::milliseconds readTook{};
    std::thread reader([&] {
        uint8_t buffer[14];
        DWORD got = 0;
        readTook = Took([&] { readStatus = Ftdi().FT_Read(hung, buffer, 14, &got); });
    });
    EXPECT_TRUE(WaitForHangs(1, "1"));
    const auto others = Took([&] {
        EXPECT_EQ(Queued(hung), 0u);
        EXPECT_EQ(Exchange(other, Query(11)).status, 128);
        EXPECT_EQ(Ftdi().FT_Close(hung), FT_OK);
    });
    EXPECT_LT(others, 200ms);
    reader.join();
    EXPECT_GE(readTook, 500ms);
    EXPECT_EQ(readStatus, FT_IO_ERROR);  // closed while it hung
    Ftdi().FT_Close(other);
}

TEST_F(Faults, BadHangFieldsAreRefused) {
    const char* bad[] = {
        R"({"kind": "hang", "read": 1})",
        R"({"kind": "hang", "ms": 200})",
        R"({"kind": "hang", "read": 1, "write": 1, "ms": 200})",
        R"({"kind": "hang", "read": 1, "ms": 0})",
        R"({"kind": "hang", "read": 1, "ms": "200"})",
        R"({"kind": "hang", "write": 0, "ms": 200})",
        R"({"kind": "hang", "write": 1, "ms": 200, "count": 0})",
        R"({"kind": "hang", "write": 1, "ms": 200, "bytes": 3})",
    };
    for (const char* fault : bad) {
        OneDevice(std::string(R"("faults": [)") + fault + "]");
        EXPECT_EQ(Tool("list"), 2) << fault;
    }
    OneDevice(R"("faults": [{"kind": "hang", "read": 1, "ms": 200, "count": 3},
                            {"kind": "hang", "write": 2, "ms": 1}])");
    EXPECT_EQ(Tool("list"), 0);
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
