#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "platform/Bytes.h"
#include "platform/Resources.h"
#include "platform/Version.h"
#include "support/Process.h"

namespace zv {
namespace {

TEST(EmbeddedImage, HeaderMatchesTheShippedImage) {
    auto resource = FindResource("FRMV", "RC_DATA");
    ASSERT_TRUE(resource);
    const std::span<const uint8_t> image = *resource;
    ASSERT_EQ(image.size(), 221221u);
    EXPECT_EQ(ReadU32(image.data()), 0x80036025u);
    EXPECT_EQ(ReadU16(image.data() + 4), 0xE745);
    EXPECT_EQ(ReadU16(image.data() + 6), 8);
    EXPECT_EQ(std::string(image.begin() + 8, image.begin() + 16), "ZVMB-3.2");
    EXPECT_EQ(ReadU16(image.data() + 16), 19);
    EXPECT_EQ(std::string(image.begin() + 18, image.begin() + 37), "30.06.2014 17:52:29");

    std::vector<uint8_t> copy(image.begin(), image.end());
    TFirmwareVersion version;
    TBlockList blocks;
    ASSERT_TRUE(ParseFirmwareImage(copy, version, blocks, nullptr));
    EXPECT_EQ(version.formatVersion(), "ZVMB-3.2");
    EXPECT_EQ(version.formatDate(), "30-06-2014 17:52:29");
    ASSERT_EQ(blocks[0]->size, 221184);

    // A varied payload with an erased 4 KiB stretch at 0x2000.
    const uint8_t* payload = blocks[0]->data.get();
    EXPECT_TRUE(std::all_of(payload + 0x2000, payload + 0x3000, [](uint8_t b) { return b == 0xFF; }));
    std::array<int, 256> counts{};
    for (int i = 0; i < blocks[0]->size; ++i) ++counts[payload[i]];
    EXPECT_TRUE(std::all_of(counts.begin(), counts.end(), [](int c) { return c > 100; }));

    EXPECT_FALSE(FindResource("FRMV", "RCDATA"));
    EXPECT_FALSE(FindResource("frmv", "RC_DATA"));
}

// The image tool, run as a person would run it.
struct ToolRun {
    int status;
    std::string out;
};

// What it prints, standard output then standard error.
ToolRun Tool(std::vector<std::string> arguments) {
    const char* buildDir = std::getenv("ZV_BUILD_DIR");
    if (!buildDir) return {-1, "ZV_BUILD_DIR not set"};
    arguments.insert(arguments.begin(), testing_support::ProgramFile(std::string(buildDir) + "/bin/fwimage"));
    const testing_support::TRunResult run = testing_support::RunProgram(arguments);
    return {run.code, run.out + run.err};
}

class FwImageTool : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("ZV_BUILD_DIR")) GTEST_SKIP() << "ZV_BUILD_DIR names no build; run through ctest";
        dir = std::filesystem::temp_directory_path() /
              ("fwimage-test-" + std::to_string(testing_support::CurrentProcessId()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Path(const char* name) const { return (dir / name).string(); }
    std::filesystem::path dir;
};

TEST_F(FwImageTool, InfoOfTheBuiltInImage) {
    const std::string built = std::string(std::getenv("ZV_BUILD_DIR")) + "/firmware/embedded.eraw";
    const ToolRun run = Tool({"info", built});
    EXPECT_EQ(run.status, 0);
    // The digest is that of sha256sum on the file.
    EXPECT_EQ(run.out,
              "size: 221221\nchecksum: 0xE745\n"
              "sha256: e5aed22564eb7b2b01937f30b5255cd0b208c935384cd431616707b4840e1bce\n"
              "version: ZVMB-3.2\ndate: 30-06-2014 17:52:29\npayload: 221184 bytes\n");

    // The copy in the build folder is the image the programs carry.
    ASSERT_EQ(Tool({"builtin", Path("copy.eraw")}).status, 0);
    std::ifstream a(built, std::ios::binary), b(Path("copy.eraw"), std::ios::binary);
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
}

TEST_F(FwImageTool, PackThenInfoAndRefusals) {
    {
        std::ofstream payload(Path("payload.bin"), std::ios::binary);
        payload << "0123456789";
    }
    ASSERT_EQ(Tool({"pack", "--version", "LEAD-2.15beta", "--date", "01.02.2020 03:04:05", Path("payload.bin"),
                    Path("out.eraw")})
                  .status,
              0);
    ToolRun info = Tool({"info", Path("out.eraw")});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("size: 52\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\nsha256: 9fd44e8ab91d08c31aaab313cd9538deacd94e19149b0837e1aa7185a235806a\n"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("version: LEAD-2.15beta\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("date: 01-02-2020 03:04:05\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("payload: 10 bytes\n"), std::string::npos) << info.out;

    // Flip a payload byte: the loader's own message, exit 1.
    std::fstream f(Path("out.eraw"), std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(45);
    f.put('X');
    f.close();
    info = Tool({"info", Path("out.eraw")});
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.out, "Ошибка контрольной суммы файла прошивки\n");

    EXPECT_EQ(Tool({"info", Path("missing.eraw")}).status, 2);
    EXPECT_EQ(Tool({}).status, 2);
    EXPECT_EQ(Tool({"pack", Path("payload.bin"), Path("x.eraw")}).status, 2);  // no version
    EXPECT_EQ(Tool({"pack", "--version", "A-1.0", Path("missing.bin"), Path("x.eraw")}).status, 2);
    EXPECT_EQ(Tool({"frobnicate"}).status, 2);
    const ToolRun version = Tool({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("fwimage ") + LoaderVersion() + "\n");
}

}  // namespace
}  // namespace zv
