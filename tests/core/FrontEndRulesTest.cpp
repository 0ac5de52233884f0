// What both front ends take from the core alike: the driver report at start,
// when a device change searches, where the log files go, and a shutdown with
// nothing to wait for.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "core/EventLog.h"
#include "core/LoaderCore.h"
#include "platform/MessageEndpoint.h"
#include "platform/Text.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"
#include "threading/EventQueue.h"

namespace zv {
namespace {

using namespace std::chrono_literals;

TEST(DriverReport, MessagesInOrderAndQuitOnlyWithoutBoth) {
    const std::string ftdi = "Драйвер устройств FTDI не установлен.";
    const std::string om = "Драйвер устройств OM не установлен.";
    const std::string neither = "Перед первым запуском программы подключите устройство к USB и установите драйвер.";
    EXPECT_TRUE(ReportDrivers({true, true}).messages.empty());
    EXPECT_FALSE(ReportDrivers({true, true}).quit);
    EXPECT_EQ(ReportDrivers({false, true}).messages, std::vector<std::string>{ftdi});
    EXPECT_FALSE(ReportDrivers({false, true}).quit);
    EXPECT_EQ(ReportDrivers({true, false}).messages, std::vector<std::string>{om});
    EXPECT_EQ(ReportDrivers({false, false}).messages, (std::vector<std::string>{ftdi, om, neither}));
    EXPECT_TRUE(ReportDrivers({false, false}).quit);
}

class LoaderCoreRules : public TempDirTest {
protected:
    TEventQueue queue;
    testing_support::TRecordingView view;
    std::unique_ptr<TLoaderCore> core;
    void SetUp() override {
        TempDirTest::SetUp();
        core = std::make_unique<TLoaderCore>(queue, view, dir);
    }
    void TearDown() override {
        core.reset();
        TempDirTest::TearDown();
    }
};

TEST_F(LoaderCoreRules, OnlyADevNodesChangeSearchesAndOnlyBeforeShutdown) {
    const auto before = TLoaderCore::TClock::now();
    const auto due = core->DeviceChanged(DBT_DEVNODES_CHANGED);
    const auto after = TLoaderCore::TClock::now();
    ASSERT_TRUE(due);
    EXPECT_GE(*due, before + DEVICE_CHANGE_DELAY);
    EXPECT_LE(*due, after + DEVICE_CHANGE_DELAY);
    EXPECT_FALSE(core->DeviceChanged(0x8000));  // an arrival notice
    EXPECT_FALSE(core->DeviceChanged(0));

    int served = 0;
    core->Shutdown([&](TLoaderCore::TClock::time_point) { ++served; });
    EXPECT_EQ(served, 0) << "nothing ran, so nothing was waited for";
    EXPECT_TRUE(core->ShuttingDown());
    EXPECT_FALSE(core->DeviceChanged(DBT_DEVNODES_CHANGED));
    core->StartDeviceSearch();
    EXPECT_FALSE(core->Searching()) << "nothing starts once shutdown has begun";
    EXPECT_TRUE(core->LeftWrites().empty());
    EXPECT_FALSE(queue.Closed()) << "a shutdown that left nobody keeps the hand-over open";
}

TEST_F(LoaderCoreRules, LogFilesGoWhereTheFrontEndSaysWhileAskedFor) {
    const auto today = DailyLogFileName(std::chrono::system_clock::now());
    core->LogMessage(llNormal, "не в файл");
    EXPECT_FALSE(std::filesystem::exists(dir / "Logs"));

    core->Options().writeLogToFile = true;
    core->LogMessage(llNormal, "рядом с программой");
    EXPECT_TRUE(std::filesystem::exists(dir / "Logs" / today));

    core->SetLogFolder(dir / "elsewhere");
    core->LogDeviceMessage(llError, 5, "в другую папку");
    std::ifstream in(dir / "elsewhere" / today, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(file.find(Utf8ToCp1251("Прибор       5\tв другую папку\r\n")), std::string::npos);
    EXPECT_EQ(file.find(Utf8ToCp1251("рядом")), std::string::npos);
    EXPECT_EQ(view.lines.size(), 3u) << "the pane gets every line";
}

TEST(Replug, OnlyAnApplicationThatAcceptedTheStartWaitsForIt) {
    TDevEntry entry("1", -1, TRANSPORT_FTDI);
    EXPECT_FALSE(AsksForReplug(entry));
    entry.replugRequired = true;
    EXPECT_TRUE(AsksForReplug(entry));
    entry.inBootloader = true;
    EXPECT_FALSE(AsksForReplug(entry));
}

}  // namespace
}  // namespace zv
