// Paths as the program keeps them (WTF-8) and as Windows takes them
// (UTF-16): every name comes back unchanged, even one with a lone surrogate.
#include "exif/WidePath.h"

#include <gtest/gtest.h>

using namespace tovali;

TEST(WidePath, NamesOfEveryPlaneRoundTrip) {
    const std::string name = "写真 𠮷野家😀.jpg";
    const std::u16string wide = Utf16FromWtf8(name);
    EXPECT_EQ(wide, u"写真 \U00020BB7野家\U0001F600.jpg");
    EXPECT_EQ(Wtf8FromUtf16(wide), name);
    EXPECT_EQ(PathText(FileSystemPath(name)), name);
}

// Odd Windows names may hold unpaired surrogates: they keep their 3-byte
// form, and the halves of a pair written apart still join up.
TEST(WidePath, LoneSurrogatesSurvive) {
    const std::u16string odd = {0xD800, u'a', 0xDC00, 0xDC00, 0xD83D};
    const std::string kept = Wtf8FromUtf16(odd);
    EXPECT_EQ(kept,
              "\xED\xA0\x80"
              "a"
              "\xED\xB0\x80\xED\xB0\x80\xED\xA0\xBD");
    EXPECT_EQ(Utf16FromWtf8(kept), odd);
    EXPECT_EQ(Utf16FromWtf8(Wtf8FromUtf16(u"\xD83D") + Wtf8FromUtf16(u"\xDE00")), u"\U0001F600");
}

// Bytes that start no character become U+FFFD one by one: overlong forms,
// code points past U+10FFFF, cut sequences.
TEST(WidePath, BrokenBytesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf16FromWtf8("\xC0\xAFx"), u"\uFFFD\uFFFDx");
    EXPECT_EQ(Utf16FromWtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf16FromWtf8("a\xE3\x81"), u"a\uFFFD\uFFFD");
    EXPECT_EQ(Utf16FromWtf8("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
}

TEST(WidePath, DelimitersOfTheSystem) {
#ifdef _WIN32
    EXPECT_EQ(LastDelimiter("C:\\p/q\\a.jpg"), 6u);
    EXPECT_EQ(LastDelimiter("C:a.jpg"), 1u);
#else
    EXPECT_EQ(LastDelimiter("/p/q\\a.jpg"), 2u);
    EXPECT_EQ(LastDelimiter("C:a.jpg"), std::string::npos);
#endif
}
