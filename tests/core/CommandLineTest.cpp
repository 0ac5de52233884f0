#include <gtest/gtest.h>

#include <fstream>

#include "core/CommandLine.h"
#include "support/TempDir.h"

namespace zv {
namespace {

class CommandLineTest : public TempDirTest {
protected:
    std::string MakeFile(const std::string& name) {
        const auto path = dir / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << "image";
        return path.string();
    }
};

TEST_F(CommandLineTest, TheWord) {
    for (const char* on : {"externfirmware", "/ExternFirmware", "-EXTERNFIRMWARE"}) {
        const TCommandLine c = ApplyCommandLine({on});
        EXPECT_TRUE(c.externFirmware) << on;
        EXPECT_EQ(c.firmwareFile, "");
    }
    for (const char* off : {"--externfirmware", "externfirmware.eraw", "", "extern", "//externfirmware"})
        EXPECT_FALSE(ApplyCommandLine({off}).externFirmware) << off;
    EXPECT_FALSE(ApplyCommandLine({}).externFirmware);
    EXPECT_TRUE(ApplyCommandLine({"junk", "-ExternFirmware", "more"}).externFirmware);
}

TEST_F(CommandLineTest, AnExistingEraw) {
    const std::string image = MakeFile("FW/Image.ERAW");
    TCommandLine c = ApplyCommandLine({image});
    EXPECT_TRUE(c.externFirmware);
    EXPECT_EQ(c.firmwareFile, image);  // names keep their case on this system

    c = ApplyCommandLine({"-" + image});
    EXPECT_TRUE(c.externFirmware);
    EXPECT_EQ(c.firmwareFile, image);

    // The same path of a missing file, or another extension: ignored.
    c = ApplyCommandLine(
        {(dir / "FW/Other.eraw").string(), MakeFile("FW/Image.raw"), MakeFile("FW/eraw"), MakeFile("FW/x.eraw.bak")});
    EXPECT_FALSE(c.externFirmware);
    EXPECT_EQ(c.firmwareFile, "");

    // A folder is no file.
    std::filesystem::create_directories(dir / "folder.eraw");
    EXPECT_FALSE(ApplyCommandLine({(dir / "folder.eraw").string()}).externFirmware);
}

TEST_F(CommandLineTest, RelativeNamesAndTheLastFileWins) {
    const std::string first = MakeFile("a.eraw");
    const std::string second = MakeFile("b.Eraw");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    const TCommandLine c = ApplyCommandLine({"a.eraw", "externfirmware", "b.Eraw", "missing.eraw"});
    std::filesystem::current_path(previous);
    EXPECT_TRUE(c.externFirmware);
    EXPECT_EQ(c.firmwareFile, "b.Eraw");
    (void)first;
    (void)second;
}

}  // namespace
}  // namespace zv
