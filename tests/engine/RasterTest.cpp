#include <gtest/gtest.h>

#include "engine/Raster.h"

using namespace tovali;

TEST(Raster, RowsArePaddedToFourBytes) {
    EXPECT_EQ(TBitmap::StrideFor(1, 1), 4u);
    EXPECT_EQ(TBitmap::StrideFor(33, 1), 8u);
    EXPECT_EQ(TBitmap::StrideFor(3, 24), 12u);
    EXPECT_EQ(TBitmap::StrideFor(5, 4), 4u);
    EXPECT_EQ(TBitmap::StrideFor(3, 16), 8u);
}

TEST(Raster, RefusesImpossibleSizesAndLayouts) {
    TBitmap b;
    EXPECT_THROW(b.SetSize(-1, 5, 24), ERasterError);
    EXPECT_THROW(b.SetSize(5, 5, 12), ERasterError);
    EXPECT_THROW(b.SetSize(100000, 100000, 24), ERasterError);
    b.SetSize(0, 0, 24);
    EXPECT_TRUE(b.Empty());
}

TEST(Raster, PixelsRoundTripInEveryLayout) {
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        TBitmap b(7, 3, bpp);
        if (bpp <= 8) {
            std::vector<TColor> pal(std::size_t(1) << bpp, 0);
            pal[1] = RGBColor(255, 255, 255);
            b.SetPalette(pal);
        }
        b.SetPixel(6, 2, RGBColor(255, 255, 255));
        EXPECT_EQ(b.GetPixel(6, 2), RGBColor(255, 255, 255)) << bpp;
        EXPECT_EQ(b.GetPixel(5, 2), RGBColor(0, 0, 0)) << bpp;
        b.ConvertTo24();
        EXPECT_EQ(b.BitsPerPixel(), 24);
        EXPECT_EQ(b.GetPixel(6, 2), RGBColor(255, 255, 255)) << bpp;
        EXPECT_EQ(b.GetPixel(0, 0), RGBColor(0, 0, 0)) << bpp;
    }
}

TEST(Raster, SixteenBitFieldsScaleToFullRange) {
    TBitmap b(2, 1, 16);
    b.SetMasks(0xF800, 0x07E0, 0x001F);
    b.SetPixel(0, 0, RGBColor(255, 128, 0));
    const TColor c = b.GetPixel(0, 0);
    EXPECT_EQ(GetRValue(c), 255);
    EXPECT_NEAR(GetGValue(c), 128, 2);
    EXPECT_EQ(GetBValue(c), 0);
}

TEST(Raster, PalettedPixelsTakeTheNearestColour) {
    TBitmap b(4, 1, 8);
    b.SetPalette({RGBColor(0, 0, 0), RGBColor(200, 0, 0), RGBColor(0, 0, 200)});
    b.SetPixel(0, 0, RGBColor(180, 20, 10));
    EXPECT_EQ(b.ScanLine(0)[0], 1);
    EXPECT_EQ(b.GetPixel(0, 0), RGBColor(200, 0, 0));
}

TEST(Raster, AssignCopiesLayoutPaletteAndTransparency) {
    TBitmap a(3, 2, 4);
    a.SetPalette({RGBColor(1, 2, 3), RGBColor(4, 5, 6)});
    a.SetPixel(2, 1, RGBColor(4, 5, 6));
    a.TransparentColor = RGBColor(1, 2, 3);
    TBitmap b;
    b.Assign(a);
    EXPECT_EQ(b.BitsPerPixel(), 4);
    EXPECT_EQ(b.GetPixel(2, 1), RGBColor(4, 5, 6));
    EXPECT_EQ(b.TransparentColor, RGBColor(1, 2, 3));
    EXPECT_EQ(b.Palette().size(), 2u);
}
