// The tool's note to a running loader, over the loader's named pipe.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "SimHarness.h"

// After our headers: windows.h has macros of some of their names.
#include <windows.h>

namespace zvsim::test {
namespace {

class ToolPost : public TSimTest {};

TEST_F(ToolPost, DeviceChangeReachesAListeningLoader) {
    OneDevice(R"("firmware": "ZVOM-3.2")");
    EXPECT_EQ(Tool("unplug 5500250"), 0);  // nobody listening is fine
    const auto runtime = dir / "runtime";
    SetEnvironment("XDG_RUNTIME_DIR", runtime.string());
    // The pipe's name is the endpoint's path with separators and colons made '-'.
    std::wstring name = (runtime / "usbfwloader" / "TMainForm").wstring();
    for (wchar_t& c : name)
        if (c == L'\\' || c == L'/' || c == L':') c = L'-';
    const HANDLE listener = CreateNamedPipeW((L"\\\\.\\pipe\\" + name).c_str(), PIPE_ACCESS_INBOUND,
                                             PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, nullptr);
    ASSERT_NE(listener, INVALID_HANDLE_VALUE);
    std::string message;
    std::thread server([&] {
        if (!ConnectNamedPipe(listener, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
        char buffer[32];
        DWORD n = 0;
        while (ReadFile(listener, buffer, sizeof buffer, &n, nullptr) && n > 0) message.append(buffer, n);
    });
    EXPECT_EQ(Tool("plug 5500250"), 0);
    SetEnvironment("XDG_RUNTIME_DIR", "");
    server.join();
    CloseHandle(listener);
    EXPECT_EQ(message, "537 7 0\n");
}

}  // namespace
}  // namespace zvsim::test
