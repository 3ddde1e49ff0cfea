#include <gtest/gtest.h>

#include "OptionSnapshot.h"

namespace {

const QDate kDate(2008, 3, 5);

TConvertOptions Snapshot(const TSettings& s, bool contrast = false) {
    TConvertOptions o;
    CopyOptions(s, kDate, contrast, o);
    return o;
}

std::string FailureOf(const TSettings& s, TConvertOptions& o) {
    try {
        CopyOptions(s, kDate, false, o);
    } catch (const EConvertError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(OptionSnapshot, DefaultsGiveTheseOptions) {
    TSettings s;
    s.CBDateFontName = "IPAGothic";
    s.CBCommentFontName = "IPAMincho";
    const TConvertOptions o = Snapshot(s);
    EXPECT_TRUE(o.DecidesName);
    EXPECT_EQ(o.DirName, "Reduction");
    EXPECT_FALSE(o.UseFilter || o.UseContrast || o.UseVivid || o.UseBrightness || o.UseMonochrome);
    EXPECT_EQ(o.ContrastValue, 50);
    EXPECT_FALSE(o.BrightnessDown);
    EXPECT_FALSE(o.UsePicSize);
    EXPECT_EQ(o.PicWidth, 1280);
    EXPECT_EQ(o.PicHeight, 1280);
    EXPECT_FALSE(o.UseProgressive || o.UseQuality);
    EXPECT_TRUE(o.QualityByLevel);
    EXPECT_EQ(o.JpegQuality, 80);
    EXPECT_EQ(o.TargetFileSize, 800);
    EXPECT_TRUE(o.NameBefore);
    EXPECT_EQ(o.NameAffix, "s-");
    EXPECT_EQ(o.LastSaveDir, "");
    EXPECT_EQ(o.OutputType, otJpeg);
    EXPECT_FALSE(o.UseWhiteFrame || o.UseDate || o.UseComment);
    EXPECT_EQ(o.DateSource, dsFromPicture);
    EXPECT_EQ(o.InputDate, "2008/03/05");
    EXPECT_EQ(o.DateColorOuter, RGBColor(255, 255, 255));
    EXPECT_EQ(o.DateColorInner, RGBColor(255, 128, 255));
    EXPECT_EQ(o.DateFontName, "IPAGothic");
    EXPECT_EQ(o.DateFontSize, tsSmall);
    EXPECT_EQ(o.DatePos, dpRightBottom);
    EXPECT_EQ(o.CommentText, "");
    EXPECT_EQ(o.CommentFontName, "IPAMincho");
    EXPECT_EQ(o.CommentFontSize, tsSmall);
    EXPECT_EQ(o.CommentPos, dpLeftTop);
}

TEST(OptionSnapshot, BoxSizeFromTheListOrTheTypedNumbers) {
    TSettings s;
    s.CBSizeList = 3;
    EXPECT_EQ(Snapshot(s).PicWidth, 640);  // even with the size switch off
    s.CBSizeList = 2;
    EXPECT_EQ(GetPicSize(s).Height, 800);
    s.CBSizeList = -1;
    EXPECT_EQ(GetPicSize(s).Width, 0);
    s.RBRegularSize = false;
    s.EditPicWidth = "1200";
    s.EditPicHeight = "900";
    EXPECT_EQ(GetPicSize(s).Width, 1200);
    EXPECT_EQ(GetPicSize(s).Height, 900);
    s.EditPicHeight = "";
    EXPECT_THROW(GetPicSize(s), EConvertError);
}

TEST(OptionSnapshot, QualityLevels) {
    TSettings s;
    for (auto [index, quality] :
         {std::pair{0, 100}, {1, 80}, {2, 60}, {3, 30}, {4, 10}, {-1, 0}, {5, 0}}) {
        s.CBQualityLevel = index;
        EXPECT_EQ(GetJpegQuality(s), quality) << index;
    }
}

TEST(OptionSnapshot, ChoicesBecomeTheirCodes) {
    TSettings s;
    s.CBSelectNamePos = 1;
    s.RBJpeg = false;
    s.RBBMP = true;
    s.RBBrightnessDown = true;
    s.RBGetDateFromPic = false;
    s.RBInputDate = true;
    s.CBDateFontSize = 0;
    s.CBCommentFontSize = 4;
    s.RBDrawPosDateRightBottom = false;
    s.RBDrawPosDateCenter = true;
    s.RBDrawPosCommentLeftTop = false;
    s.RBDrawPosCommentBottom = true;
    s.TBContrast = 0;
    TConvertOptions o = Snapshot(s, true);
    EXPECT_FALSE(o.NameBefore);
    EXPECT_EQ(o.OutputType, otBmp);
    EXPECT_TRUE(o.BrightnessDown);
    EXPECT_TRUE(o.UseContrast);
    EXPECT_EQ(o.ContrastValue, 0);
    EXPECT_EQ(o.DateSource, dsInputDate);
    EXPECT_EQ(o.DateFontSize, tsExtraLarge);
    EXPECT_EQ(o.CommentFontSize, tsExtraSmall);
    EXPECT_EQ(o.DatePos, dpCenter);
    EXPECT_EQ(o.CommentPos, dpBottom);
    s.RBBMP = false;
    s.RBGif = true;
    EXPECT_EQ(Snapshot(s).OutputType, otGif);
    s.RBGif = false;
    s.RBPng = true;
    EXPECT_EQ(Snapshot(s).OutputType, otPng);
    s.RBPng = false;
    s.RBWebp = true;
    EXPECT_EQ(Snapshot(s).OutputType, otWebp);
    s.RBWebp = false;
    s.RBAvif = true;
    EXPECT_EQ(Snapshot(s).OutputType, otAvif);
    s.RBAvif = false;
    s.RBPng = true;
    // No type checked: the option keeps what it held.
    s.RBPng = false;
    o = TConvertOptions{};
    o.OutputType = otGif;
    CopyOptions(s, kDate, false, o);
    EXPECT_EQ(o.OutputType, otGif);
}

TEST(OptionSnapshot, EveryRowIsFilledWhateverItsSwitch) {
    TSettings s;
    s.EditComment = "not drawn";
    s.ShapeCommentFontColorOuter = 0x010203;
    s.CBFilter = false;
    s.CBVivid = true;
    const TConvertOptions o = Snapshot(s);
    EXPECT_EQ(o.CommentText, "not drawn");
    EXPECT_EQ(o.CommentColorOuter, 0x010203u);
    EXPECT_TRUE(o.UseVivid);
}

TEST(OptionSnapshot, FailuresStopAtTheirRow) {
    TSettings s;
    s.EditComment = "after the failure";
    s.RBGetDateFromPic = false;
    TConvertOptions o;
    EXPECT_EQ(FailureOf(s, o), "invalid date config");
    EXPECT_EQ(o.NameAffix, "s-");  // rows before it are filled
    EXPECT_EQ(o.InputDate, "");    // rows after it are not
    EXPECT_EQ(o.CommentText, "");

    s = TSettings{};
    s.RBDrawPosDateRightBottom = false;
    o = TConvertOptions{};
    EXPECT_EQ(FailureOf(s, o), "invalid date draw pos");
    EXPECT_EQ(o.InputDate, "2008/03/05");

    s = TSettings{};
    s.RBDrawPosCommentLeftTop = false;
    EXPECT_EQ(FailureOf(s, o), "invalid Comment draw pos");

    // A size text that is no integer fails even where nothing uses it.
    s = TSettings{};
    s.EditFileSize = "abc";
    EXPECT_EQ(FailureOf(s, o), "'abc' is not a valid integer value");
    s = TSettings{};
    s.RBRegularSize = false;
    s.EditPicWidth = "12.5";
    EXPECT_EQ(FailureOf(s, o), "'12.5' is not a valid integer value");
}

TEST(OptionSnapshot, NoFontSelectedGivesAnEmptyFace) {
    TSettings s;
    s.CBDateFontName.clear();
    s.CBCommentFontName.clear();
    const TConvertOptions o = Snapshot(s);
    EXPECT_EQ(o.DateFontName, "");
    EXPECT_EQ(o.CommentFontName, "");
}

TEST(OptionSnapshot, DateTextIsYearMonthDayWithSlashes) {
    EXPECT_EQ(FormatInputDate(QDate(2008, 3, 5)), "2008/03/05");
    EXPECT_EQ(FormatInputDate(QDate(1999, 12, 31)), "1999/12/31");
}
