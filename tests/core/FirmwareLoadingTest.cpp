// Loading the image from the built-in copy or a file: what the window shows,
// what the log says and how the file box's history grows.

#include <gtest/gtest.h>

#include <fstream>

#include "core/LoaderCore.h"
#include "firmware/FirmwareImage.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"
#include "threading/EventQueue.h"

namespace zv {
namespace {

class FirmwareLoading : public TempDirTest {
protected:
    std::string Image(const std::string& name, const std::string& version, std::optional<std::string> date = {}) {
        const auto bytes = PackFirmwareImage(version, date, std::vector<uint8_t>(64, 0x42));
        const auto path = dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    TEventQueue queue;
    testing_support::TRecordingView view;
    TLoaderCore core{queue, view, std::filesystem::temp_directory_path()};
};

TEST_F(FirmwareLoading, TheBuiltInImageLeavesTheHistoryAlone) {
    core.SetFirmwareFile("/some/where.eraw");  // from the settings, say
    core.SetFileHistory({"/a.eraw"});
    core.btnFwLoadClick();
    EXPECT_EQ(view.firmwareVersion, "ZVMB-3.2");
    EXPECT_EQ(view.firmwareDate, "30-06-2014 17:52:29");
    EXPECT_EQ(view.lines, (std::vector<std::string>{"Прибор -------\tЗагружена прошивка из ресурсов",
                                                    "Прибор -------\tВерсия прошивки \"ZVMB-3.2\"",
                                                    "Прибор -------\tДата компиляции \"30-06-2014 17:52:29\""}));
    EXPECT_TRUE(core.EmbeddedLoaded());
    EXPECT_EQ(core.FileHistory(), std::vector<std::string>{"/a.eraw"});
    EXPECT_EQ(view.historyChanges, 0);
    EXPECT_EQ(core.FirmwareVersion().formatVersion(), "ZVMB-3.2");
}

TEST_F(FirmwareLoading, FilesJoinTheHistoryOnce) {
    core.SetExternFirmware(true);
    const std::string a = Image("A.eraw", "ZVOM-3.2", "01.02.2020 03:04:05");
    core.SetFirmwareFile(a);
    core.btnFwLoadClick();
    core.btnFwLoadClick();
    EXPECT_EQ(core.FileHistory(), std::vector<std::string>{a});
    EXPECT_EQ(view.lines[0], "Прибор -------\tЗагружена прошивка из файла \"" + a + "\"");
    EXPECT_EQ(view.firmwareDate, "01-02-2020 03:04:05");

    // Another spelling of a path is another item, put first.
    const std::string b = Image("b.eraw", "ZVOM-3.3");
    core.SetFirmwareFile(b);
    core.btnFwLoadClick();
    EXPECT_EQ(core.FileHistory(), (std::vector<std::string>{b, a}));
    EXPECT_EQ(view.firmwareVersion, "ZVOM-3.3");
    EXPECT_EQ(view.firmwareDate, "неизвестна");
    EXPECT_EQ(view.historyChanges, 2);
    EXPECT_FALSE(core.EmbeddedLoaded());
}

TEST_F(FirmwareLoading, AFailedLoadChangesNeitherLabelsNorHistory) {
    core.SetExternFirmware(true);
    core.SetFirmwareFile(Image("good.eraw", "ZVOM-3.2"));
    core.btnFwLoadClick();
    view.lines.clear();
    view.levels.clear();

    core.SetFirmwareFile((dir / "gone.eraw").string());
    core.btnFwLoadClick();
    EXPECT_EQ(view.lines,
              (std::vector<std::string>{"Прибор -------\tЗагрузка прошивки: Файл " + core.FirmwareFile() + " не найден",
                                        "Прибор -------\tОшибка загрузки прошивки"}));
    EXPECT_EQ(view.levels, (std::vector<LogLevel>{llError, llError}));
    EXPECT_EQ(view.firmwareVersion, "ZVOM-3.2");
    EXPECT_EQ(core.FileHistory().size(), 1u);

    // A folder is no file; a version that is no version fails without a
    // message of its own.
    core.SetFirmwareFile(dir.string());
    view.lines.clear();
    core.btnFwLoadClick();
    EXPECT_EQ(view.lines.size(), 2u);
    core.SetFirmwareFile(Image("noversion.eraw", "firmware"));
    view.lines.clear();
    core.btnFwLoadClick();
    EXPECT_EQ(view.lines, std::vector<std::string>{"Прибор -------\tОшибка загрузки прошивки"});
    EXPECT_EQ(core.FileHistory().size(), 1u);
}

TEST_F(FirmwareLoading, AnUndecodableDateStillLoads) {
    core.SetExternFirmware(true);
    core.SetFirmwareFile(Image("date.eraw", "ZVOM-3.2", "31.02.2014 10:00:00"));
    core.btnFwLoadClick();
    EXPECT_EQ(view.lines.front(), "Прибор -------\tОшибка декодирования времени компиляции прошивки");
    EXPECT_EQ(view.lines.back(), "Прибор -------\tДата компиляции \"неизвестна\"");
    EXPECT_EQ(core.FileHistory().size(), 1u);
}

TEST_F(FirmwareLoading, AnOversizedPayloadReachesTheCaller) {
    core.SetExternFirmware(true);
    const auto bytes = PackFirmwareImage("ZVOM-3.2", std::nullopt, std::vector<uint8_t>(MAX_FIRMWARE_BLOCK_SIZE + 1));
    std::ofstream(dir / "big.eraw", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    core.SetFirmwareFile((dir / "big.eraw").string());
    EXPECT_THROW(core.btnFwLoadClick(), TFirmwareError);
    EXPECT_TRUE(view.lines.empty());
    EXPECT_TRUE(core.FileHistory().empty());
}

TEST_F(FirmwareLoading, TheOtherSourceRefusesSilently) {
    TBlockList blocks;
    TFirmwareVersion version;
    EXPECT_FALSE(core.LoadFirmwareFromFile(blocks, version));  // embedded mode
    core.SetExternFirmware(true);
    EXPECT_FALSE(core.LoadFirmwareFromResource(blocks, version));
    EXPECT_TRUE(view.lines.empty());
    EXPECT_FALSE(core.EmbeddedLoaded());
}

}  // namespace
}  // namespace zv
