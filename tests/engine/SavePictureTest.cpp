#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csignal>
#include <filesystem>
#include <random>

#include "engine/FileNames.h"
#include "engine/NewFile.h"
#include "engine/UnitThPicConvert.h"
#include "engine/codecs/BmpCodec.h"
#include "engine/codecs/JpegCodec.h"
#include "tests/engine/ImageCompare.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

void Gradient(TBitmap& b) {
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            b.SetPixel(x, y, RGBColor(std::uint8_t(x), std::uint8_t(y), 90));
}

// An engine that affixes names, as a fresh snapshot would set it up.
struct Saver {
    TthPicConvert engine;
    explicit Saver(TOutputType type, const std::string& affix = "_s", bool before = false) {
        engine.Options.DecidesName = true;
        engine.Options.NameAffix = affix;
        engine.Options.NameBefore = before;
        engine.Options.OutputType = type;
    }
    // The name written.
    std::string Save(const std::string& outputName) {
        TBitmap b(8, 6, 24);
        Gradient(b);
        return engine.SavePicture(outputName, b);
    }
};

std::vector<std::uint8_t> Encoding(const TBitmap& b, int quality) {
    TJpegImage jpeg(b);
    jpeg.CompressionQuality = quality;
    jpeg.Compress();
    return {jpeg.Data(), jpeg.Data() + jpeg.DataSize()};
}

// A picture whose JPEG size falls by well over a kilobyte per quality step.
void Photo(TBitmap& b) {
    b.SetSize(240, 180, 24);
    std::mt19937 random(9);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            b.SetPixel(x, y,
                       RGBColor(std::uint8_t((x + y) / 2 + random() % 24), std::uint8_t(x ^ y),
                                std::uint8_t(random() % 64 + 100)));
}

}  // namespace

TEST(SavePicture, AffixAfterTheBaseNameThenNumberedOnCollision) {
    TTempDir dir;
    Saver s(otJpeg);
    EXPECT_EQ(s.Save(dir / "a.jpg"), dir / "a_s.jpg");
    s.Save(dir / "a.jpg");
    EXPECT_EQ(s.Save(dir / "a.jpg"), dir / "a_s(2).jpg");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a_s(1).jpg", "a_s(2).jpg", "a_s.jpg"}));
    Saver png(otPng);
    png.Save(dir / "a.png");
    EXPECT_TRUE(fs::exists(dir / "a_s.png"));
}

TEST(SavePicture, AffixBeforeTheName) {
    TTempDir dir;
    Saver s(otGif, "s_", true);
    s.Save(dir / "a.gif");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"s_a.gif"}));
}

TEST(SavePicture, TheSourceIsNeverReplaced) {
    TTempDir dir;
    fs::copy_file(DataFile("jpeg/colour.jpg"), dir / "a.jpg");
    const auto before = ReadBytes(dir / "a.jpg");
    Saver s(otJpeg, "");
    s.Save(dir / "a.jpg");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a(1).jpg", "a.jpg"}));
    EXPECT_EQ(ReadBytes(dir / "a.jpg"), before);
}

TEST(SavePicture, SubFolderIsCreatedOneLevelDeep) {
    TTempDir dir;
    TthPicConvert engine;
    engine.Options.DecidesName = false;
    engine.Options.DirName = "small";
    engine.Options.OutputType = otBmp;
    TBitmap b(4, 4, 24);
    engine.SavePicture(dir / "a.bmp", b);
    EXPECT_EQ(engine.SavePicture(dir / "a.bmp", b), dir / "small" + kPathDelimiter + "a(1).bmp");
    EXPECT_EQ(dir.Entries("small"), (std::vector<std::string>{"a(1).bmp", "a.bmp"}));
    // Only one level: a nested name fails at the file, and leaves nothing.
    engine.Options.DirName = "x/y";
    EXPECT_THROW(engine.SavePicture(dir / "a.bmp", b), EFileError);
    EXPECT_FALSE(fs::exists(dir / "x"));
}

TEST(SavePicture, InvalidOutputTypeFailsAfterTheNameIsChosen) {
    TTempDir dir;
    TthPicConvert engine;
    engine.Options.DirName = "out";
    engine.Options.OutputType = TOutputType(6);
    TBitmap b(4, 4, 24);
    try {
        engine.SavePicture(dir / "a.jpg", b);
        ADD_FAILURE() << "saved";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "invalid output file type");
    }
    EXPECT_TRUE(fs::is_directory(dir / "out"));
    EXPECT_TRUE(dir.Entries("out").empty());
}

#ifndef _WIN32  // links need a privilege on Windows
TEST(SavePicture, NamesTakenByFoldersOrDanglingLinksAreSkipped) {
    TTempDir dir;
    fs::create_directory(dir / "a_s.png");
    fs::create_symlink(dir / "nowhere", dir / "a_s(1).png");
    Saver s(otPng);
    s.Save(dir / "a.png");
    EXPECT_TRUE(fs::is_regular_file(dir / "a_s(2).png"));
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}
#endif

TEST(SavePicture, AFailedEncodeLeavesNoFileBehind) {
    TTempDir dir;
    Saver s(otPng);
    TBitmap empty;  // every encoder refuses it
    for (const TOutputType type : {otJpeg, otPng, otBmp, otGif, otWebp, otAvif}) {
        s.engine.Options.OutputType = type;
        EXPECT_THROW(s.engine.SavePicture(dir / "a.png", empty), std::runtime_error);
    }
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(NewFile, ANameTakenWhileWritingIsNotReplaced) {
    TTempDir dir;
    {
        TNewFile file(dir / "a.bmp");
        file.Sink().Write("new", 3);
        WriteBytes(dir / "a.bmp", {'o', 'l', 'd'});  // appears meanwhile
        const std::string name = file.Publish([&](std::int64_t n) {
            return n == 0 ? dir / "a.bmp" : dir / ("a(" + std::to_string(n) + ").bmp");
        });
        EXPECT_EQ(name, dir / "a(1).bmp");
    }
    EXPECT_EQ(ReadBytes(dir / "a.bmp"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(ReadBytes(dir / "a(1).bmp"), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a(1).bmp", "a.bmp"}));
}

TEST(NewFile, AnAbandonedFileLeavesNothing) {
    TTempDir dir;
    {
        TNewFile file(dir / "a.bmp");
        std::vector<char> big(1 << 20, 'x');
        file.Sink().Write(big.data(), big.size());
    }
    EXPECT_TRUE(dir.Entries().empty());
    EXPECT_THROW(TNewFile(dir / "missing/a.bmp"), EFileError);
}

// A stop while a picture is saved: the save gives up wherever it is, in
// the encoder or between writes, and no part of the file is left, named or
// not. A flag that stays clear changes no byte of the encoding.
TEST(SavePicture, AStoppedSaveLeavesNothing) {
    TTempDir dir;
    std::atomic<bool> cancel{true};
    Saver s(otJpeg);
    TBitmap b;
    Photo(b);
    for (const TOutputType type : {otJpeg, otPng, otBmp, otGif}) {
        s.engine.Options.OutputType = type;
        EXPECT_THROW(s.engine.SavePicture(dir / "a.bmp", b, &cancel), std::runtime_error) << type;
    }
    for (const bool progressive : {false, true}) {
        TJpegImage jpeg(b);
        jpeg.ProgressiveEncoding = progressive;
        jpeg.Cancel = &cancel;
        EXPECT_THROW(jpeg.Compress(), ECodecError);
    }
    cancel.store(false);
    TJpegImage watched(b);
    watched.Cancel = &cancel;
    watched.CompressionQuality = 50;
    watched.Compress();
    EXPECT_EQ(std::vector<std::uint8_t>(watched.Data(), watched.Data() + watched.DataSize()),
              Encoding(b, 50));

    for (const bool anonymous : {true, false}) {
        UseAnonymousNewFiles(anonymous);
        TNewFile file(dir / "a.bmp", &cancel);
        file.Sink().Write("part", 4);
        cancel.store(true);
        std::vector<char> more(1 << 17, 'x');
        EXPECT_THROW(file.Sink().Write(more.data(), more.size()), EFileError);
        EXPECT_THROW(file.Publish([&](std::int64_t) { return dir / "a.bmp"; }), EFileError);
        cancel.store(false);
    }
    UseAnonymousNewFiles(true);
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(NewFile, BigAndSmallWritesArriveInOrder) {
    TTempDir dir;
    std::vector<std::uint8_t> expected;
    {
        TNewFile file(dir / "f");
        for (int i = 0; i < 40; ++i) {
            std::vector<std::uint8_t> piece(std::size_t(i) * 7919 % 100000, std::uint8_t(i));
            file.Sink().Write(piece.data(), piece.size());
            expected.insert(expected.end(), piece.begin(), piece.end());
        }
        file.Publish([&](std::int64_t) { return dir / "f"; });
    }
    EXPECT_EQ(ReadBytes(dir / "f"), expected);
}

TEST(SavePicture, WrittenFilesHoldTheEncodingOfTheRaster) {
    TTempDir dir;
    TthPicConvert engine;
    engine.Options.DecidesName = true;
    engine.Options.NameAffix = "_s";
    TBitmap b(30, 20, 24);
    Gradient(b);
    engine.Options.OutputType = otBmp;
    engine.SavePicture(dir / "a.bmp", b);
    TMemorySink bmp;
    BmpSave(b, bmp);
    EXPECT_EQ(ReadBytes(dir / "a_s.bmp"), bmp.Bytes);
    engine.Options.OutputType = otJpeg;  // UseQuality false: always quality 80
    engine.Options.JpegQuality = 10;
    engine.SavePicture(dir / "a.jpg", b);
    EXPECT_EQ(ReadBytes(dir / "a_s.jpg"), Encoding(b, 80));
    engine.Options.UseQuality = true;
    engine.Options.QualityByLevel = true;
    engine.SavePicture(dir / "a.jpg", b);
    EXPECT_EQ(ReadBytes(dir / "a_s(1).jpg"), Encoding(b, 10));
}

TEST(CompressJpeg, TargetSizeTakesTheFirstQualityStrictlyBelowTheLimit) {
    TBitmap photo;
    Photo(photo);
    std::vector<std::vector<std::uint8_t>> byQuality(101);
    for (int q = 0; q <= 100; q += 10) byQuality[std::size_t(q)] = Encoding(photo, q);
    TthPicConvert engine;
    engine.Options.UseQuality = true;
    engine.Options.QualityByLevel = false;
    int checked = 0;
    for (int expected = 100; expected >= 10; expected -= 10) {
        // The smallest limit in whole kilobytes that the expected quality
        // fits under; the step above must not fit under it.
        const std::int64_t size = std::int64_t(byQuality[std::size_t(expected)].size());
        engine.Options.TargetFileSize = size / 1024 + 1;
        if (expected < 100 && std::int64_t(byQuality[std::size_t(expected + 10)].size()) <
                                  engine.Options.TargetFileSize * 1024)
            continue;  // two steps within one kilobyte: no limit separates them
        TJpegImage jpeg(photo);
        engine.CompressJpeg(jpeg);
        EXPECT_EQ(std::int64_t(jpeg.DataSize()), size) << expected;
        EXPECT_EQ(std::vector<std::uint8_t>(jpeg.Data(), jpeg.Data() + jpeg.DataSize()),
                  byQuality[std::size_t(expected)])
            << expected;
        ++checked;
    }
    EXPECT_GE(checked, 6);
}

TEST(CompressJpeg, NoSizeBelowTheLimitKeepsTheQualityZeroEncoding) {
    TBitmap photo;
    Photo(photo);
    TthPicConvert engine;
    engine.Options.UseQuality = true;
    engine.Options.TargetFileSize = 0;
    engine.Options.UseProgressive = true;
    TJpegImage jpeg(photo);
    engine.CompressJpeg(jpeg);
    TJpegImage lowest(photo);
    lowest.ProgressiveEncoding = true;
    lowest.CompressionQuality = 1;  // the library's floor for 0
    lowest.Compress();
    EXPECT_EQ(std::vector<std::uint8_t>(jpeg.Data(), jpeg.Data() + jpeg.DataSize()),
              std::vector<std::uint8_t>(lowest.Data(), lowest.Data() + lowest.DataSize()));
}

TEST(CompressJpeg, ASizeOfExactlyTheLimitIsNotBelowIt) {
    // This noise encodes to exactly 6 KB at quality 100.
    TBitmap b(66, 48, 24);
    std::mt19937 random(2526);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 66; ++x)
            b.SetPixel(x, y,
                       RGBColor(std::uint8_t(random()), std::uint8_t(x * 4), std::uint8_t(y * 5)));
    ASSERT_EQ(Encoding(b, 100).size(), 6u * 1024);
    TthPicConvert engine;
    engine.Options.UseQuality = true;
    engine.Options.TargetFileSize = 6;
    TJpegImage jpeg(b);
    engine.CompressJpeg(jpeg);
    EXPECT_EQ(std::vector<std::uint8_t>(jpeg.Data(), jpeg.Data() + jpeg.DataSize()),
              Encoding(b, 90));
    engine.Options.TargetFileSize = 7;
    engine.CompressJpeg(jpeg);
    EXPECT_EQ(jpeg.DataSize(), 6u * 1024);
}

// A base name near the file-name limit still gets its numbers: the base is
// shortened (on a whole character) so that affix, number and extension fit.
#ifndef _WIN32  // Linux counts bytes; Windows UTF-16 units (NewFileWinTest)
TEST(SavePicture, NamesPastTheFileNameLimitAreShortenedToFit) {
    TTempDir dir;
    const std::string base(249, 'b');
    Saver s(otJpeg, "s-", true);
    s.Save(dir / (base + ".jpg"));
    s.Save(dir / (base + ".jpg"));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"s-" + base.substr(0, 246) + "(1).jpg",
                                                       "s-" + base + ".jpg"}));
    // "あ" is three bytes: the cut falls before a whole one, never inside it.
    std::string wide;
    for (int i = 0; i < 83; ++i) wide += "あ";  // 249 bytes
    Saver after(otPng, "_small");
    after.Save(dir / (wide + ".png"));
    const std::string kept = wide.substr(0, 3 * 81);  // 243 + 6 + 4 <= 255
    EXPECT_TRUE(fs::exists(dir / (kept + "_small.png")));
    // Bytes that are not UTF-8 (Shift-JIS) are cut byte by byte.
    EXPECT_EQ(PrefixOfBytes("\x82\xa0\x82\xa2", 3), "\x82\xa0\x82");
    EXPECT_EQ(PrefixOfBytes("aあ", 3), "a");
    EXPECT_EQ(PrefixOfBytes("aあ", 4), "aあ");
}
#endif

#ifndef _WIN32  // Windows: NewFileWinTest
// Killed in the middle of a save, a process leaves no part of the file: the
// data sits in an unnamed file until it is complete.
TEST(NewFile, AProcessKilledWhileWritingLeavesNothing) {
    TTempDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TNewFile file(dir / "a.bmp");
        std::vector<char> big(1 << 20, 'x');
        file.Sink().Write(big.data(), big.size());
        kill(getpid(), SIGKILL);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(dir.Entries().empty());
}
#endif
