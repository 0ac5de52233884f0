// What a production line relies on, through the core over the real binding:
// one record per attempt, the version read back after the start, devices
// that share a serial number, and devices that already hold the image.

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>

#include "core/EventLog.h"
#include "flashing/FlashPlan.h"
#include "platform/Resources.h"
#include "platform/Sha256.h"
#include "support/Frames.h"
#include "support/LoaderHarness.h"
#include "support/Process.h"
#include "support/Records.h"
#include "support/SimWorld.h"
#include "support/TempDir.h"

namespace zv {
namespace {

using testing_support::CountEvents;
using testing_support::ReadRecords;
using testing_support::SentFrames;
using testing_support::TLoaderHarness;
using testing_support::TSimWorld;
using namespace std::chrono_literals;

constexpr const char* kBuiltInVersion = "ZVMB-3.2";

std::string Device(const std::string& serial, const std::string& library, const std::string& more = "") {
    return R"({"serial": ")" + serial + R"(", "library": ")" + library +
           R"(", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.04", "processor": "0x26013F37")" + more + "}";
}

const nlohmann::json& BySerial(const std::vector<nlohmann::json>& records, int serial) {
    for (const auto& r : records)
        if (r["serial"] == serial) return r;
    static const nlohmann::json none;
    ADD_FAILURE() << "no record of " << serial;
    return none;
}

void WriteAll(TLoaderHarness& loader) {
    for (auto* panel : loader.view.livePanels) panel->Click();
    loader.WaitForWrites();
}

class Production : public TempDirTest {};

TEST_F(Production, EveryAttemptLeavesOneWholeRecordWithEveryField) {
    TSimWorld world("{\"devices\": [" + Device("1101", "ftdi", R"(, "protectedSectors": [11])") + "," +
                    Device("1102", "om", R"(, "locked": true)") + "]}");
    TLoaderHarness loader(dir);
    const auto records = dir / "records.jsonl";
    loader.core.SetRecordsFile(records);
    loader.Search();
    WriteAll(loader);
    EXPECT_EQ(loader.view.counters, std::make_pair(1, 1));
    // The same devices once more: each try is a record of its own.
    WriteAll(loader);
    EXPECT_EQ(loader.view.counters, std::make_pair(2, 2));

    const auto all = ReadRecords(records);
    ASSERT_EQ(all.size(), 4u);
    const auto image = FindResource("FRMV", "RC_DATA");
    const std::string sha = Sha256Hex(*image);
    EXPECT_EQ(loader.view.firmwareSha256, sha);
    const nlohmann::json& written = BySerial(all, 1101);
    const nlohmann::json expected = {{"serial", 1101},
                                     {"library", "ftdi"},
                                     {"processor", "0x26013F37"},
                                     {"firmwareBefore", "ZVMB-3.1"},
                                     {"bootloaderBefore", "ZVMB-1.4"},
                                     {"image", kBuiltInVersion},
                                     {"imageSha256", sha},
                                     {"outcome", "written"},
                                     {"code", 0},
                                     {"lastReplyCode", 128},
                                     {"result", "Обновление прошивки завершено успешно"},
                                     {"level", "success"},
                                     {"interrupted", false},
                                     {"sectorsProtected", 1},
                                     {"confirmation", "not asked"},
                                     {"versionAfter", ""},
                                     {"attempt", 1},
                                     {"host", written["host"]},
                                     {"loaderVersion", written["loaderVersion"]}};
    for (const auto& [key, value] : expected.items()) EXPECT_EQ(written[key], value) << key;
    EXPECT_FALSE(written["host"].get<std::string>().empty());
    EXPECT_GT(written["sectorsWritten"].get<int>(), 0);
    EXPECT_GE(written["sectorsSkipped"].get<int>(), 1);
    EXPECT_FALSE(written["imageDate"].get<std::string>().empty());
    const std::regex stamp("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d");
    EXPECT_TRUE(std::regex_match(written["started"].get<std::string>(), stamp)) << written["started"];
    EXPECT_LE(written["started"].get<std::string>(), written["finished"].get<std::string>());

    const nlohmann::json& locked = BySerial(all, 1102);
    EXPECT_EQ(locked["outcome"], "failed");
    EXPECT_EQ(locked["lastReplyCode"], 138);
    EXPECT_EQ(locked["result"], "Прибор заблокирован");
    EXPECT_EQ(all[2]["attempt"], 2);
    EXPECT_EQ(all[3]["attempt"], 2);
}

TEST_F(Production, TheWindowsRecordsGoBesideTheDailyLogOnlyWhileItIsKept) {
    TSimWorld world("{\"devices\": [" + Device("1111", "ftdi") + "]}");
    TLoaderHarness loader(dir);
    loader.core.SetLogFolder(dir / "Logs");
    loader.Search();
    WriteAll(loader);
    EXPECT_FALSE(std::filesystem::exists(dir / "Logs"));
    loader.core.Options().writeLogToFile = true;
    WriteAll(loader);
    const auto file = dir / "Logs" / DailyRecordFileName(std::chrono::system_clock::now());
    ASSERT_EQ(ReadRecords(file).size(), 1u);
    EXPECT_EQ(ReadRecords(file)[0]["attempt"], 2);
}

TEST_F(Production, TheStartedApplicationMustReportTheImagesVersion) {
    TSimWorld world(
        "{\"devices\": [" + Device("1121", "ftdi", R"(, "firmwareAfterWrite": "ZVMB-3.2")") + "," +
        Device("1122", "om") + "," +
        Device("1123", "ftdi", R"(, "faults": [{"kind": "drop", "command": "text", "reply": 1, "count": 99}])") + "]}");
    TLoaderHarness loader(dir);
    loader.core.SetRecordsFile(dir / "records.jsonl");
    loader.core.Options().startApp = true;
    loader.core.Options().confirmTimeout = 1500ms;
    loader.Search();
    WriteAll(loader);

    const auto all = ReadRecords(dir / "records.jsonl");
    ASSERT_EQ(all.size(), 3u);
    const auto& confirmed = BySerial(all, 1121);
    EXPECT_EQ(confirmed["outcome"], "written");
    EXPECT_EQ(confirmed["confirmation"], "confirmed");
    EXPECT_EQ(confirmed["versionAfter"], kBuiltInVersion);
    // Asked on a fresh open, after the start and the close.
    EXPECT_EQ(CountEvents(world.trace.string(), "1121", "open"), 3u) << "search, write, confirmation";
    EXPECT_EQ(SentFrames(world.trace.string(), "1121").back().header.command, CMD_START_APP);

    const auto& mismatch = BySerial(all, 1122);
    EXPECT_EQ(mismatch["outcome"], "failed");
    EXPECT_EQ(mismatch["code"], WRITE_NOT_CONFIRMED);
    EXPECT_EQ(mismatch["confirmation"], "mismatch");
    EXPECT_EQ(mismatch["versionAfter"], "ZVMB-3.1");
    EXPECT_EQ(mismatch["result"], "Прошивка не подтверждена");
    const auto& silent = BySerial(all, 1123);
    EXPECT_EQ(silent["confirmation"], "no answer");
    EXPECT_EQ(silent["code"], WRITE_NOT_CONFIRMED);
    const auto lines = loader.Lines();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) {
                               return l.starts_with("Прибор    1122\t") &&
                                      l.ends_with("Прошивка не подтверждена: прибор сообщает версию ZVMB-3.1");
                           }),
              lines.end());
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.ends_with("не подтверждена: прибор не ответил"); }),
              lines.end());
    EXPECT_EQ(loader.view.counters, std::make_pair(1, 2));
}

TEST_F(Production, DevicesSharingASerialNumberAreNamedAndNotWrittenAutomatically) {
    // Listed twice: two attached devices that report one number.
    TSimWorld world("{\"devices\": [" + Device("1131", "ftdi", R"(, "listings": 2)") + "," + Device("1132", "om") +
                    "]}");
    TLoaderHarness loader(dir);
    loader.core.Options().autoWrite = true;
    loader.Search();
    loader.WaitForWrites();
    const std::string warning =
        "Прибор    1131\tОдинаковый серийный номер у приборов FTDI (панель 1) и FTDI (панель 2); автоматически они "
        "не прошиваются";
    auto lines = loader.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), warning), 1);
    EXPECT_EQ(loader.view.counters, std::make_pair(1, 0)) << "only the other device was written";
    for (const auto& frame : SentFrames(world.trace.string(), "1131"))
        EXPECT_NE(frame.header.command, CMD_ERASE_SECTOR) << "identified, never written";

    loader.Search();
    lines = loader.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), warning), 2) << "one warning per search";
    // Pressing a button is the user's own choice.
    loader.view.livePanels[0]->Click();
    loader.WaitForWrites();
    EXPECT_EQ(loader.view.counters, std::make_pair(2, 0));
}

TEST_F(Production, ADeviceThatHoldsTheImageAlreadyIsSkippedWhenAsked) {
    TSimWorld world("{\"devices\": [" + Device("1141", "ftdi", R"(, "firmware": "ZVMB-3.2")") + "," +
                    Device("1142", "om") + "]}");
    TLoaderHarness loader(dir);
    loader.core.SetRecordsFile(dir / "records.jsonl");
    loader.core.Options().skipCurrent = true;
    TBlockList blocks;
    TFirmwareVersion version;
    ASSERT_TRUE(loader.core.LoadFirmware(blocks, version));
    ClearBlocks(blocks);
    loader.Search();
    WriteAll(loader);
    const auto all = ReadRecords(dir / "records.jsonl");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(BySerial(all, 1141)["outcome"], "skipped");
    EXPECT_EQ(BySerial(all, 1141)["image"], kBuiltInVersion);
    EXPECT_EQ(BySerial(all, 1142)["outcome"], "written");
    EXPECT_EQ(CountEvents(world.trace.string(), "1141", "open"), 1u) << "only the search opened it";
    EXPECT_EQ(loader.view.panels[0]->status, "Версия прошивки уже установлена");
    EXPECT_EQ(loader.view.counters, std::make_pair(1, 0)) << "a skip is neither written nor failed";
}

}  // namespace
}  // namespace zv
