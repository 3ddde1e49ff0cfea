// Finding the APP1 segment, the frame size, and the load's events and errors.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "exif/WideFileUtils.h"
#include "tests/exif/ExifTestUtil.h"

using namespace tovali;

using namespace exiftest;

namespace {

Bytes DateTiff(const std::string& date = "2005:03:14 10:20:30") {
    TiffBuilder t(true);
    t.Ascii(t.AddIfd(), 0x0132, date);
    return t.Build();
}

// SOI, DQT marker, `filler` bytes, then an APP1 segment: the scan's input.
Bytes ScanInput(std::size_t filler, std::uint8_t fill = 0) {
    Bytes out{0xFF, 0xD8, 0xFF, 0xDB};
    out.insert(out.end(), filler, fill);
    const Bytes app1 = Segment(0xFFE1, App1Payload(DateTiff()));
    out.insert(out.end(), app1.begin(), app1.end());
    return out;
}

std::int64_t FindIn(TExifInfo& reader, const Bytes& bytes) {
    TBytesStream s(bytes.data(), bytes.size());
    s.SetPosition(0);
    const std::int64_t found = reader.FindApp1(s);
    EXPECT_EQ(s.Position(), 0) << "FindApp1 keeps the position";
    return found;
}

Bytes Append(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(FindApp1, SegmentWalkFindsApp1AfterOtherApplicationSegments) {
    TExifInfo reader;
    EXPECT_EQ(FindIn(reader, ExifJpeg(DateTiff())), 2);
    EXPECT_EQ(FindIn(reader, ExifJpeg(DateTiff(), {.app0First = true})), 20);
    // An ICC profile (APP2) of 60000 bytes and a Photoshop APP13 in front.
    Bytes far{0xFF, 0xD8};
    far = Append(far, Segment(0xFFE2, Bytes(60000, 0x11)));
    far = Append(far, Segment(0xFFED, Bytes(300, 0)));
    const std::size_t app1At = far.size();
    far = Append(far, Segment(0xFFE1, App1Payload(DateTiff())));
    EXPECT_EQ(FindIn(reader, far), std::int64_t(app1At));
    // The walk stops at the first word that is not a marker.
    Bytes broken{0xFF, 0xD8};
    broken = Append(broken, Segment(0xFFE0, Bytes(10, 0)));
    broken.insert(broken.end(), {0x12, 0x34});
    broken = Append(broken, Segment(0xFFE1, App1Payload(DateTiff())));
    EXPECT_EQ(FindIn(reader, broken), -1);
}

TEST(FindApp1, ScanLooksAtOffsetsFourToFourPlusSearchBytes) {
    TExifInfo reader;
    EXPECT_EQ(reader.SearchBytes(), 16);
    EXPECT_EQ(FindIn(reader, ScanInput(0)), 4);
    EXPECT_EQ(FindIn(reader, ScanInput(16)), 20);
    EXPECT_EQ(FindIn(reader, ScanInput(17)), -1);
    reader.SetSearchBytes(0);
    EXPECT_EQ(FindIn(reader, ScanInput(0)), 4);
    EXPECT_EQ(FindIn(reader, ScanInput(1)), -1);
    reader.SetSearchBytes(100);
    EXPECT_EQ(FindIn(reader, ScanInput(96)), 100);
    reader.SetSearchBytes(-5);
    EXPECT_EQ(reader.SearchBytes(), 0);
}

TEST(FindApp1, ScanExaminesTheByteAfterAStrayFFAgain) {
    TExifInfo reader;
    // FF FF E1: the second FF is the marker's.
    EXPECT_EQ(FindIn(reader, ScanInput(1, 0xFF)), 5);
    EXPECT_EQ(FindIn(reader, ScanInput(16, 0xFF)), 20);
    EXPECT_EQ(FindIn(reader, ScanInput(17, 0xFF)), -1);
}

TEST(FindApp1, NothingButAJpegStartCanHoldApp1) {
    TExifInfo reader;
    EXPECT_EQ(FindIn(reader, {}), -1);
    EXPECT_EQ(FindIn(reader, {0xFF, 0xD8}), -1);
    EXPECT_EQ(FindIn(reader, {0xFF, 0xD8, 0xFF, 0xE1}), 2);
    Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0xFF, 0xE1};
    EXPECT_EQ(FindIn(reader, png), -1);
    // A truncated segment ends the walk as "not found".
    EXPECT_EQ(FindIn(reader, {0xFF, 0xD8, 0xFF, 0xE0, 0x40, 0x00, 0x01}), -1);
}

TEST(ReadJpegSize, FrameSizeComesFromTheFirstStartOfFrame) {
    TExifInfo reader;
    for (std::uint16_t sof : {0xFFC0, 0xFFC1, 0xFFC2, 0xFFC3, 0xFFC5, 0xFFC6, 0xFFC7, 0xFFC9,
                              0xFFCA, 0xFFCB, 0xFFCD, 0xFFCE, 0xFFCF}) {
        Bytes jpeg{0xFF, 0xD8};
        jpeg = Append(jpeg, Segment(0xFFE1, App1Payload(DateTiff())));
        // DHT, JPG and DAC carry no frame size and are skipped.
        for (std::uint16_t skipped : {0xFFC4, 0xFFC8, 0xFFCC})
            jpeg = Append(jpeg, Segment(skipped, {8, 0x12, 0x34, 0x56, 0x78}));
        jpeg = Append(jpeg, Sof(sof, 4000, 3000));
        ASSERT_EQ(LoadBytes(reader, jpeg), "") << sof;
        EXPECT_EQ(reader.JpegWidth(), 4000) << sof;
        EXPECT_EQ(reader.JpegHeight(), 3000) << sof;
    }
}

TEST(ReadJpegSize, OtherFormatsHaveNoSizeAndNoExif) {
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(DateTiff(), {.width = 7, .height = 9})), "");
    EXPECT_EQ(reader.JpegWidth(), 7);
    const Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13};
    EXPECT_EQ(LoadBytes(reader, png), kNotExif);
    EXPECT_EQ(reader.JpegWidth(), 0);
    EXPECT_EQ(reader.JpegHeight(), 0);
    EXPECT_EQ(reader.App1Position(), -1);
    const Bytes bmp{'B', 'M', 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0};
    EXPECT_EQ(LoadBytes(reader, bmp), kNotExif);
}

TEST(ReadJpegSize, ATruncatedJpegHeaderRaisesTheStreamReadError) {
    TExifInfo reader;
    const Bytes truncated = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x40, 'E', 'x', 'i', 'f'};
    TBytesStream s(truncated.data(), truncated.size());
    EXPECT_THROW(reader.LoadFromStream(s), EReadError);
}

TEST(ExifLoad, JpegWithoutApp1FailsWithMinusTwo) {
    TExifInfo reader;
    Bytes jfif{0xFF, 0xD8};
    jfif = Append(jfif, Segment(0xFFE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}));
    jfif = Append(jfif, Segment(0xFFDB, Bytes(65, 0)));
    jfif = Append(jfif, Sof(0xFFC0, 10, 10));
    jfif = Append(jfif, Segment(0xFFDA, Bytes(10, 0)));
    jfif.insert(jfif.end(), {0x12, 0x34, 0x56, 0xFF, 0xD9});
    EXPECT_EQ(LoadBytes(reader, jfif), kNotExif);
    EXPECT_EQ(reader.JpegWidth(), 10);
    // DQT first: APP1 is found only by the scan, here beyond its reach.
    Bytes dqt{0xFF, 0xD8};
    dqt = Append(dqt, Segment(0xFFDB, Bytes(20, 0)));
    dqt = Append(dqt, Segment(0xFFE1, App1Payload(DateTiff())));
    dqt = Append(dqt, Sof(0xFFC0, 10, 10));
    EXPECT_EQ(LoadBytes(reader, dqt), kNotExif);
    // ...and here within it.
    Bytes near{0xFF, 0xD8};
    near = Append(near, Segment(0xFFDB, {0, 0}));
    near = Append(near, Segment(0xFFE1, App1Payload(DateTiff())));
    near = Append(near, Sof(0xFFC0, 10, 10));
    EXPECT_EQ(LoadBytes(reader, near), "");
    EXPECT_EQ(reader.App1Position(), 8);
    EXPECT_EQ(reader.GetDateTimeText(), "2005:03:14 10:20:30");
}

TEST(ExifLoad, EventsComeInTheirOrder) {
    TempDir dir;
    TExifInfo reader;
    std::vector<std::string> events;
    reader.OnUpdate = [&](TExifInfo& sender) {
        EXPECT_EQ(&sender, &reader);
        events.push_back("update");
    };
    reader.OnError = [&](TExifInfo&, int code, bool&) {
        events.push_back("error " + std::to_string(code));
    };
    EXPECT_EQ(LoadFile(reader, dir.File("ok.jpg", ExifJpeg(DateTiff()))), "");
    EXPECT_EQ(events, std::vector<std::string>{"update"});
    events.clear();
    EXPECT_EQ(LoadFile(reader, (dir.Path() / "missing.jpg").string()), kNotFound);
    EXPECT_EQ(events, (std::vector<std::string>{"update", "error -1"}));
    events.clear();
    EXPECT_EQ(LoadFile(reader, dir.File("plain.bin", Bytes(40, 0x20))), kNotExif);
    EXPECT_EQ(events, std::vector<std::string>{"error -2"});
    events.clear();
    Bytes bad = ExifJpeg(DateTiff());
    bad[19] = 0x7F;  // IFD0 offset far beyond the file
    EXPECT_EQ(LoadFile(reader, dir.File("bad.jpg", bad)), kBadStream);
    EXPECT_EQ(events, std::vector<std::string>{"error -5"});
}

TEST(ExifLoad, HandlerClearingAllowErrorMakesTheLoadReturn) {
    TempDir dir;
    TExifInfo reader;
    std::vector<int> codes;
    reader.OnError = [&](TExifInfo&, int code, bool& allow) {
        codes.push_back(code);
        allow = false;
    };
    Bytes bad = ExifJpeg(DateTiff());
    bad[19] = 0x7F;
    EXPECT_EQ(LoadFile(reader, (dir.Path() / "missing.jpg").string()), "");
    EXPECT_EQ(LoadFile(reader, dir.File("plain.bin", Bytes(40, 0x20))), "");
    EXPECT_EQ(LoadFile(reader, dir.File("bad.jpg", bad)), "");
    EXPECT_EQ(reader.GetTagText(0x9999, dkMain, true), "");
    EXPECT_EQ(codes, (std::vector<int>{-1, -2, -5, -7}));
}

TEST(ExifLoad, MissingFileOrFolderResetsTheFrameSize) {
    TempDir dir;
    TExifInfo reader;
    ASSERT_EQ(LoadFile(reader, dir.File("ok.jpg", ExifJpeg(DateTiff()))), "");
    EXPECT_EQ(reader.JpegWidth(), 64);
    EXPECT_EQ(LoadFile(reader, dir.Path().string()), kNotFound);
    EXPECT_EQ(reader.JpegWidth(), 0);
    EXPECT_EQ(reader.JpegHeight(), 0);
    EXPECT_EQ(reader.Entries().Count(), 0);
    EXPECT_EQ(reader.ImageFileName(), dir.Path().string());
}

TEST(ExifLoad, EmptyNameChangesNothingAndNewLoadsStartClean) {
    TempDir dir;
    TExifInfo reader;
    const std::string first = dir.File("a.jpg", ExifJpeg(DateTiff()));
    ASSERT_EQ(LoadFile(reader, first), "");
    ASSERT_EQ(LoadFile(reader, ""), "");
    EXPECT_EQ(reader.ImageFileName(), "");
    EXPECT_EQ(reader.Entries().Count(), 1);
    EXPECT_EQ(reader.GetDateTimeText(), "2005:03:14 10:20:30");
    TiffBuilder t(true);
    t.Ascii(t.AddIfd(), 0x010F, "other");
    ASSERT_EQ(LoadFile(reader, dir.File("b.jpg", ExifJpeg(t.Build()))), "");
    EXPECT_EQ(reader.Entries().Count(), 1);
    EXPECT_EQ(reader.GetDateTimeText(), "");
}

TEST(ExifLoad, HasExifOpensTheFileItselfAndLeavesTheReaderAlone) {
    TempDir dir;
    TExifInfo reader;
    const std::string exif = dir.File("a.jpg", ExifJpeg(DateTiff()));
    ASSERT_EQ(LoadFile(reader, exif), "");
    EXPECT_TRUE(reader.HasExif(exif));
    EXPECT_EQ(reader.FindApp1InFile(exif), 2);
    EXPECT_FALSE(reader.HasExif(dir.File("b.png", {0x89, 'P', 'N', 'G'})));
    EXPECT_FALSE(reader.HasExif(dir.File("empty.jpg", {})));
    EXPECT_EQ(reader.Entries().Count(), 1);
    EXPECT_EQ(reader.ImageFileName(), exif);
    EXPECT_THROW(reader.HasExif((dir.Path() / "missing.jpg").string()), EFOpenError);
    EXPECT_THROW(reader.HasExif(dir.Path().string()), EFOpenError);
}

#ifndef _WIN32  // permission bits lock nothing on Windows
TEST(ExifLoad, UnreadableFileRaisesTheOpenError) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    TempDir dir;
    const std::string name = dir.File("locked.jpg", ExifJpeg(DateTiff()));
    std::filesystem::permissions(name, std::filesystem::perms::none);
    TExifInfo reader;
    EXPECT_EQ(LoadFile(reader, name), "Cannot open file \"" + name + "\"： Permission denied");
}
#endif

TEST(ExifErrors, CodesHaveTheirTexts) {
    EXPECT_EQ(ExifErrorText(-1), "ファイルが見つかりません");
    EXPECT_EQ(ExifErrorText(-2), "Exif、またはDCF形式ではありません");
    EXPECT_EQ(ExifErrorText(-3), "ユーザコメントは不明な形式です");
    EXPECT_EQ(ExifErrorText(-4), "ASCII文字以外は書き込みできません");
    EXPECT_EQ(ExifErrorText(-5), "不正なストリーム");
    EXPECT_EQ(ExifErrorText(-6), "不正なインデックス");
    EXPECT_EQ(ExifErrorText(-7), "タグが見つかりません");
    EXPECT_EQ(ExifErrorText(-8), "日時は不明です");
    EXPECT_EQ(ExifErrorText(0), "不明なエラーです");
    EXPECT_EQ(ExifErrorText(-9), "不明なエラーです");
    EXPECT_STREQ(EExifError("x").what(), "TExifInfo: x");
}

TEST(ExifErrors, MissingTagRaisesMinusSevenOnlyWhenAsked) {
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(DateTiff())), "");
    EXPECT_EQ(reader.GetTagText(0x010F, dkMain, false), "");
    try {
        reader.GetTagText(0x010F, dkMain, true);
        FAIL() << "no error";
    } catch (const EExifError& e) {
        EXPECT_STREQ(e.what(), "TExifInfo: タグが見つかりません");
    }
}

namespace {

// A reader whose DoError reports instead of raising.
class TQuietReader : public TExifInfo {
  public:
    std::vector<int> codes;

  protected:
    void DoError(int errCode) override { codes.push_back(errCode); }
};

}  // namespace

TEST(ExifErrors, SubclassesMayReplaceDoError) {
    TQuietReader reader;
    EXPECT_EQ(LoadBytes(reader, Bytes(10, 0)), "");
    EXPECT_EQ(reader.GetTagText(1, dkMain, true), "");
    EXPECT_EQ(reader.codes, (std::vector<int>{-2, -7}));
}

TEST(LoadFromExifBlock, ReadsTiffDataWithOrWithoutTheExifPrefix) {
    TExifInfo reader;
    const Bytes tiff = DateTiff();
    reader.LoadFromExifBlock(tiff.data(), tiff.size());
    EXPECT_EQ(reader.GetDateTimeText(), "2005:03:14 10:20:30");
    const Bytes prefixed = Append({'E', 'x', 'i', 'f', 0, 0}, DateTiff("2021:11:12 01:02:03"));
    reader.LoadFromExifBlock(prefixed.data(), prefixed.size());
    EXPECT_EQ(reader.GetDateTimeText(), "2021:11:12 01:02:03");
    EXPECT_EQ(reader.App1Position(), -1);
    // No TIFF header, or directories beyond the block: the reader's errors.
    const auto error = [&reader](const Bytes& b) {
        try {
            reader.LoadFromExifBlock(b.data(), b.size());
        } catch (const EExifError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(error({}), kNotExif);
    EXPECT_EQ(error({'E', 'x', 'i', 'f', 0, 0, 'I', 'I'}), kNotExif);
    EXPECT_EQ(error(ScanInput(4)), kNotExif);
    EXPECT_EQ(error(Bytes(tiff.begin(), tiff.begin() + 12)), kBadStream);
    EXPECT_EQ(reader.Entries().Count(), 0);
}
