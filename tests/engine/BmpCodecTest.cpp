#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine/codecs/BmpCodec.h"
#include "tests/engine/ImageCompare.h"

using namespace tovali;

namespace {

void LoadBmp(const std::string& name, TBitmap& picture) {
    BmpLoad(DataFile("bmp/" + name), picture);
}

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t(b[at]) | (std::uint32_t(b[at + 1]) << 8) |
           (std::uint32_t(b[at + 2]) << 16) | (std::uint32_t(b[at + 3]) << 24);
}
std::uint16_t U16At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint16_t(b[at] | (b[at + 1] << 8));
}

// A small bitmap file with a 40-byte header and no palette, for headers
// that lie.
std::vector<std::uint8_t> BitmapHeader(std::int32_t width, std::int32_t height, int bpp,
                                       std::uint32_t dataOffset = 54) {
    std::vector<std::uint8_t> b(54 + 64, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(&b[at], &v, 4); };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, std::uint32_t(b.size()));
    put32(10, dataOffset);
    put32(14, 40);
    put32(18, std::uint32_t(width));
    put32(22, std::uint32_t(height));
    b[26] = 1;
    b[28] = std::uint8_t(bpp);
    return b;
}

int PaletteIndexOf(const TBitmap& b, int x, int y) {
    const std::uint8_t v = b.ScanLine(y)[x / 2];
    return (x & 1) ? (v & 0xF) : (v >> 4);
}

class FailingSink : public TOutputSink {
  public:
    void Write(const void*, std::size_t) override { throw std::runtime_error("disk full"); }
};

}  // namespace

TEST(BmpLoad, EveryLayoutKeepsItsBitCountPaletteAndMasks) {
    struct Case {
        const char* file;
        int bpp;
        std::size_t paletteSize;
    };
    const Case cases[] = {
        {"pal1.bmp", 1, 2},     {"pal4.bmp", 4, 12},          {"pal4rle.bmp", 4, 12},
        {"pal8.bmp", 8, 252},   {"pal8rle.bmp", 8, 252},      {"pal8os2.bmp", 8, 256},
        {"pal8v5.bmp", 8, 252}, {"pal8os2v2-16.bmp", 8, 256}, {"pal2.bmp", 4, 4},
        {"rgb16.bmp", 16, 0},   {"rgb16-565.bmp", 16, 0},     {"rgb24.bmp", 24, 0},
        {"rgb32.bmp", 32, 0},   {"rgb32bf.bmp", 32, 0},
    };
    for (const Case& c : cases) {
        TBitmap b;
        LoadBmp(c.file, b);
        EXPECT_EQ(b.BitsPerPixel(), c.bpp) << c.file;
        EXPECT_EQ(b.Palette().size(), c.paletteSize) << c.file;
        EXPECT_EQ(b.Width(), 127) << c.file;
        EXPECT_EQ(b.Height(), 64) << c.file;
    }
    TBitmap b565;
    LoadBmp("rgb16-565.bmp", b565);
    EXPECT_EQ(b565.Masks(), (std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F}));
    TBitmap b555;
    LoadBmp("rgb16.bmp", b555);
    EXPECT_EQ(b555.Masks(), TBitmap::DefaultMasks(16));
}

TEST(BmpLoad, PixelsMatchAnIndependentReader) {
    for (const char* name :
         {"pal1.bmp", "pal1bg.bmp", "pal4.bmp", "pal4rle.bmp", "pal8.bmp", "pal8rle.bmp",
          "pal8os2.bmp", "pal8topdown.bmp", "pal8v4.bmp", "pal8v5.bmp", "pal8w125.bmp", "rgb16.bmp",
          "rgb16-565.bmp", "rgb24.bmp", "rgb32.bmp", "rgb32bf.bmp"}) {
        TBitmap ours, reference;
        LoadBmp(name, ours);
        QtReference(DataFile(std::string("bmp/") + name), reference);
        // Qt widens 5-bit fields by shifting (31 -> 248); we scale (31 -> 255).
        EXPECT_TRUE(SameColours(ours, reference, ours.BitsPerPixel() == 16 ? 7 : 0)) << name;
    }
}

TEST(BmpLoad, UnusualFieldsAndBitCountsDecodeToTheRightColours) {
    // 11-11-10 bit fields; values as ImageMagick reads them, rounded to 8 bits.
    TBitmap wide;
    LoadBmp("rgb32-111110.bmp", wide);
    EXPECT_EQ(wide.GetPixel(0, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(wide.GetPixel(126, 63), RGBColor(96, 96, 126));
    // Two bits per pixel: a four-entry grey palette over 4-bit pixels.
    TBitmap two;
    LoadBmp("pal2.bmp", two);
    ASSERT_EQ(two.Palette().size(), 4u);
    for (int x = 0; x < two.Width(); ++x)
        for (int y = 0; y < two.Height(); ++y) ASSERT_LT(PaletteIndexOf(two, x, y), 4);
}

TEST(BmpLoad, StorageVariantsGiveTheSamePicture) {
    const std::pair<const char*, const char*> twins[] = {
        {"pal4rle.bmp", "pal4.bmp"},         {"pal8rle.bmp", "pal8.bmp"},
        {"pal8topdown.bmp", "pal8.bmp"},     {"pal8os2.bmp", "pal8.bmp"},
        {"pal8v4.bmp", "pal8.bmp"},          {"pal8v5.bmp", "pal8.bmp"},
        {"rgb32.bmp", "rgb24.bmp"},          {"rgb32bf.bmp", "rgb24.bmp"},
        {"pal8oversizepal.bmp", "pal8.bmp"},
    };
    for (const auto& [variant, plain] : twins) {
        TBitmap a, b;
        LoadBmp(variant, a);
        LoadBmp(plain, b);
        EXPECT_TRUE(SameColours(a, b)) << variant << " vs " << plain;
    }
}

TEST(BmpLoad, RleDataThatEndsEarlyKeepsThePixelsDecoded) {
    TBitmap cut, whole;
    LoadBmp("pal8rlecut.bmp", cut);
    LoadBmp("pal8rle.bmp", whole);
    // Every pixel is either the right one or, where the data never arrived,
    // palette entry 0. Rows are stored bottom first, so the top row is empty.
    ASSERT_EQ(cut.Width(), whole.Width());
    int decoded = 0;
    for (int y = 0; y < cut.Height(); ++y) {
        for (int x = 0; x < cut.Width(); ++x) {
            const bool same = cut.GetPixel(x, y) == whole.GetPixel(x, y);
            EXPECT_TRUE(same || cut.ScanLine(y)[x] == 0) << x << "," << y;
            decoded += same;
        }
    }
    EXPECT_GT(decoded, cut.Width() * cut.Height() / 2);
    for (int x = 0; x < cut.Width(); ++x) EXPECT_EQ(cut.ScanLine(0)[x], 0);
}

TEST(BmpLoad, DamagedAndUnsupportedFilesFailWithAMessage) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TOVALI_SOURCE_DIR) +
                                                                 "/tests/crashers/bmp")) {
        TBitmap b;
        try {
            BmpLoad(entry.path().string(), b);
            ADD_FAILURE() << entry.path() << " loaded";
        } catch (const ECodecError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("BMP: ", 0), 0u) << e.what();
        }
        ++count;
    }
    EXPECT_GE(count, 25);
}

TEST(BmpLoad, LyingHeadersFailBeforeAnyAllocation) {
    TBitmap b;
    // 100000 x 100000 at 24 bits would be 30 GB.
    auto huge = BitmapHeader(100000, 100000, 24);
    EXPECT_THROW(BmpLoadBuffer(huge.data(), huge.size(), b), ECodecError);
    // Claims more pixel data than the file holds.
    auto shortData = BitmapHeader(1000, 1000, 24);
    EXPECT_THROW(BmpLoadBuffer(shortData.data(), shortData.size(), b), ECodecError);
    // Pixel data inside the header, and beyond the end of the file.
    auto inHeader = BitmapHeader(2, 2, 24, 20);
    EXPECT_THROW(BmpLoadBuffer(inHeader.data(), inHeader.size(), b), ECodecError);
    auto beyond = BitmapHeader(2, 2, 24, 5000);
    EXPECT_THROW(BmpLoadBuffer(beyond.data(), beyond.size(), b), ECodecError);
    // The same header with honest values loads.
    auto fine = BitmapHeader(2, 2, 24);
    BmpLoadBuffer(fine.data(), fine.size(), b);
    EXPECT_EQ(b.Width(), 2);
    for (std::size_t cut : {0u, 1u, 13u, 30u, 53u})
        EXPECT_THROW(BmpLoadBuffer(fine.data(), cut, b), ECodecError);
}

TEST(BmpLoad, RleIndexesOutsideThePaletteFail) {
    // 4 x 1 RLE8 with a two-colour palette: a run of index 1, then index 5.
    auto file = BitmapHeader(4, 1, 8, 62);
    file[30] = 1;  // RLE8
    file[46] = 2;  // two palette entries
    const std::uint8_t palette[] = {0, 0, 0, 0, 255, 255, 255, 0};
    std::copy(std::begin(palette), std::end(palette), file.begin() + 54);
    const std::uint8_t good[] = {2, 1, 2, 0, 0, 1};
    std::copy(std::begin(good), std::end(good), file.begin() + 62);
    TBitmap b;
    BmpLoadBuffer(file.data(), file.size(), b);
    EXPECT_EQ(b.GetPixel(0, 0), RGBColor(255, 255, 255));
    EXPECT_EQ(b.GetPixel(3, 0), RGBColor(0, 0, 0));
    file[65] = 5;
    EXPECT_THROW(BmpLoadBuffer(file.data(), file.size(), b), ECodecError);
}

TEST(BmpSave, HeaderFieldsDescribeTheRasterLayout) {
    struct Case {
        int bpp;
        bool customMasks;
        std::uint32_t compression;
        std::uint32_t extra;  // mask bytes plus palette bytes after the header
    };
    const Case cases[] = {{1, false, 0, 8},  {4, false, 0, 64}, {8, false, 0, 1024},
                          {16, false, 0, 0}, {16, true, 3, 12}, {24, false, 0, 0},
                          {32, false, 0, 0}, {32, true, 3, 12}};
    for (const Case& c : cases) {
        TBitmap b(5, 3, c.bpp);
        if (c.customMasks)
            b.SetMasks(c.bpp == 16 ? 0xF800 : 0xFF, c.bpp == 16 ? 0x07E0 : 0xFF00,
                       c.bpp == 16 ? 0x1F : 0xFF0000);
        b.SetPixel(4, 0, RGBColor(255, 255, 255));
        TMemorySink sink;
        BmpSave(b, sink);
        const auto& f = sink.Bytes;
        ASSERT_GE(f.size(), 54u);
        EXPECT_EQ(f[0], 'B');
        EXPECT_EQ(f[1], 'M');
        EXPECT_EQ(U32At(f, 2), f.size()) << c.bpp;
        EXPECT_EQ(U32At(f, 10), 54 + c.extra) << c.bpp;
        EXPECT_EQ(U32At(f, 14), 40u);
        EXPECT_EQ(U32At(f, 18), 5u);
        EXPECT_EQ(U32At(f, 22), 3u);  // positive: rows stored bottom-up
        EXPECT_EQ(U16At(f, 26), 1);
        EXPECT_EQ(U16At(f, 28), c.bpp);
        EXPECT_EQ(U32At(f, 30), c.compression) << c.bpp;
        EXPECT_EQ(U32At(f, 34), b.Stride() * 3);
        EXPECT_EQ(U32At(f, 46), c.bpp <= 8 ? std::uint32_t(1) << c.bpp : 0u);
        if (c.customMasks) {
            EXPECT_EQ(U32At(f, 54), b.Masks()[0]);
        }
        // The top-right pixel is the last row in the file.
        TBitmap back;
        BmpLoadBuffer(f.data(), f.size(), back);
        EXPECT_EQ(back.BitsPerPixel(), c.bpp);
        EXPECT_EQ(back.Masks(), b.Masks());
        EXPECT_TRUE(SameColours(back, b)) << c.bpp;
    }
}

TEST(BmpSave, PaletteIsWrittenAndCoversEveryIndexUsed) {
    TBitmap b(4, 1, 8);
    b.SetPalette({RGBColor(10, 20, 30), RGBColor(40, 50, 60)});
    b.ScanLine(0)[3] = 5;  // beyond the palette: written as black
    TMemorySink sink;
    BmpSave(b, sink);
    EXPECT_EQ(U32At(sink.Bytes, 46), 6u);
    EXPECT_EQ(U32At(sink.Bytes, 54), 0x0A141Eu);  // blue, green, red, 0
    TBitmap back;
    BmpLoadBuffer(sink.Bytes.data(), sink.Bytes.size(), back);
    EXPECT_EQ(back.GetPixel(0, 0), RGBColor(10, 20, 30));
    EXPECT_EQ(back.GetPixel(3, 0), RGBColor(0, 0, 0));
}

TEST(BmpSave, FailuresOfTheSinkAndEmptyRastersAreReported) {
    TBitmap b(3, 3, 24);
    FailingSink failing;
    EXPECT_THROW(BmpSave(b, failing), std::runtime_error);
    TBitmap empty;
    TMemorySink sink;
    EXPECT_THROW(BmpSave(empty, sink), ECodecError);
}
