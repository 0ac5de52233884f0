// Whatever arrives, the simulator neither crashes nor gets stuck, and devices
// served from several threads at once stay apart.

#include <random>

#include "SimHarness.h"

namespace zvsim::test {
namespace {

class Robustness : public TSimTest {};

TEST_F(Robustness, RandomBytesThenAValidFrame) {
    World(R"({"devices": [{"serial": "1", "firmware": "ZVOM-3.2"},
                          {"serial": "2", "mode": "application", "firmware": "ZVOM-3.2"}]})");
    std::mt19937 random(20240611);
    for (const char* serial : {"1", "2"}) {
        FT_HANDLE h = OpenFtdi(serial);
        for (int block = 0; block < 3000; ++block) {
            TBytes bytes(random() % 700);
            for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
            // Now and then a plausible header, so that long frames and bad checksums are reached too.
            if (bytes.size() >= 14 && block % 3 == 0) {
                bytes[0] = static_cast<uint8_t>(14 + random() % 600);
                bytes[1] = static_cast<uint8_t>(random() % 3);
                bytes[2] = 14;
                bytes[3] = 0;
            }
            DWORD written = 0;
            ASSERT_EQ(Ftdi().FT_Write(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written), FT_OK);
            ASSERT_EQ(written, bytes.size());
            if (block % 50 == 0) Ftdi().FT_Purge(h, FT_PURGE_RX | FT_PURGE_TX);
        }
        std::this_thread::sleep_for(110ms);
        Ftdi().FT_Purge(h, FT_PURGE_RX);
        if (serial == std::string("1")) {
            EXPECT_EQ(Exchange(h, Query(4), 23).payload, Text(std::string("ZVOM-3.2") + '\0'));
        } else {
            Send(h, Text("FL_READ_VERSION$"));
            EXPECT_EQ(AsText(Receive(h, 8)), "ZVOM-3.2");
        }
        Ftdi().FT_Close(h);
    }
}

TEST_F(Robustness, HugeWritesAreTakenInOneGo) {
    World(R"({"devices": [{"serial": "1"}, {"serial": "2", "mode": "application", "firmware": "ZVOM-3.2"}]})");
    const std::pair<const char*, TBytes> cases[] = {{"1", Query(11)}, {"2", Text("START_BOOT_LOADER")}};
    for (const auto& [serial, unit] : cases) {
        FT_HANDLE h = OpenFtdi(serial);
        TBytes bytes;
        while (bytes.size() < (1u << 18)) bytes.insert(bytes.end(), unit.begin(), unit.end());
        DWORD written = 0;
        ASSERT_EQ(Ftdi().FT_Write(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written), FT_OK);
        EXPECT_EQ(written, bytes.size());
        EXPECT_LE(Queued(h), 65536u);  // the receive queue overflows as a real one would
        Ftdi().FT_Close(h);
    }
}

TEST_F(Robustness, DevicesOfBothLibrariesServedConcurrently) {
    World(R"({"devices": [{"serial": "1"}, {"serial": "2"}, {"serial": "3", "library": "om"}]})");
    std::atomic<bool> running{true};
    std::thread lister([&] {
        while (running) {
            DWORD count = 0;
            Ftdi().FT_CreateDeviceInfoList(&count);
            uint32_t omCount = 5;
            Om().OM_GetListDevices(OM_LIST_ALL_DEVICES, nullptr, &omCount);
            std::this_thread::sleep_for(1ms);
        }
    });
    auto ftdiWriter = [&](const char* serial, uint16_t sector) {
        FT_HANDLE h = OpenFtdi(serial);
        for (int i = 0; i < 40; ++i) {
            EXPECT_EQ(Exchange(h, Frame(1, sector, sector * 0x1000u)).status, 128);
            EXPECT_EQ(Exchange(h, Frame(2, sector, sector * 0x1000u, TBytes(512, static_cast<uint8_t>(i)))).status,
                      128);
        }
        Ftdi().FT_Close(h);
    };
    std::thread first(ftdiWriter, "1", 1), second(ftdiWriter, "2", 2);
    std::thread omWriter([&] {
        OM_HANDLE h = 0;
        ASSERT_EQ(Om().OM_OpenDevice(0, "3", &h), OM_OK);
        for (int i = 0; i < 40; ++i) {
            const TBytes frame = Frame(1, 3, 0x3000);
            uint32_t written = 0, got = 0;
            uint8_t reply[14];
            ASSERT_EQ(Om().OM_Write(h, frame.data(), 14, &written), OM_OK);
            ASSERT_EQ(Om().OM_ReadNotTimeOut(h, reply, 14, &got), OM_OK);
            EXPECT_EQ(Parse(TBytes(reply, reply + got)).status, 128);
        }
        Om().OM_CloseDevice(&h);
    });
    first.join();
    second.join();
    omWriter.join();
    running = false;
    lister.join();
    EXPECT_EQ(FlashFile("1")[0x1000], 39);
    EXPECT_EQ(FlashFile("2")[0x2000], 39);
}

}  // namespace
}  // namespace zvsim::test
