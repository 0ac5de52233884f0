// A process that ends while one of its threads hangs in a library call.

#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "Faults.h"

namespace zvsim::test {
namespace {

TEST_F(Faults, ProcessExitsWhileACallHangs) {
    OneDevice(R"("faults": [{"kind": "hang", "read": 1, "ms": 5000}])");
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        FT_HANDLE h = nullptr;
        if (Ftdi().FT_OpenEx(const_cast<char*>("5500250"), FT_OPEN_BY_SERIAL_NUMBER, &h) != FT_OK) _exit(3);
        std::thread([h] {
            uint8_t buffer[14];
            DWORD got = 0;
            Ftdi().FT_Read(h, buffer, 14, &got);
        }).detach();
        std::exit(WaitForHangs(1) ? 0 : 4);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
}

}  // namespace
}  // namespace zvsim::test
