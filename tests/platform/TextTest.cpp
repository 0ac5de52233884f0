#include <gtest/gtest.h>

#include "platform/Text.h"

namespace zv {
namespace {

TEST(Text, Windows1251RoundTrip) {
    const std::string utf8 = "Прибор подключен: Ёё №5 «ZVOM» — ok";
    const std::string cp = Utf8ToCp1251(utf8);
    EXPECT_EQ(static_cast<unsigned char>(cp[0]), 0xCF);
    EXPECT_EQ(Cp1251ToUtf8(cp), utf8);
    // Every byte but 0x98 has a character and comes back unchanged.
    std::string all;
    for (int b = 1; b < 256; ++b)
        if (b != 0x98) all.push_back(static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
}

TEST(Text, UnconvertibleBytesAndCharactersAreReplacedNotDropped) {
    EXPECT_EQ(Cp1251ToUtf8("A\x98"
                           "B"),
              "A\xEF\xBF\xBD"
              "B");
    EXPECT_EQ(Utf8ToCp1251("A中B"), "A?B");
    EXPECT_EQ(Utf8ToCp1251("A\xFF"
                           "B"),
              "A?B");                          // invalid UTF-8
    EXPECT_EQ(Utf8ToCp1251("AB\xD0"), "AB?");  // truncated sequence
    EXPECT_EQ(Cp1251ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Text, LowerCaseOfTheWindowsCodePage) {
    EXPECT_EQ(LowerCaseText("EXTERNFIRMWARE"), "externfirmware");
    EXPECT_EQ(LowerCaseText("ПРОШИВКА Ёж ЯЩИК"), "прошивка ёж ящик");
    EXPECT_EQ(LowerCaseText("ЂЃЉЊЌЋЏЎЈҐЄЇІЅ"), "ђѓљњќћџўјґєїіѕ");
    EXPECT_EQ(LowerCaseText("C:\\FW\\Image.ERAW 中"), "c:\\fw\\image.eraw 中");
}

}  // namespace
}  // namespace zv
