#pragma once
// Drives the built simulator libraries the way the loader does: loaded by
// path, entry points by name. Each test gets a world folder and scenario of
// its own, named through the ZVSIM_ variables, which the libraries re-read.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/Ftd2xx.h"
#include "sim/System.h"
#include "tests/support/Process.h"
#include "transport/zvusb.h"

namespace zvsim::test {

using TBytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

template <typename T>
T Symbol(void* library, const char* name) {
    void* symbol = LibrarySymbol(library, name);
    if (!symbol) throw std::runtime_error(std::string("missing ") + name);
    return reinterpret_cast<T>(symbol);
}

inline void* LoadSimLibrary(const std::string& relative) {
    const std::string path = std::string(ZVSIM_BUILD_DIR) + "/sim/" + relative;
    void* library = OpenLibraryFile(path);
    if (!library) throw std::runtime_error("cannot load " + path + ": " + LastSystemError());
    return library;
}

#define ZVSIM_ENTRY(name) decltype(&::name) name = Symbol<decltype(&::name)>(library, #name)

struct TFtdi {
    void* library = LoadSimLibrary(FTDI_LIBRARY_FILE_NAME);
    ZVSIM_ENTRY(FT_ListDevices);
    ZVSIM_ENTRY(FT_Open);
    ZVSIM_ENTRY(FT_OpenEx);
    ZVSIM_ENTRY(FT_Close);
    ZVSIM_ENTRY(FT_ResetDevice);
    ZVSIM_ENTRY(FT_Purge);
    ZVSIM_ENTRY(FT_Read);
    ZVSIM_ENTRY(FT_Write);
    ZVSIM_ENTRY(FT_SetTimeouts);
    ZVSIM_ENTRY(FT_GetStatus);
    ZVSIM_ENTRY(FT_CreateDeviceInfoList);
    ZVSIM_ENTRY(FT_GetDeviceInfoList);
    ZVSIM_ENTRY(FT_Rescan);
};

struct TOm {
    void* library = LoadSimLibrary(OM_LIBRARY_FILE_NAME);
    ZVSIM_ENTRY(OM_GetListDevices);
    ZVSIM_ENTRY(OM_OpenDevice);
    ZVSIM_ENTRY(OM_CloseDevice);
    ZVSIM_ENTRY(OM_ReadNotTimeOut);
    ZVSIM_ENTRY(OM_Write);
    ZVSIM_ENTRY(OM_Purge);
    ZVSIM_ENTRY(OM_SetTimeouts);
};

#undef ZVSIM_ENTRY

inline TFtdi& Ftdi() {
    static TFtdi ftdi;
    return ftdi;
}

inline TOm& Om() {
    static TOm om;
    return om;
}

// Frames built here independently of the simulator's own code.
inline uint16_t Sum(const TBytes& bytes) {
    uint16_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        const uint16_t word = static_cast<uint16_t>(bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0));
        sum = static_cast<uint16_t>(sum + word);
        if (sum < word) ++sum;
    }
    return sum;
}

inline TBytes Frame(uint16_t command, uint16_t param, uint32_t address, const TBytes& payload = {}) {
    TBytes frame(14 + payload.size());
    const auto put = [&](size_t at, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) frame[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    put(0, static_cast<uint32_t>(frame.size()), 2);
    put(2, 14, 2);
    put(4, command, 2);
    put(6, param, 2);
    put(8, address, 4);
    std::copy(payload.begin(), payload.end(), frame.begin() + 14);
    put(12, Sum(frame), 2);
    return frame;
}

inline TBytes Query(uint16_t command) { return Frame(command, 10, 0); }
inline TBytes Text(const std::string& text) { return TBytes(text.begin(), text.end()); }
inline std::string AsText(const TBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

struct TReply {
    uint16_t length = 0, headerSize = 0, status = 0, param = 0;
    uint32_t address = 0;
    TBytes payload;
    bool checksumOk = false;
};

inline TReply Parse(const TBytes& bytes) {
    TReply reply;
    if (bytes.size() < 14) return reply;
    const auto u16 = [&](size_t at) { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); };
    reply = {u16(0), u16(2), u16(4), u16(6), static_cast<uint32_t>(u16(8) | u16(10) << 16), {}, false};
    reply.payload.assign(bytes.begin() + 14, bytes.end());
    TBytes zeroed = bytes;
    zeroed[12] = zeroed[13] = 0;
    reply.checksumOk = Sum(zeroed) == u16(12);
    return reply;
}

// A test's own world: scenario file, world folder and trace file in a scratch folder.
class TSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("zvsim-test-" + std::to_string(ProcessId()) + "-" + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        // On Windows the libraries may still hold the world's files open.
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // Each call starts a new world (a new folder), so that tests can also switch worlds midway.
    void World(const std::string& scenario) {
        const auto world = dir / ("world" + std::to_string(++worlds));
        std::ofstream(dir / ("scenario" + std::to_string(worlds) + ".json")) << scenario;
        SetEnvironment("ZVSIM_SCENARIO", (dir / ("scenario" + std::to_string(worlds) + ".json")).string());
        SetEnvironment("ZVSIM_WORLD", world.string());
        SetEnvironment("ZVSIM_TRACE", (dir / "trace.log").string());
        worldFolder = world;
    }

    // A world of one device given by the JSON fields of `device`.
    void OneDevice(const std::string& device) { World(R"({"devices": [{"serial": "5500250", )" + device + "}]}"); }

    TBytes FlashFile(const std::string& serial = "5500250") const {
        std::ifstream in(worldFolder / (serial + ".flash"), std::ios::binary);
        return TBytes(std::istreambuf_iterator<char>(in), {});
    }

    // Runs the zvsim tool in the current world; returns its exit code and its standard output.
    int Tool(const std::string& arguments, std::string* output = nullptr) const {
        std::vector<std::string> argv = {ZVSIM_TOOL};
        std::istringstream words(arguments);
        for (std::string word; words >> word;) argv.push_back(word);
        const zv::testing_support::TRunResult run = zv::testing_support::RunProgram(argv);
        if (output) *output = run.out;
        return run.code;
    }

    FT_HANDLE OpenFtdi(const char* serial = "5500250") {
        FT_HANDLE handle = nullptr;
        EXPECT_EQ(Ftdi().FT_OpenEx(const_cast<char*>(serial), FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
        if (handle) Ftdi().FT_SetTimeouts(handle, 300, 200);
        return handle;
    }

    // Sends as the loader does: chunks of at most 64 bytes.
    static void Send(FT_HANDLE handle, const TBytes& bytes) {
        for (size_t at = 0; at < bytes.size(); at += 64) {
            DWORD written = 0;
            const DWORD n = static_cast<DWORD>(std::min<size_t>(64, bytes.size() - at));
            ASSERT_EQ(Ftdi().FT_Write(handle, const_cast<uint8_t*>(bytes.data() + at), n, &written), FT_OK);
            ASSERT_EQ(written, n);
        }
    }

    // Waits up to the read time-out for `count` bytes; returns what arrived.
    static TBytes Receive(FT_HANDLE handle, DWORD count) {
        TBytes bytes(count);
        DWORD got = 0;
        EXPECT_EQ(Ftdi().FT_Read(handle, bytes.data(), count, &got), FT_OK);
        bytes.resize(got);
        return bytes;
    }

    static TReply Exchange(FT_HANDLE handle, const TBytes& request, DWORD replySize = 14) {
        Send(handle, request);
        return Parse(Receive(handle, replySize));
    }

    static DWORD Queued(FT_HANDLE handle) {
        DWORD rx = 0, tx = 0, event = 0;
        EXPECT_EQ(Ftdi().FT_GetStatus(handle, &rx, &tx, &event), FT_OK);
        return rx;
    }

    std::filesystem::path dir;
    std::filesystem::path worldFolder;
    int worlds = 0;
};

}  // namespace zvsim::test
