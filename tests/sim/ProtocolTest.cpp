// The devices' protocols as seen through the FTDI library: bootloader frames,
// flash rules and layouts, and the application's text commands.

#include "SimHarness.h"

namespace zvsim::test {
namespace {

constexpr uint16_t OK = 128, BAD_FRAME = 129, BAD_ADDRESS = 130, PROTECTED = 131, NOT_ERASED = 132, LOCKED = 138;

TBytes Part(uint8_t seed) {
    TBytes part(512);
    for (size_t i = 0; i < part.size(); ++i) part[i] = static_cast<uint8_t>(seed + i * 7);
    return part;
}

class Bootloader : public TSimTest {};

TEST_F(Bootloader, AnswersQueriesWithEchoedHeaders) {
    OneDevice(
        R"("mode": "bootloader", "firmware": "ZVOM-3.2", "bootloader": "ZVOM-1.04 TR", "processor": "0x26013F37")");
    FT_HANDLE h = OpenFtdi();
    // The loader's command-4 request, byte for byte.
    Send(h, {0x0E, 0x00, 0x0E, 0x00, 0x04, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2A, 0x00});
    TReply firmware = Parse(Receive(h, 14 + 9));
    EXPECT_EQ(firmware.length, 23);
    EXPECT_EQ(firmware.headerSize, 14);
    EXPECT_EQ(firmware.status, OK);
    EXPECT_EQ(firmware.param, 10);
    EXPECT_TRUE(firmware.checksumOk);
    EXPECT_EQ(firmware.payload, Text(std::string("ZVOM-3.2") + '\0'));

    EXPECT_EQ(Exchange(h, Query(5), 14 + 13).payload, Text(std::string("ZVOM-1.04 TR") + '\0'));
    EXPECT_EQ(Exchange(h, Query(10), 18).payload, (TBytes{0x37, 0x3F, 0x01, 0x26}));
    for (uint16_t command : {11, 12}) EXPECT_EQ(Exchange(h, Query(command)).status, OK);
    EXPECT_EQ(Queued(h), 0u);
    Ftdi().FT_Close(h);
}

TEST_F(Bootloader, EraseWriteAndTheFlashFile) {
    OneDevice(R"("processor": "0x26013F37", "protectedSectors": [3])");
    FT_HANDLE h = OpenFtdi();
    // Both command sets; sector 16 is the first 32 KiB one.
    EXPECT_EQ(Exchange(h, Frame(6, 16, 0x10000)).status, OK);
    TReply written = Exchange(h, Frame(7, 16, 0x10200, Part(1)));
    EXPECT_EQ(written.status, OK);
    EXPECT_EQ(written.param, 16);
    EXPECT_EQ(written.address, 0x10200u);
    // Not erased again: refused, and the bytes stay.
    EXPECT_EQ(Exchange(h, Frame(2, 16, 0x10200, Part(2))).status, NOT_ERASED);
    EXPECT_EQ(Exchange(h, Frame(1, 3, 0x3000)).status, PROTECTED);
    EXPECT_EQ(Exchange(h, Frame(2, 3, 0x3000, Part(3))).status, PROTECTED);
    EXPECT_EQ(Exchange(h, Frame(1, 2, 0x3000)).status, BAD_ADDRESS);           // not the sector's start
    EXPECT_EQ(Exchange(h, Frame(1, 30, 0x80000)).status, BAD_ADDRESS);         // no such sector
    EXPECT_EQ(Exchange(h, Frame(2, 0, 0x0100, Part(4))).status, BAD_ADDRESS);  // not a 512-byte part
    EXPECT_EQ(Exchange(h, Frame(2, 0, 0x1000, Part(4))).status, BAD_ADDRESS);  // past the sector
    // Sector 0 was never erased, but a fresh flash reads 0xFF.
    EXPECT_EQ(Exchange(h, Frame(2, 0, 0x0E00, Part(5))).status, OK);
    ASSERT_EQ(Ftdi().FT_Close(h), FT_OK);

    const TBytes flash = FlashFile();
    ASSERT_EQ(flash.size(), 0x80000u);
    const TBytes one = Part(1), five = Part(5);
    EXPECT_TRUE(std::equal(one.begin(), one.end(), flash.begin() + 0x10200));
    EXPECT_TRUE(std::equal(five.begin(), five.end(), flash.begin() + 0x0E00));
    EXPECT_EQ(flash[0x101FF], 0xFF);
    EXPECT_EQ(flash[0x10400], 0xFF);

    // The flash outlives the handle: erasing sector 16 again clears the part.
    h = OpenFtdi();
    EXPECT_EQ(Exchange(h, Frame(2, 16, 0x10200, Part(6))).status, NOT_ERASED);
    EXPECT_EQ(Exchange(h, Frame(1, 16, 0x10000)).status, OK);
    EXPECT_EQ(Exchange(h, Frame(2, 16, 0x10200, Part(6))).status, OK);
    Ftdi().FT_Close(h);
}

TEST_F(Bootloader, LockedDeviceRefusesEveryEraseAndWrite) {
    OneDevice(R"("locked": true, "firmware": "ZVOM-3.2")");
    FT_HANDLE h = OpenFtdi();
    EXPECT_EQ(Exchange(h, Frame(1, 0, 0)).status, LOCKED);
    EXPECT_EQ(Exchange(h, Frame(6, 99, 0x12345)).status, LOCKED);
    EXPECT_EQ(Exchange(h, Frame(7, 0, 0, Part(1))).status, LOCKED);
    EXPECT_EQ(Exchange(h, Query(4), 23).status, OK);
    Ftdi().FT_Close(h);
}

TEST_F(Bootloader, MalformedFramesGetBadFrameStatus) {
    OneDevice(R"("firmware": "ZVOM-3.2")");
    FT_HANDLE h = OpenFtdi();
    TBytes badSum = Query(4);
    badSum[12] ^= 1;
    EXPECT_EQ(Exchange(h, badSum).status, BAD_FRAME);
    TBytes badHeader = Query(4);
    badHeader[2] = 12;
    badHeader[12] = badHeader[13] = 0;
    const uint16_t sum = Sum(badHeader);
    badHeader[12] = static_cast<uint8_t>(sum);
    badHeader[13] = static_cast<uint8_t>(sum >> 8);
    EXPECT_EQ(Exchange(h, badHeader).status, BAD_FRAME);
    EXPECT_EQ(Exchange(h, Query(99)).status, BAD_FRAME);
    EXPECT_EQ(Exchange(h, Frame(1, 0, 0, {1, 2})).status, BAD_FRAME);          // erase with a payload
    EXPECT_EQ(Exchange(h, Frame(2, 0, 0, TBytes(100, 0))).status, BAD_FRAME);  // short write
    EXPECT_EQ(Exchange(h, Frame(4, 10, 0, {0})).status, BAD_FRAME);            // query with a payload

    // A length below a header or above 4096 is answered at once, echoing what is there.
    TReply tiny = Exchange(h, {0x05, 0x00, 0x0E, 0x00, 0x04, 0x00, 0x07, 0x00});
    EXPECT_EQ(tiny.status, BAD_FRAME);
    EXPECT_EQ(tiny.param, 7);
    EXPECT_EQ(Exchange(h, {0x01, 0x20, 0x0E}).status, BAD_FRAME);
    EXPECT_EQ(Queued(h), 0u);
    EXPECT_EQ(Exchange(h, Query(4), 23).status, OK);
    Ftdi().FT_Close(h);
}

TEST_F(Bootloader, ReassemblesChunksAndDropsIdlePartialFrames) {
    OneDevice(R"("firmware": "ZVOM-3.2")");
    FT_HANDLE h = OpenFtdi();
    // Two frames in one write, then one frame a byte at a time.
    TBytes two = Frame(1, 0, 0);
    const TBytes second = Query(4);
    two.insert(two.end(), second.begin(), second.end());
    Send(h, two);
    EXPECT_EQ(Parse(Receive(h, 14)).status, OK);
    EXPECT_EQ(Parse(Receive(h, 23)).status, OK);
    for (uint8_t byte : Frame(1, 1, 0x1000)) Send(h, {byte});
    EXPECT_EQ(Parse(Receive(h, 14)).param, 1);

    // Half a write frame, then silence: the rest is taken as a new frame's start.
    const TBytes write = Frame(2, 2, 0x2000, Part(1));
    Send(h, TBytes(write.begin(), write.begin() + 200));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(Queued(h), 0u);
    EXPECT_EQ(Exchange(h, Query(4), 23).status, OK);
    Ftdi().FT_Close(h);
}

TEST_F(Bootloader, FlashLayoutsFollowTheProcessor) {
    struct TCase {
        const char* processor;
        uint16_t lastSector;
        uint32_t lastStart, flashSize;
    };
    const TCase cases[] = {{"0x0001BC40", 15, 0xF000, 0x10000},   {"0x10040204", 63, 0x3F000, 0x40000},
                           {"0x26013733", 21, 0x38000, 0x40000},  {"0x481D3F47", 29, 0x78000, 0x80000},
                           {"0x400FE000", 255, 0x24200, 0x24400}, {"0x12345678", 27, 0x7D000, 0x7E000}};
    std::string devices;
    for (size_t i = 0; i < std::size(cases); ++i)
        devices += std::string(i ? "," : "") + R"({"serial": ")" + std::to_string(i) + R"(", "processor": ")" +
                   cases[i].processor + "\"}";
    World(R"({"devices": [)" + devices + "]}");
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].processor);
        const std::string serial = std::to_string(i);
        FT_HANDLE h = OpenFtdi(serial.c_str());
        EXPECT_EQ(Exchange(h, Frame(1, cases[i].lastSector, cases[i].lastStart)).status, OK);
        EXPECT_EQ(Exchange(h, Frame(1, cases[i].lastSector + 1, cases[i].flashSize)).status, BAD_ADDRESS);
        Ftdi().FT_Close(h);
        EXPECT_EQ(FlashFile(serial).size(), cases[i].flashSize);
    }
    // Pages start at 0x4400 and take exactly one part; the default layout has small sectors again at 0x78000.
    FT_HANDLE pages = OpenFtdi("4");
    EXPECT_EQ(Exchange(pages, Frame(1, 0, 0x4400)).status, OK);
    EXPECT_EQ(Exchange(pages, Frame(2, 1, 0x4600, Part(1))).status, OK);
    Ftdi().FT_Close(pages);
    FT_HANDLE other = OpenFtdi("5");
    EXPECT_EQ(Exchange(other, Frame(1, 22, 0x78000)).status, OK);
    EXPECT_EQ(Exchange(other, Frame(1, 8, 0x8000)).status, OK);
    Ftdi().FT_Close(other);
}

TEST_F(Bootloader, PreloadedFlash) {
    std::ofstream(dir / "image.bin", std::ios::binary) << "ABC";
    OneDevice(R"("processor": "0x0001BC40", "flash": "image.bin")");
    FT_HANDLE h = OpenFtdi();
    EXPECT_EQ(Exchange(h, Frame(2, 0, 0, Part(1))).status, NOT_ERASED);
    Ftdi().FT_Close(h);
    const TBytes flash = FlashFile();
    ASSERT_EQ(flash.size(), 0x10000u);
    EXPECT_EQ(AsText(TBytes(flash.begin(), flash.begin() + 4)), "ABC\xFF");
}

class Application : public TSimTest {};

TEST_F(Application, AnswersTextCommandsAndIgnoresFrames) {
    OneDevice(R"("mode": "application", "firmware": "ZVOM-3.2")");
    FT_HANDLE h = OpenFtdi();
    Send(h, Query(4));
    Send(h, Text("noise FL_READ_"));
    EXPECT_EQ(Queued(h), 0u);
    Send(h, Text("VERSION$"));
    EXPECT_EQ(AsText(Receive(h, 8)), "ZVOM-3.2");
    EXPECT_EQ(Queued(h), 0u);
    Ftdi().FT_Close(h);
}

TEST_F(Application, StartedDeviceRunsItsBootloaderAfterReplug) {
    OneDevice(R"("mode": "application", "firmware": "ZVOM-3.2")");
    FT_HANDLE h = OpenFtdi();
    Send(h, Text("START_BOOT_LOADER"));
    EXPECT_EQ(AsText(Receive(h, 7)), "STARTED");
    // Until the replug it is still the application.
    Send(h, Text("FL_READ_VERSION$"));
    EXPECT_EQ(AsText(Receive(h, 8)), "ZVOM-3.2");
    std::string list;
    EXPECT_EQ(Tool("list", &list), 0);
    EXPECT_EQ(list, "5500250 ftdi plugged application bootloader-after-replug\n");

    ASSERT_EQ(Tool("unplug 5500250"), 0);
    DWORD written = 0;
    EXPECT_EQ(Ftdi().FT_Write(h, const_cast<char*>("x"), 1, &written), FT_IO_ERROR);
    EXPECT_EQ(Ftdi().FT_Close(h), FT_OK);
    FT_HANDLE none = nullptr;
    EXPECT_EQ(Ftdi().FT_OpenEx(const_cast<char*>("5500250"), FT_OPEN_BY_SERIAL_NUMBER, &none), FT_DEVICE_NOT_FOUND);
    ASSERT_EQ(Tool("plug 5500250"), 0);

    h = OpenFtdi();
    EXPECT_EQ(Exchange(h, Query(4), 23).payload, Text(std::string("ZVOM-3.2") + '\0'));
    // Starting the application is remembered in the world.
    EXPECT_EQ(Exchange(h, Query(13)).status, OK);
    Send(h, Text("FL_READ_VERSION$"));
    EXPECT_EQ(AsText(Receive(h, 8)), "ZVOM-3.2");
    Ftdi().FT_Close(h);
    EXPECT_EQ(Tool("list", &list), 0);
    EXPECT_EQ(list, "5500250 ftdi plugged application\n");
}

TEST_F(Application, ScenarioRepliesAndSilence) {
    World(R"({"devices": [
        {"serial": "1", "mode": "application", "firmware": "ZVOM-3.2", "startReply": "START ERROR",
         "versionReply": "Unknown"},
        {"serial": "2", "mode": "application", "firmware": "ZVOM-3.2", "startReply": null},
        {"serial": "4", "mode": "application", "startReply": "STARTED\r\n"},
        {"serial": "5", "mode": "application", "startReply": "STARTED!"},
        {"serial": "3", "mode": "silent", "firmware": "ZVOM-3.2"}]})");
    FT_HANDLE h = OpenFtdi("1");
    Send(h, Text("FL_READ_VERSION$START_BOOT_LOADER"));
    EXPECT_EQ(AsText(Receive(h, 18)), "UnknownSTART ERROR");
    Ftdi().FT_Close(h);
    for (const char* serial : {"2", "3"}) {
        h = OpenFtdi(serial);
        Ftdi().FT_SetTimeouts(h, 50, 50);
        Send(h, Text("START_BOOT_LOADER"));
        Send(h, Query(4));
        EXPECT_TRUE(Receive(h, 1).empty()) << serial;
        Ftdi().FT_Close(h);
    }
    for (const char* serial : {"4", "5"}) {
        h = OpenFtdi(serial);
        Send(h, Text("START_BOOT_LOADER"));
        Ftdi().FT_Close(h);
    }
    // Only a reply that reads STARTED marks the device for its bootloader.
    std::string list;
    Tool("list", &list);
    EXPECT_EQ(list,
              "1 ftdi plugged application\n2 ftdi plugged application\n"
              "4 ftdi plugged application bootloader-after-replug\n5 ftdi plugged application\n"
              "3 ftdi plugged silent\n");
}

// A write confirmed by command 11 gives a device with firmwareAfterWrite its new version for good.
class ConfirmedWrite : public TSimTest {
protected:
    // Version texts here are all 8 characters long.
    static std::string BootloaderVersion(FT_HANDLE h) {
        const TBytes payload = Exchange(h, Query(4), 14 + 9).payload;
        return payload.empty() ? "" : AsText(TBytes(payload.begin(), payload.end() - 1));
    }
    static std::string ApplicationVersion(FT_HANDLE h) {
        Send(h, Text("FL_READ_VERSION$"));
        return AsText(Receive(h, 8));
    }
    // The same world built again by the libraries from its files, as a new process would.
    void Reload() {
        const auto copy = dir / ("reloaded" + std::to_string(++reloads) + ".json");
        std::filesystem::copy_file(std::getenv("ZVSIM_SCENARIO"), copy);
        SetEnvironment("ZVSIM_SCENARIO", copy.string());
    }
    int reloads = 0;
};

TEST_F(ConfirmedWrite, NewVersionFromBothModesAcrossReopenReplugAndReload) {
    // The written version wins over a given versionReply too.
    World(R"({"devices": [{"serial": "1", "firmware": "ZVOM-3.1", "versionReply": "ZVOM-3.0",
                           "firmwareAfterWrite": "ZVOM-3.3"},
                          {"serial": "2", "firmware": "ZVOM-3.1"}]})");
    for (const std::string serial : {"1", "2"}) {
        SCOPED_TRACE(serial);
        const std::string written = serial == "1" ? "ZVOM-3.3" : "ZVOM-3.1";
        FT_HANDLE h = OpenFtdi(serial.c_str());
        EXPECT_EQ(BootloaderVersion(h), "ZVOM-3.1");
        EXPECT_EQ(Exchange(h, Query(12)).status, OK);  // a failed write changes nothing
        EXPECT_EQ(BootloaderVersion(h), "ZVOM-3.1");
        EXPECT_EQ(Exchange(h, Query(11)).status, OK);
        EXPECT_EQ(BootloaderVersion(h), written);
        EXPECT_EQ(Exchange(h, Query(13)).status, OK);
        Ftdi().FT_Close(h);
        h = OpenFtdi(serial.c_str());
        EXPECT_EQ(ApplicationVersion(h), written);
        Ftdi().FT_Close(h);
    }
    // The tool's processes rewrite the state, then the libraries read it afresh.
    ASSERT_EQ(Tool("unplug 1"), 0);
    ASSERT_EQ(Tool("plug 1"), 0);
    Reload();
    FT_HANDLE h = OpenFtdi("1");
    EXPECT_EQ(ApplicationVersion(h), "ZVOM-3.3");
    Ftdi().FT_Close(h);
    h = OpenFtdi("2");
    EXPECT_EQ(ApplicationVersion(h), "ZVOM-3.1");
    Ftdi().FT_Close(h);
}

TEST_F(ConfirmedWrite, StateFileOfAnOlderWorldStillReads) {
    OneDevice(R"("firmware": "ZVOM-3.1", "firmwareAfterWrite": "ZVOM-3.3")");
    std::filesystem::create_directories(worldFolder);
    // No flashDone field; were the file taken as damaged, the device would be in its bootloader, deaf to text.
    std::ofstream(worldFolder / "state.json") << R"({"generation": 4, "devices": {"5500250":
        {"plugged": true, "mode": "application", "bootAfterReplug": false, "connection": 2}}})";
    FT_HANDLE h = OpenFtdi();
    EXPECT_EQ(ApplicationVersion(h), "ZVOM-3.1");
    Ftdi().FT_Close(h);
}

}  // namespace
}  // namespace zvsim::test
