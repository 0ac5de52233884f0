// usbfwflash end to end: the built program run against the simulator, its
// output, exit codes, report and log files, and the devices' flash.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>

#include "cli/Flasher.h"
#include "core/LoaderCore.h"
#include "firmware/FirmwareImage.h"
#include "flashing/FlashPlan.h"
#include "flashing/Frames.h"
#include "platform/MessageEndpoint.h"
#include "platform/Resources.h"
#include "platform/Sha256.h"
#include "platform/Text.h"
#include "platform/Version.h"
#include "support/Frames.h"
#include "support/Process.h"
#include "support/Records.h"
#include "support/SimWorld.h"

namespace zv {
namespace {

using namespace std::chrono_literals;
using testing_support::BuildDir;
using testing_support::ReadRecords;
using testing_support::ReadText;
using testing_support::RunProgram;
using testing_support::SentFrames;
using testing_support::TProcess;
using testing_support::TSimWorld;
using testing_support::WaitUntil;

// The program with the simulator's libraries first on its search path and
// its output in files of the test's folder.
class TFlasherProcess : public TProcess {
public:
    TFlasherProcess(const std::vector<std::string>& arguments, const std::filesystem::path& dir)
        : TProcess(Arguments(arguments), Options(dir)) {}
    TFlasherProcess(const std::vector<std::string>& arguments, const std::filesystem::path& dir,
                    const std::vector<std::string>& environment)
        : TProcess(Arguments(arguments), Options(dir, environment)) {}

    // The exit code; -1 (and the process killed) when it does not end in time.
    int Wait(std::chrono::milliseconds timeout = 60s) {
        const int code = TProcess::Wait(timeout);
        if (code == -1) ADD_FAILURE() << "usbfwflash did not end\n" << Out() << Err();
        return code;
    }
    // Ctrl-C; where that cannot reach the child (Wine), the close message
    // to its endpoint, which stops a watcher the same way.
    void Stop(const std::filesystem::path& runtimeFolder) const {
        Interrupt();
        if (!InterruptReachesChildren())
            PostWindowMessages(runtimeFolder / "usbfwloader" / WINDOW_ENDPOINT_NAME, {{WM_CLOSE, 0, 0}});
    }
    bool WaitForOutput(const std::string& text) const {
        return WaitUntil([&] { return Out().find(text) != std::string::npos; }, 60s);
    }

private:
    static std::vector<std::string> Arguments(const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {testing_support::ProgramFile(BuildDir() + "/bin/usbfwflash")};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return all;
    }
    static TOptions Options(const std::filesystem::path& dir, std::vector<std::string> environment = {}) {
        static int runs = 0;
        const std::string tag = std::to_string(runs++);
        environment.push_back(testing_support::LibrarySearchPath(BuildDir() + "/sim"));
        return {environment, dir / ("out-" + tag + ".txt"), dir / ("err-" + tag + ".txt")};
    }
};

class Flasher : public testing::Test {
protected:
    void World(const std::string& devicesJson) {
        world.emplace(R"({"devices": [)" + devicesJson + "]}");
        // The watcher's endpoint, and zvsim's way to it, stay in the test's folder.
        std::filesystem::create_directories(world->dir / "runtime");
        testing_support::SetEnvironment("XDG_RUNTIME_DIR", (world->dir / "runtime").string());
    }
    void TearDown() override { testing_support::SetEnvironment("XDG_RUNTIME_DIR", ""); }

    std::unique_ptr<TFlasherProcess> Start(const std::vector<std::string>& arguments) {
        return std::make_unique<TFlasherProcess>(arguments, world->dir);
    }
    int Run(const std::vector<std::string>& arguments, std::string* out = nullptr, std::string* err = nullptr) {
        TFlasherProcess process(arguments, world->dir);
        const int code = process.Wait();
        if (out) *out = process.Out();
        if (err) *err = process.Err();
        return code;
    }
    // A small image, so a write takes a fraction of a second: three sectors
    // of data around an empty one, which is skipped.
    std::string SmallImage(const std::string& version, std::vector<uint8_t>& payload) const {
        payload.assign(0x4000, 0xFF);
        for (size_t i = 0; i < payload.size(); ++i)
            if (i < 0x2000 || i >= 0x3000) payload[i] = static_cast<uint8_t>(i * 7 % 253);
        const auto image = PackFirmwareImage(version, std::nullopt, payload);
        const auto path = world->dir / (version + ".eraw");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        return path.string();
    }
    nlohmann::json Report() const { return nlohmann::json::parse(ReadText(world->dir / "report.json")); }
    std::string ReportPath() const { return (world->dir / "report.json").string(); }

    std::optional<TSimWorld> world;
};

std::string Device(const std::string& serial, const std::string& library, const std::string& more = "") {
    return R"({"serial": ")" + serial + R"(", "library": ")" + library +
           R"(", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.04", "processor": "0x26013F37")" + more + "}";
}

std::vector<uint8_t> ReadImageBytes(const std::string& path) {
    const std::string text = ReadText(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Payload(std::span<const uint8_t> image) {
    const auto header = ReadImageHeader(image);
    return std::vector<uint8_t>(image.begin() + header->payloadOffset, image.end());
}

// The image as this processor family lays it out: from sector 10 on, the
// rest of the flash still erased.
void ExpectWritten(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& payload, const std::string& serial) {
    constexpr size_t start = 0xA000;
    ASSERT_GE(flash.size(), start + payload.size()) << serial;
    auto erased = [](uint8_t b) { return b == 0xFF; };
    EXPECT_TRUE(std::all_of(flash.begin(), flash.begin() + start, erased)) << serial;
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), flash.begin() + start)) << serial;
    EXPECT_TRUE(std::all_of(flash.begin() + start + static_cast<long>(payload.size()), flash.end(), erased)) << serial;
}

const nlohmann::json* Attempt(const nlohmann::json& report, int serial) {
    for (const auto& a : report["attempts"])
        if (a["serial"] == serial) return &a;
    return nullptr;
}

TEST_F(Flasher, ListShowsTheDevicesOfBothLibraries) {
    World(R"({"serial": "5500250", "library": "ftdi", "mode": "application", "firmware": "ZVMB-3.1 TR"},)" +
          Device("5500311", "ftdi") + "," +
          R"({"serial": "7100042", "library": "om", "firmware": "ZVMB-2.9", "bootloader": "ZVMB-1.05",
              "processor": "0x27193F47"})");
    std::string out;
    ASSERT_EQ(Run({"list"}, &out), 0) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("\n5500311 +ftdi +bootloader +ZVMB-3\\.1 +\\S+ +0x26013F37\n")))
        << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("\n7100042 +om +bootloader +ZVMB-2\\.9 +\\S+ +0x27193F47\n"))) << out;
    EXPECT_TRUE(std::regex_search(
        out, std::regex("\n5500250 +ftdi +application +\\S+ +- +- +Отключите прибор и подключите заново\\.\n")))
        << out;
    EXPECT_NE(out.find("Прибор 5500250\tКоманда запуска загрузчика обработана. Переподключите устройство.\n"),
              std::string::npos);
    // As in the window, the application was told to start its bootloader.
    const auto tool = RunProgram({testing_support::ProgramFile(BuildDir() + "/bin/zvsim"), "list"});
    EXPECT_EQ(tool.code, 0);
    const std::string& state = tool.out;
    EXPECT_NE(state.find("5500250 ftdi plugged application bootloader-after-replug\n"), std::string::npos) << state;
}

TEST_F(Flasher, WriteWritesThreeDevicesAtOnce) {
    World(Device("701", "ftdi") + "," + Device("702", "om") + "," +
          Device("703", "ftdi", R"(, "processor": "0x25113737")"));
    const auto logs = world->dir / "logs";
    std::vector<uint8_t> payload;
    const std::string image = SmallImage("ZVMB-3.3", payload);
    std::string out;
    ASSERT_EQ(Run({"write", "--image", image, "--report", ReportPath(), "--log-dir", logs.string()}, &out), 0) << out;

    for (const char* serial : {"701", "702", "703"}) ExpectWritten(world->Flash(serial), payload, serial);

    // At once: every device got its first part before any got its last.
    uint64_t lastFirst = 0, firstLast = UINT64_MAX;
    for (const char* serial : {"701", "702", "703"}) {
        std::vector<uint64_t> parts;
        for (const auto& f : SentFrames(world->trace.string(), serial))
            if (f.header.command == CMD_WRITE_SECTOR || f.header.command == CMD_WRITE_SECTOR_V2)
                parts.push_back(f.micros);
        ASSERT_FALSE(parts.empty()) << serial;
        lastFirst = std::max(lastFirst, parts.front());
        firstLast = std::min(firstLast, parts.back());
    }
    EXPECT_LT(lastFirst, firstLast);

    const auto report = Report();
    EXPECT_EQ(report["attempts"].size(), 3u);
    EXPECT_TRUE(report["notWritten"].empty());
    for (int serial : {701, 702, 703}) {
        const nlohmann::json* a = Attempt(report, serial);
        ASSERT_TRUE(a) << serial;
        EXPECT_EQ((*a)["code"], 0);
        EXPECT_EQ((*a)["result"], "Обновление прошивки завершено успешно");
        EXPECT_EQ((*a)["library"], serial == 702 ? "om" : "ftdi");
        EXPECT_EQ((*a)["firmwareBefore"], "ZVMB-3.1");
        EXPECT_EQ((*a)["image"], "ZVMB-3.3");
        EXPECT_EQ((*a)["sectorsWritten"], 3);
        EXPECT_EQ((*a)["sectorsSkipped"], 1);
        EXPECT_GT((*a)["elapsedMs"].get<int>(), 0);
    }

    // The day's log file and, beside it, the day's records, one line per attempt.
    std::vector<std::filesystem::path> files;
    for (const auto& f : std::filesystem::directory_iterator(logs)) files.push_back(f.path());
    // ".jsonl" before ".log".
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 2u);
    std::swap(files[0], files[1]);
    EXPECT_TRUE(std::regex_match(files[0].filename().string(), std::regex("[0-9]{8}\\.log")));
    EXPECT_EQ(files[1].filename().string(), files[0].stem().string() + ".jsonl");
    const auto records = ReadRecords(files[1]);
    ASSERT_EQ(records.size(), 3u);
    for (const auto& record : records) EXPECT_EQ(record, *Attempt(report, record["serial"].get<int>()));
    const std::string file = ReadText(files[0]);
    std::istringstream printed(out);
    size_t logLines = 0;
    for (std::string line; std::getline(printed, line);) {
        if (line.rfind("Прибор", 0) != 0) continue;
        ++logLines;
        EXPECT_NE(file.find("]\t" + Utf8ToCp1251(line) + "\r\n"), std::string::npos) << line;
    }
    EXPECT_EQ(static_cast<size_t>(std::count(file.begin(), file.end(), '\n')), logLines);
}

TEST_F(Flasher, ALockedDeviceFailsTheRunAndOnlyNamedDevicesAreWritten) {
    World(Device("711", "ftdi", R"(, "locked": true)") + "," + Device("712", "om") + "," + Device("713", "ftdi"));
    std::vector<uint8_t> payload;
    const std::string image = SmallImage("ZVMB-3.3", payload);
    std::string out;
    EXPECT_EQ(
        Run({"write", "--image", image, "--serial", "711", "--serial=712", "--serial", "799", "--report", ReportPath()},
            &out),
        1)
        << out;
    const auto report = Report();
    ASSERT_EQ(report["attempts"].size(), 2u) << report.dump(2);
    const nlohmann::json* locked = Attempt(report, 711);
    ASSERT_TRUE(locked);
    EXPECT_NE((*locked)["code"], 0);
    EXPECT_NE((*locked)["result"].get<std::string>().find("Прибор заблокирован"), std::string::npos);
    EXPECT_EQ((*locked)["level"], "error");
    const nlohmann::json* written = Attempt(report, 712);
    ASSERT_TRUE(written);
    EXPECT_EQ((*written)["code"], 0);
    EXPECT_EQ((*written)["image"], "ZVMB-3.3");
    ASSERT_EQ(report["notWritten"].size(), 1u);
    EXPECT_EQ(report["notWritten"][0]["serial"], 799);
    EXPECT_EQ(report["written"], 1);
    EXPECT_EQ(report["failed"], 1);

    ExpectWritten(world->Flash("712"), payload, "712");
    // Found by the search but not named: never erased or written.
    for (const auto& f : SentFrames(world->trace.string(), "713"))
        EXPECT_TRUE(f.header.command != CMD_ERASE_SECTOR_V2 && f.header.command != CMD_WRITE_SECTOR_V2);
    EXPECT_NE(out.find("  711: Прибор заблокирован"), std::string::npos) << out;
}

TEST_F(Flasher, ARefusedImageStopsBeforeAnyDeviceIsOpened) {
    World(Device("721", "ftdi"));
    const auto bad = world->dir / "bad.eraw";
    std::ofstream(bad) << "not an image at all, but long enough to have a header of sorts";
    std::string out, err;
    EXPECT_EQ(Run({"write", "--image", bad.string()}, &out, &err), 1) << out << err;
    EXPECT_NE(err.find("Прибор -------\tОшибка загрузки прошивки"), std::string::npos) << err;
    EXPECT_EQ(Run({"watch", "--image", (world->dir / "missing.eraw").string()}, &out, &err), 1) << out << err;
    EXPECT_NE(err.find("не найден"), std::string::npos) << err;
    EXPECT_EQ(testing_support::CountEvents(world->trace.string(), "721", "open"), 0u);
}

TEST_F(Flasher, BadArgumentsPrintTheUsage) {
    World("");
    std::string out, err;
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{}, {"erase"}, {"write", "--serial", "x"}, {"list", "--image", "a"}}) {
        EXPECT_EQ(Run(arguments, &out, &err), 2);
        EXPECT_NE(err.find("Usage:"), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }
    EXPECT_EQ(Run({"--help"}, &out, &err), 0);
    EXPECT_NE(out.find("Exit status:"), std::string::npos);
    EXPECT_EQ(Run({"--version"}, &out, &err), 0);
    EXPECT_EQ(out.substr(0, out.find_first_of("\r\n")), std::string("usbfwflash ") + LoaderVersion());
}

// With the built-in image, as on a production line.
TEST_F(Flasher, WatchWritesWhatIsThereAndWhatIsPluggedIn) {
    World(Device("801", "om") + "," + Device("802", "ftdi", R"(, "plugged": false)"));
    auto watch = Start({"watch", "--report", ReportPath()});
    const auto endpoint = world->dir / "runtime" / "usbfwloader" / "TMainForm";
    // The first search has ended, so the endpoint has long been listening.
    ASSERT_TRUE(watch->WaitForOutput("Прибор     801\tНачинаем прошивку прибора")) << watch->Out() << watch->Err();
    ASSERT_TRUE(PostWindowMessages(endpoint, {})) << "nobody listens";
    world->Plug("802");
    ASSERT_TRUE(watch->WaitForOutput("devices written: 2, failed: 0\n")) << watch->Out() << watch->Err();
    watch->Stop(world->dir / "runtime");
    EXPECT_EQ(watch->Wait(), 0) << watch->Out() << watch->Err();
    EXPECT_FALSE(PostWindowMessages(endpoint, {})) << "the endpoint outlived the watcher";

    const auto payload = Payload(*FindResource("FRMV", "RC_DATA"));
    ExpectWritten(world->Flash("801"), payload, "801");
    ExpectWritten(world->Flash("802"), payload, "802");
    const auto report = Report();
    EXPECT_EQ(report["attempts"].size(), 2u);
    EXPECT_EQ(report["written"], 2);
}

TEST_F(Flasher, WatchEndsCleanlyOnSigintDuringAWrite) {
    World(Device("811", "ftdi", R"(, "timing": {"partMs": 5})"));
    auto watch = Start({"watch", "--report", ReportPath()});
    ASSERT_TRUE(watch->WaitForOutput("Перепрошивка сектора 11:")) << watch->Out() << watch->Err();
    const auto signalled = std::chrono::steady_clock::now();
    watch->Stop(world->dir / "runtime");
    // Interrupted counts as not written.
    EXPECT_EQ(watch->Wait(), 1) << watch->Out() << watch->Err();
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 10s);

    const std::string out = watch->Out();
    EXPECT_TRUE(std::regex_search(out, std::regex("\nПрибор     811\t\\( *[0-9]+\\)Ошибка 10 при прошивке")));
    EXPECT_NE(out.find("devices written: 0, failed: 1\n"), std::string::npos) << out;
    const auto report = Report();
    ASSERT_EQ(report["attempts"].size(), 1u);
    EXPECT_EQ(report["attempts"][0]["code"], 10);
    EXPECT_EQ(report["attempts"][0]["interrupted"], true);
    EXPECT_EQ(report["attempts"][0]["result"], "Ошибка 10 при обновлении прошивки");
    EXPECT_EQ(report["interrupted"], true);
    // The device was told the write failed and its channel closed.
    const auto frames = SentFrames(world->trace.string(), "811");
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().header.command, CMD_FLASH_FAILED);
    EXPECT_EQ(testing_support::CountEvents(world->trace.string(), "811", "open"),
              testing_support::CountEvents(world->trace.string(), "811", "close"));
}

// A driver call that does not come back: 821's 30th read, well into its
// write, blocks for a minute. A stop waits the deadline for it, then leaves it;
// the other device's write stops at a sector boundary. Neither is written.
TEST_F(Flasher, WatchStoppedWhileADriverCallHangsEndsAtTheDeadline) {
    World(Device("821", "ftdi", R"(, "faults": [{"kind": "hang", "read": 30, "ms": 60000}])") + "," +
          Device("822", "om", R"(, "timing": {"partMs": 40})"));
    auto watch = std::make_unique<TFlasherProcess>(std::vector<std::string>{"watch", "--report", ReportPath()},
                                                   world->dir, testing_support::WithoutSanitizerExitSleep());
    ASSERT_TRUE(WaitUntil([&] { return testing_support::CountEvents(world->trace.string(), "821", "hang") == 1; }, 60s))
        << watch->Out() << watch->Err();

    const auto signalled = std::chrono::steady_clock::now();
    watch->Stop(world->dir / "runtime");
    EXPECT_EQ(watch->Wait(SHUTDOWN_TIMEOUT + 1s), 1) << watch->Out() << watch->Err();
    EXPECT_GE(std::chrono::steady_clock::now() - signalled, SHUTDOWN_TIMEOUT - 100ms) << "it did not wait";

    const std::string out = watch->Out();
    EXPECT_NE(out.find("Прибор     821\tПрошивка не остановилась за 10000 мс; поток оставлен\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("usbfwflash: stopped; 0 device(s) written, 2 failed"), std::string::npos) << out;
    const auto report = Report();
    ASSERT_EQ(report["attempts"].size(), 1u) << report.dump(2);
    EXPECT_EQ(report["attempts"][0]["serial"], 822);
    EXPECT_EQ(report["attempts"][0]["code"], 10);
    ASSERT_EQ(report["notWritten"].size(), 1u) << report.dump(2);
    EXPECT_EQ(report["notWritten"][0]["serial"], 821);
    EXPECT_EQ(report["notWritten"][0]["library"], "ftdi");
}

std::vector<nlohmann::json> Attempts(const nlohmann::json& report, int serial) {
    std::vector<nlohmann::json> attempts;
    for (const auto& a : report["attempts"])
        if (a["serial"] == serial) attempts.push_back(a);
    return attempts;
}

TEST_F(Flasher, RecordsAreAppendedWholeAndSurviveAKill) {
    World(Device("901", "ftdi") + "," +
          Device("902", "om", R"(, "faults": [{"kind": "hang", "read": 30, "ms": 60000}])"));
    std::vector<uint8_t> payload;
    const std::string image = SmallImage("ZVMB-3.3", payload);
    const auto records = world->dir / "records.jsonl";
    std::ofstream(records) << R"({"earlier": "run"})"
                           << "\n";
    auto write = Start({"write", "--image", image, "--records", records.string(), "--report", ReportPath()});
    ASSERT_TRUE(WaitUntil([&] { return ReadRecords(records).size() == 2; }, 60s)) << write->Out() << write->Err();
    ASSERT_TRUE(
        WaitUntil([&] { return testing_support::CountEvents(world->trace.string(), "902", "hang") == 1; }, 60s));
    write->Kill();
    write->Wait();

    const auto lines = ReadRecords(records);
    ASSERT_EQ(lines.size(), 2u) << "the earlier line and 901's, each whole";
    EXPECT_EQ(lines[0]["earlier"], "run");
    EXPECT_EQ(lines[1]["serial"], 901);
    EXPECT_EQ(lines[1]["outcome"], "written");
    EXPECT_EQ(lines[1]["image"], "ZVMB-3.3");
    // Plain UTF-8, as a reader of the file sees it.
    EXPECT_NE(ReadText(records).find("\"result\":\"Обновление прошивки завершено успешно\""), std::string::npos);
    const auto report = Report();
    ASSERT_EQ(report["attempts"].size(), 1u);
    EXPECT_EQ(report["attempts"][0], lines[1]) << "the report holds the same record";
}

TEST_F(Flasher, AnImageOfAnotherHashIsRefusedBeforeAnyDeviceIsOpened) {
    World(Device("911", "ftdi"));
    std::vector<uint8_t> payload;
    const std::string image = SmallImage("ZVMB-3.3", payload);
    const std::string sha = Sha256Hex(ReadImageBytes(image));
    std::string other = sha;
    other[0] = other[0] == '0' ? '1' : '0';
    std::string out, err;
    EXPECT_EQ(Run({"write", "--image", image, "--expect-sha256", other}, &out, &err), 1) << out << err;
    EXPECT_NE(err.find("SHA-256 is " + sha + ", not the expected " + other), std::string::npos) << err;
    EXPECT_EQ(testing_support::CountEvents(world->trace.string(), "911", "open"), 0u);

    // Hex digits in either case.
    std::string upper = sha;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    EXPECT_EQ(Run({"write", "--image", image, "--expect-sha256", upper, "--report", ReportPath()}, &out, &err), 0)
        << out << err;
    EXPECT_EQ(Report()["attempts"][0]["imageSha256"], sha);
}

TEST_F(Flasher, AConfirmedWritePassesAndAnotherVersionFailsWithItsOwnStatus) {
    World(Device("921", "ftdi", R"(, "firmwareAfterWrite": "ZVMB-3.3")") + "," +
          Device("922", "om", R"(, "firmwareAfterWrite": "ZVMB-3.3")"));
    std::vector<uint8_t> payload;
    const std::string image = SmallImage("ZVMB-3.3", payload);
    std::string out;
    ASSERT_EQ(Run({"write", "--image", image, "--confirm", "--report", ReportPath()}, &out), 0) << out;
    const auto confirmed = Report();
    for (int serial : {921, 922}) {
        const nlohmann::json* a = Attempt(confirmed, serial);
        ASSERT_TRUE(a);
        EXPECT_EQ((*a)["confirmation"], "confirmed");
        EXPECT_EQ((*a)["versionAfter"], "ZVMB-3.3");
    }

    World(Device("923", "ftdi", R"(, "firmwareAfterWrite": "ZVMB-3.3")") + "," + Device("924", "om"));
    const auto started = std::chrono::steady_clock::now();
    std::string err;
    EXPECT_EQ(Run({"write", "--image", SmallImage("ZVMB-3.3", payload), "--confirm", "--confirm-timeout", "1.5",
                   "--report", ReportPath()},
                  &out, &err),
              cli::EXIT_NOT_CONFIRMED)
        << out << err;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    const auto report = Report();
    const nlohmann::json* mismatch = Attempt(report, 924);
    ASSERT_TRUE(mismatch);
    EXPECT_EQ((*mismatch)["code"], WRITE_NOT_CONFIRMED);
    EXPECT_EQ((*mismatch)["confirmation"], "mismatch");
    EXPECT_NE(out.find("Прошивка не подтверждена: прибор сообщает версию ZVMB-3.1"), std::string::npos) << out;
    EXPECT_EQ((*Attempt(report, 923))["confirmation"], "confirmed");
    ExpectWritten(world->Flash("924"), payload, "924");
}

TEST_F(Flasher, TheGuardsSkipTheCurrentAndRetryOnlyWhatARetryCanMend) {
    // 931's write opens it a second time, and only that open is refused.
    World(Device("931", "ftdi", R"(, "faults": [{"kind": "refuseOpen", "from": 2, "count": 1}])") + "," +
          Device("932", "om", R"(, "locked": true)") + "," + Device("933", "ftdi", R"(, "firmware": "ZVMB-3.3")"));
    std::vector<uint8_t> payload;
    const std::string image = SmallImage("ZVMB-3.3", payload);
    std::string out;
    EXPECT_EQ(Run({"write", "--image", image, "--retry", "2", "--skip-current", "--report", ReportPath()}, &out), 1)
        << out;
    const auto report = Report();
    const auto refused = Attempts(report, 931);
    ASSERT_EQ(refused.size(), 2u) << report.dump(2);
    EXPECT_EQ(refused[0]["code"], WRITE_OPEN_FAILED);
    EXPECT_EQ(refused[0]["attempt"], 1);
    EXPECT_EQ(refused[1]["outcome"], "written");
    EXPECT_EQ(refused[1]["attempt"], 2);
    ExpectWritten(world->Flash("931"), payload, "931");
    EXPECT_EQ(Attempts(report, 932).size(), 1u) << "a locked device is tried once";
    const auto current = Attempts(report, 933);
    ASSERT_EQ(current.size(), 1u);
    EXPECT_EQ(current[0]["outcome"], "skipped");
    for (const auto& f : SentFrames(world->trace.string(), "933")) EXPECT_NE(f.header.command, CMD_ERASE_SECTOR);
    EXPECT_EQ(report["written"], 1);
    EXPECT_EQ(report["skipped"], 1);
    EXPECT_EQ(report["failed"], 2) << "every failed try counts in the report";
    EXPECT_NE(out.find("usbfwflash: 1 of 3 device(s) written, 1 already current"), std::string::npos) << out;
}

TEST_F(Flasher, ListAsJsonNamesTheDevicesThatShareASerial) {
    World(Device("941", "ftdi", R"(, "listings": 2)") + "," + Device("942", "om"));
    std::string out, err;
    // A clash is worth the exit status of a failed search.
    ASSERT_EQ(Run({"list", "--json"}, &out, &err), 1) << out << err;
    const auto devices = nlohmann::json::parse(out);
    ASSERT_EQ(devices.size(), 3u) << out;
    EXPECT_EQ(devices[0]["serial"], 941);
    EXPECT_EQ(devices[0]["sharedSerial"], true);
    EXPECT_EQ(devices[1]["sharedSerial"], true);
    EXPECT_EQ(devices[2]["library"], "om");
    EXPECT_EQ(devices[2]["bootloader"], "ZVMB-1.4");
    EXPECT_EQ(devices[2]["sharedSerial"], false);
    EXPECT_NE(err.find("Одинаковый серийный номер у приборов FTDI (панель 1) и FTDI (панель 2)"), std::string::npos)
        << err;

    // Neither twin is written; the other device is.
    EXPECT_EQ(Run({"write", "--report", ReportPath()}, &out, &err), 1) << out;
    EXPECT_EQ(Report()["notWritten"].size(), 2u);
    EXPECT_EQ(Report()["written"], 1);
}

TEST_F(Flasher, WatchGoesOnPastASilentDeviceAndSummarizes) {
    World(R"({"serial": "951", "library": "ftdi", "mode": "silent"},)" + Device("952", "ftdi") + "," +
          Device("953", "om"));
    auto watch = Start({"watch", "--records", (world->dir / "records.jsonl").string()});
    ASSERT_TRUE(watch->WaitForOutput("devices written: 2, failed: 0\n")) << watch->Out() << watch->Err();
    EXPECT_NE(watch->Out().find("Прибор     951\tПрибор (ftdi) не отвечает; поиск повторяется без него"),
              std::string::npos)
        << watch->Out();
    const bool summaryAsked = watch->AskForSummary();  // no such signal on Windows
    if (summaryAsked) {
        ASSERT_TRUE(watch->WaitForOutput("usbfwflash: summary: 2 written, 0 failed, ")) << watch->Out();
    }
    watch->Stop(world->dir / "runtime");
    EXPECT_EQ(watch->Wait(), 0) << watch->Out() << watch->Err();
    EXPECT_TRUE(std::regex_search(
        watch->Out(), std::regex("stopped; 2 device\\(s\\) written, 0 failed\nusbfwflash: summary: 2 written, 0 "
                                 "failed, [0-9]+\\.[0-9] s per device, [0-9]+ devices per hour\n")))
        << watch->Out();
    EXPECT_EQ(ReadRecords(world->dir / "records.jsonl").size(), 2u);
}

}  // namespace
}  // namespace zv
