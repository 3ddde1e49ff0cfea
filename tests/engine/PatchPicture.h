// The four-patch picture the HEIF, AVIF and WebP test files were made from
// (see tests/data/README.md), and a colour check that allows for lossy coding.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tests/engine/ImageCompare.h"

namespace tovali {

namespace patch_picture {

constexpr TColor kRed = RGBColor(200, 40, 40), kGreen = RGBColor(40, 180, 60),
                 kBlue = RGBColor(50, 60, 200), kGrey = RGBColor(128, 128, 128),
                 kWhite = RGBColor(255, 255, 255);

inline ::testing::AssertionResult Near(const TBitmap& b, int x, int y, TColor expected) {
    const TColor c = b.GetPixel(x, y);
    const int d = std::max({std::abs(GetRValue(c) - GetRValue(expected)),
                            std::abs(GetGValue(c) - GetGValue(expected)),
                            std::abs(GetBValue(c) - GetBValue(expected))});
    if (d <= 6) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << x << "," << y << ") is " << ColourText(c)
                                         << ", expected " << ColourText(expected);
}

// The middle of each quarter of a 24-bit raster.
inline void ExpectPatches(const TBitmap& b, TColor topLeft, TColor topRight, TColor bottomLeft,
                          TColor bottomRight) {
    ASSERT_EQ(b.BitsPerPixel(), 24);
    const int w = b.Width(), h = b.Height();
    EXPECT_TRUE(Near(b, w / 4, h / 4, topLeft));
    EXPECT_TRUE(Near(b, w * 3 / 4, h / 4, topRight));
    EXPECT_TRUE(Near(b, w / 4, h * 3 / 4, bottomLeft));
    EXPECT_TRUE(Near(b, w * 3 / 4, h * 3 / 4, bottomRight));
}

}  // namespace patch_picture

}  // namespace tovali
