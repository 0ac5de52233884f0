// Whole-file writes and reads as the logs, the records, the settings and the
// images use them, in a folder whose name is not in any 8-bit code page.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "support/TempDir.h"

namespace zv {
namespace {

using FilesTest = TempDirTest;

std::string Read(const std::filesystem::path& file) {
    const TFileRead read = ReadWholeFile(file, 1 << 20);
    return std::string(read.bytes.begin(), read.bytes.end());
}

TEST_F(FilesTest, WorkInAFolderWithACyrillicName) {
    const std::filesystem::path folder = dir / Utf8Path("Прошивки Ёж");
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(MayCreateFilesIn(folder));
    const auto file = folder / Utf8Path("журнал.log");
    ASSERT_TRUE(AppendToFile(file, "one\r\n"));
    ASSERT_TRUE(AppendToFile(file, "two\r\n"));
    EXPECT_EQ(Read(file), "one\r\ntwo\r\n");
    const std::u8string name = file.filename().u8string();
    EXPECT_EQ(std::string(name.begin(), name.end()), "журнал.log") << "the name reaches the system whole";
    EXPECT_TRUE(std::filesystem::exists(folder / Utf8Path("журнал.log")));

    const auto settings = folder / Utf8Path("настройки.ini");
    ASSERT_TRUE(WriteFileByRename(settings, "[MainForm]\r\n"));
    ASSERT_TRUE(WriteFileByRename(settings, "[MainForm]\r\nLeft=1\r\n"));
    EXPECT_EQ(Read(settings), "[MainForm]\r\nLeft=1\r\n");
    EXPECT_FALSE(std::filesystem::exists(settings.string() + ".tmp"));
    ASSERT_TRUE(WriteFileInPlace(settings, "x"));
    EXPECT_EQ(Read(settings), "x");
}

TEST_F(FilesTest, AppendsOfManyThreadsStayWhole) {
    const auto file = dir / "records.jsonl";
    std::vector<std::thread> writers;
    std::atomic<int> failed{0};
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i)
                failed += !AppendToFile(file, std::string(100, static_cast<char>('a' + t)) + "\n");
        });
    for (auto& w : writers) w.join();
    EXPECT_EQ(failed, 0);
    const std::string text = Read(file);
    ASSERT_EQ(text.size(), 4u * 200u * 101u);
    for (size_t line = 0; line < text.size(); line += 101)
        EXPECT_EQ(text.substr(line, 100), std::string(100, text[line])) << "line at " << line << " is mixed";
}

TEST_F(FilesTest, ReadsRefuseWhatIsTooLargeOrMissingAndFailuresSayWhy) {
    ASSERT_TRUE(WriteFileInPlace(dir / "image.eraw", std::string(100, 'x')));
    EXPECT_EQ(ReadWholeFile(dir / "image.eraw", 99).status, TFileRead::TStatus::TooLarge);
    EXPECT_EQ(ReadWholeFile(dir / "image.eraw", 100).bytes.size(), 100u);
    EXPECT_EQ(ReadWholeFile(dir / "missing.eraw", 100).status, TFileRead::TStatus::Unreadable);

    std::string error;
    EXPECT_FALSE(AppendToFile(dir / "no-folder" / "x.log", "lost", &error));
    EXPECT_NE(error.find("x.log"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(WriteFileByRename(dir / "no-folder" / "report.json", "{}", &error));
    EXPECT_NE(error.find("report.json"), std::string::npos) << error;
    EXPECT_FALSE(MayCreateFilesIn(dir / "no-folder"));
}

}  // namespace
}  // namespace zv
