#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "core/EventLog.h"
#include "platform/Format.h"
#include "platform/Text.h"
#include "support/TempDir.h"

namespace zv {
namespace {

TEST(LogLine, DevicePrefix) {
    EXPECT_EQ(LogLine(42, "Прибор подключен"), "Прибор      42\tПрибор подключен");
    EXPECT_EQ(DevicePrefix(0), "Прибор -------\t");
    EXPECT_EQ(DevicePrefix(5500250), "Прибор 5500250\t");
    EXPECT_EQ(DevicePrefix(123456789), "Прибор 123456789\t");
    EXPECT_EQ(DevicePrefix(-1), "Прибор      -1\t");
}

TEST(LogLine, LongBodiesAreKeptWhole) {
    const std::string body(100000, 'x');
    EXPECT_EQ(Format("%s!", body.c_str()).size(), 100001u);
    EXPECT_EQ(LogLine(1, body).size(), DevicePrefix(1).size() + body.size());
}

std::chrono::system_clock::time_point LocalTimePoint(int y, int mo, int d, int h, int mi, int s, int ms) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t)) + std::chrono::milliseconds(ms);
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(LogFile, RecordIsWindows1251WithCrLf) {
    const auto when = LocalTimePoint(2024, 1, 31, 14, 5, 9, 123);
    EXPECT_EQ(DailyLogFileName(when), "20240131.log");
    const std::string record = LogFileRecord(when, LogLine(42, "Прибор подключен"));
    EXPECT_EQ(record, Utf8ToCp1251("[31.01.2024 14:05:09.123]\tПрибор      42\tПрибор подключен\r\n"));
    EXPECT_EQ(static_cast<unsigned char>(record[26]), 0xCF);  // "П" in Windows-1251
}

using LogFileTest = TempDirTest;

TEST_F(LogFileTest, CreatesFolderAndAppendsAcrossMidnight) {
    const auto logs = dir / "exe" / "Logs";
    EXPECT_FALSE(std::filesystem::exists(logs));
    const auto late = LocalTimePoint(2024, 3, 9, 23, 59, 59, 999);
    const auto early = LocalTimePoint(2024, 3, 10, 0, 0, 0, 0);
    WriteLogFile(logs, "first", late);
    WriteLogFile(logs, "second", late);
    WriteLogFile(logs, "third", early);
    EXPECT_EQ(ReadAll(logs / "20240309.log"),
              "[09.03.2024 23:59:59.999]\tfirst\r\n[09.03.2024 23:59:59.999]\tsecond\r\n");
    EXPECT_EQ(ReadAll(logs / "20240310.log"), "[10.03.2024 00:00:00.000]\tthird\r\n");
}

TEST_F(LogFileTest, AnUnwritableFolderLosesTheRecordSilently) {
    if (!testing_support::FolderPermissionsBind()) GTEST_SKIP() << "permission bits do not bind here";
    std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    WriteLogFile(dir / "Logs", "lost");
    EXPECT_FALSE(std::filesystem::exists(dir / "Logs"));
}

TEST_F(LogFileTest, SomethingInTheWayLosesTheRecordSilently) {
    // A folder in place of the day's file.
    const auto when = LocalTimePoint(2024, 1, 1, 12, 0, 0, 0);
    const auto day = dir / "Logs" / DailyLogFileName(when);
    std::filesystem::create_directories(day);
    WriteLogFile(dir / "Logs", "lost", when);
    EXPECT_TRUE(std::filesystem::is_directory(day));
    EXPECT_TRUE(std::filesystem::is_empty(day));
    // A file where the folder should be.
    std::ofstream(dir / "blocked") << "x";
    WriteLogFile(dir / "blocked", "lost");
    EXPECT_EQ(ReadAll(dir / "blocked"), "x");
}

}  // namespace
}  // namespace zv
