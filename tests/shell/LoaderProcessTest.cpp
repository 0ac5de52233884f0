// The loader executable itself, started as a user would start it, on the
// offscreen platform against a simulated world.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>

#include "core/EventLog.h"
#include "core/LoaderCore.h"
#include "core/WriteRecord.h"
#include "platform/MessageEndpoint.h"
#include "platform/Runtime.h"
#include "platform/Text.h"
#include "support/Frames.h"
#include "support/Process.h"
#include "support/Records.h"
#include "support/SimWorld.h"
#include "support/TempDir.h"

namespace zv {
namespace {

using namespace std::chrono_literals;
using testing_support::CountEvents;
using testing_support::ReadRecords;
using testing_support::ReadText;
using testing_support::TProcess;
using testing_support::TSimWorld;
using testing_support::WaitUntil;

// "Прошивка завершена успешно" and "Прибор подключен" in Windows-1251.
const std::string kWrittenCp1251 =
    "\xCF\xF0\xEE\xF8\xE8\xE2\xEA\xE0 \xE7\xE0\xE2\xE5\xF0\xF8\xE5\xED\xE0 "
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

    std::unique_ptr<TProcess> Start(std::vector<std::string> environment = {}) {
        environment.push_back("QT_QPA_PLATFORM=offscreen");
        return std::make_unique<TProcess>(std::vector<std::string>{(dir / "usbfwloader").string()},
                                          TProcess::TOptions{environment, {}, {}});
    }

    std::string Log() const { return ReadText(dir / "Logs" / DailyLogFileName(std::chrono::system_clock::now())); }
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
    auto loader = Start();
    ASSERT_TRUE(WaitUntil([&] { return Count(Log(), kWrittenCp1251) >= 3; }, 60s))
        << "devices not written\n"
        << loader->Err() << Cp1251ToUtf8(Log());
    const std::string log = Log();
    EXPECT_EQ(Count(log, kWrittenCp1251), 3u) << "the slow device is still being written";
    EXPECT_EQ(Count(log, kConnectedCp1251), 5u);
    EXPECT_EQ(log.find("Прибор"), std::string::npos) << "the file is not UTF-8";
    EXPECT_NE(log.find("\r\n"), std::string::npos);

    // Closing the window as the user would, while the slow device is written.
    ASSERT_TRUE(PostWindowMessages(RuntimeFolder() / WINDOW_ENDPOINT_NAME, {{WM_CLOSE, 0, 0}}));
    EXPECT_EQ(loader->Wait(15s), 0) << loader->Err();
    // "Ошибка 10 при прошивке" for the interrupted write.
    EXPECT_NE(Log().find("\xCE\xF8\xE8\xE1\xEA\xE0 10 \xEF\xF0\xE8 \xEF\xF0\xEE\xF8\xE8\xE2\xEA\xE5"),
              std::string::npos);
    std::ifstream settings(dir / "ZVFWLoader.ini", std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(settings)), {});
    EXPECT_NE(saved.find("MainForm=10,10,700,500,1,165,1,0"), std::string::npos) << saved;
}

// A driver call that does not come back: the first device's 30th read, well
// into its write, blocks for a minute. Closing waits the deadline for it, then
// leaves it and ends; the other device's write stops at a sector boundary.
TEST_F(LoaderProcessTest, ClosingWhileADriverCallHangsEndsAtTheDeadline) {
    TSimWorld world(R"({"devices": [
        {"serial": "5500321", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04",
         "faults": [{"kind": "hang", "read": 30, "ms": 60000}]},
        {"serial": "5500322", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04", "timing": {"partMs": 40}}]})");
    std::ofstream(dir / "ZVFWLoader.ini", std::ios::binary) << "[COMMON]\r\nMainForm=10,10,700,500,1,165,1,0\r\n";
    auto loader = Start(testing_support::WithoutSanitizerExitSleep());
    ASSERT_TRUE(WaitUntil([&] { return CountEvents(world.trace.string(), "5500321", "hang") == 1; }, 60s))
        << loader->Err();

    const auto closed = std::chrono::steady_clock::now();
    ASSERT_TRUE(PostWindowMessages(RuntimeFolder() / WINDOW_ENDPOINT_NAME, {{WM_CLOSE, 0, 0}}));
    EXPECT_EQ(loader->Wait(SHUTDOWN_TIMEOUT + 1s), 0) << loader->Err();
    EXPECT_GE(std::chrono::steady_clock::now() - closed, SHUTDOWN_TIMEOUT - 100ms) << "it did not wait";

    const std::string log = Log();
    EXPECT_NE(log.find(Utf8ToCp1251("Прибор 5500321\tПрошивка не остановилась за 10000 мс; поток оставлен")),
              std::string::npos)
        << Cp1251ToUtf8(log);
    EXPECT_TRUE(
        std::regex_search(Cp1251ToUtf8(log), std::regex("Прибор 5500322\t\\( *[0-9]+\\)Ошибка 10 при прошивке")));
    EXPECT_EQ(Count(log, Utf8ToCp1251("не остановилась")), 1u);
}

TEST_F(LoaderProcessTest, AKilledLoaderLeavesEveryEarlierRecordWhole) {
    TSimWorld world(R"({"devices": [
        {"serial": "5500331", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04"},
        {"serial": "7100332", "library": "om", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04"},
        {"serial": "5500333", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04",
         "faults": [{"kind": "hang", "read": 30, "ms": 60000}]}]})");
    std::ofstream(dir / "ZVFWLoader.ini", std::ios::binary) << "[COMMON]\r\nMainForm=10,10,700,500,1,165,1,0\r\n";
    auto loader = Start(testing_support::WithoutSanitizerExitSleep());
    const auto records = dir / "Logs" / DailyRecordFileName(std::chrono::system_clock::now());
    ASSERT_TRUE(WaitUntil(
        [&] {
            return std::filesystem::exists(records) && Count(ReadText(records), "\n") == 2 &&
                   CountEvents(world.trace.string(), "5500333", "hang") == 1;
        },
        60s))
        << loader->Err();
    loader->Kill();
    loader->Wait(5s);
    const auto all = ReadRecords(records);
    ASSERT_EQ(all.size(), 2u);
    for (const auto& record : all) {
        EXPECT_EQ(record["outcome"], "written");
        EXPECT_NE(record["serial"], 5500333);
    }
}

}  // namespace
}  // namespace zv
