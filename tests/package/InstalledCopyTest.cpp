// The programs as the package installs them, unpacked under ZV_PACKAGE_ROOT:
// they run from /usr/bin, which they may not write, so their settings and
// logs go to the user's folders.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/EventLog.h"
#include "core/WriteRecord.h"
#include "platform/MessageEndpoint.h"
#include "platform/Runtime.h"
#include "platform/Text.h"
#include "platform/Version.h"
#include "support/Process.h"
#include "support/SimWorld.h"

namespace zv {
namespace {

using namespace std::chrono_literals;
using testing_support::ReadText;
using testing_support::RunProgram;
using testing_support::TProcess;
using testing_support::TSimWorld;
using testing_support::WaitUntil;

class InstalledCopy : public testing::Test {
protected:
    void SetUp() override {
        const char* root = std::getenv("ZV_PACKAGE_ROOT");
        if (!root || !*root) GTEST_SKIP() << "ZV_PACKAGE_ROOT names no unpacked package; scripts/test sets it";
        bin = std::filesystem::path(root) / "usr" / "bin";
        world = std::make_unique<TSimWorld>(R"({"devices": [
            {"serial": "5500311", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04"},
            {"serial": "7100042", "library": "om", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.05"}]})");
        home = world->dir / "home";
        // The window's endpoint, so that this test can close it.
        testing_support::SetEnvironment("XDG_RUNTIME_DIR", (world->dir / "runtime").string());
        std::filesystem::create_directories(world->dir / "runtime");
    }

    std::vector<std::string> UserEnvironment() const {
        return {"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / "config").string(),
                "XDG_STATE_HOME=" + (home / "state").string(), "QT_QPA_PLATFORM=offscreen"};
    }
    std::filesystem::path StateLogs() const { return home / "state" / "usbfwloader" / "Logs"; }
    std::filesystem::path Settings() const { return home / "config" / "usbfwloader" / "ZVFWLoader.ini"; }
    std::string TodaysLog() const {
        return Cp1251ToUtf8(ReadText(StateLogs() / DailyLogFileName(std::chrono::system_clock::now())));
    }

    std::filesystem::path bin, home;
    std::unique_ptr<TSimWorld> world;
};

TEST_F(InstalledCopy, EveryProgramGivesItsVersion) {
    for (const char* program : {"usbfwloader", "usbfwflash", "fwimage"}) {
        const auto run = RunProgram({(bin / program).string(), "--version"}, {UserEnvironment(), {}, {}});
        EXPECT_EQ(run.code, 0) << program;
        EXPECT_EQ(run.out, std::string(program) + " " + LoaderVersion() + "\n");
    }
}

TEST_F(InstalledCopy, TheFlasherWritesAndLogsIntoTheStateFolder) {
    const auto list = RunProgram({(bin / "usbfwflash").string(), "list", "--json"}, {UserEnvironment(), {}, {}});
    ASSERT_EQ(list.code, 0) << list.err;
    EXPECT_NE(list.out.find("\"serial\": 5500311"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\"serial\": 7100042"), std::string::npos) << list.out;

    const auto write = RunProgram({(bin / "usbfwflash").string(), "write", "--log"}, {UserEnvironment(), {}, {}}, 60s);
    ASSERT_EQ(write.code, 0) << write.err;
    EXPECT_NE(TodaysLog().find("Прошивка завершена успешно"), std::string::npos) << TodaysLog();
    const std::string records = ReadText(StateLogs() / DailyRecordFileName(std::chrono::system_clock::now()));
    EXPECT_NE(records.find("\"serial\":5500311"), std::string::npos) << records;
    EXPECT_NE(records.find("\"serial\":7100042"), std::string::npos) << records;
    EXPECT_FALSE(std::filesystem::exists(bin / "Logs"));
}

TEST_F(InstalledCopy, TheWindowKeepsItsSettingsInTheConfigFolder) {
    auto close = [&](TProcess& window) {
        // The endpoint listens once the window is up; posting fails until then.
        ASSERT_TRUE(WaitUntil(
            [] {
                return PostWindowMessages(RuntimeFolder() / WINDOW_ENDPOINT_NAME, {{WM_CLOSE, 0, 0}});
            },
            20s));
        EXPECT_EQ(window.Wait(20s), 0) << window.Err();
    };
    {
        TProcess window({(bin / "usbfwloader").string()}, {UserEnvironment(), {}, {}});
        close(window);
    }
    ASSERT_TRUE(std::filesystem::exists(Settings())) << "the settings file is saved at the end";
    EXPECT_FALSE(std::filesystem::exists(bin / "ZVFWLoader.ini"));

    // With the log file ticked, its first lines say which loader wrote it and where.
    std::ofstream(Settings(), std::ios::binary) << "[COMMON]\r\nMainForm=10,10,700,500,0,165,1,0\r\n";
    {
        TProcess window({(bin / "usbfwloader").string()}, {UserEnvironment(), {}, {}});
        close(window);
    }
    const std::string log = TodaysLog();
    EXPECT_NE(log.find(std::string("Загрузчик прошивки Zelvia, версия ") + LoaderVersion()), std::string::npos) << log;
    EXPECT_NE(log.find("Файл настроек: " + Settings().string()), std::string::npos) << log;
    EXPECT_NE(log.find("Папка журналов: " + StateLogs().string()), std::string::npos) << log;
}

}  // namespace
}  // namespace zv
