// The loader executable itself, started as a user would start it, on the
// offscreen platform against a simulated world.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "app/Log.h"
#include "app/TempDir.h"
#include "platform/MessageEndpoint.h"
#include "platform/Runtime.h"
#include "support/SimWorld.h"

extern char** environ;

namespace zv {
namespace {

using namespace std::chrono_literals;
using testing_support::TSimWorld;

// "Прошивка завершена успешно" and "Прибор подключен" in Windows-1251.
const std::string kWrittenCp1251 = "\xCF\xF0\xEE\xF8\xE8\xE2\xEA\xE0 \xE7\xE0\xE2\xE5\xF0\xF8\xE5\xED\xE0 "
                                   "\xF3\xF1\xEF\xE5\xF8\xED\xEE";
const std::string kConnectedCp1251 = "\xCF\xF0\xE8\xE1\xEE\xF0 \xEF\xEE\xE4\xEA\xEB\xFE\xF7\xE5\xED";

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class LoaderProcessTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        const char* build = std::getenv("ZV_BUILD_DIR");
        ASSERT_TRUE(build);
        // A copy, so its settings and logs land beside it in the scratch folder.
        std::filesystem::copy_file(std::filesystem::path(build) / "bin" / "usbfwloader", dir / "usbfwloader");
    }
    void TearDown() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        TempDirTest::TearDown();
    }

    void Start() {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const std::string exe = (dir / "usbfwloader").string();
        char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
        ASSERT_EQ(::posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv, environ), 0);
    }

    // Waits for the loader to end; its exit status, or -1 after `timeout`.
    int Wait(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

    std::string Log() const {
        std::ifstream in(dir / "Logs" / DailyLogFileName(std::chrono::system_clock::now()), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    template <typename Done>
    bool WaitFor(Done done, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    pid_t pid_ = -1;
};

TEST_F(LoaderProcessTest, WritesEveryBootloaderDeviceLogsInWindows1251AndClosesDuringAWrite) {
    TSimWorld world(R"({"devices": [
        {"serial": "5500311", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04"},
        {"serial": "5500250", "mode": "application", "firmware": "ZVMB-3.1"},
        {"serial": "5500312", "firmware": "ZVMB-2.9", "bootloader": "ZVMB-1.04", "processor": "0x25113737"},
        {"serial": "7100042", "library": "om", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.05"},
        {"serial": "7100043", "library": "om", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.05",
         "timing": {"partMs": 40}}]})");
    std::ofstream(dir / "ZVFWLoader.ini", std::ios::binary) << "[COMMON]\r\nMainForm=10,10,700,500,1,165,1,0\r\n";
    Start();
    ASSERT_TRUE(WaitFor([&] { return Count(Log(), kWrittenCp1251) >= 3; }, 60s)) << "devices not written";
    const std::string log = Log();
    EXPECT_EQ(Count(log, kWrittenCp1251), 3u) << "the slow device is still being written";
    EXPECT_EQ(Count(log, kConnectedCp1251), 5u);
    EXPECT_EQ(log.find("Прибор"), std::string::npos) << "the file is not UTF-8";
    EXPECT_NE(log.find("\r\n"), std::string::npos);

    // Closing the window as the user would, while the slow device is written.
    ASSERT_TRUE(PostWindowMessages(RuntimeFolder() / WINDOW_ENDPOINT_NAME, {{WM_CLOSE, 0, 0}}));
    EXPECT_EQ(Wait(15s), 0);
    // "Ошибка 10 при прошивке" for the interrupted write.
    EXPECT_NE(Log().find("\xCE\xF8\xE8\xE1\xEA\xE0 10 \xEF\xF0\xE8 \xEF\xF0\xEE\xF8\xE8\xE2\xEA\xE5"), std::string::npos);
    std::ifstream settings(dir / "ZVFWLoader.ini", std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(settings)), {});
    EXPECT_NE(saved.find("MainForm=10,10,700,500,1,165,1,0"), std::string::npos) << saved;
}

}  // namespace
}  // namespace zv
