#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zv::cli
