// Helpers for pixel tests: random rasters in every layout, whole-picture
// comparison naming the first differing pixel, and the box of drawn pixels.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "engine/Canvas.h"
#include "engine/Raster.h"

namespace tovali {

namespace pixel_test {

inline std::string ColourText(TColor c) {
    std::ostringstream s;
    s << "(" << int(GetRValue(c)) << ", " << int(GetGValue(c)) << ", " << int(GetBValue(c)) << ")";
    return s.str();
}

// Same size, layout and colour of every pixel; names the first difference.
inline ::testing::AssertionResult SameImage(const TBitmap& expected, const TBitmap& actual) {
    if (expected.Width() != actual.Width() || expected.Height() != actual.Height())
        return ::testing::AssertionFailure()
               << "size " << actual.Width() << "x" << actual.Height() << ", expected "
               << expected.Width() << "x" << expected.Height();
    if (expected.BitsPerPixel() != actual.BitsPerPixel())
        return ::testing::AssertionFailure() << "layout " << actual.BitsPerPixel()
                                             << " bpp, expected " << expected.BitsPerPixel();
    for (int y = 0; y < expected.Height(); ++y)
        for (int x = 0; x < expected.Width(); ++x)
            if (expected.GetPixel(x, y) != actual.GetPixel(x, y))
                return ::testing::AssertionFailure()
                       << "first difference at (" << x << ", " << y
                       << "): " << ColourText(actual.GetPixel(x, y)) << ", expected "
                       << ColourText(expected.GetPixel(x, y));
    return ::testing::AssertionSuccess();
}

inline TColor RandomColour(std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255);
    return RGBColor(std::uint8_t(byte(rng)), std::uint8_t(byte(rng)), std::uint8_t(byte(rng)));
}

// A raster of random pixels; paletted layouts get a random full palette,
// 16-bit ones randomly 5-5-5 or 5-6-5 masks.
inline void FillRandom(TBitmap& b, int w, int h, int bpp, std::mt19937& rng) {
    b.SetSize(w, h, bpp);
    if (bpp <= 8) {
        std::vector<TColor> palette(std::size_t(1) << bpp);
        for (auto& c : palette) c = RandomColour(rng);
        b.SetPalette(palette);
    }
    if (bpp == 16 && rng() % 2) b.SetMasks(0xF800, 0x07E0, 0x001F);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = b.ScanLine(y);
        for (std::size_t i = 0; i < b.Stride(); ++i) row[i] = std::uint8_t(byte(rng));
    }
}

inline void Fill(TBitmap& b, TColor c) {
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) b.SetPixel(x, y, c);
}

// The smallest rectangle holding every pixel that is not the background;
// empty (all zero) when there is none.
inline TRect InkBox(const TBitmap& b, TColor background) {
    TRect box{b.Width(), b.Height(), 0, 0};
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (b.GetPixel(x, y) != background) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box.right > 0 ? box : TRect{};
}

inline std::string RectText(const TRect& r) {
    std::ostringstream s;
    s << "[" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
    return s.str();
}

}  // namespace pixel_test

}  // namespace tovali
