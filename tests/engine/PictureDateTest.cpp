// The date stamped on a picture: its EXIF capture date, else its file time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>

#include "engine/UnitThPicConvert.h"
#include "exif/DateTimeUtils.h"
#include "exif/ExifInfo.h"
#include "exif/WideFileUtils.h"
#include "tests/exif/ExifBuilder.h"

using namespace tovali;

using namespace exiftest;

namespace {

// 2023-12-31 23:30:00 UTC.
constexpr std::time_t kNewYearsEveUtc = 1704065400;

// Sets the process's time zone for one test.
class TimeZone {
  public:
    explicit TimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~TimeZone() {
        if (saved_.empty()) {
            ::unsetenv("TZ");
        } else {
            ::setenv("TZ", saved_.c_str(), 1);
        }
        ::tzset();
    }

  private:
    std::string saved_;
};

void SetModified(const std::string& file, std::time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

Bytes JpegWithDate(const std::string& date) {
    TiffBuilder t(false);
    t.Ascii(t.AddIfd(), 0x0132, date);
    return ExifJpeg(t.Build());
}

class PictureDate : public ::testing::Test {
  protected:
    PictureDate() {
        engine.Options.Date.Use = true;
        engine.Options.DateSource = dsFromPicture;
        engine.Options.Date.Text = "2020/01/02";
    }
    // A file dated New Year's Eve 23:30 UTC.
    std::string File(const std::string& name, const Bytes& bytes) {
        const std::string path = dir.File(name, bytes);
        SetModified(path, kNewYearsEveUtc);
        return path;
    }

    TempDir dir;
    TthPicConvert engine;
};

}  // namespace

TEST_F(PictureDate, ExifDateWins) {
    EXPECT_EQ(engine.DateOf(File("a.jpg", JpegWithDate("2005:03:14 10:20:30"))), "2005/03/14");
}

TEST_F(PictureDate, HeifAndWebpCarryTheirExifDateInABlockOfTheirOwn) {
    TimeZone utc("UTC0");
    const auto copy = [this](const std::string& from, const std::string& name) {
        std::ifstream in(std::string(TOVALI_TEST_DATA) + "/" + from, std::ios::binary);
        return File(name, Bytes(std::istreambuf_iterator<char>(in), {}));
    };
    const std::pair<const char*, const char*> dated[] = {{"heif/exif-date.heic", "a.HEIC"},
                                                         {"webp/exif-date.webp", "b.webp"}};
    for (const auto& [from, name] : dated) {
        EXPECT_EQ(engine.DateOf(copy(from, name)), "2008/07/31") << name;
    }
    // No EXIF block, a damaged file, or JPEG data in a HEIF: the file time.
    const std::pair<const char*, const char*> undated[] = {
        {"heif/patches.avif", "c.avif"},
        {"../crashers/webp/riff-only.webp", "d.webp"},
        {"exif/Canon_40D.jpg", "e.heif"}};
    for (const auto& [from, name] : undated) {
        EXPECT_EQ(engine.DateOf(copy(from, name)), "2023/12/31") << name;
    }
    EXPECT_THROW(engine.DateOf((dir.Path() / "missing.webp").string()), std::exception);
}

TEST_F(PictureDate, WithoutAReadableExifDateTheFileTimeCounts) {
    TimeZone utc("UTC0");
    TiffBuilder noDate(true);
    noDate.Ascii(noDate.AddIfd(), 0x010F, "Camera");
    Bytes brokenExif = JpegWithDate("2005:03:14 10:20:30");
    brokenExif[19] = 0x7F;  // IFD0 out of reach
    const std::pair<const char*, Bytes> files[] = {
        {"nodate.jpg", ExifJpeg(noDate.Build())},
        {"zero.jpg", JpegWithDate("0000:00:00 00:00:00")},
        {"blank.jpg", JpegWithDate("    :  :     :  :  ")},
        {"broken.jpg", brokenExif},
        {"picture.png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}},
        {"plain.jpg", {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x04, 0, 0, 0xFF, 0xD9}},
    };
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(engine.DateOf(File(name, bytes)), "2023/12/31") << name;
    }
}

TEST_F(PictureDate, FileTimeIsTakenInLocalTime) {
    const std::string png = File("late.png", {0x89, 'P', 'N', 'G'});
    {
        TimeZone tokyo("JST-9");
        EXPECT_EQ(engine.DateOf(png), "2024/01/01");
    }
    {
        TimeZone newYork("EST5");
        EXPECT_EQ(engine.DateOf(png), "2023/12/31");
    }
}

TEST_F(PictureDate, EnteredDateIsLeftAloneAndNothingIsRead) {
    const std::string missing = (dir.Path() / "missing.jpg").string();
    engine.Options.DateSource = dsInputDate;
    EXPECT_EQ(engine.DateOf(missing), "2020/01/02");
    engine.Options.DateSource = dsFromPicture;
    engine.Options.Date.Use = false;
    EXPECT_EQ(engine.DateOf(missing), "2020/01/02");
    EXPECT_EQ(engine.DateOf(File("a.jpg", JpegWithDate("2005:03:14 10:20:30"))), "2020/01/02");
    EXPECT_EQ(engine.ExifReader->ImageFileName(), "");
}

TEST_F(PictureDate, AFileThatCannotBeOpenedFailsTheStep) {
    EXPECT_THROW(engine.DateOf((dir.Path() / "missing.jpg").string()), EFOpenError);
    EXPECT_THROW(engine.DateOf(dir.Path().string()), EFOpenError);
}

TEST(GetFileDate, LastWriteTimeOrZero) {
    TimeZone utc("UTC0");
    TempDir dir;
    TthPicConvert engine;
    const std::string file = dir.File("a.bin", {1});
    SetModified(file, kNewYearsEveUtc);
    EXPECT_DOUBLE_EQ(engine.GetFileDate(file), EncodeDate(2023, 12, 31) + EncodeTime(23, 30, 0, 0));
    SetModified(dir.Path().string(), 0);
    EXPECT_EQ(engine.GetFileDate(dir.Path().string()), EncodeDate(1970, 1, 1));
    EXPECT_EQ(engine.GetFileDate((dir.Path() / "missing").string()), 0);
}

TEST(FileTimeToLocalDateTime, ConvertsThroughTheLocalCalendar) {
    TimeZone tokyo("JST-9");
    EXPECT_DOUBLE_EQ(TthPicConvert::FileTimeToLocalDateTime({0, 500000000}),
                     25569 + (9 * 3600 + 0.5) / 86400);
    EXPECT_EQ(FormatDateYmd(TthPicConvert::FileTimeToLocalDateTime({kNewYearsEveUtc, 0})),
              "2024/01/01");
    // Before 1899-12-30 the whole part still names the day.
    EXPECT_EQ(FormatDateYmd(TthPicConvert::FileTimeToLocalDateTime({-2500000000, 0})),
              "1890/10/12");
    // Years the date-time value cannot hold give 0.
    EXPECT_EQ(TthPicConvert::FileTimeToLocalDateTime({400000000000, 0}), 0);
    EXPECT_EQ(TthPicConvert::FileTimeToLocalDateTime({-70000000000, 0}), 0);
}
