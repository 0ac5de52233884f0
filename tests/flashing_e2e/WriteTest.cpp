// Writing firmware end to end: flash start, the write thread and the result,
// over the real binding against simulated devices.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "firmware/FirmwareImage.h"
#include "support/BuiltInImage.h"
#include "support/Frames.h"
#include "support/LoaderHarness.h"
#include "support/Process.h"
#include "support/SimWorld.h"

namespace zv {
namespace {

using testing_support::CountEvents;
using testing_support::HoldsBuiltInImage;
using testing_support::SentFrames;
using testing_support::TLoaderHarness;
using testing_support::TSimWorld;
using namespace std::chrono_literals;

std::string Masked(const std::string& line) {
    static const std::regex times("\\( *-?[0-9]+\\)");
    return std::regex_replace(line, times, "(T)");
}

std::vector<std::string> MaskedLines(const TLoaderHarness& loader, size_t from = 0) {
    std::vector<std::string> lines;
    for (const auto& line : loader.Lines(from)) lines.push_back(Masked(line));
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<uint16_t> Commands(const std::vector<testing_support::TSentFrame>& frames) {
    std::vector<uint16_t> commands;
    for (const auto& f : frames) commands.push_back(f.header.command);
    return commands;
}

// Searches, then presses the write button of every panel in bootloader mode
// and waits for the writes to end. Returns the line count before the writes.
size_t SearchAndWriteAll(TLoaderHarness& loader) {
    loader.Search();
    const size_t from = loader.view.lines.size();
    for (auto* panel : loader.view.livePanels) panel->Click();
    loader.WaitForWrites();
    return from;
}

std::string WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.generic_string();  // as JSON takes it: no backslashes
}

TEST(Write, TheBuiltInImageIntoTheCommonProcessor) {
    TSimWorld world("{}");
    // Flash as the device had it: sector 12 and everything past the data
    // hold old bytes, which show whether they were erased or written.
    std::vector<uint8_t> old(0x80000, 0xFF);
    std::fill(old.begin() + 0xC000, old.begin() + 0xD000, 0x00);
    std::fill(old.begin() + 0x40000, old.end(), 0x11);
    const std::string preload = WriteFile(world.dir / "old.flash", old);
    std::ofstream(world.scenario) << R"({"devices": [{"serial": "5500250", "library": "ftdi", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04 TR", "processor": "0x26013F37", "flash": ")" +
                                         preload + R"("}]})";
    TLoaderHarness loader;
    loader.core.Options().startApp = true;
    const size_t from = SearchAndWriteAll(loader);

    const std::string p = "Прибор 5500250\t";
    std::vector<std::string> expected = {
        p + "Начинаем прошивку прибора", "Прибор -------\tЗагружена прошивка из ресурсов",
        "Прибор -------\tВерсия прошивки \"ZVMB-3.2\"", "Прибор -------\tДата компиляции \"30-06-2014 17:52:29\"",
        p + "Прошивается сектора с 10 по 21"};
    for (int s = 10; s <= 21; ++s) {
        const std::string n = std::to_string(s);
        expected.push_back(p + "(T) Перепрошивка сектора " + n + ":");
        if (s == 12) {
            expected.push_back(p + "(T) Сектор 12 пустой. Пропускаем.");
            continue;
        }
        expected.push_back(p + "(T) Стираем сектор " + n + "...");
        expected.push_back(p + "(T) Стирание сектора " + n + ": OK");
        expected.push_back(p + "(T) Запись сектора " + n + ":");
        const int parts = s < 16 ? 8 : 64;
        for (int i = 0; i < parts; ++i)
            expected.push_back(p + "(T)\tЧасть " + std::to_string(i) + " из " + std::to_string(parts));
        expected.push_back(p + "(T) Сектор " + n + " записан");
    }
    expected.push_back(p + "Отправлена команда запуска приложения");
    expected.push_back(p + "(T)Прошивка завершена успешно");
    EXPECT_EQ(MaskedLines(loader, from), expected);

    const auto flash = world.Flash("5500250");
    ASSERT_EQ(flash.size(), 0x80000u);
    EXPECT_TRUE(HoldsBuiltInImage(flash));
    EXPECT_TRUE(std::all_of(flash.begin() + 0xC000, flash.begin() + 0xD000, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(flash.begin() + 0x40000, flash.end(), [](uint8_t b) { return b == 0x11; }));

    const auto frames = SentFrames(world.trace, "5500250");
    for (const auto& f : frames) {
        if (f.header.command != CMD_ERASE_SECTOR_V2 && f.header.command != CMD_WRITE_SECTOR_V2) continue;
        EXPECT_TRUE(f.header.param >= 10 && f.header.param <= 21 && f.header.param != 12) << f.header.param;
    }
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[frames.size() - 2].header.command, CMD_FLASH_DONE);
    EXPECT_EQ(frames.back().header.command, CMD_START_APP);

    const auto& panel = *loader.view.panels[0];
    ASSERT_FALSE(panel.progress.empty());
    EXPECT_EQ(panel.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(panel.progress.begin(), panel.progress.end()));
    EXPECT_EQ(panel.status, "Обновление прошивки завершено успешно");
    EXPECT_EQ(panel.statusStyle, llSuccess);
    EXPECT_TRUE(panel.writeEnabled);
    EXPECT_EQ(loader.Devices()[0]->writeThread, nullptr);
}

TEST(Write, CommandSetsFollowProcessorImageAndBootloader) {
    TSimWorld world(R"({"devices": [
      {"serial": "601", "library": "ftdi", "firmware": "", "bootloader": "ZVOM-1.03", "processor": "0x0001BC40"},
      {"serial": "602", "library": "om", "firmware": "", "bootloader": "ZVOM-1.04", "processor": "0x0001BC40"},
      {"serial": "603", "library": "ftdi", "firmware": "", "bootloader": "ZVOM-1.00 TR", "processor": "0x11112222"}]})");
    std::vector<uint8_t> payload(0x2000);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i % 251);
    TLoaderHarness loader;
    loader.core.SetExternFirmware(true);
    loader.core.SetFirmwareFile(
        WriteFile(world.dir / "zvom.eraw", PackFirmwareImage("ZVOM-3.2", std::nullopt, payload)));
    const size_t from = SearchAndWriteAll(loader);
    const auto lines = MaskedLines(loader, from);
    EXPECT_TRUE(Contains(lines, "Прибор     603\tНеизвестный идентификатор 11112222"));
    EXPECT_TRUE(Contains(lines, "Прибор     603\tПрошивается сектора с 4 по 5"));
    EXPECT_TRUE(Contains(lines, "Прибор     601\tПрошивается сектора с 4 по 5"));

    struct Expect {
        const char* serial;
        uint16_t erase, write;
    };
    for (const Expect& e :
         {Expect{"601", CMD_ERASE_SECTOR, CMD_WRITE_SECTOR}, Expect{"602", CMD_ERASE_SECTOR_V2, CMD_WRITE_SECTOR_V2},
          Expect{"603", CMD_ERASE_SECTOR, CMD_WRITE_SECTOR}}) {
        std::vector<uint16_t> commands;
        for (uint16_t c : Commands(SentFrames(world.trace, e.serial)))
            if (c != CMD_READ_FW_VERSION && c != CMD_READ_BOOT_VERSION && c != CMD_READ_PROCESSOR_ID)
                commands.push_back(c);
        std::vector<uint16_t> expected;
        for (int sector = 0; sector < 2; ++sector) {
            expected.push_back(e.erase);
            expected.insert(expected.end(), 8, e.write);
        }
        expected.push_back(CMD_FLASH_DONE);
        EXPECT_EQ(commands, expected) << e.serial;
        const auto flash = world.Flash(e.serial);
        ASSERT_GE(flash.size(), 0x6000u);
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), flash.begin() + 0x4000)) << e.serial;
    }
}

TEST(Write, ProtectedSectorsCountAsWritten) {
    TSimWorld world(R"({"devices": [{"serial": "611", "library": "om", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04", "processor": "0x26013F37", "protectedSectors": [11]}]})");
    TLoaderHarness loader;
    const size_t from = SearchAndWriteAll(loader);
    const auto lines = MaskedLines(loader, from);
    const std::string p = "Прибор     611\t";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), p + "(T) Сектор защищен от стирания"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), p + "(T) Сектор защищен от записи"), 8);
    EXPECT_TRUE(Contains(lines, p + "(T) Сектор 11 записан"));
    EXPECT_EQ(lines.back(), p + "(T)Прошивка завершена успешно");
    const auto flash = world.Flash("611");
    EXPECT_TRUE(std::all_of(flash.begin() + 0xB000, flash.begin() + 0xC000, [](uint8_t b) { return b == 0xFF; }));
    // Without the start option only the done frame closes the run.
    EXPECT_EQ(SentFrames(world.trace, "611").back().header.command, CMD_FLASH_DONE);
}

TEST(Write, ALockedDeviceIsReportedAsLocked) {
    TSimWorld world(R"({"devices": [{"serial": "621", "library": "ftdi", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04", "processor": "0x26013F37", "locked": true}]})");
    TLoaderHarness loader;
    const size_t from = SearchAndWriteAll(loader);
    const auto lines = MaskedLines(loader, from);
    EXPECT_TRUE(Contains(lines, "Прибор     621\t(T) Стирание сектора 10: Ошибка!"));
    EXPECT_EQ(lines.back(), "Прибор     621\tУстановлена блокировка изменения настроек");
    EXPECT_EQ(loader.view.levels.back(), llError);
    EXPECT_EQ(loader.view.panels[0]->status, "Прибор заблокирован");
    EXPECT_EQ(loader.view.panels[0]->statusStyle, llError);
    EXPECT_EQ(SentFrames(world.trace, "621").back().header.command, CMD_FLASH_FAILED);
}

TEST(Write, AShortReplyIsSentThreeTimesThenFails) {
    TSimWorld world(R"({"devices": [{"serial": "631", "library": "ftdi", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04", "processor": "0x26013F37",
        "faults": [{"kind": "shorten", "reply": 1, "command": 6, "bytes": 13, "count": 3}]}]})");
    TLoaderHarness loader;
    const size_t from = SearchAndWriteAll(loader);
    size_t erases = 0;
    for (const auto& f : SentFrames(world.trace, "631")) erases += f.header.command == CMD_ERASE_SECTOR_V2;
    EXPECT_EQ(erases, 3u);
    const auto lines = MaskedLines(loader, from);
    EXPECT_TRUE(Contains(lines, "Прибор     631\t(T) Стирание сектора 10: Ошибка!"));
    EXPECT_EQ(lines.back(), "Прибор     631\t(T)Ошибка 5 при прошивке. Последний код ответа прибора 0");
    EXPECT_EQ(loader.view.panels[0]->status, "Ошибка 5 при обновлении прошивки");
}

TEST(Write, AWrongEchoFailsAtOnceAndNamesTheReply) {
    TSimWorld world(R"({"devices": [{"serial": "641", "library": "om", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04", "processor": "0x26013F37",
        "faults": [{"kind": "wrongEcho", "reply": 1, "command": 7}]}]})");
    TLoaderHarness loader;
    const size_t from = SearchAndWriteAll(loader);
    size_t writes = 0;
    for (const auto& f : SentFrames(world.trace, "641")) writes += f.header.command == CMD_WRITE_SECTOR_V2;
    EXPECT_EQ(writes, 1u);
    const auto lines = MaskedLines(loader, from);
    EXPECT_TRUE(Contains(lines, "Прибор     641\t(T) Ошибка при записи сектора 10 (14, 14, 128, 11, 40960)"));
    EXPECT_EQ(lines.back(), "Прибор     641\t(T)Ошибка 6 при прошивке. Последний код ответа прибора 128");
}

TEST(Write, RefusedPlansNeverOpenTheDevice) {
    TSimWorld world(R"({"devices": [
      {"serial": "651", "library": "ftdi", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.04", "processor": "0x0001BC40"},
      {"serial": "652", "library": "om", "firmware": "ZVOM-3.2", "bootloader": "ZVOM-1.03", "processor": "0x26013F37"}]})");
    TLoaderHarness loader;
    const size_t from = SearchAndWriteAll(loader);
    const auto lines = MaskedLines(loader, from);
    EXPECT_TRUE(Contains(lines, "Прибор     651\t(T)Ошибка 3 при прошивке. Последний код ответа прибора 0"));
    EXPECT_TRUE(Contains(lines, "Прибор     652\tПрибор не совместим с данной версией прошивки"));
    EXPECT_EQ(loader.view.panels[1]->status, "Прошивка и прибор не совместимы");
    for (const char* serial : {"651", "652"}) EXPECT_EQ(CountEvents(world.trace, serial, "open"), 1u) << serial;
}

TEST(Write, AnImageWithoutDataIsCodeFour) {
    TSimWorld world(R"({"devices": [{"serial": "661", "library": "ftdi", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04", "processor": "0x26013F37"}]})");
    TLoaderHarness loader;
    loader.core.SetExternFirmware(true);
    loader.core.SetFirmwareFile(WriteFile(
        world.dir / "empty.eraw", PackFirmwareImage("ZVMB-3.2", std::nullopt, std::vector<uint8_t>(4096, 0xFF))));
    const size_t from = SearchAndWriteAll(loader);
    EXPECT_EQ(MaskedLines(loader, from).back(),
              "Прибор     661\t(T)Ошибка 4 при прошивке. Последний код ответа прибора 0");
    EXPECT_EQ(CountEvents(world.trace, "661", "open"), 1u);
}

TEST(Write, AFailedOpenIsCodeSeven) {
    TSimWorld world(R"({"devices": [{"serial": "671", "library": "ftdi", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04", "processor": "0x26013F37"}]})");
    TLoaderHarness loader;
    loader.Search();
    TSimWorld refusing(R"({"devices": [{"serial": "671", "library": "ftdi", "faults": [{"kind": "refuseOpen"}]}]})");
    const size_t from = loader.view.lines.size();
    loader.view.livePanels[0]->Click();
    loader.WaitForWrites();
    const auto lines = MaskedLines(loader, from);
    EXPECT_TRUE(Contains(lines, "Прибор     671\tНе удалось открыть устройство"));
    EXPECT_EQ(lines.back(), "Прибор     671\t(T)Ошибка 7 при прошивке. Последний код ответа прибора 0");
    EXPECT_TRUE(SentFrames(refusing.trace, "671").empty());
}

TEST(Write, AStoppedWriteIsNotASuccess) {
    // The listing fails while the device writes: the search takes it for gone
    // and stops its write at the next sector, though the device still answers.
    TSimWorld world(R"({"ftdi": {"failListing": [2]}, "devices": [{"serial": "681", "library": "ftdi",
        "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.04", "processor": "0x26013F37", "timing": {"partMs": 2}}]})");
    TLoaderHarness loader;
    loader.Search();
    const size_t from = loader.view.lines.size();
    loader.view.livePanels[0]->Click();
    loader.queue.RunUntil(
        [&] { return !loader.view.panels[0]->progress.empty() && loader.view.panels[0]->progress.back() >= 5; }, 30s);
    loader.Search();
    loader.WaitForWrites();
    const auto lines = MaskedLines(loader, from);
    EXPECT_TRUE(Contains(lines, "Прибор -------\tОшибка в драйвере"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Прибор     681\t(T)Ошибка 10 при прошивке. Последний код ответа прибора 128");
    EXPECT_EQ(lines.back(), "Прибор     681\tПрибор отключен");
    EXPECT_FALSE(Contains(lines, "Прибор     681\t(T)Прошивка завершена успешно"));
    EXPECT_TRUE(loader.core.Devices().Empty());
    EXPECT_TRUE(loader.view.Shown().empty());
    EXPECT_EQ(SentFrames(world.trace, "681").back().header.command, CMD_FLASH_FAILED);
}

TEST(Write, ADeviceUnpluggedDuringItsWriteGoesAway) {
    TSimWorld world(R"({"devices": [{"serial": "691", "library": "om", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04", "processor": "0x26013F37", "timing": {"partMs": 2}}]})");
    TLoaderHarness loader;
    loader.Search();
    const size_t from = loader.view.lines.size();
    loader.view.livePanels[0]->Click();
    loader.queue.RunUntil(
        [&] { return !loader.view.panels[0]->progress.empty() && loader.view.panels[0]->progress.back() >= 5; }, 30s);
    world.Unplug("691");
    loader.Search();
    loader.WaitForWrites();
    const auto lines = MaskedLines(loader, from);
    EXPECT_EQ(lines.back(), "Прибор     691\tПрибор отключен");
    EXPECT_FALSE(Contains(lines, "Прибор     691\t(T)Прошивка завершена успешно"));
    EXPECT_TRUE(loader.core.Devices().Empty());
    EXPECT_TRUE(loader.view.panels[0]->destroyed);
}

TEST(Write, AutomaticWriteOfTwoDevicesAtOnceOverBothLibraries) {
    TSimWorld world(R"({"devices": [
      {"serial": "701", "library": "ftdi", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.04", "processor": "0x26013F37"},
      {"serial": "702", "library": "ftdi", "mode": "application", "firmware": "ZVOM-3.2"},
      {"serial": "703", "library": "om", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.04", "processor": "0x26013F37"}]})");
    TLoaderHarness loader;
    loader.core.Options().autoWrite = true;
    loader.Search();
    // The write starts right after the device's own lines.
    const auto lines = MaskedLines(loader);
    auto at = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
    EXPECT_EQ(at("Прибор     701\tНачинаем прошивку прибора"), at("Прибор     701\tРежим работы - Загрузчик") + 1);
    EXPECT_EQ(loader.core.WritesRunning(), 2u);
    loader.WaitForWrites();
    for (const char* serial : {"701", "703"}) EXPECT_TRUE(HoldsBuiltInImage(world.Flash(serial))) << serial;
    EXPECT_EQ(loader.view.panels[0]->status, "Обновление прошивки завершено успешно");
    EXPECT_EQ(loader.view.panels[1]->status, "Отключите прибор и подключите заново.");
    EXPECT_EQ(loader.view.panels[2]->status, "Обновление прошивки завершено успешно");
    // The two ran side by side: each one's frames began before the other's ended.
    const auto a = SentFrames(world.trace, "701"), b = SentFrames(world.trace, "703");
    EXPECT_LT(a.front().micros, b.back().micros);
    EXPECT_LT(b[3].micros, a.back().micros);
}

TEST(Write, ButtonsOfApplicationModeOrBusyDevicesDoNothing) {
    TSimWorld world(R"({"devices": [
      {"serial": "711", "library": "ftdi", "mode": "application", "firmware": "ZVOM-3.2"},
      {"serial": "712", "library": "ftdi", "firmware": "ZVMB-3.1", "bootloader": "ZVMB-1.04", "processor": "0x26013F37"}]})");
    TLoaderHarness loader;
    loader.Search();
    const size_t from = loader.view.lines.size();
    loader.view.livePanels[0]->Click();
    EXPECT_EQ(loader.view.lines.size(), from);
    EXPECT_EQ(loader.core.WritesRunning(), 0u);
    loader.view.livePanels[1]->Click();
    loader.view.livePanels[1]->Click();
    EXPECT_EQ(loader.core.WritesRunning(), 1u);
    EXPECT_FALSE(loader.view.panels[1]->writeEnabled);
    loader.WaitForWrites();
    EXPECT_TRUE(loader.view.panels[1]->writeEnabled);
}

TEST(Write, TheImageFileIsReadAgainForEveryWrite) {
    TSimWorld world(R"({"devices": [{"serial": "721", "library": "ftdi", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04", "processor": "0x26013F37"}]})");
    TLoaderHarness loader;
    loader.core.SetExternFirmware(true);
    loader.core.SetFirmwareFile(WriteFile(
        world.dir / "fw.eraw", PackFirmwareImage("ZVMB-3.2", std::nullopt, std::vector<uint8_t>(4096, 0x01))));
    SearchAndWriteAll(loader);
    WriteFile(world.dir / "fw.eraw", PackFirmwareImage("ZVMB-3.3", std::nullopt, std::vector<uint8_t>(4096, 0x02)));
    const size_t from = loader.view.lines.size();
    loader.view.livePanels[0]->Click();
    loader.WaitForWrites();
    const auto lines = MaskedLines(loader, from);
    EXPECT_TRUE(Contains(lines, "Прибор -------\tЗагружена прошивка из файла \"" + loader.core.FirmwareFile() + "\""));
    EXPECT_TRUE(Contains(lines, "Прибор -------\tВерсия прошивки \"ZVMB-3.3\""));
    EXPECT_EQ(loader.view.firmwareVersion, "ZVMB-3.3");
    EXPECT_EQ(world.Flash("721")[0xA000], 0x02);
}

TEST(Write, BadImageFilesEndTheWriteWithCodeOne) {
    TSimWorld world(R"({"devices": [{"serial": "731", "library": "ftdi", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04", "processor": "0x26013F37"}]})");
    TLoaderHarness loader;
    loader.Search();
    loader.core.SetExternFirmware(true);
    auto good = PackFirmwareImage("ZVMB-3.2", std::nullopt, std::vector<uint8_t>(4096, 0x01));
    auto badSum = good;
    badSum[100] ^= 1;
    const auto huge = world.dir / "huge.eraw";
    std::filesystem::resize_file(WriteFile(huge, {}), 65 * 1024 * 1024);  // sparse: never read
    struct Case {
        std::string file;
        std::vector<std::string> messages;
    };
    const std::string missing = (world.dir / "missing.eraw").string();
    for (const Case& c :
         {Case{missing, {"Загрузка прошивки: Файл " + missing + " не найден", "Ошибка загрузки прошивки"}},
          Case{WriteFile(world.dir / "sum.eraw", badSum),
               {"Ошибка контрольной суммы файла прошивки", "Ошибка загрузки прошивки"}},
          Case{WriteFile(world.dir / "short.eraw", {1, 2, 3}),
               {"Не верный размер файла прошивки", "Ошибка загрузки прошивки"}},
          Case{huge.string(), {"Не верный размер файла прошивки", "Ошибка загрузки прошивки"}}}) {
        loader.core.SetFirmwareFile(c.file);
        const size_t from = loader.view.lines.size();
        loader.view.livePanels[0]->Click();
        loader.WaitForWrites();
        std::vector<std::string> expected = {"Прибор     731\tНачинаем прошивку прибора"};
        for (const auto& m : c.messages) expected.push_back("Прибор -------\t" + m);
        expected.push_back("Прибор     731\t(T)Ошибка 1 при прошивке. Последний код ответа прибора 0");
        EXPECT_EQ(MaskedLines(loader, from), expected) << c.file;
    }
    EXPECT_EQ(CountEvents(world.trace, "731", "open"), 1u);
}

TEST(Write, AnOversizedPayloadEndsTheWriteWithCodeOne) {
    TSimWorld world(R"({"devices": [{"serial": "741", "library": "om", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04", "processor": "0x26013F37"}]})");
    TLoaderHarness loader;
    loader.core.SetExternFirmware(true);
    loader.core.SetFirmwareFile(
        WriteFile(world.dir / "big.eraw",
                  PackFirmwareImage("ZVMB-3.2", std::nullopt, std::vector<uint8_t>(MAX_FIRMWARE_BLOCK_SIZE + 1, 1))));
    const size_t from = SearchAndWriteAll(loader);
    EXPECT_EQ(MaskedLines(loader, from),
              (std::vector<std::string>{"Прибор     741\tНачинаем прошивку прибора",
                                        "Прибор     741\t(T)Ошибка 1 при прошивке. Последний код ответа прибора 0"}));
    EXPECT_EQ(CountEvents(world.trace, "741", "open"), 1u);
}

// A driver call that does not come back in time: the write's first part waits
// 1.5 s for its reply, longer than shutdown will wait. Shutdown leaves the
// worker with its entry, and the worker, once the call returns, finds the
// hand-over closed: it reaches neither the core nor the window, both gone by
// then, and ends on its own, closing its channel.
TEST(Write, AWorkerLeftAtTheShutdownDeadlineEndsOnItsOwnWithoutTheCore) {
    TSimWorld world(R"({"devices": [{"serial": "751", "library": "ftdi", "firmware": "ZVMB-3.1",
        "bootloader": "ZVMB-1.04", "processor": "0x26013F37", "faults": [{"kind": "hang", "read": 5, "ms": 1500}]}]})");
    auto loader = std::make_unique<TLoaderHarness>();
    loader->core.SetShutdownTimeout(300ms);
    loader->Search();
    loader->view.livePanels[0]->Click();
    // The part is logged before it is sent; its reply then hangs.
    ASSERT_TRUE(loader->queue.RunUntil(
        [&] { return Contains(MaskedLines(*loader), "Прибор     751\t(T)\tЧасть 0 из 8"); }, 30s));

    const auto start = std::chrono::steady_clock::now();
    loader->Shutdown();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 250ms);
    EXPECT_LT(waited, 1000ms) << "shutdown waited for the driver call";
    EXPECT_EQ(loader->Lines().back(), "Прибор     751\tПрошивка не остановилась за 300 мс; поток оставлен");
    ASSERT_EQ(loader->core.LeftWrites().size(), 1u);
    EXPECT_EQ(loader->core.LeftWrites()[0].serialNumber, 751);
    EXPECT_TRUE(loader->core.Devices().Empty());
    EXPECT_TRUE(loader->view.panels[0]->destroyed) << "the panel goes with the window";
    // Opened for the search and closed again, then opened for the write.
    EXPECT_EQ(CountEvents(world.trace, "751", "open"), 2u);
    EXPECT_EQ(CountEvents(world.trace, "751", "close"), 1u) << "its channel stays with the worker";
    loader.reset();

    // The call returns; the worker stops before its next sector and closes.
    EXPECT_TRUE(testing_support::WaitUntil([&] { return CountEvents(world.trace, "751", "close") == 2; }, 10s));
    const auto frames = SentFrames(world.trace, "751");
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().header.command, CMD_FLASH_FAILED);
}

}  // namespace
}  // namespace zv
