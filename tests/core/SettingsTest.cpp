#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "core/Settings.h"
#include "core/Storage.h"
#include "support/TempDir.h"

namespace zv {
namespace {

constexpr int kDesktopW = 1920, kDesktopH = 1080;

TEST(MainFormValue, WorkedCases) {
    TStoredWindowSettings s = ParseMainFormValue("100,50,800,600,1,200,0,1", kDesktopW, kDesktopH);
    EXPECT_EQ(s.left, 100);
    EXPECT_EQ(s.top, 50);
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.height, 600);
    EXPECT_EQ(s.autoWrite, true);
    EXPECT_EQ(s.logHeight, 200);
    EXPECT_EQ(s.writeLogToFile, false);
    EXPECT_EQ(s.startApp, true);

    s = ParseMainFormValue("100,50,800", kDesktopW, kDesktopH);
    EXPECT_FALSE(s.left || s.top || s.width || s.height || s.autoWrite || s.logHeight || s.startApp);

    // As saved from a maximized window: the position stays the system's choice.
    s = ParseMainFormValue("-8,-8,1936,1056,0,165,1,0", kDesktopW, kDesktopH);
    EXPECT_FALSE(s.left);
    EXPECT_FALSE(s.top);
    EXPECT_EQ(s.width, 1936);
    EXPECT_EQ(s.height, 1056);
    EXPECT_EQ(s.autoWrite, false);
    EXPECT_EQ(s.writeLogToFile, true);

    s = ParseMainFormValue("1820,979,700,500,0,165,0,0", kDesktopW, kDesktopH);
    EXPECT_FALSE(s.left);  // at the desktop width minus 100: too far right
    EXPECT_EQ(s.top, 979);
    EXPECT_EQ(ParseMainFormValue("1819,980,700,500", kDesktopW, kDesktopH).left, 1819);
    EXPECT_FALSE(ParseMainFormValue("1819,980,700,500", kDesktopW, kDesktopH).top);
}

TEST(MainFormValue, ScanfRules) {
    // Blanks before numbers are fine; after a number the comma must follow.
    TStoredWindowSettings s = ParseMainFormValue(" 1, 2,\t3,  4,5", kDesktopW, kDesktopH);
    EXPECT_EQ(s.left, 1);
    EXPECT_EQ(s.height, 4);
    EXPECT_EQ(s.autoWrite, true);
    EXPECT_FALSE(s.logHeight);  // not converted: stays -1

    s = ParseMainFormValue("1,2,3 ,4,5,6,7,8", kDesktopW, kDesktopH);
    EXPECT_FALSE(s.width);  // only three converted

    s = ParseMainFormValue("1,2,3,4,5,x,7,8", kDesktopW, kDesktopH);
    EXPECT_EQ(s.autoWrite, true);
    EXPECT_FALSE(s.logHeight);
    EXPECT_FALSE(s.startApp);

    s = ParseMainFormValue("1,2,3,4,-1,-5,2,0", kDesktopW, kDesktopH);
    EXPECT_FALSE(s.autoWrite);
    EXPECT_FALSE(s.logHeight);
    EXPECT_EQ(s.writeLogToFile, true);
    EXPECT_EQ(s.startApp, false);

    EXPECT_FALSE(ParseMainFormValue("", kDesktopW, kDesktopH).width);
}

TEST(MainFormValue, FormatHasNoBlanks) {
    EXPECT_EQ(FormatMainFormValue({-8, -8, 1936, 1056, true, 165, false, true}), "-8,-8,1936,1056,1,165,0,1");
}

class IniFileTest : public TempDirTest {
protected:
    std::filesystem::path Ini() const { return dir / SETTINGS_FILE_NAME; }
    void Write(const std::string& text) { std::ofstream(Ini(), std::ios::binary) << text; }
    std::string Read() {
        std::ifstream in(Ini(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(IniFileTest, ReadingMatchesProfileFunctions) {
    Write(
        "; settings\r\n[Common]\r\n  MAINFORM = 1,2,3,4 \r\nLastFile=\"/tmp/a b.eraw\"\r\n"
        "[files]\r\n0=/a.eraw\r\n1=\r\nzeta=/z.eraw\r\n2=/b.eraw\r\n[COMMON]\r\nLastFile=second\r\n");
    const TIniFile ini(Ini());
    EXPECT_EQ(ini.ReadString("COMMON", "MainForm", ""), "1,2,3,4");
    EXPECT_EQ(ini.ReadString("common", "lastfile", ""), "/tmp/a b.eraw");
    EXPECT_EQ(ini.ReadString("COMMON", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("NOPE", "MainForm", ""), "");
    EXPECT_EQ(ini.ReadKeys("FILES"), (std::vector<std::string>{"0", "1", "zeta", "2"}));
    EXPECT_TRUE(ini.ReadKeys("NOPE").empty());
    EXPECT_TRUE(TIniFile(dir / "missing.ini").ReadKeys("FILES").empty());

    Write("[COMMON]\nLastFile=" + std::string(3000, 'x') + "\n");
    EXPECT_EQ(ini.ReadString("COMMON", "LastFile", "").size(), 2047u);
    std::string cyrillic;
    for (int i = 0; i < 3000; ++i) cyrillic += "я";
    Write("[COMMON]\nLastFile=" + cyrillic + "\n");
    EXPECT_EQ(ini.ReadString("COMMON", "LastFile", ""), cyrillic.substr(0, 2047 * 2));  // characters, not bytes
}

TEST_F(IniFileTest, WritesReplaceInPlaceAndChangeNothingElse) {
    Write("; keep me\r\n[COMMON]\r\nMainForm=old\r\nOther = 5\r\n\r\n[FILES]\r\n0=/a\r\n");
    const TIniFile ini(Ini());
    ini.WriteString("common", "MAINFORM", "1,2,3,4,5,6,7,8");
    ini.WriteString("COMMON", "LastFile", "/x.eraw");
    ini.WriteString("FILES", "1", "/b");
    ini.WriteString("NEW", "k", "v");
    EXPECT_EQ(Read(),
              "; keep me\r\n[COMMON]\r\nMAINFORM=1,2,3,4,5,6,7,8\r\nOther = 5\r\nLastFile=/x.eraw\r\n\r\n"
              "[FILES]\r\n0=/a\r\n1=/b\r\n[NEW]\r\nk=v\r\n");

    std::filesystem::remove(Ini());
    ini.WriteString("COMMON", "LastFile", "");
    EXPECT_EQ(Read(), "[COMMON]\nLastFile=\n");
}

TEST_F(IniFileTest, WriteFailureNamesTheFile) {
    const TIniFile ini(dir / "no" / "such" / "folder" / SETTINGS_FILE_NAME);
    try {
        ini.WriteString("COMMON", "MainForm", "1");
        FAIL() << "no error";
    } catch (const TIniWriteError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Unable to write to " + (dir / "no" / "such" / "folder" / "ZVFWLoader.ini").string());
    }
}

TEST_F(IniFileTest, HistoryRoundTripKeepsStaleKeys) {
    Write("[FILES]\r\n0=/path/A\r\n1=\r\n2=/path/B\r\n");
    const TIniFile ini(Ini());
    TStoredSettings stored = LoadStoredSettings(ini);
    EXPECT_EQ(stored.history, (std::vector<std::string>{"/path/A", "/path/B"}));
    EXPECT_EQ(stored.mainForm, "");
    EXPECT_EQ(stored.lastFile, "");

    SaveStoredSettings(ini, {10, 20, 700, 500, false, 165, true, false}, "/path/B", stored.history);
    stored = LoadStoredSettings(ini);
    EXPECT_EQ(stored.history, (std::vector<std::string>{"/path/A", "/path/B", "/path/B"}));
    EXPECT_EQ(stored.mainForm, "10,20,700,500,0,165,1,0");
    EXPECT_EQ(stored.lastFile, "/path/B");
}

using StorageTest = TempDirTest;

TEST_F(StorageTest, BesideTheProgramUnlessInstalledAndNotPortable) {
    const auto exe = dir / "bin", config = dir / "config", state = dir / "state";
    std::filesystem::create_directories(exe);

    const TStorage source = StorageFor(exe, false, config, state);
    EXPECT_EQ(source.settingsFile, exe / "ZVFWLoader.ini");
    EXPECT_EQ(source.logFolder, exe / "Logs");

    const TStorage installed = StorageFor(exe, true, config, state);
    EXPECT_EQ(installed.settingsFile, config / "usbfwloader" / "ZVFWLoader.ini");
    EXPECT_EQ(installed.logFolder, state / "usbfwloader" / "Logs");
    // No home at all: beside the program rather than in the current folder.
    EXPECT_EQ(StorageFor(exe, true, {}, {}).logFolder, exe / "Logs");

    // A copy carried with its settings file keeps everything beside it.
    std::ofstream(exe / SETTINGS_FILE_NAME) << "[COMMON]\r\n";
    const TStorage portable = StorageFor(exe, true, config, state);
    EXPECT_EQ(portable.settingsFile, exe / "ZVFWLoader.ini");
    EXPECT_EQ(portable.logFolder, exe / "Logs");

    // Saving into a user folder that does not exist yet makes it, for the user alone.
    PrepareSettingsFolder(installed);
    const auto made = std::filesystem::status(installed.settingsFile.parent_path());
    EXPECT_EQ(made.type(), std::filesystem::file_type::directory);
#ifndef _WIN32
    EXPECT_EQ(made.permissions() & std::filesystem::perms::all, std::filesystem::perms::owner_all);
#endif
    SaveStoredSettings(TIniFile(installed.settingsFile), {1, 2, 3, 4, true, 5, true, true}, "", {});
    EXPECT_EQ(LoadStoredSettings(TIniFile(installed.settingsFile)).mainForm, "1,2,3,4,1,5,1,1");
}

}  // namespace
}  // namespace zv
