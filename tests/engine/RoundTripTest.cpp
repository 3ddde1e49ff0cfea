// Every raster layout written in every format by SavePicture and read back
// by LoadPicture.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/UnitThPicConvert.h"
#include "engine/codecs/PaletteUtils.h"
#include "tests/engine/ImageCompare.h"

using namespace tovali;

namespace {

struct Layout {
    const char* name;
    int bpp;
    std::array<std::uint32_t, 3> masks;
};

const Layout kLayouts[] = {
    {"1-bit", 1, {}},
    {"4-bit", 4, {}},
    {"8-bit", 8, {}},
    {"16-bit 5-5-5", 16, {0x7C00, 0x03E0, 0x001F}},
    {"16-bit 5-6-5", 16, {0xF800, 0x07E0, 0x001F}},
    {"24-bit", 24, {}},
    {"32-bit", 32, {0xFF0000, 0x00FF00, 0x0000FF}},
    {"32-bit BGR fields", 32, {0x0000FF, 0x00FF00, 0xFF0000}},
};

const char* const kExtensions[] = {".jpg", ".png", ".bmp", ".gif", ".webp", ".avif"};

void MakePicture(const Layout& layout, TBitmap& b) {
    b.SetSize(37, 23, layout.bpp);
    if (layout.bpp <= 8) {
        std::vector<TColor> palette;
        for (int i = 0; i < (1 << layout.bpp); ++i)
            palette.push_back(
                RGBColor(std::uint8_t(i * 37), std::uint8_t(255 - i * 11), std::uint8_t(i * 5)));
        b.SetPalette(palette);
    } else if (layout.bpp != 24) {
        b.SetMasks(layout.masks[0], layout.masks[1], layout.masks[2]);
    }
    const int colours = layout.bpp <= 8 ? 1 << layout.bpp : 256;
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            if (layout.bpp <= 8) {
                SetPaletteIndexAt(b.ScanLine(y), x, layout.bpp, (x / 16 + y / 8 * 3) % colours);
            } else {
                b.SetPixel(
                    x, y,
                    RGBColor(std::uint8_t(x * 7), std::uint8_t(y * 11), std::uint8_t((x + y) * 3)));
            }
        }
    }
}

// What the fixed 216-colour palette makes of a picture.
void CubeColours(const TBitmap& source, TBitmap& out) {
    out.SetSize(source.Width(), source.Height(), 24);
    const auto level = [](std::uint8_t v) { return std::uint8_t((v + 3) / 51 * 51); };
    for (int y = 0; y < source.Height(); ++y) {
        for (int x = 0; x < source.Width(); ++x) {
            const TColor c = source.GetPixel(x, y);
            out.SetPixel(x, y,
                         RGBColor(level(GetRValue(c)), level(GetGValue(c)), level(GetBValue(c))));
        }
    }
}

void SaveAndLoad(const TBitmap& picture, TOutputType type, const TTempDir& dir, TBitmap& back) {
    TthPicConvert engine;
    engine.Options.DecidesName = true;
    engine.Options.NameAffix = "_out";
    engine.Options.OutputType = type;
    TBitmap copy;
    copy.Assign(picture);
    const std::string name = dir / (std::string("picture") + kExtensions[type]);
    engine.SavePicture(name, copy);
    engine.LoadPicture(dir / (std::string("picture_out") + kExtensions[type]), back);
    std::filesystem::remove(dir / (std::string("picture_out") + kExtensions[type]));
}

}  // namespace

TEST(RoundTrip, EveryLayoutThroughEveryFormat) {
    TTempDir dir;
    for (const Layout& layout : kLayouts) {
        TBitmap picture;
        MakePicture(layout, picture);
        const bool paletted = layout.bpp <= 8;
        {
            TBitmap back;
            SaveAndLoad(picture, otBmp, dir, back);
            EXPECT_EQ(back.BitsPerPixel(), layout.bpp) << layout.name;
            EXPECT_EQ(back.Palette(), picture.Palette()) << layout.name;
            if (!paletted) {
                EXPECT_EQ(back.Masks(), picture.Masks()) << layout.name;
            }
            EXPECT_TRUE(SameColours(back, picture)) << "BMP " << layout.name;
        }
        {
            TBitmap back;
            SaveAndLoad(picture, otPng, dir, back);
            EXPECT_EQ(back.BitsPerPixel(), paletted ? layout.bpp : 24) << layout.name;
            EXPECT_TRUE(SameColours(back, picture)) << "PNG " << layout.name;
        }
        {
            TBitmap back, expected;
            SaveAndLoad(picture, otGif, dir, back);
            EXPECT_EQ(back.BitsPerPixel(), 8) << layout.name;
            if (paletted) {
                expected.Assign(picture);
            } else {
                CubeColours(picture, expected);
            }
            EXPECT_TRUE(SameColours(back, expected)) << "GIF " << layout.name;
        }
        {
            TBitmap back;
            SaveAndLoad(picture, otJpeg, dir, back);
            EXPECT_EQ(back.BitsPerPixel(), 24) << layout.name;
            ASSERT_EQ(back.Width(), picture.Width());
            EXPECT_LT(MeanDifference(back, picture), 6.0) << "JPEG " << layout.name;
        }
        for (const TOutputType type : {otWebp, otAvif}) {
            TBitmap back;
            SaveAndLoad(picture, type, dir, back);
            ASSERT_EQ(back.Width(), picture.Width());
            ASSERT_EQ(back.Height(), picture.Height());
            EXPECT_LT(MeanDifference(back, picture), 8.0) << kExtensions[type] << layout.name;
        }
    }
}

TEST(RoundTrip, AGreyJpegStaysEightBitGrey) {
    TTempDir dir;
    TthPicConvert engine;
    TBitmap grey;
    engine.LoadPicture(DataFile("jpeg/grey.jpg"), grey);
    for (const TOutputType type : {otBmp, otPng, otGif}) {
        TBitmap back;
        SaveAndLoad(grey, type, dir, back);
        EXPECT_EQ(back.BitsPerPixel(), 8) << type;
        EXPECT_EQ(back.Palette(), grey.Palette()) << type;
        EXPECT_TRUE(SameColours(back, grey)) << type;
    }
}

TEST(RoundTrip, TransparencyOfGifAndPngSurvivesWhenNoStepTouchesTheRaster) {
    TTempDir dir;
    TthPicConvert engine;
    for (const char* source : {"gif/static_transparent.gif", "png/tbbn3p08.png"}) {
        TBitmap picture;
        engine.LoadPicture(DataFile(source), picture);
        const int t = TransparentPaletteIndex(picture);
        ASSERT_GE(t, 0) << source;
        for (const TOutputType type : {otGif, otPng}) {
            TBitmap back;
            SaveAndLoad(picture, type, dir, back);
            EXPECT_EQ(back.TransparentColor, RGBColor(255, 255, 255)) << source << type;
            const int backT = TransparentPaletteIndex(back);
            ASSERT_GE(backT, 0) << source << type;
            for (int y = 0; y < picture.Height(); ++y)
                for (int x = 0; x < picture.Width(); ++x)
                    ASSERT_EQ(back.ScanLine(y)[x] == backT, picture.ScanLine(y)[x] == t)
                        << source << type;
        }
    }
}
