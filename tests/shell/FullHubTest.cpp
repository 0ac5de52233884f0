// A full hub through the real window: 32 devices, half on each library, found
// and written at once with automatic writing and the log file on.

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>

#include <fstream>

#include "core/Settings.h"
#include "shell/DevGroup.h"
#include "support/BuiltInImage.h"
#include "support/SimWorld.h"
#include "support/WindowFixture.h"

namespace zv {
namespace {

using namespace std::chrono_literals;
using testing_support::HoldsBuiltInImage;
using testing_support::MainFormTest;
using testing_support::PaneText;
using testing_support::ServeUntil;
using testing_support::TSimWorld;

TEST_F(MainFormTest, ThirtyTwoDevicesAreWrittenAtOnceThroughTheWindow) {
    constexpr int kDevices = 32;
    std::string devices;
    for (int i = 0; i < kDevices; ++i)
        devices += std::string(i ? "," : "") + R"({"serial": ")" + std::to_string(8100 + i) + R"(", "library": ")" +
                   (i % 2 ? "om" : "ftdi") +
                   R"(", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.04", "processor": "0x26013F37"})";
    // The window is what is measured here, not the device's idle rule: 33
    // threads under a sanitizer on two cores may stall one past 100 ms.
    TSimWorld world(R"({"timing": {"frameIdleMs": 5000}, "devices": [)" + devices + "]}");
    WriteSettings("[COMMON]\r\nMainForm=10,10,700,500,1,165,1,0\r\n");
    auto form = Show();
    TLoaderCore& core = form->Core();
    int succeeded = 0, ended = 0;
    core.SetWriteObserver([&](const TWriteThread& thread, const TWriteOutcome&) {
        ++ended;
        succeeded += thread.ErrorCode == WRITE_OK;
    });
    ASSERT_TRUE(ServeUntil([&] { return core.WritesRunning() > 0; }, 60s));
    EXPECT_EQ(core.WritesRunning(), size_t{kDevices}) << "every device found in one search is written at once";
    ASSERT_TRUE(ServeUntil([&] { return ended == kDevices; }, 600s)) << ended << " writes ended";
    EXPECT_EQ(succeeded, kDevices);

    for (const TDevEntry* entry : core.Devices().Entries()) {
        const auto& group = static_cast<const TFWLoaderDevGroup&>(*entry->panel);
        EXPECT_EQ(group.progressBar->value(), 100) << entry->serialNumber;
        EXPECT_EQ(group.lblMessage->text(), "Обновление прошивки завершено успешно") << entry->serialNumber;
        EXPECT_TRUE(HoldsBuiltInImage(world.Flash(std::to_string(entry->serialNumber)))) << entry->serialNumber;
    }
    EXPECT_EQ(core.Devices().Count(), size_t{kDevices});
    EXPECT_TRUE(PaneText(*form).endsWith("Прошивка завершена успешно"));
}

}  // namespace
}  // namespace zv
