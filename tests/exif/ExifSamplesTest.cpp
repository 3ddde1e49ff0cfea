// Real camera files: they load without error and give the DateTime text
// they hold; broken ones fail with the reader's own errors.
#include <gtest/gtest.h>

#include "tests/exif/ExifTestUtil.h"

using namespace tovali;

using namespace exiftest;

namespace {

std::string Sample(const std::string& name) {
    return std::string(TOVALI_TEST_DATA) + "/exif/" + name;
}

struct TCameraFile {
    const char* name;
    const char* dateTime;  // as ImageMagick's identify reports it
    std::uint16_t byteOrder;
    int width, height;
};

constexpr TCameraFile kCameraFiles[] = {
    {"Canon_40D.jpg", "2008:07:31 10:38:11", 0x4949, 100, 68},
    {"Fujifilm_FinePix_E500.jpg", "2008:07:31 16:49:10", 0x4D4D, 59, 100},
    {"Olympus_C8080WZ.jpg", "2008:07:31 13:03:47", 0x4949, 100, 72},
    {"Sony_HDR-HC3.jpg", "2008:07:31 17:20:21", 0x4949, 100, 64},
    {"long_description.jpg", "2008:07:31 10:50:00", 0x4D4D, 100, 73},
    {"BlueSquare.jpg", "2005:09:07 15:09:51", 0x4D4D, 360, 216},
};

}  // namespace

TEST(CameraFiles, LoadAndGiveTheirDateTime) {
    TExifInfo reader;
    for (const TCameraFile& file : kCameraFiles) {
        SCOPED_TRACE(file.name);
        ASSERT_TRUE(reader.HasExif(Sample(file.name)));
        ASSERT_EQ(LoadFile(reader, Sample(file.name)), "");
        EXPECT_EQ(reader.GetDateTimeText(), file.dateTime);
        EXPECT_EQ(reader.ByteOrder(), file.byteOrder);
        EXPECT_EQ(reader.JpegWidth(), file.width);
        EXPECT_EQ(reader.JpegHeight(), file.height);
        EXPECT_GT(reader.Entries().Count(), 5);
        EXPECT_NE(reader.ExifIFDOffset(), 0u);
        const TDateTime value = reader.GetDateTime();
        EXPECT_EQ(FormatDateYmd(value),
                  std::string(file.dateTime, 10).replace(4, 1, "/").replace(7, 1, "/"));
    }
}

TEST(CameraFiles, CameraAndSoftwareTextsAreRead) {
    TExifInfo reader;
    ASSERT_EQ(LoadFile(reader, Sample("Canon_40D.jpg")), "");
    EXPECT_EQ(reader.GetTagText(0x010F, dkMain, true), "Canon");
    EXPECT_EQ(reader.GetTagText(0x0110, dkMain, true), "Canon EOS 40D");
    EXPECT_EQ(reader.GetTagText(0x9003, dkExif, true), "2008:05:30 15:56:01");
    EXPECT_EQ(reader.Orientation(), 1u);
    EXPECT_GT(reader.ThumbEntries().Count(), 0);
    EXPECT_NE(reader.InteropIFDOffset(), 0u);
    ASSERT_EQ(LoadFile(reader, Sample("Fujifilm_FinePix_E500.jpg")), "");
    EXPECT_EQ(reader.ThumbEntries().Count(), 0);
}

TEST(CameraFiles, ExifWithoutDateTimeHasNoDate) {
    TExifInfo reader;
    ASSERT_EQ(LoadFile(reader, Sample("PaintTool_sample.jpg")), "");
    EXPECT_EQ(reader.GetDateTimeText(), "");
    try {
        reader.GetDateTime();
        FAIL() << "no error";
    } catch (const EExifError& e) {
        EXPECT_EQ(e.what(), kNoDate);
    }
}

TEST(CameraFiles, XmpOnlyApp1FailsWithTheReadersOwnError) {
    TExifInfo reader;
    const std::string name = Sample("broken/image02206.jpg");
    EXPECT_TRUE(reader.HasExif(name));  // an APP1 marker, though not EXIF
    EXPECT_EQ(LoadFile(reader, name), kBadStream);
    EXPECT_EQ(reader.Entries().Count(), 0);
    EXPECT_EQ(reader.JpegWidth(), 65);
}

TEST(CameraFiles, OrientationSamplesCarryTheirValues) {
    TExifInfo reader;
    for (int n = 1; n <= 8; ++n) {
        const std::string name = Sample("orientation/landscape_" + std::to_string(n) + ".jpg");
        ASSERT_EQ(LoadFile(reader, name), "") << n;
        EXPECT_EQ(reader.Orientation(), std::uint32_t(n));
    }
}
