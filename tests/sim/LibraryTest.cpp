// The two libraries' own rules: listing, opening, handles, reads, timing,
// unplugging, switching worlds and the trace.

#include <cstring>

#include "SimHarness.h"
#include "tests/support/TraceReader.h"

namespace zvsim::test {
namespace {

constexpr const char* MIXED_WORLD = R"({"devices": [
    {"serial": "5500250", "library": "ftdi", "firmware": "ZVOM-3.2"},
    {"serial": "007", "library": "ftdi", "description": "Other", "listings": 2},
    {"serial": "900", "library": "ftdi", "plugged": false},
    {"serial": "7300001", "library": "om", "firmware": "ZVOM-3.2"},
    {"serial": "7300002", "library": "om", "mode": "application", "firmware": "ZVOM-3.3"}]})";

std::vector<FT_DEVICE_LIST_INFO_NODE> FtdiListing() {
    DWORD count = 0;
    EXPECT_EQ(Ftdi().FT_CreateDeviceInfoList(&count), FT_OK);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    if (count) {
        EXPECT_EQ(Ftdi().FT_GetDeviceInfoList(nodes.data(), &count), FT_OK);
    }
    return nodes;
}

std::vector<std::pair<uint16_t, std::string>> OmListing() {
    uint32_t count = 5;
    EXPECT_EQ(Om().OM_GetListDevices(OM_LIST_ALL_DEVICES, nullptr, &count), OM_OK);
    std::vector<uint8_t> records(count * OM_DEVICE_RECORD_SIZE, 0xEE);
    EXPECT_EQ(Om().OM_GetListDevices(OM_LIST_ALL_DEVICES, records.data(), &count), OM_OK);
    std::vector<std::pair<uint16_t, std::string>> listed;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* record = &records[i * OM_DEVICE_RECORD_SIZE];
        listed.emplace_back(record[2] | record[3] << 8, reinterpret_cast<const char*>(record + 4));
    }
    return listed;
}

class Libraries : public TSimTest {};

TEST_F(Libraries, ListEachLibrarysPluggedDevices) {
    World(MIXED_WORLD);
    const auto nodes = FtdiListing();
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_STREQ(nodes[0].SerialNumber, "5500250");
    EXPECT_STREQ(nodes[0].Description, "Zelvia");
    EXPECT_STREQ(nodes[1].SerialNumber, "007");
    EXPECT_STREQ(nodes[2].Description, "Other");
    DWORD count = 0;
    EXPECT_EQ(Ftdi().FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(Ftdi().FT_Rescan(), FT_NOT_SUPPORTED);

    const auto records = OmListing();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], std::make_pair(uint16_t{0}, std::string("7300001")));
    EXPECT_EQ(records[1], std::make_pair(uint16_t{1}, std::string("7300002")));
    // Never more records than given.
    uint32_t one = 1;
    uint8_t record[OM_DEVICE_RECORD_SIZE * 2] = {};
    record[OM_DEVICE_RECORD_SIZE] = 0xEE;
    EXPECT_EQ(Om().OM_GetListDevices(OM_LIST_ALL_DEVICES, record, &one), OM_OK);
    EXPECT_EQ(one, 2u);
    EXPECT_EQ(record[OM_DEVICE_RECORD_SIZE], 0xEE);
}

TEST_F(Libraries, OpenMatchesExactlyAndOnlyInItsOwnLibrary) {
    World(MIXED_WORLD);
    FT_HANDLE h = nullptr;
    EXPECT_EQ(Ftdi().FT_OpenEx(const_cast<char*>("7"), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(Ftdi().FT_OpenEx(const_cast<char*>("7300001"), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(Ftdi().FT_OpenEx(const_cast<char*>("900"), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
    ASSERT_EQ(Ftdi().FT_OpenEx(const_cast<char*>("007"), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    FT_HANDLE again = nullptr;
    EXPECT_NE(Ftdi().FT_OpenEx(const_cast<char*>("007"), FT_OPEN_BY_SERIAL_NUMBER, &again), FT_OK);
    EXPECT_EQ(FtdiListing()[1].Flags & FT_FLAGS_OPENED, 1u);
    EXPECT_EQ(Ftdi().FT_Close(h), FT_OK);
    EXPECT_EQ(Ftdi().FT_Close(h), FT_INVALID_HANDLE);
    DWORD rx = 0, tx = 0, event = 0;
    EXPECT_EQ(Ftdi().FT_GetStatus(h, &rx, &tx, &event), FT_INVALID_HANDLE);

    OM_HANDLE om = 0;
    EXPECT_NE(Om().OM_OpenDevice(0, "7300002", &om), OM_OK);  // index and serial must agree
    EXPECT_NE(Om().OM_OpenDevice(0, "5500250", &om), OM_OK);
    ASSERT_EQ(Om().OM_OpenDevice(1, "7300002", &om), OM_OK);
    EXPECT_NE(om, 0u);
    EXPECT_EQ(Om().OM_CloseDevice(&om), OM_OK);
    EXPECT_EQ(om, 0u);
    EXPECT_NE(Om().OM_CloseDevice(&om), OM_OK);
}

TEST_F(Libraries, OmReadReturnsOneReplyAtATime) {
    World(MIXED_WORLD);
    OM_HANDLE h = 0;
    ASSERT_EQ(Om().OM_OpenDevice(0, "7300001", &h), OM_OK);
    uint32_t written = 0;
    TBytes two = Query(4);
    const TBytes second = Query(11);
    two.insert(two.end(), second.begin(), second.end());
    ASSERT_EQ(Om().OM_Write(h, two.data(), static_cast<uint32_t>(two.size()), &written), OM_OK);
    EXPECT_EQ(written, two.size());
    uint8_t buffer[64];
    uint32_t got = 0;
    ASSERT_EQ(Om().OM_ReadNotTimeOut(h, buffer, 10, &got), OM_OK);
    EXPECT_EQ(got, 10u);
    ASSERT_EQ(Om().OM_ReadNotTimeOut(h, buffer, sizeof buffer, &got), OM_OK);
    EXPECT_EQ(got, 13u);  // the rest of the version reply, not the next reply
    ASSERT_EQ(Om().OM_ReadNotTimeOut(h, buffer, sizeof buffer, &got), OM_OK);
    EXPECT_EQ(Parse(TBytes(buffer, buffer + got)).status, 128);
    Om().OM_SetTimeouts(h, 50, 50);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Om().OM_ReadNotTimeOut(h, buffer, sizeof buffer, &got), OM_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 45ms);
    Om().OM_CloseDevice(&h);
}

TEST_F(Libraries, RepliesBecomeReadyAfterTheDeviceLatency) {
    OneDevice(R"("timing": {"frameMs": 40, "eraseMs": 60})");
    FT_HANDLE h = OpenFtdi();
    const auto start = std::chrono::steady_clock::now();
    Send(h, Frame(1, 0, 0));
    EXPECT_EQ(Queued(h), 0u);
    EXPECT_EQ(Parse(Receive(h, 14)).status, 128);  // FT_Read waits for it
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
    // A read that cannot be satisfied returns what there is once the time-out passes.
    Ftdi().FT_SetTimeouts(h, 60, 60);
    Send(h, Query(11));
    EXPECT_EQ(Receive(h, 20).size(), 14u);
    Ftdi().FT_Close(h);
}

TEST_F(Libraries, UnpluggedDeviceFailsItsOpenHandle) {
    World(MIXED_WORLD);
    FT_HANDLE h = OpenFtdi();
    OM_HANDLE om = 0;
    ASSERT_EQ(Om().OM_OpenDevice(0, "7300001", &om), OM_OK);
    Send(h, Query(11));  // a reply is waiting when the cable goes
    ASSERT_EQ(Tool("unplug 5500250"), 0);
    ASSERT_EQ(Tool("unplug 7300001"), 0);
    DWORD got = 1;
    uint8_t buffer[14];
    EXPECT_EQ(Ftdi().FT_Read(h, buffer, 14, &got), FT_IO_ERROR);
    EXPECT_EQ(got, 0u);
    uint32_t omGot = 1;
    EXPECT_EQ(Om().OM_ReadNotTimeOut(om, buffer, 14, &omGot), 4u);
    EXPECT_EQ(omGot, 0u);
    EXPECT_EQ(FtdiListing().size(), 2u);
    EXPECT_EQ(OmListing().size(), 1u);
    // Plugged in again, the old handle stays dead and a new one works.
    ASSERT_EQ(Tool("plug 5500250"), 0);
    EXPECT_EQ(Ftdi().FT_Read(h, buffer, 14, &got), FT_IO_ERROR);
    FT_HANDLE fresh = OpenFtdi();
    EXPECT_EQ(Exchange(fresh, Query(11)).status, 128);
    EXPECT_EQ(Ftdi().FT_Close(h), FT_OK);
    EXPECT_EQ(Ftdi().FT_Close(fresh), FT_OK);
    Om().OM_CloseDevice(&om);
}

TEST_F(Libraries, FollowTheEnvironmentToANewWorld) {
    OneDevice(R"("firmware": "ZVOM-3.2")");
    FT_HANDLE old = OpenFtdi();
    World(R"({"devices": [{"serial": "1"}, {"serial": "2"}]})");
    EXPECT_EQ(FtdiListing().size(), 2u);
    DWORD rx = 0, tx = 0, event = 0;
    EXPECT_EQ(Ftdi().FT_GetStatus(old, &rx, &tx, &event), FT_INVALID_HANDLE);
}

TEST_F(Libraries, TraceRecordsEveryCallWithMonotonicTimes) {
    OneDevice(R"("firmware": "ZVOM-3.2")");
    const uint64_t before =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    FT_HANDLE h = OpenFtdi();
    const TBytes request = Query(4);
    Send(h, request);
    Receive(h, 10);
    Receive(h, 13);
    Ftdi().FT_Close(h);
    const auto events = LoadTrace((dir / "trace.log").string());
    ASSERT_EQ(events.size(), 5u);
    const char* kinds[] = {"open", "write", "read", "read", "close"};
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].kind, kinds[i]);
        EXPECT_EQ(events[i].serial, "5500250");
        EXPECT_EQ(events[i].library, "ftdi");
        EXPECT_GE(events[i].micros, i ? events[i - 1].micros : before);
    }
    EXPECT_EQ(events[1].bytes, request);
    EXPECT_EQ(events[2].count, 10u);
    TBytes reply = events[2].bytes;
    reply.insert(reply.end(), events[3].bytes.begin(), events[3].bytes.end());
    EXPECT_EQ(Parse(reply).payload, Text(std::string("ZVOM-3.2") + '\0'));
}

}  // namespace
}  // namespace zvsim::test
