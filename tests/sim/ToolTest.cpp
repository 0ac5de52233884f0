// The zvsim control tool: plugging, listing, flash contents, the device-change
// message and its exit codes.

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include "SimHarness.h"

namespace zvsim::test {
namespace {

class ControlTool : public TSimTest {};

TEST_F(ControlTool, PlugUnplugAndList) {
    World(R"({"devices": [{"serial": "1", "library": "om", "plugged": false}, {"serial": "2", "mode": "silent"}]})");
    std::string out;
    ASSERT_EQ(Tool("list", &out), 0);
    EXPECT_EQ(out, "1 om unplugged bootloader\n2 ftdi plugged silent\n");
    EXPECT_EQ(Tool("plug 1"), 0);
    EXPECT_EQ(Tool("unplug 2"), 0);
    EXPECT_EQ(Tool("unplug 2"), 0);
    ASSERT_EQ(Tool("list", &out), 0);
    EXPECT_EQ(out, "1 om plugged bootloader\n2 ftdi unplugged silent\n");
}

TEST_F(ControlTool, FlashShowsTheDevicesBytes) {
    OneDevice(R"("processor": "0x0001BC40")");
    std::string out;
    ASSERT_EQ(Tool("flash 5500250", &out), 0);
    EXPECT_EQ(out, std::string(0x10000, '\xFF'));
    FT_HANDLE h = OpenFtdi();
    EXPECT_EQ(Exchange(h, Frame(2, 1, 0x1200, TBytes(512, 0x5A))).status, 128);
    // Written through: visible before the handle is closed.
    ASSERT_EQ(Tool("flash 5500250", &out), 0);
    EXPECT_EQ(out.substr(0x1200, 512), std::string(512, 'Z'));
    EXPECT_EQ(out.size(), 0x10000u);
    Ftdi().FT_Close(h);
}

TEST_F(ControlTool, ExitCodes) {
    OneDevice(R"("firmware": "ZVOM-3.2")");
    EXPECT_EQ(Tool(""), 2);
    EXPECT_EQ(Tool("plug"), 2);
    EXPECT_EQ(Tool("list extra"), 2);
    EXPECT_EQ(Tool("wiggle 5500250"), 2);
    EXPECT_EQ(Tool("plug 550025"), 2);
    EXPECT_EQ(Tool("flash 999"), 2);
    setenv("ZVSIM_SCENARIO", (dir / "missing.json").c_str(), 1);
    EXPECT_EQ(Tool("list"), 2);
    std::ofstream(dir / "bad.json") << R"({"devices": [{"serial": "1", "mood": "happy"}]})";
    setenv("ZVSIM_SCENARIO", (dir / "bad.json").c_str(), 1);
    EXPECT_EQ(Tool("list"), 2);
    unsetenv("ZVSIM_SCENARIO");
    EXPECT_EQ(Tool("list"), 2);
}

TEST_F(ControlTool, PostsDeviceChangeToAListeningLoader) {
    OneDevice(R"("firmware": "ZVOM-3.2")");
    EXPECT_EQ(Tool("unplug 5500250"), 0);  // nobody listening is fine
    const auto runtime = dir / "runtime";
    std::filesystem::create_directories(runtime / "usbfwloader");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, (runtime / "usbfwloader" / "TMainForm").c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    EXPECT_EQ(Tool("plug 5500250"), 0);
    unsetenv("XDG_RUNTIME_DIR");
    const int client = accept(listener, nullptr, nullptr);
    ASSERT_GE(client, 0);
    char message[32] = {};
    EXPECT_EQ(read(client, message, sizeof message - 1), 8);
    EXPECT_STREQ(message, "537 7 0\n");
    close(client);
    close(listener);
}

}  // namespace
}  // namespace zvsim::test
