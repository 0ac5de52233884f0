#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/Terminal.h"

namespace zv::cli {
namespace {

TEST(Terminal, LinesAreCutBetweenCharacters) {
    const std::string status = "Прибор заблокирован";  // two bytes a letter
    EXPECT_EQ(TextColumns(status), 19u);
    EXPECT_EQ(FitColumns(status, 6), "Прибор");
    EXPECT_EQ(FitColumns(status, 0), "");
    EXPECT_EQ(FitColumns(status, 19), status);
    EXPECT_EQ(FitColumns(status, 100), status);
    EXPECT_EQ(PadColumns("Ок", 4), "Ок  ");
    EXPECT_EQ(PadColumns("long", 2), "long");
}

TEST(Terminal, ProgressBarStaysInItsFrame) {
    EXPECT_EQ(ProgressLine("5500250", 50, "Обновление"), "  5500250 [##########----------]  50% Обновление");
    EXPECT_EQ(ProgressLine("1", 0, ""), "        1 [--------------------]   0% ");
    // The same width whatever the percentage, also one out of range.
    const size_t width = TextColumns(ProgressLine("1", 0, "s"));
    for (int percent : {-5, 1, 99, 100, 250}) EXPECT_EQ(TextColumns(ProgressLine("1", percent, "s")), width) << percent;
    EXPECT_EQ(ProgressLine("1", 250, ""), ProgressLine("1", 100, ""));
}

// What a view has written to its stream so far.
class TCapturedView {
public:
    explicit TCapturedView(bool terminal) : file_(std::tmpfile()), view(file_, terminal) {}
    ~TCapturedView() { std::fclose(file_); }
    std::string Text() {
        std::fflush(file_);
        std::string text;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) text.push_back(static_cast<char>(c));
        return text;
    }

private:
    FILE* file_;

public:
    TCliView view;
};

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

TEST(Terminal, LinesAndProgressOfABurstAreDrawnTogetherInOrderWithTheBlockOnce) {
    TCapturedView out(true);
    auto panel = out.view.CreateDevicePanel(1, "9001", "", "");
    for (int i = 0; i < 100; ++i) {
        out.view.AppendLogLine(llNormal, "строка " + std::to_string(i));
        panel->SetProgress(i);
    }
    EXPECT_EQ(out.Text(), "") << "nothing is drawn before the redraw is due";
    ASSERT_TRUE(out.view.RedrawDue());
    EXPECT_LE(*out.view.RedrawDue(), std::chrono::steady_clock::now() + REDRAW_INTERVAL);

    out.view.Redraw();
    const std::string first = out.Text();
    EXPECT_EQ(Count(first, "строка "), 100u);
    EXPECT_LT(first.find("строка 98\n"), first.find("строка 99\n"));
    EXPECT_EQ(Count(first, "9001 ["), 1u);
    EXPECT_GT(first.find(" 99% "), first.find("строка 99\n")) << "the block stays below the lines";
    EXPECT_FALSE(out.view.RedrawDue());

    // The next lines go where the block was, and the block below them again.
    out.view.AppendLogLine(llError, "сбой");
    out.view.RedrawIfDue();
    EXPECT_EQ(out.Text(), first) << "not yet due";
    out.view.Redraw();
    const std::string next = out.Text().substr(first.size());
    EXPECT_EQ(next.rfind("\x1b[1F\x1b[J\x1b[31mсбой", 0), 0u) << next;
    EXPECT_EQ(Count(next, "9001 ["), 1u);
}

TEST(Terminal, TheBlockStaysOnScreenWhenThePanelsGoAtTheEnd) {
    TCapturedView out(true);
    auto panel = out.view.CreateDevicePanel(1, "9001", "", "");
    panel->SetStatus("Обновление прошивки завершено успешно", llSuccess);
    panel->SetProgress(100);
    out.view.AppendLogLine(llNormal, "последняя");
    out.view.FreezeWhenPanelsGo();
    panel.reset();
    out.view.PrintText("usbfwflash: 1 of 1 device(s) written");
    const std::string text = out.Text();
    EXPECT_NE(text.find("последняя\n\x1b[32m     9001 [####################] 100% Обновление прошивки завершено "
                        "успешно\x1b[0m\nusbfwflash: 1 of 1"),
              std::string::npos)
        << text;
}

TEST(Terminal, WithoutATerminalEveryLineIsPrintedAtOnceAndPlain) {
    TCapturedView out(false);
    auto panel = out.view.CreateDevicePanel(1, "9001", "", "");
    out.view.AppendLogLine(llError, "сбой");
    panel->SetProgress(50);
    EXPECT_EQ(out.Text(), "сбой\n");
    EXPECT_FALSE(out.view.RedrawDue());
}

}  // namespace
}  // namespace zv::cli
