#include <gtest/gtest.h>

#include "app/batch/InputCheck.h"

using namespace tovali;

namespace {

TSettings EnteredSize(const std::string& width, const std::string& height) {
    TSettings s;
    s.CBPicSize = true;
    s.RBRegularSize = false;
    s.RBInputPicSize = true;
    s.EditPicWidth = width;
    s.EditPicHeight = height;
    return s;
}

}  // namespace

TEST(InputCheck, DefaultsPass) {
    EXPECT_EQ(CheckInput(TSettings{}), "");
}

TEST(InputCheck, EnteredSizeMustBeAnIntegerOfAtLeastTen) {
    EXPECT_EQ(CheckInput(EnteredSize("10", "10")), "");
    EXPECT_EQ(CheckInput(EnteredSize("99999", "12")), "");
    EXPECT_EQ(CheckInput(EnteredSize("9", "800")), kWidthMessage);
    EXPECT_EQ(CheckInput(EnteredSize("12.5", "800")), kWidthMessage);
    EXPECT_EQ(CheckInput(EnteredSize("", "800")), kWidthMessage);
    EXPECT_EQ(CheckInput(EnteredSize("abc", "800")), kWidthMessage);
    EXPECT_EQ(CheckInput(EnteredSize("-20", "800")), kWidthMessage);
    EXPECT_EQ(CheckInput(EnteredSize("800", "9")), kHeightMessage);
    EXPECT_EQ(CheckInput(EnteredSize("bad", "bad")), kWidthMessage);
}

TEST(InputCheck, EnteredSizeIsIgnoredWhenNotInUse) {
    TSettings s = EnteredSize("abc", "");
    s.CBPicSize = false;
    EXPECT_EQ(CheckInput(s), "");
    s = EnteredSize("abc", "");
    s.RBInputPicSize = false;
    s.RBRegularSize = true;
    EXPECT_EQ(CheckInput(s), "");
}

TEST(InputCheck, FileSizeIsCheckedWheneverTheSizeSearchIsChosen) {
    TSettings s;
    s.CBQuality = true;
    s.RBQuality = false;
    s.RBFileSize = true;
    s.EditFileSize = "10";
    EXPECT_EQ(CheckInput(s), "");
    s.EditFileSize = "";
    // Even with PNG output, where the JPEG page is disabled.
    s.RBJpeg = false;
    s.RBPng = true;
    EXPECT_EQ(CheckInput(s), kFileSizeMessage);
    s.CBQuality = false;
    EXPECT_EQ(CheckInput(s), "");
}

TEST(InputCheck, NameAffixOrFolderNameDependingOnTheSaveChoice) {
    TSettings s;
    s.EditFileName = "";
    s.EditDirName = "";
    EXPECT_EQ(CheckInput(s), kNoAffixMessage);
    s.EditFileName = "a/b";
    EXPECT_EQ(CheckInput(s), kBadAffixMessage);
    s.EditFileName = "縮小_";
    EXPECT_EQ(CheckInput(s), "");
    s.RBDecidesName = false;
    s.RBMakeDir = true;
    s.EditFileName = "a/b";  // not examined now
    EXPECT_EQ(CheckInput(s), kNoDirNameMessage);
    s.EditDirName = "x:y";
    EXPECT_EQ(CheckInput(s), kBadDirNameMessage);
    s.EditDirName = "縮小版";
    EXPECT_EQ(CheckInput(s), "");
    s.RBMakeDir = false;  // neither button: the folder name is checked
    s.EditDirName = "";
    EXPECT_EQ(CheckInput(s), kNoDirNameMessage);
}

TEST(InputCheck, FirstFaultWins) {
    TSettings s = EnteredSize("1", "1");
    s.CBQuality = s.RBFileSize = true;
    s.EditFileSize = "";
    s.EditFileName = "";
    EXPECT_EQ(CheckInput(s), kWidthMessage);
    s.EditPicWidth = s.EditPicHeight = "100";
    EXPECT_EQ(CheckInput(s), kFileSizeMessage);
    s.EditFileSize = "100";
    EXPECT_EQ(CheckInput(s), kNoAffixMessage);
}

TEST(InputCheck, MessagesAreTheWindowsOwnTexts) {
    EXPECT_STREQ(kBadAffixMessage, "ファイル名に「\\/:*?\"<>|」は使えません");
    EXPECT_STREQ(kBadDirNameMessage, "フォルダ名に「\\/:*?\"<>|」は使えません");
}

TEST(IsValidName, EachOfTheNineCharactersIsRefused) {
    for (const char* bad : {"\\", "/", ":", "*", "?", "\"", "<", ">", "|"}) {
        EXPECT_FALSE(IsValidName(std::string("a") + bad + "b")) << bad;
    }
    EXPECT_TRUE(IsValidName(""));
    EXPECT_TRUE(IsValidName("s-"));
    // In code page 932 these end in the byte of a backslash; they are whole characters.
    EXPECT_TRUE(IsValidName("ソ表能"));
    EXPECT_TRUE(IsValidName("＼／：＊"));
}

TEST(StrToInt, DecimalOnly) {
    EXPECT_EQ(StrToInt("1200"), 1200);
    EXPECT_EQ(StrToInt("+5"), 5);
    EXPECT_EQ(StrToInt("-5"), -5);
    EXPECT_FALSE(StrToInt("0x10").has_value());
    EXPECT_FALSE(StrToInt("2147483648").has_value());
    EXPECT_FALSE(StrToInt(" 1").has_value());
    EXPECT_FALSE(StrToInt("").has_value());
    EXPECT_EQ(StrToInt64("2147483648"), 2147483648LL);
}
