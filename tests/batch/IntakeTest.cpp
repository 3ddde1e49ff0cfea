#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/batch/Intake.h"
#include "engine/FileNames.h"
#include "engine/codecs/GifCodec.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

// The smallest GIF: 1 x 1, one image, a global palette of two colours.
const std::string kGifHeader("GIF89a\x01\x00\x01\x00\x80\x00\x00\xFF\xFF\xFF\x00\x00\x00", 19);
const std::string kGifImage("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00", 15);
const std::string kGifEnd = "\x3B";
const std::string kGraphicControl("\x21\xF9\x04\x01\x00\x00\x00\x00", 8);
// An image that says 60000 x 60000 pixels, more than any picture may have.
const std::string kHugeImage("\x2C\x00\x00\x00\x00\x60\xEA\x60\xEA\x00\x02\x02\x44\x01\x00", 15);

class Intake : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tovali-intake-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string File(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    fs::path dir_;
};

}  // namespace

TEST(IntakeNames, ExtensionsAreComparedIgnoringCase) {
    EXPECT_TRUE(IsSupportedExt("/p/x.JpEg"));
    EXPECT_TRUE(IsSupportedExt("/p/a.jpg"));
    EXPECT_TRUE(IsSupportedExt("b.GIF"));
    EXPECT_TRUE(IsSupportedExt("/p/c.png"));
    EXPECT_TRUE(IsSupportedExt("/p/d.bmp"));
    for (const char* name : {"e.heic", "F.HEIF", "g.Avif", "h.webp", "i.WEBP", "j.HeIf"})
        EXPECT_TRUE(IsSupportedExt(std::string("/p/") + name)) << name;
    EXPECT_FALSE(IsSupportedExt("/p/a.heics"));
    EXPECT_FALSE(IsSupportedExt("/p/a.web"));
    // The refusal names every format that is read (HEIF files under HEIC).
    EXPECT_STREQ(kFormatError,
                 "「JPEG形式、GIF形式、PNG形式、BMP形式、HEIC形式、AVIF形式、WebP形式」"
                 "以外の形式には対応していません,");
    EXPECT_FALSE(IsSupportedExt("/p/notes.txt"));
    EXPECT_FALSE(IsSupportedExt("/p/photo.jpg.txt"));
    EXPECT_FALSE(IsSupportedExt("/p/noextension"));
    EXPECT_FALSE(IsSupportedExt("/p.jpg/noextension"));
    EXPECT_FALSE(IsSupportedExt("/p/a.tiff"));
    EXPECT_FALSE(IsSupportedExt("/p/a.jpe"));
}

TEST(IntakeNames, FileNamePartIsTheTextAfterTheLastSeparator) {
    EXPECT_EQ(FileNamePart("/home/u/Pictures/a,b.jpg"), "a,b.jpg");
    EXPECT_EQ(FileNamePart("relative.png"), "relative.png");
    EXPECT_EQ(FileNamePart("/home/u/Photos/"), "Photos");
    EXPECT_EQ(ExtensionOf("/p.d/name"), "");
    EXPECT_EQ(ExtensionOf("/p/name.tar.GZ"), ".GZ");
}

TEST_F(Intake, GifImagesAreCounted) {
    EXPECT_EQ(GifImageCount(File("one.gif", kGifHeader + kGraphicControl + kGifImage + kGifEnd)),
              1);
    EXPECT_EQ(GifImageCount(
                  File("two.gif", kGifHeader + kGifImage + kGraphicControl + kGifImage + kGifEnd)),
              2);
}

TEST_F(Intake, UnreadableGifsThrow) {
    EXPECT_THROW(GifImageCount(File("empty.gif", "")), std::exception);
    EXPECT_THROW(GifImageCount(File("text.gif", "hello, world")), std::exception);
    EXPECT_THROW(GifImageCount(File("no_image.gif", kGifHeader + kGifEnd)), std::exception);
    EXPECT_THROW(GifImageCount(File("truncated.gif", kGifHeader + kGifImage.substr(0, 12))),
                 std::exception);
    EXPECT_THROW(GifImageCount(File("huge_frame.gif", kGifHeader + kHugeImage + kGifEnd)),
                 std::exception);
    EXPECT_THROW(GifImageCount((dir_ / "missing.gif").string()), std::exception);
    // A pipe would block the read for good.
    ASSERT_EQ(mkfifo((dir_ / "pipe.gif").c_str(), 0600), 0);
    EXPECT_THROW(GifImageCount((dir_ / "pipe.gif").string()), std::exception);
    // A damaged second image makes the file unreadable, not merely animated.
    EXPECT_THROW(
        GifImageCount(File("bad_second.gif", kGifHeader + kGifImage + kGifImage.substr(0, 13))),
        std::exception);
}

TEST_F(Intake, EveryPathIsCheckedAndSupportedOnesAreListed) {
    fs::create_directory(dir_ / "Photos");
    fs::create_directory(dir_ / "folder.jpg");
    const TPathList paths = {
        File("good.gif", kGifHeader + kGifImage + kGifEnd),
        File("anim.GIF", kGifHeader + kGifImage + kGifImage + kGifEnd),
        File("broken.gif", "GIF89a"),
        File("broken.jpg", "not a jpeg"),   // JPEGs are not opened here
        File("broken.heic", "not a heif"),  // nor HEIF, AVIF and WebP
        File("notes.txt", "text"),
        (dir_ / "Photos").string(),
        (dir_ / "folder.jpg").string(),
        File("good.gif", kGifHeader + kGifImage + kGifEnd),  // twice is fine
        File("movie.heics", "burst"),
    };
    TPathList fileList = {"left over from an earlier drop"};
    const std::vector<std::string> errors = CollectFileErrors(paths, fileList);
    EXPECT_EQ(fileList,
              (TPathList{paths[0], paths[1], paths[2], paths[3], paths[4], paths[7], paths[8]}));
    EXPECT_EQ(errors, (std::vector<std::string>{
                          std::string(kAnimatedGifError) + "anim.GIF",
                          std::string(kGifReadError) + "broken.gif",
                          std::string(kFormatError) + "notes.txt",
                          std::string(kFolderError) + "Photos",
                          std::string(kFormatError) + "movie.heics",
                      }));
}

TEST_F(Intake, CheckFilesShowsTheSummaryOrTheInputCheck) {
    TSettings settings;
    TPathList fileList;
    std::string message;
    EXPECT_TRUE(CheckFiles({File("a.jpg", "x")}, settings, fileList, message));
    EXPECT_EQ(message, "");
    EXPECT_EQ(fileList.size(), 1u);

    EXPECT_FALSE(
        CheckFiles({File("a.jpg", "x"), File("notes.txt", "x")}, settings, fileList, message));
    EXPECT_EQ(message,
              "■「JPEG形式、GIF形式、PNG形式、BMP形式、HEIC形式、AVIF形式、WebP形式」"
              "以外の形式には対応していません\r\n"
              "　　notes.txt\r\n");

    settings.EditFileName.clear();
    EXPECT_FALSE(CheckFiles({File("a.jpg", "x")}, settings, fileList, message));
    EXPECT_EQ(message, "ファイル名の前後に付ける文字を入力してください");
    // A rejected path wins over the input check, which then does not run.
    EXPECT_FALSE(CheckFiles({(dir_ / "none").string()}, settings, fileList, message));
    EXPECT_EQ(message.rfind("■", 0), 0u);
}

TEST(ErrorMessage, OneFolder) {
    EXPECT_EQ(MakeErrorMessage({std::string(kFolderError) + "Photos"}),
              "■フォルダのドロップには対応していません\r\n　　Photos\r\n");
}

TEST(ErrorMessage, GroupsAreSortedAndSeparatedByAnEmptyLine) {
    const std::string text = MakeErrorMessage({
        std::string(kGifReadError) + "b.gif",
        std::string(kFolderError) + "Photos",
        std::string(kGifReadError) + "A,1.gif",
        std::string(kGifReadError) + "a.gif",
    });
    const std::string readGroup = "■読込みエラー\r\n　　A,1.gif\r\n　　a.gif\r\n　　b.gif\r\n";
    const std::string folderGroup = "■フォルダのドロップには対応していません\r\n　　Photos\r\n";
    // The order of the two groups is the locale's; each group stays whole.
    EXPECT_TRUE(text == readGroup + "\r\n" + folderGroup ||
                text == folderGroup + "\r\n" + readGroup)
        << text;
}

TEST(ErrorMessage, ListsAtMost25EntriesThenCountsTheRest) {
    std::vector<std::string> errors;
    std::string listed = "■読込みエラー\r\n";
    for (int i = 10; i < 35; ++i) {
        errors.push_back(std::string(kGifReadError) + "f" + std::to_string(i) + ".gif");
        listed += "　　f" + std::to_string(i) + ".gif\r\n";
    }
    EXPECT_EQ(MakeErrorMessage(errors), listed);
    errors.push_back(std::string(kGifReadError) + "f35.gif");
    EXPECT_EQ(MakeErrorMessage(errors), listed + "\r\n他1件のエラー");
    for (int i = 36; i < 40; ++i)
        errors.push_back(std::string(kGifReadError) + "f" + std::to_string(i) + ".gif");
    EXPECT_EQ(MakeErrorMessage(errors), listed + "\r\n他5件のエラー");
}
