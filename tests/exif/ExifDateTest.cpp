// The capture date: DateTime of IFD0 as a date-time value.
#include <gtest/gtest.h>

#include "tests/exif/ExifTestUtil.h"

using namespace tovali;

using namespace exiftest;

namespace {

std::string ErrorOf(const std::string& text) {
    try {
        ExifDateToDateTime(text);
    } catch (const EExifError& e) {
        return std::string("EExifError: ") + e.what();
    } catch (const EDateConvertError& e) {
        return std::string("EDateConvertError: ") + e.what();
    }
    return "";
}

const std::string kUnknown = "EExifError: TExifInfo: 日時は不明です";
const std::string kBadDate = "EDateConvertError: 日付に変換できない値が渡されました";
const std::string kBadTime = "EDateConvertError: 時刻に変換できない値が渡されました";

TDateTime At(int y, int mo, int d, int h, int mi, int s) {
    return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, 0);
}

}  // namespace

TEST(DateTimeValue, DaysCountFrom18991230) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2005, 3, 14), 38425.0);
    EXPECT_EQ(EncodeDate(2000, 2, 29), 36585.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    EXPECT_DOUBLE_EQ(EncodeTime(10, 20, 30, 0), (10 * 3600 + 20 * 60 + 30) / 86400.0);
    EXPECT_DOUBLE_EQ(EncodeTime(23, 59, 59, 999), 86399999 / 86400000.0);
}

TEST(DateTimeValue, OutOfRangeFieldsRaiseConversionErrors) {
    TDateTime v;
    for (auto [y, m, d] : {std::tuple{0, 1, 1},
                           {10000, 1, 1},
                           {2005, 0, 1},
                           {2005, 13, 1},
                           {2005, 2, 29},
                           {1900, 2, 29},
                           {2005, 4, 31},
                           {2005, 1, 0}}) {
        EXPECT_FALSE(TryEncodeDate(y, m, d, v)) << y << "-" << m << "-" << d;
        EXPECT_THROW(EncodeDate(y, m, d), EDateConvertError);
    }
    EXPECT_TRUE(TryEncodeDate(2004, 2, 29, v));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, v));
    for (auto [h, m, s, ms] :
         {std::tuple{24, 0, 0, 0}, {-1, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}}) {
        EXPECT_FALSE(TryEncodeTime(h, m, s, ms, v));
        EXPECT_THROW(EncodeTime(h, m, s, ms), EDateConvertError);
    }
}

TEST(DateTimeValue, DecodingInvertsEncodingOverTheWholeRange) {
    for (long day = -693593; day <= 2958465; day += 97) {
        int y, m, d;
        DecodeDate(ComposeDateTime(double(day), 0.75), y, m, d);
        TDateTime back;
        ASSERT_TRUE(TryEncodeDate(y, m, d, back)) << day;
        ASSERT_EQ(back, double(day)) << y << "-" << m << "-" << d;
    }
    EXPECT_EQ(FormatDateYmd(At(2005, 3, 14, 23, 59, 59)), "2005/03/14");
    EXPECT_EQ(FormatDateYmd(EncodeDate(1, 1, 1)), "0001/01/01");
    EXPECT_EQ(FormatDateYmd(EncodeDate(9999, 12, 31)), "9999/12/31");
}

TEST(ExifDateToDateTime, FixedPlacesGiveDateAndTime) {
    EXPECT_EQ(ExifDateToDateTime("2005:03:14 10:20:30"), At(2005, 3, 14, 10, 20, 30));
    // Any separators, as long as one ":" stands somewhere.
    EXPECT_EQ(ExifDateToDateTime("2005/03/14 10:20.30"), At(2005, 3, 14, 10, 20, 30));
    // Parts are trimmed: a blank and one digit are accepted.
    EXPECT_EQ(ExifDateToDateTime("2005: 3: 4  1: 2: 3"), At(2005, 3, 4, 1, 2, 3));
    // Nothing after place 19 is looked at.
    EXPECT_EQ(ExifDateToDateTime("2005:03:14 10:20:30+09:00 junk"), At(2005, 3, 14, 10, 20, 30));
    EXPECT_EQ(ExifDateToDateTime("2005:+3:14 10:20:30"), At(2005, 3, 14, 10, 20, 30));
}

TEST(ExifDateToDateTime, BeforeTheEpochTheWholePartStillNamesTheDay) {
    const TDateTime v = ExifDateToDateTime("1850:06:01 18:00:00");
    EXPECT_EQ(FormatDateYmd(v), "1850/06/01");
    EXPECT_LT(v, EncodeDate(1850, 6, 1));
}

TEST(ExifDateToDateTime, UnknownDatesAreRefused) {
    EXPECT_EQ(ErrorOf(""), kUnknown);
    EXPECT_EQ(ErrorOf("    :  :     :  :  "), kUnknown);
    EXPECT_EQ(ErrorOf("2005/03/14 10.20.30"), kUnknown);
    EXPECT_EQ(ErrorOf("2005:03:14"), kUnknown);
    EXPECT_EQ(ErrorOf("2005:03:14 10:20:xx"), kUnknown);
    EXPECT_EQ(ErrorOf("2005:03:14 10:20:-1"), kUnknown);
    EXPECT_EQ(ErrorOf("2005:03:1x 10:20:30"), kUnknown);
    // Values whose low 16 bits read -1 count as unknown too.
    EXPECT_EQ(ErrorOf("65535:03:14 10:20:30"), kUnknown);
}

TEST(ExifDateToDateTime, DateIsBuiltBeforeTheTime) {
    EXPECT_EQ(ErrorOf("0000:00:00 00:00:00"), kBadDate);
    EXPECT_EQ(ErrorOf("2005:13:01 25:00:00"), kBadDate);
    EXPECT_EQ(ErrorOf("2005:02:29 10:20:30"), kBadDate);
    EXPECT_EQ(ErrorOf("2005:03:14 24:00:00"), kBadTime);
    EXPECT_EQ(ErrorOf("2005:03:14 10:60:00"), kBadTime);
    EXPECT_EQ(ErrorOf("2005:03:14 10:20:-5"), kBadTime);
}

namespace {

TDateTime DateOf(const Bytes& tiff) {
    TExifInfo reader;
    const std::string error = LoadBytes(reader, ExifJpeg(tiff));
    EXPECT_EQ(error, "");
    return reader.GetDateTime();
}

}  // namespace

TEST(GetDateTime, OnlyTheDateTimeOfIfd0Counts) {
    TiffBuilder good(false);
    good.Ascii(good.AddIfd(), 0x0132, "2001:06:09 15:17:32");
    EXPECT_EQ(DateOf(good.Build()), At(2001, 6, 9, 15, 17, 32));

    // Capture times of the Exif directory are not consulted.
    TiffBuilder exifOnly(true);
    const int ifd0 = exifOnly.AddIfd(), exif = exifOnly.AddIfd();
    exifOnly.Pointer(ifd0, 0x8769, exif);
    exifOnly.Ascii(exif, 0x9003, "2001:06:09 15:17:32");
    exifOnly.Ascii(exif, 0x0132, "2001:06:09 15:17:32");
    EXPECT_THROW(DateOf(exifOnly.Build()), EExifError);

    // A DateTime of another type reads as empty text.
    TiffBuilder wrongType(true);
    wrongType.Raw(wrongType.AddIfd(), 0x0132, etUndefined, 19,
                  Bytes{'2', '0', '0', '1', ':', '0', '6', ':', '0', '9', ' ', '1', '5', ':', '1',
                        '7', ':', '3', '2'});
    EXPECT_THROW(DateOf(wrongType.Build()), EExifError);

    TiffBuilder blank(true);
    blank.Ascii(blank.AddIfd(), 0x0132, "");
    try {
        DateOf(blank.Build());
        FAIL() << "no error";
    } catch (const EExifError& e) {
        EXPECT_EQ(e.what(), kNoDate);
    }
}

TEST(GetDateTime, ReaderStaysUsableAfterEveryFailure) {
    TExifInfo reader;
    TiffBuilder bad(true);
    bad.Ascii(bad.AddIfd(), 0x0132, "0000:00:00 00:00:00");
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(bad.Build())), "");
    EXPECT_THROW(reader.GetDateTime(), EDateConvertError);
    EXPECT_EQ(LoadBytes(reader, Bytes(5, 0)), kNotExif);
    EXPECT_THROW(reader.GetDateTime(), EExifError);
    TiffBuilder good(true);
    good.Ascii(good.AddIfd(), 0x0132, "2005:03:14 10:20:30");
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(good.Build())), "");
    EXPECT_EQ(reader.GetDateTime(), At(2005, 3, 14, 10, 20, 30));
}
