// The Windows side of the endpoint and of the device notifications, driven the
// way another process and the system drive them.

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/DeviceMonitor.h"
#include "platform/MessageEndpoint.h"
#include "platform/Runtime.h"
#include "support/TempDir.h"

// After our headers, whose message numbers windows.h has as macros too.
#include <windows.h>

#include <dbt.h>

namespace zv {
namespace {

using namespace std::chrono_literals;

using PipeEndpointTest = TempDirTest;

TEST_F(PipeEndpointTest, TheEndpointIsANamedPipeAndASlowClientCannotHoldIt) {
    const auto endpoint = dir / WINDOW_ENDPOINT_NAME;
    TMessageEndpoint server;
    ASSERT_TRUE(server.Listen(endpoint));
    // The name the simulator's tool computes for itself.
    std::wstring name = endpoint.wstring();
    for (wchar_t& c : name)
        if (c == L'\\' || c == L'/' || c == L':') c = L'-';
    const HANDLE client =
        CreateFileW((L"\\\\.\\pipe\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(client, "537 7 0\n537 7", 13, &written, nullptr));  // the second line never ends
    EXPECT_EQ(WaitForSingleObject(server.WaitHandle(), 1000), WAIT_OBJECT_0);
    std::vector<TWindowMessage> got;
    const auto start = std::chrono::steady_clock::now();
    server.Serve([&](const TWindowMessage& m) { got.push_back(m); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(got, (std::vector<TWindowMessage>{{537, 7, 0}}));
    CloseHandle(client);

    // Served and waited for again.
    ASSERT_TRUE(PostWindowMessages(endpoint, {{16, 0, 0}}));
    EXPECT_EQ(WaitForSingleObject(server.WaitHandle(), 1000), WAIT_OBJECT_0);
    got.clear();
    server.Serve([&](const TWindowMessage& m) { got.push_back(m); });
    EXPECT_EQ(got, (std::vector<TWindowMessage>{{16, 0, 0}}));
}

TEST(DeviceMonitor, AUsbArrivalOrRemovalSignalsAndIsTakenOnce) {
    TDeviceMonitor monitor;
    ASSERT_TRUE(monitor.Open());
    const HWND window = FindWindowExW(HWND_MESSAGE, nullptr, DEVICE_MONITOR_WINDOW_CLASS, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(monitor.Drain());

    DEV_BROADCAST_DEVICEINTERFACE_W device{};
    device.dbcc_size = sizeof device;
    device.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    for (const WPARAM change : {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE}) {
        SendMessageW(window, WM_DEVICECHANGE, change, reinterpret_cast<LPARAM>(&device));
        EXPECT_EQ(WaitForSingleObject(monitor.WaitHandle(), 1000), WAIT_OBJECT_0);
        EXPECT_TRUE(monitor.Drain());
        EXPECT_FALSE(monitor.Drain()) << "taken once";
        EXPECT_EQ(WaitForSingleObject(monitor.WaitHandle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    // Other device news is not a device arriving or leaving.
    SendMessageW(window, WM_DEVICECHANGE, DBT_QUERYCHANGECONFIG, 0);
    EXPECT_FALSE(monitor.Drain());
}

TEST(Runtime, TheExecutableFolderAndTheRuntimeFolderAreRealFolders) {
    EXPECT_TRUE(std::filesystem::exists(ExecutableFolder() / "platform_tests.exe"));
    EXPECT_TRUE(std::filesystem::is_directory(RuntimeFolder()));
    EXPECT_FALSE(HostName().empty());
}

}  // namespace
}  // namespace zv
