#include <gtest/gtest.h>

#include "app/batch/OptionSnapshot.h"

using namespace tovali;

namespace {

const QDate kDate(2008, 3, 5);

TConvertOptions Snapshot(const TSettings& s, bool contrast = false) {
    return SnapshotOptions(s, kDate, contrast);
}

std::string FailureOf(const TSettings& s) {
    try {
        Snapshot(s);
    } catch (const EConvertError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(OptionSnapshot, DefaultsGiveTheseOptions) {
    TSettings s;
    s.Date.FontName = "IPAGothic";
    s.Comment.FontName = "IPAMincho";
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
    EXPECT_EQ(o.OutputType, otJpeg);
    EXPECT_FALSE(o.UseWhiteFrame || o.Date.Use || o.Comment.Use);
    EXPECT_EQ(o.DateSource, dsFromPicture);
    EXPECT_EQ(o.Date.Text, "2008/03/05");
    EXPECT_EQ(o.Date.ColorOuter, RGBColor(255, 255, 255));
    EXPECT_EQ(o.Date.ColorInner, RGBColor(255, 128, 255));
    EXPECT_EQ(o.Date.FontName, "IPAGothic");
    EXPECT_EQ(o.Date.FontSize, tsSmall);
    EXPECT_EQ(o.Date.Pos, dpRightBottom);
    EXPECT_EQ(o.Comment.Text, "");
    EXPECT_EQ(o.Comment.FontName, "IPAMincho");
    EXPECT_EQ(o.Comment.FontSize, tsSmall);
    EXPECT_EQ(o.Comment.Pos, dpLeftTop);
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
    s.Date.FontSize = tsExtraLarge;
    s.Comment.FontSize = tsExtraSmall;
    s.Date.Pos = dpCenter;
    s.Comment.Pos = dpBottom;
    s.TBContrast = 0;
    TConvertOptions o = Snapshot(s, true);
    EXPECT_FALSE(o.NameBefore);
    EXPECT_EQ(o.OutputType, otBmp);
    EXPECT_TRUE(o.BrightnessDown);
    EXPECT_TRUE(o.UseContrast);
    EXPECT_EQ(o.ContrastValue, 0);
    EXPECT_EQ(o.DateSource, dsInputDate);
    EXPECT_EQ(o.Date.FontSize, tsExtraLarge);
    EXPECT_EQ(o.Comment.FontSize, tsExtraSmall);
    EXPECT_EQ(o.Date.Pos, dpCenter);
    EXPECT_EQ(o.Comment.Pos, dpBottom);
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
    // No type checked (a file with every type key 0): JPEG.
    s.RBAvif = false;
    EXPECT_EQ(Snapshot(s).OutputType, otJpeg);
}

TEST(OptionSnapshot, EveryRowIsFilledWhateverItsSwitch) {
    TSettings s;
    s.Comment.Text = "not drawn";
    s.Comment.ColorOuter = 0x010203;
    s.CBFilter = false;
    s.CBVivid = true;
    const TConvertOptions o = Snapshot(s);
    EXPECT_EQ(o.Comment.Text, "not drawn");
    EXPECT_EQ(o.Comment.ColorOuter, 0x010203u);
    EXPECT_TRUE(o.UseVivid);
}

TEST(OptionSnapshot, TheFirstFailureInPageOrderIsTold) {
    TSettings s;
    s.RBGetDateFromPic = false;
    s.Date.Pos = kNoDrawPos;
    s.Comment.Pos = kNoDrawPos;
    EXPECT_EQ(FailureOf(s), "invalid date config");
    s.RBInputDate = true;
    EXPECT_EQ(FailureOf(s), "invalid date draw pos");
    s.Date.Pos = dpLeft;
    EXPECT_EQ(FailureOf(s), "invalid Comment draw pos");
    s.Comment.Pos = dpRight;
    EXPECT_EQ(FailureOf(s), "");

    // A size text that is no integer fails even where nothing uses it, and
    // before the texts' pages.
    s.RBInputDate = false;
    s.EditFileSize = "abc";
    EXPECT_EQ(FailureOf(s), "'abc' is not a valid integer value");
    s.RBRegularSize = false;
    s.EditPicWidth = "12.5";
    EXPECT_EQ(FailureOf(s), "'12.5' is not a valid integer value");
}

TEST(OptionSnapshot, NoFontSelectedGivesAnEmptyFace) {
    TSettings s;
    s.Date.FontName.clear();
    s.Comment.FontName.clear();
    const TConvertOptions o = Snapshot(s);
    EXPECT_EQ(o.Date.FontName, "");
    EXPECT_EQ(o.Comment.FontName, "");
}

TEST(OptionSnapshot, DateTextIsYearMonthDayWithSlashes) {
    EXPECT_EQ(FormatInputDate(QDate(2008, 3, 5)), "2008/03/05");
    EXPECT_EQ(FormatInputDate(QDate(1999, 12, 31)), "1999/12/31");
}
