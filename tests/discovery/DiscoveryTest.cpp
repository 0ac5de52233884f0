// Device searches end to end: the core's discovery thread and registry over
// the real driver binding, against simulated devices.

#include <gtest/gtest.h>

#include <regex>

#include "support/LoaderHarness.h"
#include "support/SimWorld.h"
#include "support/TraceReader.h"

namespace zv {
namespace {

using testing_support::TLoaderHarness;
using testing_support::TSimWorld;
using namespace std::chrono_literals;

const char* kThreeDevices = R"({"devices": [
  {"serial": "1001", "library": "ftdi", "mode": "application", "firmware": "ZVOM-3.2"},
  {"serial": "1002", "library": "ftdi", "mode": "bootloader", "firmware": "ZVMB-3.1",
   "bootloader": "ZVMB-1.04 TR", "processor": "0x26013F37"},
  {"serial": "2001", "library": "om", "mode": "bootloader", "firmware": "ZVMB-3.2",
   "bootloader": "ZVMB-1.05", "processor": "0x12345678"}]})";

TEST(Discovery, FindsBothLibrariesInBothModesAndRemovesWhatGoes) {
    TSimWorld world(kThreeDevices);
    TLoaderHarness loader;
    loader.Search();
    EXPECT_EQ(loader.Lines(), (std::vector<std::string>{
                                  "Прибор    1001\tОтправляем команду запуска загрузчика",
                                  "Прибор    1001\tКоманда запуска загрузчика обработана. Переподключите устройство.",
                                  "Прибор    1001\tПрибор подключен",
                                  "Прибор    1001\tВерсия прошивки ZVOM-3.2",
                                  "Прибор    1001\tИдентификатор процессора 0x00000000",
                                  "Прибор    1001\tРежим работы - Прошивка",
                                  "Прибор    1002\tПрибор подключен",
                                  "Прибор    1002\tВерсия прошивки ZVMB-3.1",
                                  "Прибор -------\tВерсия загрузчика ZVMB-1.4TR",
                                  "Прибор    1002\tИдентификатор процессора 0x26013F37",
                                  "Прибор    1002\tРежим работы - Загрузчик",
                                  "Прибор    2001\tПрибор подключен",
                                  "Прибор    2001\tВерсия прошивки ZVMB-3.2",
                                  "Прибор -------\tВерсия загрузчика ZVMB-1.5",
                                  "Прибор    2001\tИдентификатор процессора 0x12345678",
                                  "Прибор    2001\tРежим работы - Загрузчик",
                              }));
    auto panels = loader.view.Shown();
    ASSERT_EQ(panels.size(), 3u);
    EXPECT_EQ(panels[0]->position, 1);
    EXPECT_EQ(panels[1]->position, 2);
    EXPECT_EQ(panels[2]->position, 3);
    EXPECT_EQ(panels[0]->serial, "1001");
    EXPECT_EQ(panels[0]->firmware, "ZVOM-3.2");
    EXPECT_EQ(panels[0]->bootloader, "");
    EXPECT_EQ(panels[0]->status, "Отключите прибор и подключите заново.");
    EXPECT_EQ(panels[0]->statusStyle, llSuccess);
    EXPECT_FALSE(panels[0]->writeEnabled);
    EXPECT_EQ(panels[1]->bootloader, "ZVMB-1.4TR");
    EXPECT_TRUE(panels[1]->writeEnabled);
    EXPECT_TRUE(panels[2]->writeEnabled);
    EXPECT_EQ(panels[1]->status, "Прибор подключен");
    EXPECT_EQ(loader.view.deviceCount, 3);
    const TDevEntry& om = *loader.Devices()[2];
    EXPECT_EQ(om.transport, TRANSPORT_OM);
    EXPECT_EQ(om.deviceIndex, 0);
    EXPECT_TRUE(loader.Devices()[0]->replugRequired);

    // Unplug the middle one: it goes, the lower one moves up.
    world.Unplug("1002");
    const size_t before = loader.view.lines.size();
    loader.Search();
    EXPECT_EQ(loader.Lines(before), std::vector<std::string>{"Прибор    1002\tПрибор отключен"});
    panels = loader.view.Shown();
    ASSERT_EQ(panels.size(), 2u);
    EXPECT_EQ(panels[0]->serial, "1001");
    EXPECT_EQ(panels[1]->serial, "2001");
    EXPECT_EQ(loader.view.deviceCount, 2);

    // Known devices are not identified again: the application-mode device is
    // not sent the bootloader start a second time.
    const size_t again = loader.view.lines.size();
    loader.Search();
    EXPECT_TRUE(loader.Lines(again).empty());
}

TEST(Discovery, AnEmptySearchLeavesTheAreaAtItsMinimum) {
    TSimWorld world(R"({"devices": [{"serial": "1", "library": "om", "plugged": false}]})");
    TLoaderHarness loader;
    loader.Search();
    EXPECT_TRUE(loader.view.lines.empty());
    EXPECT_EQ(loader.view.deviceCount, 0);
}

void ExpectSearchError(const std::vector<std::string>& lines, int code) {
    ASSERT_FALSE(lines.empty());
    const std::regex pattern("Прибор -------\\t\\( *[0-9]+\\)Ошибка " + std::to_string(code) +
                             " поиске новых устройств\\. Последний код ответа прибора 0");
    EXPECT_TRUE(std::regex_match(lines.back(), pattern)) << lines.back();
}

TEST(Discovery, AFailedOpenAddsNothingAndKeepsTheMarks) {
    TSimWorld world(R"({"devices": [
      {"serial": "11", "library": "ftdi", "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"},
      {"serial": "12", "library": "ftdi", "plugged": false, "faults": [{"kind": "refuseOpen", "count": 1}],
       "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"},
      {"serial": "13", "library": "om", "plugged": false, "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"}]})");
    TLoaderHarness loader;
    loader.Search();
    ASSERT_EQ(loader.view.Shown().size(), 1u);

    world.Unplug("11");
    world.Plug("12");
    world.Plug("13");
    size_t from = loader.view.lines.size();
    loader.Search();
    ExpectSearchError(loader.Lines(from), ErrDeviceOpen);
    EXPECT_EQ(loader.Lines(from).size(), 1u);   // no line of the device that follows
    ASSERT_EQ(loader.view.Shown().size(), 1u);  // 11 stays until a search without error
    EXPECT_TRUE(loader.Devices()[0]->disconnected);
    EXPECT_EQ(loader.view.deviceCount, 1);

    from = loader.view.lines.size();
    loader.Search();
    const auto lines = loader.Lines(from);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Прибор      11\tПрибор отключен");
    const auto shown = loader.view.Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0]->serial, "12");
    EXPECT_EQ(shown[1]->serial, "13");
    EXPECT_EQ(shown[0]->position, 1);  // counted after 11 left
}

TEST(Discovery, ADeviceThatAnswersNothingIsErrorEight) {
    TSimWorld world(R"({"devices": [{"serial": "21", "library": "om", "mode": "silent"}]})");
    TLoaderHarness loader;
    loader.Search();
    ExpectSearchError(loader.Lines(), ErrNoIdentification);
    EXPECT_TRUE(loader.view.Shown().empty());
    EXPECT_EQ(loader.view.deviceCount, -1);  // untouched by a failed search
}

TEST(Discovery, ApplicationRepliesThatAreNoVersion) {
    // Seven bytes are not read at all; four such answers are error 8.
    TSimWorld world(R"({"devices": [{"serial": "31", "library": "ftdi", "mode": "application",
                         "versionReply": "ZVOM-3."}]})");
    TLoaderHarness loader;
    loader.Search();
    ExpectSearchError(loader.Lines(), ErrNoIdentification);
}

TEST(Discovery, AnUnknownApplicationCountsAsIdentified) {
    TSimWorld world(R"({"devices": [{"serial": "41", "library": "ftdi", "mode": "application",
                         "versionReply": "Unknown\u0000", "startReply": "START ERROR\r\n"}]})");
    TLoaderHarness loader;
    loader.Search();
    const auto lines = loader.Lines();
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Прибор      41\tОтправляем команду запуска загрузчика",
                         "Прибор      41\tОшибка запуска загрузчика",
                         "Прибор      41\tПрибор подключен",
                         "Прибор      41\tВерсия прошивки Empty",
                         "Прибор      41\tИдентификатор процессора 0x00000000",
                         "Прибор      41\tРежим работы - Прошивка",
                     }));
    ASSERT_EQ(loader.view.Shown().size(), 1u);
    EXPECT_EQ(loader.view.Shown()[0]->status, "Прибор подключен");  // no replug asked
    EXPECT_FALSE(loader.Devices()[0]->replugRequired);
}

TEST(Discovery, BootloaderStartAnswers) {
    TSimWorld world(R"({"devices": [
      {"serial": "51", "library": "ftdi", "mode": "application", "firmware": "ZVOM-3.2", "startReply": "STARTED\r\n"},
      {"serial": "52", "library": "ftdi", "mode": "application", "firmware": "ZVOM-3.2", "startReply": "STARTE"},
      {"serial": "53", "library": "om", "mode": "application", "firmware": "ZVOM-3.2", "startReply": null}]})");
    TLoaderHarness loader;
    loader.Search();
    const auto lines = loader.Lines();
    auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("Прибор      51\tКоманда запуска загрузчика обработана. Переподключите устройство."));
    EXPECT_TRUE(has("Прибор      52\tНеизвестный ответ прибора: STARTE"));
    EXPECT_TRUE(has("Прибор      53\tПрибор не ответил на команду запуска загрузчика."));
    ASSERT_EQ(loader.core.Devices().Count(), 3u);
    EXPECT_TRUE(loader.Devices()[0]->replugRequired);
    EXPECT_FALSE(loader.Devices()[1]->replugRequired);
    EXPECT_FALSE(loader.Devices()[2]->replugRequired);

    // After a replug the device that accepted runs its bootloader.
    world.Unplug("51");
    loader.Search();
    world.Plug("51");
    loader.Search();
    TDevEntry* again = loader.core.Devices().FindBySerial(51);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->inBootloader);
}

TEST(Discovery, ABootloaderReplyWithoutPayloadIsNoBootloader) {
    // The probe's answer has status 128 but no payload: the text query
    // follows, which a bootloader never answers.
    TSimWorld world(R"({"devices": [{"serial": "55", "library": "om", "firmware": "ZVMB-3.2",
        "bootloader": "ZVMB-1.04", "faults": [{"kind": "noPayload", "reply": 1, "command": 4}]}]})");
    TLoaderHarness loader;
    loader.Search();
    ExpectSearchError(loader.Lines(), ErrNoIdentification);
    size_t queries = 0;
    for (const auto& event : zvsim::LoadTrace(world.trace.string()))
        queries += event.kind == "write" && std::string(event.bytes.begin(), event.bytes.end()) == "FL_READ_VERSION$";
    EXPECT_EQ(queries, 4u);
}

TEST(Discovery, AShortProcessorReplyIsReported) {
    TSimWorld world(R"({"devices": [{"serial": "61", "library": "ftdi", "firmware": "ZVMB-3.2",
        "bootloader": "ZVMB-1.04", "faults": [{"kind": "shorten", "reply": 1, "command": 10, "bytes": 13}]}]})");
    TLoaderHarness loader;
    loader.Search();
    const auto lines = loader.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Прибор -------\tнет ответа на запрос идентификатора");
    ASSERT_EQ(loader.core.Devices().Count(), 1u);
    EXPECT_EQ(loader.Devices()[0]->processorId, 0u);
    EXPECT_TRUE(loader.Devices()[0]->inBootloader);
}

TEST(Discovery, AKnownDeviceListedTwiceIsAddedOnceMore) {
    TSimWorld world(R"({"devices": [{"serial": "71", "library": "ftdi", "firmware": "ZVMB-3.2",
        "bootloader": "ZVMB-1.04"}]})");
    TLoaderHarness loader;
    loader.Search();
    ASSERT_EQ(loader.core.Devices().Count(), 1u);
    // Listed twice now: the first listing matches the known entry, the
    // second is a new device with the same number.
    TSimWorld twice(R"({"devices": [{"serial": "71", "library": "ftdi", "firmware": "ZVMB-3.2",
        "bootloader": "ZVMB-1.04", "listings": 2}]})");
    loader.Search();
    EXPECT_EQ(loader.core.Devices().Count(), 2u);
    EXPECT_EQ(loader.view.Shown().size(), 2u);
}

TEST(Discovery, EmptyFtdiDescriptionsAreWaitedFor) {
    TSimWorld world(R"({"ftdi": {"emptyDescriptions": 3}, "devices": [
      {"serial": "81", "library": "ftdi", "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"},
      {"serial": "82", "library": "ftdi", "description": "zelvia", "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"},
      {"serial": "83", "library": "ftdi", "description": "Zelvia ", "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"}]})");
    TLoaderHarness loader;
    const auto start = std::chrono::steady_clock::now();
    loader.Search();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    // Only the exact product description counts.
    ASSERT_EQ(loader.core.Devices().Count(), 1u);
    EXPECT_EQ(loader.Devices()[0]->serialNumber, 81);
}

TEST(Discovery, AFailedListingMarksThatLibrarysDevicesAsGone) {
    TSimWorld world(R"({"ftdi": {"failListing": [2]}, "devices": [
      {"serial": "91", "library": "ftdi", "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"},
      {"serial": "92", "library": "om", "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"}]})");
    TLoaderHarness loader;
    loader.Search();
    ASSERT_EQ(loader.core.Devices().Count(), 2u);
    const size_t from = loader.view.lines.size();
    loader.Search();
    EXPECT_EQ(loader.Lines(from),
              (std::vector<std::string>{"Прибор -------\tОшибка в драйвере", "Прибор      91\tПрибор отключен"}));
    ASSERT_EQ(loader.core.Devices().Count(), 1u);
    EXPECT_EQ(loader.Devices()[0]->serialNumber, 92);
    // The next listing works again and the device is new once more.
    loader.Search();
    EXPECT_EQ(loader.core.Devices().Count(), 2u);
}

TEST(Discovery, ShutdownDoesNotWaitOutASilentDevice) {
    TSimWorld world(R"({"devices": [{"serial": "99", "library": "ftdi", "mode": "silent"}]})");
    TLoaderHarness loader;
    loader.core.StartDeviceSearch();
    loader.queue.RunUntil([] { return false; }, 300ms);  // inside the text query's 2 s wait
    const auto start = std::chrono::steady_clock::now();
    loader.Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_FALSE(loader.core.Searching());
    EXPECT_TRUE(loader.core.Devices().Empty());
}

}  // namespace
}  // namespace zv
