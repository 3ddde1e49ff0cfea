// The directory walk and the decoded values, in both byte orders.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/exif/ExifTestUtil.h"

using namespace tovali;

using namespace exiftest;

namespace {

Bytes Pack(const TiffBuilder& t, std::initializer_list<std::pair<std::uint64_t, int>> values) {
    Bytes out;
    for (auto [value, width] : values) t.Put(out, value, width);
    return out;
}

std::uint32_t FloatBits(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

std::uint64_t DoubleBits(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return bits;
}

// IFD0 with Exif and GPS pointers, the Exif directory with one value of
// every type and an interoperability pointer; IFD1 with its own Exif and
// interoperability directories, and a GPS pointer that is never followed.
Bytes FullTiff(bool little) {
    TiffBuilder t(little);
    const int ifd0 = t.AddIfd(), exif = t.AddIfd(), gps = t.AddIfd(), interop = t.AddIfd();
    const int ifd1 = t.AddIfd(), thumbExif = t.AddIfd(), thumbInterop = t.AddIfd();
    const int thumbGps = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "Canon");
    t.Shorts(ifd0, 0x0112, {6});
    t.Raw(ifd0, 0x011A, 5, 1, Pack(t, {{72, 4}, {1, 4}}));
    t.Ascii(ifd0, 0x0132, "2005:03:14 10:20:30");
    t.Ascii(ifd0, 0x9286, "in IFD0");
    t.Pointer(ifd0, 0x8769, exif);
    t.Pointer(ifd0, 0x8825, gps);
    t.Next(ifd0, ifd1);
    t.Ascii(exif, 0x0132, "1999:01:01 00:00:00");
    t.Ascii(exif, 0x9286, "hello");
    t.Raw(exif, 0x9000, 7, 4, {'0', '2', '3', '0'});
    t.Raw(exif, 0xA001, 1, 5, {1, 2, 3, 4, 5});
    t.Raw(exif, 0xA002, 1, 4, {9, 8, 7, 6});
    t.Raw(exif, 0xA003, 6, 3, {0xFF, 2, 0xFD});
    t.Raw(exif, 0x9201, 8, 2, Pack(t, {{0xFFFE, 2}, {3, 2}}));
    t.Raw(exif, 0x9202, 9, 1, Pack(t, {{std::uint32_t(-70000), 4}}));
    t.Raw(exif, 0x9204, 10, 1, Pack(t, {{std::uint32_t(-1), 4}, {3, 4}}));
    t.Raw(exif, 0x9205, 11, 1, Pack(t, {{FloatBits(1.5f), 4}}));
    t.Raw(exif, 0x9206, 12, 1, Pack(t, {{DoubleBits(-2.25), 8}}));
    t.Longs(exif, 0xA004, {100000, 7});
    t.Pointer(exif, 0xA005, interop);
    t.Raw(gps, 0x0000, 1, 4, {2, 2, 0, 0});
    t.Ascii(interop, 0x0001, "R98");
    t.Longs(ifd1, 0x0201, {1234});
    t.Shorts(ifd1, 0x0112, {1});
    t.Pointer(ifd1, 0x8769, thumbExif);
    t.Pointer(ifd1, 0x8825, thumbGps);
    t.Ascii(thumbExif, 0x9003, "thumb");
    t.Pointer(thumbExif, 0xA005, thumbInterop);
    t.Ascii(thumbInterop, 0x0001, "THM");
    t.Ascii(thumbGps, 0x0001, "N");
    return t.Build();
}

class ByteOrders : public ::testing::TestWithParam<bool> {};

}  // namespace

TEST(ByteOrderReaders, MarkIIIsLittleEndianEveryOtherMarkBigEndian) {
    const Bytes b{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    for (std::uint16_t mark : {std::uint16_t(0x4949), std::uint16_t(0x4D4D), std::uint16_t(0)}) {
        const bool little = mark == 0x4949;
        TBytesStream s(b.data(), b.size());
        EXPECT_EQ(ReadWord(s, mark), little ? 0x0201 : 0x0102);
        EXPECT_EQ(ReadLongWord(s, mark), little ? 0x06050403u : 0x03040506u);
        EXPECT_EQ(s.Position(), 6);
    }
    const Bytes neg{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFE};
    TBytesStream s(neg.data(), neg.size());
    EXPECT_EQ(ReadSmallInt(s, 0x4D4D), -2);
    EXPECT_EQ(ReadLongInt(s, 0x4D4D), -2);
}

TEST(ByteOrderReaders, FloatsReadTheirBitsInEitherOrder) {
    const std::uint32_t f = FloatBits(-3.75f);
    const std::uint64_t d = DoubleBits(1e300);
    for (bool little : {true, false}) {
        TiffBuilder t(little);
        Bytes b;
        t.Put(b, f, 4);
        t.Put(b, d, 8);
        TBytesStream s(b.data(), b.size());
        const std::uint16_t mark = little ? 0x4949 : 0x4D4D;
        EXPECT_EQ(ReadSingle(s, mark), -3.75f);
        EXPECT_EQ(ReadDouble(s, mark), 1e300);
        EXPECT_THROW(ReadWord(s, mark), EReadError);
    }
}

TEST(TypeSize, BytesPerValueByTypeCode) {
    const std::array<std::uint8_t, 13> expected = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    EXPECT_EQ(TypeSize, expected);
}

TEST_P(ByteOrders, EveryDirectoryIsReadInOrder) {
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(FullTiff(GetParam()))), "");
    EXPECT_EQ(reader.ByteOrder(), GetParam() ? 0x4949 : 0x4D4D);
    EXPECT_EQ(reader.App1Position(), 2);
    EXPECT_EQ(reader.TiffBase(), 12);
    EXPECT_EQ(reader.Entries().BaseOffset, 12);
    EXPECT_EQ(reader.ThumbEntries().BaseOffset, 12);
    // IFD0 (7), Exif (13), GPS (1), interoperability (1), in reading order.
    ASSERT_EQ(reader.Entries().Count(), 22);
    std::vector<TExifDir> dirs;
    for (const TEntryItem& e : reader.Entries()) dirs.push_back(e.Dir);
    std::vector<TExifDir> expected(7, dkMain);
    expected.insert(expected.end(), 13, dkExif);
    expected.push_back(dkGps);
    expected.push_back(dkInterop);
    EXPECT_EQ(dirs, expected);
    EXPECT_EQ(reader.GetTagText(0x0001, dkInterop, true), "R98");
    // IFD1 (4), its Exif (2) and interoperability (1) directories; no GPS.
    EXPECT_EQ(reader.ThumbEntries().Count(), 7);
    EXPECT_NE(Find(reader.ThumbEntries(), 0x0001, dkInterop), nullptr);
    EXPECT_EQ(Find(reader.ThumbEntries(), 0x0001, dkGps), nullptr);
    EXPECT_EQ(Find(reader.ThumbEntries(), 0x9003, dkExif)->AsText(), "thumb");
    EXPECT_EQ(reader.JpegWidth(), 64);
    EXPECT_EQ(reader.JpegHeight(), 48);
}

TEST_P(ByteOrders, ValuesOfEveryTypeDecode) {
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(FullTiff(GetParam()))), "");
    const TEntryItems& e = reader.Entries();
    EXPECT_EQ(Find(e, 0x010F, dkMain)->AsText(), "Canon");
    EXPECT_EQ(std::get<etShort>(Find(e, 0x0112, dkMain)->Values()), std::vector<std::uint16_t>{6});
    EXPECT_EQ(std::get<etRational>(Find(e, 0x011A, dkMain)->Values()),
              (std::vector<TExifRational>{{72, 1}}));
    EXPECT_EQ(std::get<etByte>(Find(e, 0xA001, dkExif)->Values()), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(std::get<etSByte>(Find(e, 0xA003, dkExif)->Values()),
              (std::vector<std::int8_t>{-1, 2, -3}));
    EXPECT_EQ(std::get<etSShort>(Find(e, 0x9201, dkExif)->Values()),
              (std::vector<std::int16_t>{-2, 3}));
    EXPECT_EQ(std::get<etSLong>(Find(e, 0x9202, dkExif)->Values()),
              std::vector<std::int32_t>{-70000});
    EXPECT_EQ(std::get<etSRational>(Find(e, 0x9204, dkExif)->Values()),
              (std::vector<TExifSRational>{{-1, 3}}));
    EXPECT_EQ(std::get<etFloat>(Find(e, 0x9205, dkExif)->Values()), std::vector<float>{1.5f});
    EXPECT_EQ(std::get<etDouble>(Find(e, 0x9206, dkExif)->Values()), std::vector<double>{-2.25});
    const TEntryItem* longs = Find(e, 0xA004, dkExif);
    EXPECT_EQ(longs->ValueCount(), 2u);
    EXPECT_EQ(longs->AsLong(0), 100000u);
    EXPECT_EQ(longs->AsLong(1), 7u);
    EXPECT_EQ(Find(e, 0x9000, dkExif)->AsBlock(), (Bytes{'0', '2', '3', '0'}));
    EXPECT_EQ(std::get<etByte>(Find(e, 0x0000, dkGps)->Values()), (Bytes{2, 2, 0, 0}));
}

TEST(ExifReader, BothByteOrdersGiveTheSameEntries) {
    TExifInfo little, big;
    ASSERT_EQ(LoadBytes(little, ExifJpeg(FullTiff(true))), "");
    ASSERT_EQ(LoadBytes(big, ExifJpeg(FullTiff(false))), "");
    for (auto [a, b] : {std::pair{&little.Entries(), &big.Entries()},
                        std::pair{&little.ThumbEntries(), &big.ThumbEntries()}}) {
        ASSERT_EQ(a->Count(), b->Count());
        for (int i = 0; i < a->Count(); ++i) {
            const TEntryItem& x = a->Items(i);
            const TEntryItem& y = b->Items(i);
            EXPECT_EQ(x.Tag, y.Tag);
            EXPECT_EQ(x.DataType, y.DataType) << x.Tag;
            EXPECT_EQ(x.Count, y.Count) << x.Tag;
            EXPECT_EQ(x.Dir, y.Dir) << x.Tag;
            EXPECT_EQ(x.ValueOffset, y.ValueOffset) << x.Tag;
            EXPECT_TRUE(x.Values() == y.Values()) << x.Tag;
        }
    }
}

TEST(ExifReader, AnyOtherHeaderMarkReadsBigEndian) {
    Bytes tiff = FullTiff(false);
    tiff[0] = 'X';
    tiff[1] = 'Y';
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(tiff)), "");
    EXPECT_EQ(reader.ByteOrder(), 0x5958);
    EXPECT_EQ(reader.GetDateTimeText(), "2005:03:14 10:20:30");
}

TEST(ExifReader, ValuesOfUpToFourBytesSitInTheEntry) {
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(FullTiff(true))), "");
    const TEntryItems& e = reader.Entries();
    EXPECT_EQ(Find(e, 0xA002, dkExif)->ValueOffset, 0u);  // four BYTEs
    EXPECT_EQ(Find(e, 0x9201, dkExif)->ValueOffset, 0u);  // two SSHORTs
    EXPECT_EQ(Find(e, 0x9202, dkExif)->ValueOffset, 0u);  // one SLONG
    EXPECT_EQ(Find(e, 0x0000, dkGps)->ValueOffset, 0u);
    // Five BYTEs and a RATIONAL lie elsewhere; the offset counts from the TIFF header.
    const TEntryItem* five = Find(e, 0xA001, dkExif);
    EXPECT_GT(five->ValueOffset, 8u);
    const Bytes file = ExifJpeg(FullTiff(true));
    EXPECT_EQ(file[reader.TiffBase() + five->ValueOffset + 4], 5);
    EXPECT_NE(Find(e, 0x011A, dkMain)->ValueOffset, 0u);
}

TEST(ExifReader, AsciiTextEndsAtTheFirstNul) {
    TiffBuilder t(true);
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x0132, "2005:03:14 10:20:30");  // count 20
    t.Raw(ifd0, 0x010F, 2, 8, {'a', 'b', 0, 'c', 'd', 'e', 'f', 'g'});
    t.Raw(ifd0, 0x0110, 2, 6, {'n', 'o', 'n', 'u', 'l', 'l'});
    t.Raw(ifd0, 0x0131, 2, 0, {});
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(t.Build())), "");
    const TEntryItem* date = Find(reader.Entries(), 0x0132, dkMain);
    EXPECT_EQ(date->Count, 20u);
    EXPECT_EQ(date->ValueCount(), 1u);
    EXPECT_EQ(date->AsText().size(), 19u);
    EXPECT_EQ(reader.GetTagText(0x010F, dkMain, false), "ab");
    EXPECT_EQ(reader.GetTagText(0x0110, dkMain, false), "nonull");
    const TEntryItem* empty = Find(reader.Entries(), 0x0131, dkMain);
    EXPECT_EQ(empty->ValueCount(), 0u);
    EXPECT_EQ(empty->AsText(), "");
}

TEST(ExifReader, ShiftJisTextBecomesUtf8) {
    TiffBuilder t(true);
    const int ifd0 = t.AddIfd();
    // "写真" in code page 932, and a byte no code page can read.
    t.Raw(ifd0, 0x010E, 2, 5, {0x8E, 0xCA, 0x90, 0x5E, 0});
    t.Raw(ifd0, 0x010F, 2, 4, {'a', 0xFF, 'b', 0});
    t.Ascii(ifd0, 0x0110, "カメラ");
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(t.Build())), "");
    EXPECT_EQ(reader.GetTagText(0x010E, dkMain, false), "写真");
    EXPECT_EQ(reader.GetTagText(0x010F, dkMain, false), "a?b");
    EXPECT_EQ(reader.GetTagText(0x0110, dkMain, false), "カメラ");
}

TEST(ExifReader, UserCommentStoredAsAsciiIsABlockOnlyInTheExifDirectory) {
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(FullTiff(true))), "");
    const TEntryItem* comment = Find(reader.Entries(), 0x9286, dkExif);
    EXPECT_EQ(comment->DataType, etUndefined);
    EXPECT_EQ(comment->ValueCount(), 1u);
    EXPECT_EQ(comment->AsBlock(), (Bytes{'h', 'e', 'l', 'l', 'o', 0}));
    EXPECT_EQ(comment->AsText(), "");
    const TEntryItem* inIfd0 = Find(reader.Entries(), 0x9286, dkMain);
    EXPECT_EQ(inIfd0->DataType, etAscii);
    EXPECT_EQ(inIfd0->AsText(), "in IFD0");

    TiffBuilder t(true);
    const int ifd0 = t.AddIfd(), exif = t.AddIfd();
    t.Pointer(ifd0, 0x8769, exif);
    t.Raw(exif, 0x9286, 2, 0, {});
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(t.Build())), "");
    const TEntryItem* empty = Find(reader.Entries(), 0x9286, dkExif);
    EXPECT_EQ(empty->ValueCount(), 1u);
    EXPECT_TRUE(empty->AsBlock().empty());
}

TEST(ExifReader, SameTagInTwoDirectoriesIsToldApartByDir) {
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(FullTiff(true))), "");
    EXPECT_EQ(reader.GetTagText(0x0132, dkMain, false), "2005:03:14 10:20:30");
    EXPECT_EQ(reader.GetTagText(0x0132, dkExif, false), "1999:01:01 00:00:00");
    EXPECT_LT(reader.Entries().IndexOfTag(0x0132, dkMain),
              reader.Entries().IndexOfTag(0x0132, dkExif));
    EXPECT_EQ(reader.Entries().IndexOfTag(0x0132, dkGps), -1);
    // Two entries of one tag in one directory: the first in reading order wins.
    TiffBuilder t(true);
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "first");
    t.Ascii(ifd0, 0x010F, "second");
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(t.Build())), "");
    EXPECT_EQ(reader.Entries().IndexOfTag(0x010F, dkMain), 0);
    EXPECT_EQ(reader.GetTagText(0x010F, dkMain, false), "first");
}

TEST(ExifReader, AccessorsAnswerOnlyForTheirType) {
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(FullTiff(true))), "");
    const TEntryItems& e = reader.Entries();
    const TEntryItem* orientation = Find(e, 0x0112, dkMain);
    EXPECT_EQ(orientation->AsLong(0), 0u);  // SHORT
    EXPECT_EQ(orientation->AsUnsigned(0), 6u);
    EXPECT_EQ(orientation->AsUnsigned(1), 0u);
    const TEntryItem* longs = Find(e, 0xA004, dkExif);
    EXPECT_EQ(longs->AsText(), "");
    EXPECT_EQ(longs->AsLong(2), 0u);
    EXPECT_EQ(longs->AsLong(-1), 0u);
    EXPECT_TRUE(longs->AsBlock().empty());
    EXPECT_EQ(Find(e, 0x010F, dkMain)->AsLong(0), 0u);
    EXPECT_EQ(reader.Orientation(), 6u);
}

TEST(ExifReader, DirectoryPointersAreFoundByTagAndDirectory) {
    TExifInfo reader;
    const Bytes tiff = FullTiff(true);
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(tiff)), "");
    // The builder lays directories out in order after the 8-byte header.
    EXPECT_EQ(reader.ExifIFDOffset(), 8u + 2 + 7 * 12 + 4);
    EXPECT_EQ(reader.GPSIFDOffset(), reader.ExifIFDOffset() + 2 + 13 * 12 + 4);
    EXPECT_EQ(reader.InteropIFDOffset(), reader.GPSIFDOffset() + 2 + 12 + 4);
    EXPECT_NE(reader.ThumbExifIFDOffset(), 0u);
    EXPECT_NE(reader.ThumbInteropIFDOffset(), 0u);
    // Absent pointers read 0; a pointer of another type is not followed.
    TiffBuilder t(true);
    const int ifd0 = t.AddIfd(), exif = t.AddIfd();
    t.Shorts(ifd0, 0x8769, {std::uint16_t(8 + 18)});
    t.Ascii(exif, 0x9003, "x");
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(t.Build())), "");
    EXPECT_EQ(reader.ExifIFDOffset(), 0u);
    EXPECT_EQ(reader.GPSIFDOffset(), 0u);
    EXPECT_EQ(reader.InteropIFDOffset(), 0u);
    EXPECT_EQ(reader.ThumbExifIFDOffset(), 0u);
    EXPECT_EQ(reader.Entries().Count(), 1);
}

TEST(ExifReader, UnknownTypeCodesAreSkippedTwelveBytesEach) {
    TiffBuilder t(true);
    const int ifd0 = t.AddIfd();
    t.Raw(ifd0, 0x0100, 0, 1000, {1, 2, 3, 4});
    t.Ascii(ifd0, 0x010F, "after zero");
    t.Raw(ifd0, 0x0101, 13, 0xFFFFFFFF, {1, 2, 3, 4});
    t.Raw(ifd0, 0x0102, 0x0103, 1, {5, 0});  // the low byte is the type: SHORT
    t.Raw(ifd0, 0x0103, 0xFFFF, 7, {});
    t.Ascii(ifd0, 0x0110, "last");
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(t.Build())), "");
    ASSERT_EQ(reader.Entries().Count(), 6);
    const TEntryItem& zero = reader.Entries().Items(0);
    EXPECT_EQ(zero.DataType, 0);
    EXPECT_EQ(zero.Count, 1000u);
    EXPECT_EQ(zero.ValueCount(), 0u);
    EXPECT_EQ(zero.ValueOffset, 0u);
    EXPECT_EQ(reader.GetTagText(0x010F, dkMain, false), "after zero");
    EXPECT_EQ(reader.Entries().Items(2).DataType, 13);
    EXPECT_EQ(reader.Entries().Items(3).DataType, etShort);
    EXPECT_EQ(reader.Entries().Items(3).AsUnsigned(0), 5u);
    EXPECT_EQ(reader.Entries().Items(4).DataType, 0xFF);
    EXPECT_EQ(reader.GetTagText(0x0110, dkMain, false), "last");
}

TEST(ExifReader, ADirectoryOf65535EntriesLoads) {
    TiffBuilder t(false);
    const int ifd0 = t.AddIfd();
    for (int i = 0; i < 65535; ++i) t.Shorts(ifd0, std::uint16_t(i), {std::uint16_t(i)});
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(t.Build(), {.sofFirst = true})), "");
    ASSERT_EQ(reader.Entries().Count(), 65535);
    EXPECT_EQ(reader.Entries().Items(65534).AsUnsigned(0), 65534u);
}

TEST(EntryItems, AssignMakesDeepIndependentCopies) {
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(FullTiff(false))), "");
    TEntryItems copy;
    copy.Assign(reader.Entries());
    EXPECT_EQ(copy.BaseOffset, reader.Entries().BaseOffset);
    ASSERT_EQ(copy.Count(), reader.Entries().Count());
    EXPECT_EQ(copy.Items(0).GetExifInfo(), nullptr);
    EXPECT_EQ(reader.Entries().Items(0).GetExifInfo(), &reader);
    const int comment = copy.IndexOfTag(0x9286, dkExif);
    EXPECT_EQ(copy.Items(comment).AsBlock(), reader.Entries().Items(comment).AsBlock());
    TiffBuilder empty(true);
    empty.AddIfd();
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(empty.Build())), "");
    EXPECT_EQ(reader.Entries().Count(), 0);
    EXPECT_EQ(copy.Items(copy.IndexOfTag(0x010F, dkMain)).AsText(), "Canon");

    TEntryItem single(nullptr);
    single.Assign(copy.Items(copy.IndexOfTag(0xA004, dkExif)));
    EXPECT_EQ(single.Tag, 0xA004);
    EXPECT_EQ(single.Dir, dkExif);
    EXPECT_EQ(single.DataType, etLong);
    EXPECT_EQ(single.Count, 2u);
    EXPECT_EQ(single.AsLong(1), 7u);
}

TEST(EntryItems, ChangesAreAnnouncedOncePerUpdateBracket) {
    TExifInfo reader;
    int changes = 0;
    reader.Entries().OnChange = [&] { ++changes; };
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(FullTiff(true))), "");
    EXPECT_EQ(changes, 1);  // 22 entries added inside one bracket
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(FullTiff(true))), "");
    EXPECT_EQ(changes, 3);  // the clear, then the bracket
    TEntryItems items;
    int own = 0;
    items.OnChange = [&] { ++own; };
    items.Add();
    items.BeginUpdate();
    items.BeginUpdate();
    items.Add();
    items.EndUpdate();
    EXPECT_EQ(own, 1);
    items.EndUpdate();
    EXPECT_EQ(own, 2);
}

TEST(EntryItem, ReadsWithoutAReaderInLittleEndian) {
    TEntryItems items;
    TEntryItem& item = items.Add();
    const Bytes entry{0x12, 0x01, 3, 0, 1, 0, 0, 0, 8, 0, 0, 0};
    TBytesStream s(entry.data(), entry.size());
    item.ReadEntry(s);
    EXPECT_EQ(item.Tag, 0x0112);
    EXPECT_EQ(item.AsUnsigned(0), 8u);
    EXPECT_EQ(s.Position(), 12);
}

INSTANTIATE_TEST_SUITE_P(LittleAndBig, ByteOrders, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "II" : "MM"; });
