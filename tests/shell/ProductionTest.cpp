// What the window keeps for production: the counter line under the log, the
// image's digest, the records file, and devices that share a serial number.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "platform/Resources.h"
#include "platform/Sha256.h"
#include "shell/DevGroup.h"
#include "support/Records.h"
#include "support/SimWorld.h"
#include "support/WindowFixture.h"

namespace zv {
namespace {

using namespace std::chrono_literals;
using testing_support::MainFormTest;
using testing_support::PaneText;
using testing_support::Serve;
using testing_support::ServeUntil;
using testing_support::TSimWorld;

std::string BuiltInSha256() { return Sha256Hex(*FindResource("FRMV", "RC_DATA")); }

// Every record of the folder's records files.
std::vector<nlohmann::json> FolderRecords(const std::filesystem::path& folder) {
    std::vector<nlohmann::json> records;
    for (const auto& file : std::filesystem::directory_iterator(folder))
        if (file.path().extension() == ".jsonl")
            for (auto& record : testing_support::ReadRecords(file.path())) records.push_back(std::move(record));
    return records;
}

void ResetCounters(TMainForm& form) {
    const std::unique_ptr<QMenu> menu(form.LogPaneMenu(QPoint()));
    QAction* reset = nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == "Сбросить счётчики") reset = action;
    ASSERT_TRUE(reset);
    EXPECT_GT(menu->actions().size(), 2) << "the pane's own items are kept";
    reset->trigger();
}

TEST_F(MainFormTest, CountersAndRecordsFollowEveryWriteAndTheResetStartsFromZero) {
    TSimWorld world(R"({"devices": [
        {"serial": "5500311", "library": "ftdi", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04"},
        {"serial": "7100042", "library": "om", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.05"},
        {"serial": "5500250", "library": "om", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.05", "locked": true}]})");
    WriteSettings("[COMMON]\r\nMainForm=10,10,700,500,1,165,1,0\r\n");
    auto form = Show();
    EXPECT_EQ(form->lblCounters->text(), "Прошито: 0   Ошибок: 0");
    TLoaderCore& core = form->Core();
    const auto ended = [&] { return core.Counters().written + core.Counters().failed; };
    ASSERT_TRUE(ServeUntil([&] { return ended() == 3; }, 120s)) << ended() << " writes ended";
    EXPECT_EQ(form->lblCounters->text(), "Прошито: 2   Ошибок: 1");

    const std::map<int, std::pair<std::string, std::string>> expected = {
        {5500311, {"ftdi", "written"}}, {7100042, {"om", "written"}}, {5500250, {"om", "failed"}}};
    const char* fields[] = {"serial",        "library",      "processor",      "firmwareBefore", "bootloaderBefore",
                            "image",         "imageDate",    "imageSha256",    "outcome",        "code",
                            "lastReplyCode", "result",       "level",          "interrupted",    "started",
                            "finished",      "elapsedMs",    "sectorsWritten", "sectorsSkipped", "sectorsProtected",
                            "confirmation",  "versionAfter", "attempt",        "host",           "loaderVersion"};
    const std::vector<nlohmann::json> records = FolderRecords(dir / "Logs");
    ASSERT_EQ(records.size(), 3u);
    std::map<int, std::string> seen;
    for (const nlohmann::json& record : records) {
        const std::string line = record.dump();
        for (const char* field : fields) EXPECT_TRUE(record.contains(field)) << field << " missing: " << line;
        const int serial = record.value("serial", 0);
        ASSERT_TRUE(expected.count(serial)) << line;
        seen[serial] = record.value("outcome", "");
        EXPECT_EQ(record.value("library", ""), expected.at(serial).first) << line;
        EXPECT_EQ(record.value("outcome", ""), expected.at(serial).second) << line;
        EXPECT_EQ(record.value("code", -1) == 0, expected.at(serial).second == "written") << line;
        EXPECT_EQ(record.value("processor", ""), "0x26013F37");
        EXPECT_EQ(record.value("imageSha256", ""), BuiltInSha256());
        EXPECT_EQ(record.value("confirmation", ""), "not asked");
        EXPECT_EQ(record.value("attempt", 0), 1);
        EXPECT_LE(record.value("started", ""), record.value("finished", "")) << line;
    }
    EXPECT_EQ(seen.size(), 3u) << "one record per device";

    ResetCounters(*form);
    EXPECT_EQ(form->lblCounters->text(), "Прошито: 0   Ошибок: 0");
    // The core's own counts went too: the next write is the first again.
    const TDevEntry* locked = nullptr;
    for (const TDevEntry* entry : core.Devices().Entries())
        if (entry->serialNumber == 5500250) locked = entry;
    ASSERT_TRUE(locked);
    static_cast<TFWLoaderDevGroup&>(*locked->panel).btnWrite->click();
    ASSERT_TRUE(ServeUntil([&] { return ended() == 1 && core.WritesRunning() == 0; }, 60s));
    EXPECT_EQ(form->lblCounters->text(), "Прошито: 0   Ошибок: 1");
    const std::vector<nlohmann::json> after = FolderRecords(dir / "Logs");
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after.back().value("attempt", 0), 2) << "the same device's second write";
}

TEST_F(MainFormTest, TheImageDigestIsShownShortWithTheWholeInItsTooltipClearOfItsNeighbours) {
    TSimWorld world(R"({"devices": []})");
    auto form = ShowSettled();
    const QString sha = QString::fromStdString(BuiltInSha256());
    EXPECT_EQ(form->lblFileSha->text(), "SHA-256 " + sha.left(SHA_DIGITS_SHOWN));
    EXPECT_EQ(form->lblFileSha->toolTip(), sha);

    const auto inGroup = [&](const QWidget* widget) {
        return QRect(widget->mapTo(form->GroupBox1, QPoint()), widget->size());
    };
    const QRect shaBox = inGroup(form->lblFileSha);
    EXPECT_TRUE(form->lblFileSha->isVisible());
    EXPECT_GE(shaBox.width(), form->lblFileSha->sizeHint().width()) << "the digest is cut";
    EXPECT_TRUE(form->GroupBox1->rect().contains(shaBox));
    for (const QLabel* neighbour : {form->lblFileVer, form->lblFirmwDate, form->Label2})
        EXPECT_FALSE(shaBox.intersects(inGroup(neighbour)))
            << neighbour->text().toStdString() << " at " << inGroup(neighbour).x() << ".." << inGroup(neighbour).right()
            << ", the digest at " << shaBox.x() << ".." << shaBox.right();
}

TEST_F(MainFormTest, DevicesSharingASerialAreWarnedAboutOnEverySearchAndNotWritten) {
    TSimWorld world(
        R"({"devices": [{"serial": "5500250", "library": "ftdi", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04",
            "listings": 2}]})");
    WriteSettings("[COMMON]\r\nMainForm=10,10,700,500,1,165,0,0\r\n");
    auto form = ShowSettled();
    TLoaderCore& core = form->Core();
    const QString warning =
        "Прибор 5500250\tОдинаковый серийный номер у приборов FTDI (панель 1) и FTDI (панель 2); "
        "автоматически они не прошиваются";
    EXPECT_EQ(core.Devices().Count(), 2u);
    EXPECT_EQ(PaneText(*form).count(warning), 1) << PaneText(*form).toStdString();

    core.StartDeviceSearch();
    ASSERT_TRUE(ServeUntil([&] { return !core.Searching(); }, 20s));
    Serve(100ms);
    EXPECT_EQ(PaneText(*form).count(warning), 2) << "one warning per search";
    EXPECT_EQ(core.WritesRunning(), 0u);
    EXPECT_FALSE(PaneText(*form).contains("Начинаем прошивку прибора"));
    EXPECT_EQ(form->lblCounters->text(), "Прошито: 0   Ошибок: 0");
}

}  // namespace
}  // namespace zv
