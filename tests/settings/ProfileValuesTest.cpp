#include <gtest/gtest.h>

#include "ui/settings/Cp932.h"
#include "ui/settings/ProfileValues.h"

using namespace tovali;

TEST(ProfileInteger, ReadsDecimalAndLongHexOnly) {
    EXPECT_EQ(ParseProfileInteger("50"), 50);
    EXPECT_EQ(ParseProfileInteger("-5"), -5);
    EXPECT_EQ(ParseProfileInteger("+7"), 7);
    EXPECT_EQ(ParseProfileInteger("0x1E"), 30);
    EXPECT_EQ(ParseProfileInteger("0X1e"), 30);
    EXPECT_EQ(ParseProfileInteger("0xFFFFFFFF"), -1);
    EXPECT_EQ(ParseProfileInteger("0"), 0);
    EXPECT_EQ(ParseProfileInteger("2147483647"), 2147483647);
}

TEST(ProfileInteger, AnythingElseIsNoInteger) {
    for (const char* bad : {"", "yes", "0x", "0x-1", "0x+1", "0x1G", "0x100000000", "1.5", "12abc",
                            " 12", "+-5", "--5", "2147483648", "$1E"}) {
        EXPECT_FALSE(ParseProfileInteger(bad).has_value()) << bad;
    }
}

TEST(ProfileText, OnePairOfMatchingQuotesIsRemoved) {
    EXPECT_EQ(UnquoteProfileValue("\"a b\""), "a b");
    EXPECT_EQ(UnquoteProfileValue("'x'"), "x");
    EXPECT_EQ(UnquoteProfileValue("\"x'"), "\"x'");
    EXPECT_EQ(UnquoteProfileValue("\""), "\"");
    EXPECT_EQ(UnquoteProfileValue("\"\"q\"\""), "\"q\"");
}

TEST(ProfileText, QuotedTextsReadBackUnchanged) {
    for (const char* text :
         {" lead", "trail ", "\"quoted\"", "'single'", "plain", "", "in \"mid\""}) {
        EXPECT_EQ(UnquoteProfileValue(QuoteProfileText(text)), text) << text;
    }
    EXPECT_EQ(QuoteProfileText("plain"), "plain");
    EXPECT_EQ(QuoteProfileText("two\r\nlines"), "two  lines");
}

TEST(Cp932, JapaneseTextConvertsBothWays) {
    const std::string face = "ＭＳ ゴシック";
    const std::string bytes = Utf8ToCp932(face);
    EXPECT_EQ(bytes, "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e");
    EXPECT_EQ(Cp932ToUtf8(bytes), face);
    // Windows' own mapping: the wave dash of Japanese keyboards is U+FF5E.
    EXPECT_EQ(Utf8ToCp932("～"), "\x81\x60");
    EXPECT_EQ(Cp932ToUtf8("\x81\x60"), "～");
}

TEST(Cp932, UnconvertibleTextIsReplacedNotDropped) {
    EXPECT_EQ(Utf8ToCp932("a😀b"), "a?b");
    EXPECT_EQ(Utf8ToCp932("a\xC3z"), "a?z");
    EXPECT_EQ(Cp932ToUtf8("a\xA0z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Cp932ToUtf8("end\x82"), "end\xEF\xBF\xBD");
}

TEST(Cp932, PrefixNeverSplitsADoubleByteCharacter) {
    const std::string text = "a\x82\xA0\x82\xA2";  // a, two kana
    EXPECT_EQ(Cp932Prefix(text, 5), text);
    EXPECT_EQ(Cp932Prefix(text, 4), "a\x82\xA0");
    EXPECT_EQ(Cp932Prefix(text, 2), "a");
    EXPECT_EQ(Cp932Prefix("abc", 2), "ab");
}
