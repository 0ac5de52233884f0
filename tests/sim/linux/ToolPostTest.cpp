// The tool's note to a running loader, over the loader's Unix socket.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "SimHarness.h"

namespace zvsim::test {
namespace {

class ToolPost : public TSimTest {};

TEST_F(ToolPost, DeviceChangeReachesAListeningLoader) {
    OneDevice(R"("firmware": "ZVOM-3.2")");
    EXPECT_EQ(Tool("unplug 5500250"), 0);  // nobody listening is fine
    const auto runtime = dir / "runtime";
    std::filesystem::create_directories(runtime / "usbfwloader");
    SetEnvironment("XDG_RUNTIME_DIR", runtime.string());
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, (runtime / "usbfwloader" / "TMainForm").c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    EXPECT_EQ(Tool("plug 5500250"), 0);
    SetEnvironment("XDG_RUNTIME_DIR", "");
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
