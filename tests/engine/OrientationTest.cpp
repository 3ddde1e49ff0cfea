// Upright photos: the EXIF Orientation tag turns the raster upright.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <iterator>
#include <random>

#include "engine/ColourProfile.h"
#include "engine/Orientation.h"
#include "engine/PictureExif.h"
#include "engine/UnitThPicConvert.h"
#include "engine/codecs/JpegCodec.h"
#include "exif/ExifInfo.h"
#include "tests/exif/ExifBuilder.h"

using namespace tovali;

using namespace exiftest;

namespace {

// Six distinct colours a..f, stored as the 3 x 2 picture
//   a b c
//   d e f
const TColor kColours[6] = {RGBColor(255, 0, 0),   RGBColor(0, 255, 0),   RGBColor(0, 0, 255),
                            RGBColor(255, 255, 0), RGBColor(0, 255, 255), RGBColor(255, 0, 255)};

void Stored(int bpp, TBitmap& b) {
    b.SetSize(3, 2, bpp);
    if (bpp <= 8) {
        std::vector<TColor> palette(kColours, kColours + 6);
        palette.resize(std::size_t(1) << bpp, 0);
        b.SetPalette(palette);
    }
    for (int i = 0; i < 6; ++i) b.SetPixel(i % 3, i / 3, kColours[i]);
}

// The upright picture as letters, row by row.
std::string Letters(const TBitmap& b) {
    std::string out;
    for (int y = 0; y < b.Height(); ++y) {
        if (y) out += '/';
        for (int x = 0; x < b.Width(); ++x) {
            const TColor c = b.GetPixel(x, y);
            const auto* hit = std::find(kColours, kColours + 6, c);
            out += hit == kColours + 6 ? '?' : char('a' + (hit - kColours));
        }
    }
    return out;
}

// What each value means, from the EXIF definition of the 0th row and column.
const std::pair<int, const char*> kUpright[] = {
    {1, "abc/def"},  {2, "cba/fed"},  {3, "fed/cba"},  {4, "def/abc"},
    {5, "ad/be/cf"}, {6, "da/eb/fc"}, {7, "fc/eb/da"}, {8, "cf/be/ad"},
};

void RandomIndexes(int width, int height, int bpp, unsigned seed, TBitmap& b) {
    b.SetSize(width, height, bpp);
    std::vector<TColor> palette(std::size_t(1) << bpp);
    for (std::size_t i = 0; i < palette.size(); ++i)
        palette[i] = RGBColor(std::uint8_t(i * 37), std::uint8_t(i * 91), std::uint8_t(i * 13));
    b.SetPalette(palette);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) b.SetPixel(x, y, palette[random() % palette.size()]);
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
    return true;
}

std::string Data(const std::string& name) {
    return std::string(TOVALI_TEST_DATA) + "/exif/orientation/" + name;
}

void FromQImage(QImage image, TBitmap& b) {
    image = image.convertToFormat(QImage::Format_RGB888);
    b.SetSize(image.width(), image.height(), 24);
    for (int y = 0; y < image.height(); ++y) {
        const uchar* in = image.constScanLine(y);
        std::uint8_t* out = b.ScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
}

void Decode(const std::string& file, bool upright, TBitmap& b) {
    QImageReader reader(QString::fromStdString(file));
    reader.setAutoTransform(upright);
    FromQImage(reader.read(), b);
}

}  // namespace

TEST(ApplyExifOrientation, EveryValueInEveryLayout) {
    for (int bpp : {4, 8, 16, 24, 32}) {
        for (auto [value, expected] : kUpright) {
            TBitmap b;
            Stored(bpp, b);
            ApplyExifOrientation(b, value);
            EXPECT_EQ(Letters(b), expected) << bpp << " bpp, value " << value;
            EXPECT_EQ(b.BitsPerPixel(), bpp);
        }
    }
}

TEST(ApplyExifOrientation, BitLayoutsMatchTheByteLayoutsAcrossByteEdges) {
    for (int bpp : {1, 4}) {
        TBitmap source;
        RandomIndexes(19, 11, bpp, unsigned(bpp), source);
        for (int value = 2; value <= 8; ++value) {
            TBitmap packed, wide;
            packed.Assign(source);
            wide.Assign(source);
            wide.ConvertTo24();
            ApplyExifOrientation(packed, value);
            ApplyExifOrientation(wide, value);
            EXPECT_EQ(packed.BitsPerPixel(), bpp);
            EXPECT_TRUE(SamePixels(packed, wide)) << bpp << " bpp, value " << value;
        }
    }
}

TEST(ApplyExifOrientation, KeepsPaletteMasksTransparentColourAndProfile) {
    TBitmap grey(5, 3, 8);
    std::vector<TColor> palette(256);
    for (int i = 0; i < 256; ++i) palette[i] = RGBColor(i, i, i);
    grey.SetPalette(palette);
    grey.TransparentColor = RGBColor(7, 7, 7);
    grey.IccProfile = {1, 2, 3};
    ApplyExifOrientation(grey, 6);
    EXPECT_EQ(grey.Width(), 3);
    EXPECT_EQ(grey.Height(), 5);
    EXPECT_EQ(grey.BitsPerPixel(), 8);
    EXPECT_EQ(grey.Palette(), palette);
    EXPECT_EQ(grey.TransparentColor, RGBColor(7, 7, 7));
    EXPECT_EQ(grey.IccProfile, (std::vector<std::uint8_t>{1, 2, 3}));  // a WebP's ICCP chunk

    TBitmap rgb565(4, 2, 16);
    rgb565.SetMasks(0xF800, 0x07E0, 0x001F);
    rgb565.SetPixel(0, 0, RGBColor(255, 0, 0));
    ApplyExifOrientation(rgb565, 3);
    EXPECT_EQ(rgb565.Masks(), (std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F}));
    EXPECT_EQ(rgb565.GetPixel(3, 1), RGBColor(255, 0, 0));
}

TEST(ApplyExifOrientation, OtherValuesAndEmptyRastersStayAsTheyAre) {
    for (int value : {-1, 0, 1, 9, 65535}) {
        TBitmap b;
        Stored(24, b);
        ApplyExifOrientation(b, value);
        EXPECT_EQ(Letters(b), "abc/def") << value;
    }
    TBitmap empty;
    ApplyExifOrientation(empty, 6);
    EXPECT_TRUE(empty.Empty());
}

TEST(ReadPictureExif, ReadsTheTagOrAnswersOne) {
    TExifInfo reader;
    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(ReadPictureExif(reader, Data("landscape_" + std::to_string(n) + ".jpg"), false)
                      .Orientation,
                  n);
    TempDir dir;
    TiffBuilder none(true);
    none.Ascii(none.AddIfd(), 0x010F, "no orientation");
    EXPECT_EQ(
        ReadPictureExif(reader, dir.File("none.jpg", ExifJpeg(none.Build())), false).Orientation,
        1);
    EXPECT_EQ(ReadPictureExif(reader, dir.File("a.png", {0x89, 'P', 'N', 'G'}), false).Orientation,
              1);
    EXPECT_EQ(ReadPictureExif(reader, (dir.Path() / "missing.jpg").string(), false).Orientation, 1);
    // A file that cannot be opened is told to the date step; a format
    // without EXIF data is opened only when the date is wanted.
    for (const char* name : {"missing.jpg", "missing.webp", "missing.png"}) {
        const std::string missing = (dir.Path() / name).string();
        EXPECT_TRUE(ReadPictureExif(reader, missing, true).OpenError) << name;
        EXPECT_EQ(bool(ReadPictureExif(reader, missing, false).OpenError),
                  std::string(name) != "missing.png")
            << name;
    }
    // An Orientation read before the EXIF block broke does not count.
    TiffBuilder broken(true);
    const int ifd0 = broken.AddIfd();
    broken.Shorts(ifd0, 0x0112, {6});
    broken.AtOffset(ifd0, 0x010F, etAscii, 50, 0x00FFFFFF);
    EXPECT_EQ(ReadPictureExif(reader, dir.File("broken.jpg", ExifJpeg(broken.Build())), false)
                  .Orientation,
              1);
}

TEST(ReadPictureExif, SidewaysSamplesComeOutAsEveryViewerShowsThem) {
    TExifInfo reader;
    TBitmap reference;
    Decode(Data("landscape_1.jpg"), false, reference);
    for (int n = 1; n <= 8; ++n) {
        const std::string file = Data("landscape_" + std::to_string(n) + ".jpg");
        TBitmap b, shown;
        Decode(file, false, b);
        Decode(file, true, shown);
        ApplyExifOrientation(b, ReadPictureExif(reader, file, false).Orientation);
        // Exactly what Qt's own EXIF handling shows...
        EXPECT_TRUE(SamePixels(b, shown)) << n;
        // ...which is the upright picture of landscape_1 but for the big
        // number each sample carries (a wrong turn differs by 40 and more).
        ASSERT_EQ(b.Width(), reference.Width()) << n;
        ASSERT_EQ(b.Height(), reference.Height()) << n;
        long difference = 0;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width() * 3; ++x)
                difference += std::abs(int(b.ScanLine(y)[x]) - int(reference.ScanLine(y)[x]));
        EXPECT_LT(difference / (b.Width() * b.Height() * 3), 25) << n;
    }
}

TEST(LoadPicture, JpegsComeOutUpright) {
    TthPicConvert engine;
    for (int n = 1; n <= 8; ++n) {
        const std::string file = Data("landscape_" + std::to_string(n) + ".jpg");
        TBitmap loaded, shown;
        engine.LoadPicture(file, loaded);
        Decode(file, true, shown);
        // Most of the files carry Apple's Generic RGB profile, which loading
        // turns into sRGB.
        TBitmap raw;
        JpegLoad(file, raw);
        shown.IccProfile = raw.IccProfile;
        ConvertToSrgb(shown);
        EXPECT_EQ(loaded.Width(), 80) << n;
        EXPECT_EQ(loaded.Height(), 60) << n;
        EXPECT_TRUE(SamePixels(loaded, shown)) << n;
    }
}

TEST(LoadPicture, UprightGreyPhotoStaysEightBit) {
    TthPicConvert engine;
    TBitmap grey;
    engine.LoadPicture(Data("grey_6.jpg"), grey);
    EXPECT_EQ(grey.BitsPerPixel(), 8);
    EXPECT_EQ(grey.Width(), 80);
    EXPECT_EQ(grey.Height(), 60);
    ASSERT_EQ(grey.Palette().size(), 256u);
    EXPECT_EQ(grey.Palette()[200], RGBColor(200, 200, 200));
}

TEST(LoadPicture, UnreadableExifLeavesThePictureAsStored) {
    std::ifstream in(Data("landscape_6.jpg"), std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), {});
    TExifInfo probe;
    ASSERT_TRUE(probe.HasExif(Data("landscape_6.jpg")));
    const std::size_t tiff = std::size_t(probe.FindApp1InFile(Data("landscape_6.jpg"))) + 10;
    ASSERT_EQ(bytes[tiff], 'M');
    bytes[tiff + 4] = 0x7F;  // IFD0 beyond the file
    TempDir dir;
    TthPicConvert engine;
    TBitmap loaded;
    engine.LoadPicture(dir.File("broken_exif.jpg", bytes), loaded);
    EXPECT_EQ(loaded.Width(), 60);
    EXPECT_EQ(loaded.Height(), 80);
}
