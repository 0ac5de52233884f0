#include <gtest/gtest.h>

#include "devices/FirmwareVersion.h"

namespace zv {
namespace {

struct ParseCase {
    const char* text;
    bool result;
    const char* name;
    uint16_t number;
    const char* suffix;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ParseExamples : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseExamples, FreshRecord) {
    const ParseCase& c = GetParam();
    TFirmwareVersion v;
    EXPECT_EQ(v.parse(c.text), c.result);
    EXPECT_EQ(v.name, c.name);
    EXPECT_EQ(v.number, c.number);
    EXPECT_EQ(v.suffix, c.suffix);
}

INSTANTIATE_TEST_SUITE_P(
    VersionTexts, ParseExamples,
    testing::Values(ParseCase{"ZVOM-3.2", true, "ZVOM", 302, ""}, ParseCase{"ZVOM-1.04 TR", true, "ZVOM", 104, "TR"},
                    ParseCase{"LEAD-2.15beta", true, "LEAD", 215, "beta"}, ParseCase{"ZVOM3.2", false, "", 0, ""},
                    ParseCase{"ZVOM-x", false, "ZVOM", 0, ""}, ParseCase{"Unknown", true, "unk", 1, ""},
                    ParseCase{"-3.2", false, "", 0, ""},
                    // 65600 wraps in 16 bits.
                    ParseCase{"ZVOM-656.0", true, "ZVOM", 64, ""},
                    // Blanks and signs before each number, as "%d.%d" reads them.
                    ParseCase{"ZVOM- 3. 2", true, "ZVOM", 302, "3. 2"},
                    ParseCase{"ZVOM-+3.-2", true, "ZVOM", 298, "+3.-2"},
                    ParseCase{"ZVOM-3.2   ", true, "ZVOM", 302, ""}, ParseCase{"ZVOM-3", false, "ZVOM", 0, ""},
                    ParseCase{"unknown", false, "", 0, ""}, ParseCase{"WIFI-3.4-rc", true, "WIFI", 304, "-rc"}));

TEST(FirmwareVersion, ParseKeepsWhatTheTextDoesNotSupply) {
    TFirmwareVersion v;
    ASSERT_TRUE(v.parse("ZVOM-1.04 TR"));
    v.buildDate = 41820.5;
    ASSERT_TRUE(v.parse("LEAD-2.15"));
    EXPECT_EQ(v.suffix, "TR");  // the old suffix stays
    EXPECT_EQ(v.number, 215);
    EXPECT_EQ(v.buildDate, 41820.5);

    EXPECT_FALSE(v.parse("ZVOM-x"));
    EXPECT_EQ(v.name, "ZVOM");
    EXPECT_EQ(v.number, 215);

    EXPECT_FALSE(v.parse("plain"));
    EXPECT_EQ(v.name, "");
    EXPECT_EQ(v.number, 215);

    ASSERT_TRUE(v.parse("Unknown"));
    EXPECT_EQ(v.suffix, "TR");

    v.reset();
    EXPECT_EQ(v.name, "");
    EXPECT_EQ(v.suffix, "");
    EXPECT_EQ(v.number, 0);
    EXPECT_EQ(v.buildDate, 0);
}

TEST(FirmwareVersion, FormatVersion) {
    TFirmwareVersion v;
    EXPECT_EQ(v.formatVersion(), "?????");
    v.name = "ZVOM";
    EXPECT_EQ(v.formatVersion(), "?????");
    v.number = 302;
    EXPECT_EQ(v.formatVersion(), "ZVOM-3.2");
    v.number = 310;
    EXPECT_EQ(v.formatVersion(), "ZVOM-3.10");
    v.number = 305;
    EXPECT_EQ(v.formatVersion(), "ZVOM-3.5");
    v.number = 104;
    v.suffix = "TR";
    EXPECT_EQ(v.formatVersion(), "ZVOM-1.4TR");

    TFirmwareVersion unknown;
    ASSERT_TRUE(unknown.parse("Unknown"));
    EXPECT_EQ(unknown.formatVersion(), "Empty");
}

TEST(FirmwareVersion, FormatDate) {
    TFirmwareVersion v;
    EXPECT_EQ(v.formatDate(), "неизвестна");
    for (double unknown : {0.5, -0.999, 0.999}) {
        v.buildDate = unknown;
        EXPECT_EQ(v.formatDate(), "неизвестна") << unknown;
    }
    ASSERT_TRUE(TryEncodeDateTime(2014, 6, 30, 17, 52, 29, v.buildDate));
    EXPECT_EQ(v.formatDate(), "30-06-2014 17:52:29");
    v.buildDate = 1;
    EXPECT_EQ(v.formatDate(), "31-12-1899 00:00:00");
    v.buildDate = -1.25;
    EXPECT_EQ(v.formatDate(), "29-12-1899 06:00:00");
}

TEST(DateTime, EncodeRoundTripsAndRefusesInvalidDates) {
    TDateTime t = 0;
    ASSERT_TRUE(TryEncodeDateTime(2014, 6, 30, 17, 52, 29, t));
    EXPECT_EQ(static_cast<int>(t), 41820);  // days since 30-12-1899
    for (auto [y, m, d, h, n, s] : std::initializer_list<std::array<int, 6>>{
             {1, 1, 1, 0, 0, 0}, {9999, 12, 31, 23, 59, 59}, {2024, 2, 29, 12, 0, 0}, {1899, 12, 29, 6, 0, 0}}) {
        ASSERT_TRUE(TryEncodeDateTime(y, m, d, h, n, s, t));
        const TDateTimeFields f = DecodeDateTime(t);
        EXPECT_EQ((std::array<int, 6>{f.year, f.month, f.day, f.hour, f.minute, f.second}),
                  (std::array<int, 6>{y, m, d, h, n, s}));
    }
    for (auto [y, m, d, h, n, s] : std::initializer_list<std::array<int, 6>>{{2014, 2, 31, 10, 0, 0},
                                                                             {2023, 2, 29, 0, 0, 0},
                                                                             {0, 1, 1, 0, 0, 0},
                                                                             {10000, 1, 1, 0, 0, 0},
                                                                             {2014, 13, 1, 0, 0, 0},
                                                                             {2014, 1, 1, 24, 0, 0},
                                                                             {2014, 1, 1, 0, 60, 0},
                                                                             {2014, 1, 1, 0, 0, 60}})
        EXPECT_FALSE(TryEncodeDateTime(y, m, d, h, n, s, t)) << y << "-" << m << "-" << d;
}

}  // namespace
}  // namespace zv
