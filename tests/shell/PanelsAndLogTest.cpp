// What the window draws: device panels and their stack, and the log pane.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

#include "core/EventLog.h"
#include "platform/Text.h"
#include "shell/DevGroup.h"
#include "support/SimWorld.h"
#include "support/WindowFixture.h"

namespace zv {
namespace {

using namespace std::chrono_literals;
using testing_support::MainFormTest;
using testing_support::ServeUntil;
using testing_support::TSimWorld;

QColor LineColor(const QPlainTextEdit& pane, int block) {
    return pane.document()->findBlockByNumber(block).begin().fragment().charFormat().foreground().color();
}

TEST_F(MainFormTest, LogLinesAreColouredByLevelAndThePaneFollowsTheEnd) {
    TSimWorld world(R"({"devices": []})");
    auto form = ShowSettled();
    form->reLog->clear();
    TLoaderCore& core = form->Core();
    core.LogDeviceMessage(llError, 42, "%s", "сбой");
    core.LogMessage(llSuccess, "готово");
    core.LogMessage(llNormal, "обычная");
    core.AddLogLine(static_cast<LogLevel>(7), "другая");
    form->FlushLogPane();
    ASSERT_EQ(form->reLog->blockCount(), 4);
    EXPECT_EQ(form->reLog->document()->findBlockByNumber(0).text(), "Прибор      42\tсбой");
    EXPECT_EQ(LineColor(*form->reLog, 0), QColor(255, 0, 0));
    EXPECT_EQ(LineColor(*form->reLog, 1), QColor(0, 128, 0));
    const QColor text = form->reLog->palette().color(QPalette::Text);
    EXPECT_EQ(LineColor(*form->reLog, 2), text);
    EXPECT_EQ(LineColor(*form->reLog, 3), text);

    // Taken in batches: the next one follows a little later by itself.
    for (int i = 0; i < 200; ++i) core.LogMessage(llNormal, "строка %d", i);
    ASSERT_TRUE(ServeUntil([&] { return form->reLog->blockCount() == 204; }, 2s));
    const QScrollBar* bar = form->reLog->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(MainFormTest, AFullPaneDropsItsOldestLinesWhileTheFileGetsEveryLine) {
    TSimWorld world(R"({"devices": []})");
    auto form = ShowSettled();
    form->cbWritelogToFile->setChecked(true);
    form->reLog->clear();
    const int total = LOG_PANE_MAX_LINES + 25;
    for (int i = 0; i < total; ++i) form->Core().LogMessage(llNormal, "строка %d", i);
    form->FlushLogPane();
    EXPECT_EQ(form->reLog->blockCount(), LOG_PANE_MAX_LINES);
    EXPECT_EQ(form->reLog->document()->firstBlock().text(), "Прибор -------\tстрока 25");
    EXPECT_EQ(form->reLog->document()->lastBlock().text(), QString("Прибор -------\tстрока %1").arg(total - 1));

    int records = 0;
    for (const auto& file : std::filesystem::directory_iterator(dir / "Logs")) {
        std::ifstream in(file.path(), std::ios::binary);
        for (std::string line; std::getline(in, line);)
            if (line.find("\xF1\xF2\xF0\xEE\xEA\xE0 ") != std::string::npos) ++records;  // "строка " in Windows-1251
    }
    EXPECT_EQ(records, total);
}

// The line at the pane's top edge: what the user is reading.
QString TopLine(const QPlainTextEdit& pane) { return pane.cursorForPosition(QPoint(2, 2)).block().text(); }

TEST_F(MainFormTest, AUserWhoScrolledUpKeepsTheLinesInViewWhileNewOnesArrive) {
    TSimWorld world(R"({"devices": []})");
    auto form = ShowSettled();
    form->reLog->clear();
    TLoaderCore& core = form->Core();
    for (int i = 0; i < LOG_PANE_MAX_LINES; ++i) core.LogMessage(llNormal, "строка %d", i);
    form->FlushLogPane();
    QScrollBar* bar = form->reLog->verticalScrollBar();
    ASSERT_EQ(bar->value(), bar->maximum());

    bar->setValue(100);
    const QString reading = TopLine(*form->reLog);
    ASSERT_EQ(reading, "Прибор -------\tстрока 100");
    // Forty more: the forty oldest go, and the view moves with its lines.
    for (int i = 0; i < 40; ++i) core.LogMessage(llNormal, "новая %d", i);
    form->FlushLogPane();
    EXPECT_EQ(bar->value(), 60);
    EXPECT_EQ(TopLine(*form->reLog), reading);
    EXPECT_EQ(form->reLog->document()->lastBlock().text(), "Прибор -------\tновая 39");

    // Back at the end, the pane follows again.
    bar->setValue(bar->maximum());
    core.LogMessage(llNormal, "последняя");
    form->FlushLogPane();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(TopLine(*form->reLog).toStdString().find("строка 100"), std::string::npos);
}

// Records of the day's files in `folder` as the pane's lines, oldest first.
std::vector<std::string> FiledLines(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& file : std::filesystem::directory_iterator(folder)) files.push_back(file.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> lines;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        for (std::string record; std::getline(in, record);) {
            const size_t text = record.find("]\t");
            if (text == std::string::npos || record.empty() || record.back() != '\r') continue;
            lines.push_back(Cp1251ToUtf8(record.substr(text + 2, record.size() - text - 3)));
        }
    }
    return lines;
}

TEST_F(MainFormTest, ABurstFromManyThreadsKeepsTheOrderOfItsHandOversInThePaneAndTheFile) {
    TSimWorld world(R"({"devices": []})");
    auto form = ShowSettled();
    form->cbWritelogToFile->setChecked(true);
    form->reLog->clear();
    std::filesystem::remove_all(dir / "Logs");
    TLoaderCore& core = form->Core();
    const THandOver handOver = static_cast<TWorkerHost&>(core).HandOver();
    constexpr int kThreads = 32, kLines = 320;
    // The order in which the main thread took the lines.
    std::vector<std::string> taken;
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) {
                const std::string text = "поток " + std::to_string(t) + " строка " + std::to_string(i);
                handOver.Synchronize([&] {
                    core.LogDeviceText(llNormal, 1000 + t, text);
                    taken.push_back(LogLine(1000 + t, text));
                });
            }
            ++done;
        });
    const bool finished = ServeUntil([&] { return done == kThreads; }, 120s);
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(finished);
    ASSERT_EQ(taken.size(), size_t{kThreads * kLines});

    EXPECT_EQ(FiledLines(dir / "Logs"), taken);
    form->FlushLogPane();
    ASSERT_EQ(form->reLog->blockCount(), LOG_PANE_MAX_LINES);
    std::vector<std::string> shown;
    for (QTextBlock b = form->reLog->document()->firstBlock(); b.isValid(); b = b.next())
        shown.push_back(b.text().toStdString());
    EXPECT_TRUE(std::equal(shown.begin(), shown.end(), taken.end() - LOG_PANE_MAX_LINES));
}

TEST_F(MainFormTest, DevicePanelLayoutFollowsTheAreaWidth) {
    TSimWorld world(R"({"devices": []})");
    auto form = ShowSettled();
    // Enough devices for a scroll bar make the area narrower than the design,
    // in a client area of the design's width (the offscreen platform draws no
    // frame, so its window is wider).
    form->ScrollBox1->setMaximumWidth(FORM_CLIENT_WIDTH);
    form->ShowDeviceCount(11);
    ASSERT_TRUE(ServeUntil([&] { return form->DevPanel->width() < 658; }, 2s)) << form->DevPanel->width();
    auto narrow = form->CreateDevicePanel(1, "5500250", "ZVMB-3.0", "ZVMB-1.04");
    auto& group = static_cast<TFWLoaderDevGroup&>(*narrow);
    QCoreApplication::processEvents();
    const int narrowWidth = group.groupBox->width();
    EXPECT_EQ(group.groupBox->title(), "Прибор5500250");
    EXPECT_EQ(group.lblBootVerCaption->x(), BOOT_COLUMN_MIN_X);
    EXPECT_EQ(group.lblBootVer->x(), BOOT_COLUMN_MIN_X + 146);
    EXPECT_EQ(group.lblSerial->text(), "5500250");
    EXPECT_EQ(group.lblMessage->text(), "Прибор подключен");
    EXPECT_FALSE(group.btnWrite->isEnabled());
    EXPECT_EQ(group.btnWrite->text(), "Прошить");
    EXPECT_EQ(group.btnWrite->x() + group.btnWrite->width(), group.progressBar->x() + group.progressBar->width() + 1);
    EXPECT_LE(group.lblMessage->x() + group.lblMessage->width(), group.btnWrite->x());

    form->ScrollBox1->setMaximumWidth(QWIDGETSIZE_MAX);
    form->resize(900, form->height());
    ASSERT_TRUE(ServeUntil([&] { return form->DevPanel->width() > 800; }, 2s));
    const int areaWidth = form->DevPanel->width();
    auto wide = form->CreateDevicePanel(2, "5500251", "ZVMB-3.0", "");
    auto& wideGroup = static_cast<TFWLoaderDevGroup&>(*wide);
    EXPECT_EQ(wideGroup.lblBootVerCaption->x(), areaWidth - BOOT_COLUMN_FROM_RIGHT);
    EXPECT_EQ(wideGroup.lblBootVer->text(), "");
    // The older panel's anchored controls moved with the right edge.
    EXPECT_EQ(group.lblBootVerCaption->x(), BOOT_COLUMN_MIN_X + group.groupBox->width() - narrowWidth);
    EXPECT_EQ(group.btnWrite->x() + group.btnWrite->width(), group.groupBox->width() - 4);
}

TEST_F(MainFormTest, StatusLineColours) {
    TSimWorld world(R"({"devices": []})");
    auto form = Show();
    auto panel = form->CreateDevicePanel(1, "1", "", "");
    auto& group = static_cast<TFWLoaderDevGroup&>(*panel);
    const QColor normal = group.lblMessage->palette().color(QPalette::WindowText);
    panel->SetStatus("Прибор заблокирован", llError);
    EXPECT_EQ(group.lblMessage->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(group.lblMessage->text(), "Прибор заблокирован");
    panel->SetStatus("Обновление прошивки завершено успешно", llSuccess);
    EXPECT_EQ(group.lblMessage->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    panel->SetStatus("x", static_cast<LogLevel>(9));
    EXPECT_EQ(group.lblMessage->palette().color(QPalette::WindowText), normal);
    panel->SetProgress(250);
    EXPECT_EQ(group.progressBar->value(), 100);
}

TEST_F(MainFormTest, PanelsStackInJoiningOrderAndCloseUpWhenOneGoes) {
    TSimWorld world(R"({"devices": [
        {"serial": "5500250", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.04"},
        {"serial": "5500251", "mode": "application", "firmware": "ZVMB-3.0"},
        {"serial": "7100042", "library": "om", "firmware": "ZVMB-3.0", "bootloader": "ZVMB-1.05"}]})");
    auto form = Show();
    TLoaderCore& core = form->Core();
    ASSERT_TRUE(ServeUntil([&] { return core.Devices().Count() == 3 && !core.Searching(); }, 10s));
    QCoreApplication::processEvents();
    EXPECT_EQ(form->DevPanel->minimumHeight(), 288);
    std::vector<QGroupBox*> boxes;
    for (const TDevEntry* entry : core.Devices().Entries())
        boxes.push_back(static_cast<TFWLoaderDevGroup&>(*entry->panel).groupBox);
    ASSERT_EQ(boxes.size(), 3u);
    ServeUntil([&] { return boxes[2]->y() == 3 + 2 * 96; }, 2s);
    EXPECT_EQ(boxes[0]->y(), 3);
    EXPECT_EQ(boxes[1]->y(), 3 + 96);
    EXPECT_EQ(boxes[2]->y(), 3 + 2 * 96);
    const auto& replug = static_cast<TFWLoaderDevGroup&>(*core.Devices().Entries()[1]->panel);
    EXPECT_EQ(replug.lblMessage->text(), "Отключите прибор и подключите заново.");
    EXPECT_FALSE(replug.btnWrite->isEnabled());
    EXPECT_TRUE(static_cast<TFWLoaderDevGroup&>(*core.Devices().Entries()[0]->panel).btnWrite->isEnabled());

    world.Unplug("5500251");
    form->WMDeviceChange(DBT_DEVNODES_CHANGED);
    ASSERT_TRUE(ServeUntil([&] { return core.Devices().Count() == 2 && !core.Searching(); }, 10s));
    ServeUntil([&] { return boxes[2]->y() == 3 + 96; }, 2s);
    EXPECT_EQ(form->DevPanel->minimumHeight(), 192);
    EXPECT_EQ(boxes[2]->y(), 3 + 96) << "the lower panel moves up";

    world.Unplug("5500250");
    world.Unplug("7100042");
    form->WMDeviceChange(DBT_DEVNODES_CHANGED);
    ASSERT_TRUE(ServeUntil([&] { return core.Devices().Empty() && !core.Searching(); }, 10s));
    EXPECT_EQ(form->DevPanel->minimumHeight(), 90);
}

}  // namespace
}  // namespace zv
