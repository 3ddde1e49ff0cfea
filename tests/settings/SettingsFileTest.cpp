#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <QFontDatabase>

#include "ui/settings/Cp932.h"
#include "ui/settings/FontList.h"
#include "ui/settings/Settings.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kFaces = {"IPAGothic", "IPAMincho", "IPAPGothic"};

// The 62 keys in file order, as the format defines them.
const char* const kFileOrder[][2] = {
    {"PIC_SIZE", "USE_PIC_SIZE"},
    {"PIC_SIZE", "REGULAR_SIZE"},
    {"PIC_SIZE", "REGULAR_INDEX"},
    {"PIC_SIZE", "INPUT_SIZE"},
    {"PIC_SIZE", "WIDTH"},
    {"PIC_SIZE", "HEIGHT"},
    {"PIC_QUALITY", "USE_PIC_QUALITY"},
    {"PIC_QUALITY", "PIC_QUALITY"},
    {"PIC_QUALITY", "QUALITY_INDEX"},
    {"PIC_QUALITY", "FILE_SIZE"},
    {"PIC_QUALITY", "SIZE"},
    {"PIC_FILTER", "USE_PIC_FILTER"},
    {"PIC_FILTER", "FILTER_VALUE"},
    {"PIC_FILTER", "USE_VIVID"},
    {"PIC_FILTER", "USE_BRIGHTNESS"},
    {"PIC_FILTER", "BRIGHTNESS_UP"},
    {"PIC_FILTER", "BRIGHTNESS_DOWN"},
    {"PIC_FILTER", "USE_MONOCHROME"},
    {"PIC_FILTER", "USE_WHITE_FRAME"},
    {"PIC_SAVE", "USE_DECIDES_NAME"},
    {"PIC_SAVE", "DECIDES_INDEX"},
    {"PIC_SAVE", "DECIDES_STRING"},
    {"PIC_SAVE", "USE_MAKE_DIR"},
    {"PIC_SAVE", "DIR_NAME"},
    {"PIC_SAVE", "USE_PROGRESSIVE"},
    {"PIC_SAVE", "TYPE_JPEG"},
    {"PIC_SAVE", "TYPE_PNG"},
    {"PIC_SAVE", "TYPE_GIF"},
    {"PIC_SAVE", "TYPE_BMP"},
    {"PIC_SAVE", "TYPE_WEBP"},
    {"PIC_SAVE", "TYPE_AVIF"},
    {"PIC_DATE", "USE_DATE"},
    {"PIC_DATE", "FROM_PIC"},
    {"PIC_DATE", "FROM_INPUT"},
    {"PIC_DATE", "COL_OUTER"},
    {"PIC_DATE", "COL_INNER"},
    {"PIC_DATE", "FONT_NAME"},
    {"PIC_DATE", "FONT_SIZE"},
    {"PIC_DATE", "POS_LEFT_TOP"},
    {"PIC_DATE", "POS_TOP"},
    {"PIC_DATE", "POS_RIGHT_TOP"},
    {"PIC_DATE", "POS_LEFT"},
    {"PIC_DATE", "POS_CENTER"},
    {"PIC_DATE", "POS_RIGHT"},
    {"PIC_DATE", "POS_LEFT_BOTTOM"},
    {"PIC_DATE", "POS_BOTTOM"},
    {"PIC_DATE", "POS_RIGHT_BOTTOM"},
    {"PIC_COMMENT", "USE_DATE"},
    {"PIC_COMMENT", "COMMENT"},
    {"PIC_COMMENT", "COL_OUTER"},
    {"PIC_COMMENT", "COL_INNER"},
    {"PIC_COMMENT", "FONT_NAME"},
    {"PIC_COMMENT", "FONT_SIZE"},
    {"PIC_COMMENT", "POS_LEFT_TOP"},
    {"PIC_COMMENT", "POS_TOP"},
    {"PIC_COMMENT", "POS_RIGHT_TOP"},
    {"PIC_COMMENT", "POS_LEFT"},
    {"PIC_COMMENT", "POS_CENTER"},
    {"PIC_COMMENT", "POS_RIGHT"},
    {"PIC_COMMENT", "POS_LEFT_BOTTOM"},
    {"PIC_COMMENT", "POS_BOTTOM"},
    {"PIC_COMMENT", "POS_RIGHT_BOTTOM"},
};

class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tovali-settings-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = dir_ / "config.ini";
    }
    void TearDown() override { fs::remove_all(dir_); }

    void WriteFile(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string FileBytes() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    TSettings Load(const std::string& bytes) {
        WriteFile(bytes);
        return LoadSettingsFile(path_, kFaces);
    }

    fs::path dir_;
    fs::path path_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

}  // namespace

TEST_F(SettingsFile, NoFileGivesEveryDefault) {
    const TSettings s = LoadSettingsFile(path_, kFaces);
    EXPECT_FALSE(s.CBPicSize);
    EXPECT_TRUE(s.RBRegularSize);
    EXPECT_FALSE(s.RBInputPicSize);
    EXPECT_EQ(s.CBSizeList, 0);
    EXPECT_EQ(s.EditPicWidth, "800");
    EXPECT_EQ(s.EditPicHeight, "800");
    EXPECT_FALSE(s.CBQuality);
    EXPECT_TRUE(s.RBQuality);
    EXPECT_EQ(s.CBQualityLevel, 1);
    EXPECT_EQ(s.EditFileSize, "800");
    EXPECT_FALSE(s.CBFilter);
    EXPECT_EQ(s.TBContrast, 50);
    EXPECT_TRUE(s.RBBrightnessUP);
    EXPECT_FALSE(s.RBBrightnessDown);
    EXPECT_TRUE(s.RBDecidesName);
    EXPECT_EQ(s.CBSelectNamePos, 0);
    EXPECT_EQ(s.EditFileName, "s-");
    EXPECT_EQ(s.EditDirName, "Reduction");
    EXPECT_TRUE(s.RBJpeg);
    EXPECT_FALSE(s.RBPng || s.RBGif || s.RBBMP || s.CBProgressive);
    EXPECT_FALSE(s.Date.Use);
    EXPECT_TRUE(s.RBGetDateFromPic);
    EXPECT_EQ(s.Date.ColorOuter, RGBColor(255, 255, 255));
    EXPECT_EQ(s.Date.ColorInner, RGBColor(255, 128, 255));
    EXPECT_EQ(s.Date.FontSize, 3);
    EXPECT_EQ(s.Date.Pos, dpRightBottom);
    EXPECT_FALSE(s.Comment.Use);
    EXPECT_EQ(s.Comment.Text, "");
    EXPECT_EQ(s.Comment.ColorInner, RGBColor(255, 128, 255));
    EXPECT_EQ(s.Comment.FontSize, 3);
    EXPECT_EQ(s.Comment.Pos, dpLeftTop);
    EXPECT_NE(s.Comment.Pos, dpRightBottom);
    // "ＭＳ ゴシック" is not installed here: the first installed face stands in.
    EXPECT_EQ(s.Date.FontName, "IPAGothic");
    EXPECT_EQ(s.Comment.FontName, "IPAGothic");
    EXPECT_FALSE(fs::exists(path_));
}

// A fresh start on a machine without the Windows face: fontconfig names its
// metric-compatible substitute, which wins over whatever sorts first; a
// substitute that is not listed leaves the first face.
TEST_F(SettingsFile, DefaultFaceSelectsItsFontconfigSubstitute) {
    if (!QFontDatabase::families().contains("IPAGothic")) GTEST_SKIP() << "no IPA fonts";
    EXPECT_TRUE(FontSubstitutes("ＭＳ ゴシック").contains("IPAGothic"));
    TSettings s = LoadSettingsFile(path_, {"Droid Sans Fallback", "IPAGothic", "IPAPGothic"});
    EXPECT_EQ(s.Date.FontName, "IPAGothic");
    EXPECT_EQ(s.Comment.FontName, "IPAGothic");
    s = LoadSettingsFile(path_, {"Droid Sans Fallback", "Odd Face"});
    EXPECT_EQ(s.Date.FontName, "Droid Sans Fallback");
    EXPECT_TRUE(FontSubstitutes("").isEmpty());
}

TEST_F(SettingsFile, DefaultFaceIsKeptWhenInstalled) {
    const TSettings s = LoadSettingsFile(path_, {"IPAGothic", "ＭＳ ゴシック"});
    EXPECT_EQ(s.Date.FontName, "ＭＳ ゴシック");
}

TEST_F(SettingsFile, LastTrueKeyOfARadioGroupWins) {
    TSettings s = Load("[PIC_SAVE]\nTYPE_PNG=1\nTYPE_GIF=1\n");
    EXPECT_TRUE(s.RBGif);
    EXPECT_FALSE(s.RBJpeg || s.RBPng || s.RBBMP);
    s = Load("[PIC_SAVE]\nTYPE_JPEG=0\nTYPE_PNG=0\nTYPE_GIF=0\nTYPE_BMP=0\n");
    EXPECT_FALSE(s.RBJpeg || s.RBPng || s.RBGif || s.RBBMP || s.RBWebp || s.RBAvif);
    // The two later types are read after the four older ones, wherever
    // they stand in the file; a file without them reads as before.
    s = Load("[PIC_SAVE]\nTYPE_AVIF=1\nTYPE_WEBP=1\nTYPE_BMP=1\n");
    EXPECT_TRUE(s.RBAvif);
    EXPECT_FALSE(s.RBJpeg || s.RBBMP || s.RBWebp);
    s = Load("[PIC_SAVE]\nTYPE_WEBP=1\nTYPE_JPEG=1\nTYPE_AVIF=0\n");
    EXPECT_TRUE(s.RBWebp && !s.RBJpeg);
    s = Load("[PIC_SAVE]\nTYPE_JPEG=0\nTYPE_PNG=1\n");
    EXPECT_TRUE(s.RBPng && !s.RBWebp && !s.RBAvif);
    s = Load("[PIC_SIZE]\nREGULAR_SIZE=0\nINPUT_SIZE=0\n");
    EXPECT_FALSE(s.RBRegularSize || s.RBInputPicSize);
    // POS_RIGHT_BOTTOM is missing: its default (true) comes later and wins.
    EXPECT_EQ(Load("[PIC_DATE]\nPOS_TOP=1\n").Date.Pos, dpRightBottom);
    EXPECT_EQ(Load("[PIC_DATE]\nPOS_TOP=1\nPOS_RIGHT_BOTTOM=0\n").Date.Pos, dpTop);
    // Of two positions set, the later in key order; a position key set to 0
    // leaves another that is set; every key 0: no position, saved as such.
    EXPECT_EQ(Load("[PIC_COMMENT]\nPOS_RIGHT=1\nPOS_LEFT=1\nPOS_LEFT_TOP=0\n").Comment.Pos,
              dpRight);
    EXPECT_EQ(Load("[PIC_COMMENT]\nPOS_LEFT_TOP=1\nPOS_RIGHT=1\nPOS_BOTTOM=0\n").Comment.Pos,
              dpRight);
    s = Load("[PIC_COMMENT]\nPOS_LEFT_TOP=0\n");
    EXPECT_EQ(s.Comment.Pos, kNoDrawPos);
    SaveSettingsFile(path_, s);
    EXPECT_EQ(LoadSettingsFile(path_, kFaces).Comment.Pos, kNoDrawPos);
    const std::string bytes = FileBytes();
    const std::size_t section = bytes.find("[PIC_COMMENT]");
    const std::string comment = bytes.substr(section, bytes.find('[', section + 1) - section);
    for (const char* key :
         {"POS_LEFT_TOP=0\n", "POS_TOP=0\n", "POS_RIGHT_TOP=0\n", "POS_LEFT=0\n", "POS_CENTER=0\n",
          "POS_RIGHT=0\n", "POS_LEFT_BOTTOM=0\n", "POS_BOTTOM=0\n", "POS_RIGHT_BOTTOM=0\n"})
        EXPECT_NE(comment.find(key), std::string::npos) << key;
}

TEST_F(SettingsFile, TrackBarIsClampedAndTheClampedValueSaved) {
    EXPECT_EQ(Load("[PIC_FILTER]\nFILTER_VALUE=150\n").TBContrast, 100);
    EXPECT_EQ(Load("[PIC_FILTER]\nFILTER_VALUE=0x1E\n").TBContrast, 30);
    const TSettings s = Load("[PIC_FILTER]\nFILTER_VALUE=-5\n");
    EXPECT_EQ(s.TBContrast, 0);
    SaveSettingsFile(path_, s);
    EXPECT_NE(FileBytes().find("FILTER_VALUE=0\n"), std::string::npos);
}

TEST_F(SettingsFile, ListIndexOutsideItsListMeansNoSelectionAndSavesAsMinusOne) {
    TSettings s = Load(
        "[PIC_SIZE]\nREGULAR_INDEX=9\n[PIC_QUALITY]\nQUALITY_INDEX=-3\n"
        "[PIC_SAVE]\nDECIDES_INDEX=2\n");
    EXPECT_EQ(s.CBSizeList, -1);
    EXPECT_EQ(s.CBQualityLevel, -1);
    EXPECT_EQ(s.CBSelectNamePos, -1);
    SaveSettingsFile(path_, s);
    EXPECT_NE(FileBytes().find("REGULAR_INDEX=-1\n"), std::string::npos);
    EXPECT_EQ(LoadSettingsFile(path_, kFaces).CBSizeList, -1);
    EXPECT_EQ(Load("[PIC_SIZE]\nREGULAR_INDEX=6\n").CBSizeList, 6);
}

TEST_F(SettingsFile, BooleansReadAsIntegersWithTheirDefaults) {
    TSettings s = Load("[PIC_SIZE]\nUSE_PIC_SIZE=yes\nREGULAR_SIZE=yes\n");
    EXPECT_FALSE(s.CBPicSize);     // default 0
    EXPECT_TRUE(s.RBRegularSize);  // default 1
    s = Load("[PIC_SIZE]\nUSE_PIC_SIZE=2\n[PIC_FILTER]\nUSE_VIVID=-1\nUSE_MONOCHROME=0x10\n");
    EXPECT_TRUE(s.CBPicSize);
    EXPECT_TRUE(s.CBVivid);
    EXPECT_TRUE(s.CBMonochrome);
}

TEST_F(SettingsFile, FontFacesFallBackToWhatIsInstalled) {
    TSettings s = Load("[PIC_DATE]\nFONT_NAME=ipamincho\n[PIC_COMMENT]\nFONT_NAME=No Such Face\n");
    EXPECT_EQ(s.Date.FontName, "IPAMincho");
    EXPECT_EQ(s.Comment.FontName, "IPAGothic");
    SaveSettingsFile(path_, s);
    EXPECT_NE(FileBytes().find("FONT_NAME=IPAGothic\n"), std::string::npos);
    EXPECT_NE(FileBytes().find("FONT_NAME=IPAMincho\n"), std::string::npos);
    // No installed face at all: no selection, saved as empty text.
    WriteFile("[PIC_DATE]\nFONT_NAME=IPAGothic\n");
    s = LoadSettingsFile(path_, {});
    EXPECT_EQ(s.Date.FontName, "");
    SaveSettingsFile(path_, s);
    EXPECT_NE(FileBytes().find("FONT_NAME=\n"), std::string::npos);
}

TEST_F(SettingsFile, FontSizeOutsideTheFiveLevelsSelectsSmall) {
    EXPECT_EQ(Load("[PIC_DATE]\nFONT_SIZE=7\n").Date.FontSize, 3);
    EXPECT_EQ(Load("[PIC_COMMENT]\nFONT_SIZE=-1\n").Comment.FontSize, 3);
    EXPECT_EQ(Load("[PIC_DATE]\nFONT_SIZE=0\n").Date.FontSize, 0);
    EXPECT_EQ(Load("[PIC_DATE]\nFONT_SIZE=big\n").Date.FontSize, 3);
    // The window's size list without a selection is written as -1.
    TSettings s;
    s.Comment.FontSize = TTextSizeLevel(std::uint8_t(-1));
    SaveSettingsFile(path_, s);
    EXPECT_NE(FileBytes().find("FONT_SIZE=-1\n"), std::string::npos);
}

TEST_F(SettingsFile, ColoursAreIntegersOfPlainRgb) {
    const TSettings s = Load(
        "[PIC_DATE]\nCOL_OUTER=0xFF\nCOL_INNER=red\n"
        "[PIC_COMMENT]\nCOL_OUTER=-16777216\nCOL_INNER=65280\n");
    EXPECT_EQ(s.Date.ColorOuter, RGBColor(255, 0, 0));
    EXPECT_EQ(s.Date.ColorInner, RGBColor(255, 128, 255));
    EXPECT_EQ(s.Comment.ColorOuter, RGBColor(0, 0, 0));
    EXPECT_EQ(s.Comment.ColorInner, RGBColor(0, 255, 0));
}

TEST_F(SettingsFile, TextsAreKeptAsStoredAndOddNumbersStayTexts) {
    const TSettings s = Load(
        "[PIC_SIZE]\nWIDTH=abc\nHEIGHT=\n[PIC_SAVE]\nDECIDES_STRING=\n"
        "[PIC_COMMENT]\nCOMMENT=\"  quoted  \"\n");
    EXPECT_EQ(s.EditPicWidth, "abc");
    EXPECT_EQ(s.EditPicHeight, "");
    EXPECT_EQ(s.EditFileName, "");
    EXPECT_EQ(s.Comment.Text, "  quoted  ");
    SaveSettingsFile(path_, s);
    const TSettings again = LoadSettingsFile(path_, kFaces);
    EXPECT_EQ(again.EditPicWidth, "abc");
    EXPECT_EQ(again.Comment.Text, "  quoted  ");
}

TEST_F(SettingsFile, TextIsReadBackCutTo2047BytesOnAWholeCharacter) {
    TSettings s;
    s.Comment.Text = std::string(2047, 'x');
    SaveSettingsFile(path_, s);
    EXPECT_EQ(LoadSettingsFile(path_, kFaces).Comment.Text, s.Comment.Text);
    s.Comment.Text = std::string(2047, 'x') + "yz";
    SaveSettingsFile(path_, s);
    EXPECT_EQ(LoadSettingsFile(path_, kFaces).Comment.Text, std::string(2047, 'x'));
    // 1 + 1024 double-byte characters: the 1024th would end at byte 2049.
    std::string kana;
    for (int i = 0; i < 1024; ++i) kana += "あ";
    s.Comment.Text = "x" + kana;
    SaveSettingsFile(path_, s);
    const std::string back = LoadSettingsFile(path_, kFaces).Comment.Text;
    EXPECT_EQ(back, "x" + kana.substr(0, 1023 * 3));
}

TEST_F(SettingsFile, JapaneseTextIsStoredInCodePage932) {
    TSettings s;
    s.Comment.Text = "運動会～２０２４年";
    s.EditDirName = "縮小ソ表";  // ソ and 表 end in the byte of a backslash
    s.EditFileName = "小-";
    SaveSettingsFile(path_, s);
    const std::string bytes = FileBytes();
    EXPECT_NE(bytes.find("COMMENT=" + Utf8ToCp932("運動会～２０２４年") + "\n"), std::string::npos);
    EXPECT_EQ(bytes.find("運動会"), std::string::npos);
    const TSettings back = LoadSettingsFile(path_, kFaces);
    EXPECT_EQ(back.Comment.Text, s.Comment.Text);
    EXPECT_EQ(back.EditDirName, s.EditDirName);
    EXPECT_EQ(back.EditFileName, s.EditFileName);
}

TEST_F(SettingsFile, FirstSaveWritesTheKeysInTableOrder) {
    SaveSettingsFile(path_, TSettings{});
    std::vector<std::string> expected;
    std::string section;
    for (const auto& [sec, key] : kFileOrder) {
        if (sec != section) expected.push_back("[" + (section = sec) + "]");
        expected.push_back(std::string(key) + "=");
    }
    const std::vector<std::string> lines = Lines(FileBytes());
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << lines[i];
    EXPECT_NE(FileBytes().find("COL_INNER=16744703\n"), std::string::npos);
    EXPECT_NE(FileBytes().find("FONT_NAME=" + Utf8ToCp932("ＭＳ ゴシック") + "\n"),
              std::string::npos);
}

TEST_F(SettingsFile, SaveKeepsForeignSectionsKeysAndComments) {
    WriteFile(
        "; written by hand\r\n[MINE]\r\nA=1\r\n\r\n[PIC_SIZE]\r\n; about the width\r\n"
        "WIDTH=640\r\nEXTRA=keep me\r\n[PIC_SAVE]\r\nTYPE_PNG=1\r\n; the end\r\n");
    TSettings s = LoadSettingsFile(path_, kFaces);
    EXPECT_EQ(s.EditPicWidth, "640");
    EXPECT_TRUE(s.RBPng);
    s.EditPicWidth = "1024";
    SaveSettingsFile(path_, s);
    const std::string bytes = FileBytes();
    for (const char* kept :
         {"; written by hand\r\n", "[MINE]\r\nA=1\r\n", "; about the width\r\nWIDTH=1024\r\n",
          "EXTRA=keep me\r\n", "; the end\r\n", "TYPE_PNG=1\r\n", "TYPE_JPEG=0\r\n"}) {
        EXPECT_NE(bytes.find(kept), std::string::npos) << kept;
    }
    EXPECT_EQ(bytes.find("WIDTH=640"), std::string::npos);
    EXPECT_EQ(bytes.find("\n\n"), std::string::npos) << "every line ends in CRLF";
    EXPECT_EQ(LoadSettingsFile(path_, kFaces), s);
}

TEST_F(SettingsFile, NamesIgnoreLetterCaseAndTheFirstOfTwinKeysCounts) {
    const TSettings s = Load("[pic_size]\nuse_pic_size=1\nWIDTH=111\nWIDTH=222\n");
    EXPECT_TRUE(s.CBPicSize);
    EXPECT_EQ(s.EditPicWidth, "111");
    SaveSettingsFile(path_, s);
    EXPECT_EQ(FileBytes().find("222"), std::string::npos);
}

TEST_F(SettingsFile, EverySettingSurvivesASaveAndALoad) {
    TSettings s;
    s.CBPicSize = true;
    s.RBRegularSize = false;
    s.RBInputPicSize = true;
    s.CBSizeList = 4;
    s.EditPicWidth = "1200";
    s.CBQuality = s.RBFileSize = true;
    s.RBQuality = false;
    s.CBQualityLevel = 4;
    s.EditFileSize = "95";
    s.CBFilter = s.CBVivid = s.CBBrightness = s.CBMonochrome = s.CBWhiteFrame = true;
    s.TBContrast = 73;
    s.RBBrightnessUP = false;
    s.RBBrightnessDown = true;
    s.RBDecidesName = false;
    s.RBMakeDir = true;
    s.CBSelectNamePos = 1;
    s.EditFileName = "_small";
    s.EditDirName = "縮小";
    s.CBProgressive = true;
    s.RBJpeg = false;
    s.RBBMP = true;
    s.Date.Use = true;
    s.RBGetDateFromPic = false;
    s.RBInputDate = true;
    s.Date.ColorOuter = 0x123456;
    s.Date.FontName = "IPAMincho";
    s.Date.FontSize = tsExtraLarge;
    s.Date.Pos = dpCenter;
    s.Comment.Use = true;
    s.Comment.Text = "コメント, with = signs; and #";
    s.Comment.ColorInner = 0;
    s.Comment.FontName = "IPAPGothic";
    s.Comment.FontSize = tsExtraSmall;
    s.Comment.Pos = dpBottom;
    SaveSettingsFile(path_, s);
    EXPECT_EQ(LoadSettingsFile(path_, kFaces), s);
}

TEST_F(SettingsFile, SetValueActsAsIfTheFileHeldTheValue) {
    WriteFile("[PIC_SIZE]\nUSE_PIC_SIZE=0\n");
    TSettingsFile file(path_);
    EXPECT_TRUE(file.SetValue("pic_size", "use_pic_size", "1"));
    EXPECT_TRUE(file.SetValue("PIC_COMMENT", "COMMENT", "日本語"));
    EXPECT_TRUE(file.SetValue("PIC_FILTER", "FILTER_VALUE", "0x1E"));
    EXPECT_FALSE(file.SetValue("PIC_SIZE", "NO_SUCH_KEY", "1"));
    EXPECT_FALSE(file.SetValue("MINE", "WIDTH", "1"));
    const TSettings s = file.Read(kFaces);
    EXPECT_TRUE(s.CBPicSize);
    EXPECT_EQ(s.Comment.Text, "日本語");
    EXPECT_EQ(s.TBContrast, 30);
    EXPECT_TRUE(TSettingsFile::IsKnownKey("PIC_COMMENT", "USE_DATE"));
    EXPECT_FALSE(TSettingsFile::IsKnownKey("PIC_COMMENT", "FROM_PIC"));
}

TEST_F(SettingsFile, UnreadableFileRunsOnDefaultsAndIsNeverOverwritten) {
    fs::create_directory(path_);
    TSettingsFile folder(path_);
    EXPECT_NE(folder.ReadProblem(), "");
    EXPECT_EQ(folder.Read(kFaces), LoadSettingsFile(dir_ / "missing.ini", kFaces));
    EXPECT_THROW(folder.Save(), ESettingsError);
    fs::remove(path_);

    const std::string huge = "[PIC_SIZE]\nWIDTH=123\n; " + std::string(2 << 20, 'x') + "\n";
    WriteFile(huge);
    TSettingsFile big(path_);
    EXPECT_NE(big.ReadProblem(), "");
    EXPECT_EQ(big.Read(kFaces).EditPicWidth, "800");
    EXPECT_THROW(SaveSettingsFile(path_, TSettings{}), ESettingsError);
    EXPECT_EQ(FileBytes(), huge);
}

TEST_F(SettingsFile, FailedSaveNamesTheFileAndLeavesNoTrace) {
    const fs::path missing = dir_ / "no" / "config.ini";
    try {
        SaveSettingsFile(missing, TSettings{});
        FAIL() << "saved into a missing folder";
    } catch (const ESettingsError& e) {
        EXPECT_EQ(std::string(e.what()), missing.string() + " に書き込めません");
    }
    SaveSettingsFile(path_, TSettings{});
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// A --set text is used as typed: it never goes through code page 932, which
// would turn what it cannot hold into "?". Cp932Keeps tells such texts.
TEST_F(SettingsFile, SetTextsAreUsedAsTyped) {
    TSettingsFile file(path_);
    EXPECT_TRUE(file.SetValue("PIC_COMMENT", "COMMENT", "旅行😀𠮷Ⅻ"));
    EXPECT_EQ(file.Read(kFaces).Comment.Text, "旅行😀𠮷Ⅻ");
    EXPECT_TRUE(Cp932Keeps("旅行 ①Ⅰ ＡＢ"));
    EXPECT_FALSE(Cp932Keeps("旅行😀"));
    EXPECT_FALSE(Cp932Keeps("𠮷"));
    // Once saved, the file holds what code page 932 can keep.
    file.Write(file.Read(kFaces));
    file.Save();
    EXPECT_EQ(TSettingsFile(path_).Read(kFaces).Comment.Text, "旅行???");
}
