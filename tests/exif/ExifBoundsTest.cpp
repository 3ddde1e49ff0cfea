// Damaged EXIF data: every count, offset and length is checked against the
// file before anything is read or allocated.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/exif/ExifTestUtil.h"

using namespace tovali;

using namespace exiftest;

namespace {

std::atomic<std::size_t> gLargestAllocation{0};

}  // namespace

// Records the largest single allocation, to show that lying counts allocate
// nothing of their size.
void* operator new(std::size_t size) {
    std::size_t seen = gLargestAllocation.load();
    while (size > seen && !gLargestAllocation.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// The operator new above takes its memory from malloc: MinGW's GCC, seeing
// free in a delete, warns of a mismatch that is none.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

// IFD0: a good Make entry, then the entry under test.
Bytes WithEntry(bool little, std::uint16_t type, std::uint32_t count, std::uint32_t offset) {
    TiffBuilder t(little);
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "Before");
    t.AtOffset(ifd0, 0x0132, type, count, offset);
    t.Ascii(ifd0, 0x0110, "After");
    return ExifJpeg(t.Build());
}

std::size_t LargestAllocationWhileLoading(TExifInfo& reader, const Bytes& bytes,
                                          std::string& error) {
    gLargestAllocation = 0;
    error = LoadBytes(reader, bytes);
    return gLargestAllocation.load();
}

}  // namespace

TEST(ExifBounds, ValueOffsetPastTheEndFailsAndKeepsEarlierEntries) {
    for (bool little : {true, false}) {
        TExifInfo reader;
        EXPECT_EQ(LoadBytes(reader, WithEntry(little, etAscii, 20, 0x7FFFFFF0)), kBadStream);
        ASSERT_EQ(reader.Entries().Count(), 1);
        EXPECT_EQ(reader.GetTagText(0x010F, dkMain, false), "Before");
        EXPECT_EQ(reader.GetTagText(0x0132, dkMain, false), "");
    }
}

TEST(ExifBounds, CountsPastTheEndFailWithMinusFiveWithoutAllocating) {
    for (std::uint8_t type :
         {etAscii, etUndefined, etByte, etShort, etLong, etRational, etSRational, etDouble}) {
        for (std::uint32_t count : {1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
            TExifInfo reader;
            std::string error;
            const Bytes file = WithEntry(true, type, count, 8);
            const std::size_t largest = LargestAllocationWhileLoading(reader, file, error);
            EXPECT_EQ(error, kBadStream) << int(type) << " " << count;
            EXPECT_LT(largest, 64u * 1024) << int(type) << " " << count;
            EXPECT_EQ(reader.Entries().Count(), 1) << int(type);
        }
    }
}

TEST(ExifBounds, CountThatWrapsTheSizeProductStillFails) {
    // 0x80000001 SHORTs: a 32-bit size product would wrap to 2 bytes.
    TExifInfo reader;
    std::string error;
    const std::size_t largest =
        LargestAllocationWhileLoading(reader, WithEntry(false, etShort, 0x80000001u, 8), error);
    EXPECT_EQ(error, kBadStream);
    EXPECT_LT(largest, 64u * 1024);
}

TEST(ExifBounds, DirectoryCountPastTheEndKeepsWhatTheFileHolds) {
    TiffBuilder t(true);
    const int ifd0 = t.AddIfd();
    for (int i = 0; i < 10; ++i) t.Shorts(ifd0, std::uint16_t(0x100 + i), {1});
    Bytes tiff = t.Build();
    tiff[8] = 0xFF;  // entry count 65535
    tiff[9] = 0xFF;
    TExifInfo reader;
    // The SOF after the APP1 adds a few bytes that parse as one more entry.
    EXPECT_EQ(LoadBytes(reader, ExifJpeg(tiff)), kBadStream);
    EXPECT_GE(reader.Entries().Count(), 10);
    EXPECT_LE(reader.Entries().Count(), 12);
}

TEST(ExifBounds, BrokenSubDirectoriesFailButKeepIfd0) {
    TiffBuilder t(false);
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x0132, "2005:03:14 10:20:30");
    t.AtOffset(ifd0, 0x8769, etLong, 1, 0x00FFFFFF);
    TExifInfo reader;
    EXPECT_EQ(LoadBytes(reader, ExifJpeg(t.Build())), kBadStream);
    EXPECT_EQ(reader.Entries().Count(), 2);
    EXPECT_EQ(reader.GetDateTimeText(), "2005:03:14 10:20:30");

    TiffBuilder thumb(true);
    const int first = thumb.AddIfd(), second = thumb.AddIfd();
    thumb.Ascii(first, 0x010F, "x");
    thumb.Next(first, second);
    thumb.AtOffset(second, 0x0201, etRational, 3, 0xFFFFFF00);
    EXPECT_EQ(LoadBytes(reader, ExifJpeg(thumb.Build())), kBadStream);
    EXPECT_EQ(reader.Entries().Count(), 1);
    EXPECT_EQ(reader.ThumbEntries().Count(), 0);
}

TEST(ExifBounds, ValuesRunningOffTheEndFail) {
    const std::size_t size = WithEntry(true, etShort, 1, 0).size();
    // 20 to 24 bytes of values starting 10 bytes before the end of the file.
    for (auto [type, count] : {std::pair{etAscii, 20u}, {etShort, 10u}, {etDouble, 3u}}) {
        TExifInfo reader;
        const Bytes file = WithEntry(true, type, count, std::uint32_t(size - 12 - 10));
        EXPECT_EQ(LoadBytes(reader, file), kBadStream) << int(type);
        EXPECT_EQ(reader.Entries().Count(), 1);
    }
}

// SOI and a frame header, then APP1 with the given bytes up to the end.
Bytes App1Last(const Bytes& app1) {
    Bytes out{0xFF, 0xD8};
    const Bytes sof = Sof(0xFFC0, 64, 48);
    out.insert(out.end(), sof.begin(), sof.end());
    out.insert(out.end(), {0xFF, 0xE1});
    out.insert(out.end(), app1.begin(), app1.end());
    return out;
}

TEST(ExifBounds, App1WithoutATiffHeaderFails) {
    TExifInfo reader;
    Bytes noZeros{0x01, 0x01};
    noZeros.insert(noZeros.end(), 300, 'A');
    EXPECT_EQ(LoadBytes(reader, App1Last(noZeros)), kBadStream);
    EXPECT_EQ(reader.App1Position(), 15);
    EXPECT_EQ(reader.JpegWidth(), 64);
    // The header itself cut short.
    EXPECT_EQ(LoadBytes(reader, App1Last({0x00, 0x0C, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42})),
              kBadStream);
}

TEST(ExifBounds, OverlappingValuesCannotMultiplyWhatTheFileHolds) {
    // 2000 entries all pointing at the same 4000-byte block: 8 MB from a
    // 28 KB file is refused; the same entries pointing at 4 bytes each load.
    TiffBuilder t(true);
    const int ifd0 = t.AddIfd();
    for (int i = 0; i < 2000; ++i) t.AtOffset(ifd0, std::uint16_t(i), etUndefined, 4000, 8);
    TExifInfo reader;
    std::string error;
    const Bytes bomb = ExifJpeg(t.Build());
    const std::size_t largest = LargestAllocationWhileLoading(reader, bomb, error);
    EXPECT_EQ(error, kBadStream);
    EXPECT_LT(largest, 64u * 1024);
    EXPECT_LT(reader.Entries().Count(), 10);

    TiffBuilder fine(true);
    const int dir = fine.AddIfd();
    for (int i = 0; i < 2000; ++i) fine.AtOffset(dir, std::uint16_t(i), etUndefined, 5, 8);
    EXPECT_EQ(LoadBytes(reader, ExifJpeg(fine.Build())), "");
    EXPECT_EQ(reader.Entries().Count(), 2000);
}

TEST(ExifBounds, DirectoriesPointingAtThemselvesAreReadOnce) {
    TiffBuilder t(true);
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "loop");
    t.Pointer(ifd0, 0x8769, ifd0);
    t.Pointer(ifd0, 0x8825, ifd0);
    t.Next(ifd0, ifd0);
    TExifInfo reader;
    ASSERT_EQ(LoadBytes(reader, ExifJpeg(t.Build())), "");
    EXPECT_EQ(reader.Entries().Count(), 9);       // IFD0, read as Exif and as GPS
    EXPECT_EQ(reader.ThumbEntries().Count(), 6);  // IFD1 = IFD0, and as its Exif
    // Read as the Exif directory, IFD0's own GPS pointer sits under dkExif
    // and the interoperability lookup finds nothing.
    EXPECT_EQ(reader.InteropIFDOffset(), 0u);
}
