// The window: start-up, message boxes, the discovery timer, the window
// messages, settings and shutdown.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>

#include "core/IniFile.h"
#include "platform/InstanceLock.h"
#include "platform/MessageEndpoint.h"
#include "support/Process.h"
#include "support/SimWorld.h"
#include "support/WindowFixture.h"

namespace zv {
namespace {

using namespace std::chrono_literals;
using testing_support::MainFormTest;
using testing_support::PaneText;
using testing_support::Serve;
using testing_support::ServeUntil;
using testing_support::TSimWorld;

TEST_F(MainFormTest, EmbeddedModeHidesTheFileControlsAndEmptiesTheFileBox) {
    WriteSettings("[COMMON]\nLastFile=/fw/last.eraw\n[FILES]\n0=/fw/a.eraw\n");
    auto form = Show();
    EXPECT_FALSE(form->edFWFile->isVisible());
    EXPECT_FALSE(form->btnFwOpen->isVisible());
    EXPECT_FALSE(form->btnFwLoad->isVisible());
    EXPECT_TRUE(form->Label1->isVisible());
    EXPECT_EQ(form->edFWFile->currentText(), "");
    EXPECT_EQ(form->lblFileVer->text(), "ZVMB-3.2");
    EXPECT_EQ(form->lblFirmwDate->text(), "30-06-2014 17:52:29");
    EXPECT_TRUE(PaneText(*form).contains("Загружена прошивка из ресурсов"));
    // The built-in image leaves the history alone.
    ASSERT_EQ(form->edFWFile->count(), 1);
    EXPECT_EQ(form->edFWFile->itemText(0), "/fw/a.eraw");
    EXPECT_EQ(form->windowTitle(), "Обновление прошивки Zelvia");
    EXPECT_EQ(form->objectName(), "TMainForm");
}

TEST_F(MainFormTest, FileModeShowsTheFileControlsAndTheCommandLineFileWins) {
    WriteSettings("[COMMON]\nLastFile=/fw/last.eraw\n");
    auto form = Show(Environment({"-ExternFirmware"}));
    EXPECT_TRUE(form->edFWFile->isVisible());
    EXPECT_TRUE(form->btnFwOpen->isVisible());
    EXPECT_TRUE(form->btnFwLoad->isVisible());
    EXPECT_EQ(form->edFWFile->currentText(), "/fw/last.eraw");
    form.reset();

    const auto image = dir / "Image.ERAW";
    std::ofstream(image) << "not an image";
    auto named = Show(Environment({image.string()}));
    EXPECT_TRUE(named->FExternFirmware());
    EXPECT_EQ(named->edFWFile->currentText().toStdString(), image.string());
    EXPECT_TRUE(PaneText(*named).contains("Ошибка загрузки прошивки"));
}

TEST_F(MainFormTest, MissingLibrariesAreReportedInOrderAndWithNeitherTheWindowCloses) {
    auto form = Show(Environment({}, false, false));
    EXPECT_EQ(prompts, (std::vector<std::string>{
                           "Драйвер устройств FTDI не установлен.", "Драйвер устройств OM не установлен.",
                           "Перед первым запуском программы подключите устройство к USB и установите драйвер."}));
    EXPECT_TRUE(ServeUntil([&] { return !form->isVisible(); }, 5s)) << "the window stays open";
    form.reset();
    EXPECT_NE(ReadSettings().find("MainForm="), std::string::npos) << "settings are still written";

    prompts.clear();
    auto ftdiMissing = Show(Environment({}, false, true));
    EXPECT_EQ(prompts, (std::vector<std::string>{"Драйвер устройств FTDI не установлен."}));
    Serve(50ms);
    EXPECT_TRUE(ftdiMissing->isVisible());
}

TEST_F(MainFormTest, ABurstOfDeviceChangesStartsOneSearchAfterTheLast) {
    TSimWorld world(R"({"devices": []})");
    auto form = ShowSettled();
    int fired = 0;
    bool searchStarted = false;
    QObject::connect(form->DevTimer, &QTimer::timeout, [&] {
        ++fired;
        searchStarted = form->Core().Searching();
    });
    form->HandleWindowMessage({WM_DEVICECHANGE, 0x8000, 0});  // an arrival notice: nothing
    EXPECT_FALSE(form->DevTimer->isActive());
    // Each change of the burst starts the timer again at its whole interval.
    for (int i = 0; i < 3; ++i) {
        form->HandleWindowMessage({WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0});
        EXPECT_TRUE(form->DevTimer->isActive());
        EXPECT_EQ(form->DevTimer->interval(), 100);
        EXPECT_TRUE(form->DevTimer->isSingleShot());
    }
    ASSERT_TRUE(ServeUntil([&] { return fired > 0; }, 5s));
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(searchStarted);
    EXPECT_FALSE(form->DevTimer->isActive()) << "nothing more is due";
}

TEST_F(MainFormTest, NoSecondSearchWhileOneRuns) {
    // A device that never answers keeps the search busy with its attempts.
    TSimWorld world(R"({"devices": [{"serial": "9", "mode": "silent"}]})");
    auto form = Show();
    ASSERT_TRUE(ServeUntil([&] { return form->Core().Searching(); }, 5s));
    form->WMDeviceChange(DBT_DEVNODES_CHANGED);
    ASSERT_TRUE(ServeUntil([&] { return !form->DevTimer->isActive(); }, 1s));
    EXPECT_TRUE(form->Core().Searching()) << "the first search still runs";
    Serve(150ms);
    EXPECT_FALSE(form->DevTimer->isActive()) << "the timer stays disarmed until the next change";
    const auto start = std::chrono::steady_clock::now();
    form.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "closing waited for a silent device";
}

TEST_F(MainFormTest, ASecondStartRestoresTheMinimizedWindowAndEndsAtOnce) {
    const char* build = std::getenv("ZV_BUILD_DIR");
    ASSERT_TRUE(build);
    // Socket paths are short: a folder of its own under /tmp.
    const std::filesystem::path runtime = "/tmp/zvrt-" + std::to_string(getpid());
    std::filesystem::create_directories(runtime / "usbfwloader");
    struct TRemove {
        std::filesystem::path path;
        ~TRemove() { std::filesystem::remove_all(path); }
    } remove{runtime};
    // This process plays the first instance: the lock and the window's endpoint.
    const auto held = TInstanceLock::Acquire(runtime / "usbfwloader" / INSTANCE_LOCK_NAME, 50ms);
    ASSERT_TRUE(held);
    TMainFormEnvironment environment = Environment();
    environment.runtimeFolder = runtime / "usbfwloader";
    auto form = Show(std::move(environment));
    form->showMinimized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(form->isMinimized());

    const auto start = std::chrono::steady_clock::now();
    testing_support::TProcess second({std::string(build) + "/bin/usbfwloader"},
                                     {{"XDG_RUNTIME_DIR=" + runtime.string(), "QT_QPA_PLATFORM=offscreen"}, {}, {}});
    ServeUntil([&] { return !form->isMinimized(); }, 3s);
    EXPECT_EQ(second.Wait(5s), 0) << second.Err();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(form->isMinimized());

    // A window that is not minimized stays as it is.
    form->HandleWindowMessage({WM_RESTORE_INSTANCE, 0, 0});
    EXPECT_FALSE(form->isMinimized());
}

TEST_F(MainFormTest, ChoosingAFileInTheDialogLoadsItAndCancellingChangesNothing) {
    const char* build = std::getenv("ZV_BUILD_DIR");
    ASSERT_TRUE(build);
    const auto image = dir / "chosen.eraw";
    std::filesystem::copy_file(std::filesystem::path(build) / "firmware" / "embedded.eraw", image);
    auto form = Show(Environment({"externfirmware"}));
    EXPECT_EQ(form->lblFileVer->text(), "Неизвестна");

    QTimer::singleShot(50, form.get(), [&] { form->FileDialog()->reject(); });
    form->btnFwOpen->click();
    EXPECT_EQ(form->edFWFile->currentText(), "");
    EXPECT_EQ(form->edFWFile->count(), 0);

    // Typed into the dialog's name box, as a user may. A dialog that never
    // closes is rejected, so the test fails rather than hangs.
    QTimer::singleShot(50, form.get(), [&] {
        auto* name = form->FileDialog()->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(name);
        name->setText(QString::fromStdString(image.string()));
        static_cast<QDialog*>(form->FileDialog())->accept();
    });
    QTimer::singleShot(3000, form.get(), [&] { form->FileDialog()->reject(); });
    form->btnFwOpen->click();
    EXPECT_EQ(form->edFWFile->currentText().toStdString(), image.string());
    EXPECT_EQ(form->lblFileVer->text(), "ZVMB-3.2");
    ASSERT_EQ(form->edFWFile->count(), 1);
    EXPECT_EQ(form->edFWFile->itemText(0).toStdString(), image.string());
    EXPECT_TRUE(
        PaneText(*form).contains(QString::fromStdString("Загружена прошивка из файла \"" + image.string() + "\"")));
}

// The offscreen platform draws no frame: the client area is the whole window.
const QSize kDefaultSize(FORM_MIN_OUTER_WIDTH, FORM_CLIENT_HEIGHT);

TEST_F(MainFormTest, SettingsDefaultsWithoutAFile) {
    auto form = Show();
    EXPECT_EQ(form->size(), kDefaultSize);
    EXPECT_FALSE(form->cbAutoWrite->isChecked());
    EXPECT_FALSE(form->cbWritelogToFile->isChecked());
    EXPECT_FALSE(form->cbStartApp->isChecked());
    EXPECT_EQ(form->reLog->height(), LOG_PANE_HEIGHT);
    EXPECT_EQ(form->edFWFile->currentText(), "");
    EXPECT_EQ(form->edFWFile->count(), 0);
}

TEST_F(MainFormTest, SettingsAppliedFromMainFormValue) {
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    ASSERT_GE(desktop.width(), 300);
    WriteSettings("[COMMON]\nMainForm=100,50,700,500,1,200,0,1\n");
    auto form = Show();
    EXPECT_EQ(form->frameGeometry(), QRect(100, 50, 700, 500));
    EXPECT_TRUE(form->cbAutoWrite->isChecked());
    EXPECT_EQ(form->reLog->height(), 200);
    EXPECT_FALSE(form->cbWritelogToFile->isChecked());
    EXPECT_TRUE(form->cbStartApp->isChecked());
    form.reset();
    EXPECT_NE(ReadSettings().find("MainForm=100,50,700,500,1,200,0,1"), std::string::npos) << ReadSettings();
}

TEST_F(MainFormTest, SettingsThatFailTheirTestsAreNotApplied) {
    WriteSettings("[COMMON]\nMainForm=100,50,800\n");
    auto threeOnly = Show();
    EXPECT_EQ(threeOnly->size(), kDefaultSize);
    EXPECT_EQ(threeOnly->reLog->height(), LOG_PANE_HEIGHT);
    const QPoint chosen = threeOnly->pos();
    threeOnly.reset();

    // As saved from a maximized window: the position stays the window system's.
    WriteSettings("[COMMON]\nMainForm=-8,-8,720,420,0,165,1,0\n");
    auto maximized = Show();
    EXPECT_EQ(maximized->pos(), chosen);
    EXPECT_EQ(maximized->frameGeometry().size(), QSize(720, 420));
    EXPECT_TRUE(maximized->cbWritelogToFile->isChecked());
    maximized.reset();

    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    WriteSettings("[COMMON]\nMainForm=" + std::to_string(desktop.width() - 100) + ",40,700,400,1,120,0,0\n");
    auto offDesktop = Show();
    EXPECT_EQ(offDesktop->pos().y(), 40);
    EXPECT_NE(offDesktop->pos().x(), desktop.width() - 100);
    EXPECT_EQ(offDesktop->frameGeometry().size(), QSize(700, 400));
    EXPECT_EQ(offDesktop->reLog->height(), 120);
}

TEST_F(MainFormTest, TheWindowIsNeverNarrowerThanItsMinimumFrameIncluded) {
    WriteSettings("[COMMON]\nMainForm=100,50,600,500,0,165,0,0\n");
    auto form = Show();
    EXPECT_EQ(form->frameGeometry().width(), FORM_MIN_OUTER_WIDTH) << "a stored narrower width is widened";
    form->resize(1, form->height());
    QCoreApplication::processEvents();
    EXPECT_EQ(form->frameGeometry().width(), FORM_MIN_OUTER_WIDTH);
    form.reset();
    const std::string saved = ReadSettings();
    const size_t width = saved.find("MainForm=100,50,");
    ASSERT_NE(width, std::string::npos) << saved;
    EXPECT_EQ(std::stoi(saved.substr(width + 16)), FORM_MIN_OUTER_WIDTH) << saved;
}

TEST_F(MainFormTest, AMaximizedWindowSavesItsPresentBounds) {
    auto form = Show();
    form->showMaximized();
    QCoreApplication::processEvents();
    const QRect bounds = form->frameGeometry();
    form.reset();
    const std::string expected = "MainForm=" + std::to_string(bounds.x()) + "," + std::to_string(bounds.y()) + "," +
                                 std::to_string(bounds.width()) + "," + std::to_string(bounds.height()) + ",";
    EXPECT_NE(ReadSettings().find(expected), std::string::npos) << ReadSettings();
}

TEST_F(MainFormTest, FileHistorySkipsEmptyValuesAndKeepsStaleKeys) {
    WriteSettings("[FILES]\n0=/fw/a.eraw\n1=\n2=/fw/b.eraw\n");
    auto form = Show(Environment({"externfirmware"}));
    ASSERT_EQ(form->edFWFile->count(), 2);
    EXPECT_EQ(form->edFWFile->itemText(0), "/fw/a.eraw");
    EXPECT_EQ(form->edFWFile->itemText(1), "/fw/b.eraw");
    form.reset();
    const TIniFile saved(dir / "ZVFWLoader.ini");
    EXPECT_EQ(saved.ReadString("FILES", "0", ""), "/fw/a.eraw");
    EXPECT_EQ(saved.ReadString("FILES", "1", ""), "/fw/b.eraw");
    EXPECT_EQ(saved.ReadString("FILES", "2", ""), "/fw/b.eraw");
    auto next = Show(Environment({"externfirmware"}));
    EXPECT_EQ(next->edFWFile->count(), 3);
}

TEST_F(MainFormTest, AnUnwritableSettingsFileStillClosesEveryDevice) {
    TSimWorld world(R"({"devices": [{"serial": "5500250", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04"}]})");
    std::filesystem::create_directories(dir / "ZVFWLoader.ini");  // a folder in the file's place
    auto form = Show();
    ASSERT_TRUE(ServeUntil([&] { return form->Core().Devices().Count() == 1 && !form->Core().Searching(); }, 10s));
    form->FormDestroy();
    EXPECT_EQ(prompts, (std::vector<std::string>{"Unable to write to " + (dir / "ZVFWLoader.ini").string()}));
    EXPECT_TRUE(form->Core().Devices().Empty());
    EXPECT_EQ(form->DevPanel->findChildren<QGroupBox*>().size(), 0);
}

TEST_F(MainFormTest, ClosingDuringAWriteStopsItCleanly) {
    TSimWorld world(R"({"devices": [{"serial": "5500250", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04",
                        "timing": {"partMs": 10}}]})");
    WriteSettings("[COMMON]\nMainForm=10,10,700,500,1,165,0,0\n");
    auto form = Show();
    ASSERT_TRUE(ServeUntil([&] { return form->Core().WritesRunning() > 0; }, 10s));
    Serve(100ms);
    form->close();
    EXPECT_TRUE(form->isVisible()) << "the window waits for its write to stop";
    ASSERT_TRUE(ServeUntil([&] { return !form->isVisible(); }, 5s));
    EXPECT_TRUE(PaneText(*form).contains("Ошибка 10 при прошивке"));
    form.reset();
}

}  // namespace
}  // namespace zv
