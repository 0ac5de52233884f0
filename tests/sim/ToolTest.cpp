// The zvsim control tool: plugging, listing, flash contents, the device-change
// message and its exit codes.

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
    SetEnvironment("ZVSIM_SCENARIO", (dir / "missing.json").string());
    EXPECT_EQ(Tool("list"), 2);
    std::ofstream(dir / "bad.json") << R"({"devices": [{"serial": "1", "mood": "happy"}]})";
    SetEnvironment("ZVSIM_SCENARIO", (dir / "bad.json").string());
    EXPECT_EQ(Tool("list"), 2);
    SetEnvironment("ZVSIM_SCENARIO", "");
    EXPECT_EQ(Tool("list"), 2);
}

}  // namespace
}  // namespace zvsim::test
