#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "engine/BitmapUtils.h"
#include "engine/UnitThPicConvert.h"
#include "tests/engine/PixelTestUtils.h"

using namespace tovali;

using namespace pixel_test;

namespace {

// The area-averaging walk written out plainly, pixel by pixel, as the
// reference the fast resampler must match.
struct TReference {
    std::unique_ptr<TBitmap> picture = std::make_unique<TBitmap>();
    // Per pixel, a bit per channel (red 1, green 2, blue 4) whose exact
    // value lies within 1e-9 of a rounding boundary.
    std::vector<std::uint8_t> nearBoundary;
};

double OverlapLength(int j, double lo, double hi) {
    if (lo < j && j + 1 < hi) return 1;
    if (j <= lo && j + 1 < hi) return (j + 1) - lo;
    if (lo < j && j + 1 >= hi) return hi - j;
    return hi - lo;
}

TReference ReferenceResample(const TBitmap& source, int nw, int nh) {
    TBitmap src;
    src.Assign(source);
    src.ConvertTo24();
    const int w = src.Width();
    const int h = src.Height();
    const double sx = double(w) / nw;
    const double sy = double(h) / nh;
    const float area = float(static_cast<long double>(w * h) / nw / nh);
    TReference ref;
    ref.picture->SetSize(nw, nh, 24);
    ref.nearBoundary.assign(std::size_t(nw) * nh, 0);
    for (int y = 0; y < nh; ++y) {
        for (int x = 0; x < nw; ++x) {
            const double x0 = x * sx, x1 = (x + 1) * sx - 0.000001;
            const double y0 = y * sy, y1 = (y + 1) * sy - 0.000001;
            double r = 0, g = 0, b = 0;
            for (int i = int(std::floor(y0)); i <= int(std::floor(y1)); ++i) {
                for (int j = int(std::floor(x0)); j <= int(std::floor(x1)); ++j) {
                    const double wx = OverlapLength(j, x0, x1);
                    const double wy = OverlapLength(i, y0, y1);
                    const TColor c = src.GetPixel(j, i);
                    r += wx * wy * GetRValue(c);
                    g += wx * wy * GetGValue(c);
                    b += wx * wy * GetBValue(c);
                }
            }
            const double sums[] = {r, g, b};
            for (int c = 0; c < 3; ++c) {
                const double q = sums[c] / area;
                if (std::abs(q - std::floor(q) - 0.5) < 1e-9)
                    ref.nearBoundary[std::size_t(y) * nw + x] |= std::uint8_t(1 << c);
            }
            const auto channel = [&](double sum) {
                return std::uint8_t(std::nearbyint(sum / area));
            };
            ref.picture->SetPixel(x, y, RGBColor(channel(r), channel(g), channel(b)));
        }
    }
    return ref;
}

// Compares channel by channel; a difference of 1 is allowed only on a
// channel whose exact value lies within 1e-9 of a rounding boundary.
struct TDiff {
    int beyondTolerance = 0;
    int atBoundary = 0;
    std::string first;
};

TDiff Compare(const TReference& ref, const TBitmap& actual, const TBitmap& source) {
    TDiff diff;
    for (int y = 0; y < actual.Height(); ++y) {
        for (int x = 0; x < actual.Width(); ++x) {
            const TColor e = ref.picture->GetPixel(x, y);
            const TColor a = actual.GetPixel(x, y);
            if (e == a) continue;
            const int d[] = {std::abs(GetRValue(e) - GetRValue(a)),
                             std::abs(GetGValue(e) - GetGValue(a)),
                             std::abs(GetBValue(e) - GetBValue(a))};
            const std::uint8_t near = ref.nearBoundary[std::size_t(y) * actual.Width() + x];
            bool excused = true;
            for (int c = 0; c < 3; ++c)
                excused = excused && (d[c] == 0 || (d[c] == 1 && (near >> c & 1)));
            if (excused) {
                ++diff.atBoundary;
                continue;
            }
            if (diff.beyondTolerance++ == 0)
                diff.first =
                    std::to_string(source.Width()) + "x" + std::to_string(source.Height()) +
                    " -> " + std::to_string(actual.Width()) + "x" +
                    std::to_string(actual.Height()) + " at (" + std::to_string(x) + ", " +
                    std::to_string(y) + "): " + ColourText(a) + ", expected " + ColourText(e);
        }
    }
    return diff;
}

std::unique_ptr<TBitmap> Random24(int w, int h, std::mt19937& rng) {
    auto b = std::make_unique<TBitmap>();
    FillRandom(*b, w, h, 24, rng);
    return b;
}

void ExpectMatchesReference(const TBitmap& source, int nw, int nh, int& atBoundary) {
    const auto actual = ResampleBitmap(source, nw, nh);
    ASSERT_EQ(actual->BitsPerPixel(), 24);
    const TDiff diff = Compare(ReferenceResample(source, nw, nh), *actual, source);
    EXPECT_EQ(diff.beyondTolerance, 0) << diff.first;
    atBoundary += diff.atBoundary;
}

void SetBox(TthPicConvert& engine, int boxWidth, int boxHeight) {
    engine.Options.UsePicSize = true;
    engine.Options.PicWidth = boxWidth;
    engine.Options.PicHeight = boxHeight;
}

TSize FittedSize(int w, int h, int boxWidth, int boxHeight) {
    TBitmap b(w, h, 24);
    TthPicConvert engine;
    SetBox(engine, boxWidth, boxHeight);
    engine.ResizePicture(b);
    return {b.Width(), b.Height()};
}

// The new-size rule written out plainly (quotients in extended precision,
// ties to even), with the mend: a side that rounds to 0 keeps 1 pixel.
TSize ReferenceFit(int w, int h, int bw, int bh) {
    const auto round = [](long double v) { return int(std::nearbyintl(v)); };
    int nw, nh;
    if (w < h) {
        nw = round(static_cast<long double>(w) / h * bh);
        nh = bh;
        if (nw > bw) {
            nw = bw;
            nh = round(static_cast<long double>(h) / w * bw);
        }
    } else {
        nw = bw;
        nh = round(static_cast<long double>(h) / w * bw);
        if (nh > bh) {
            nh = bh;
            nw = round(static_cast<long double>(w) / h * bh);
        }
    }
    return {std::max(nw, 1), std::max(nh, 1)};
}

#define EXPECT_FIT(w, h, bw, bh, ew, eh)                                          \
    do {                                                                          \
        const TSize fitted = FittedSize(w, h, bw, bh);                            \
        EXPECT_EQ(fitted.cx, ew) << w << "x" << h << " into " << bw << "x" << bh; \
        EXPECT_EQ(fitted.cy, eh) << w << "x" << h << " into " << bw << "x" << bh; \
    } while (0)

}  // namespace

TEST(ResampleBitmap, MatchesThePlainWalkOnRandomPictures) {
    std::mt19937 rng(20240531);
    std::uniform_int_distribution<int> side(1, 37);
    int atBoundary = 0;
    for (int i = 0; i < 1500; ++i) {
        const int w = side(rng);
        const int h = side(rng);
        const auto src = Random24(w, h, rng);
        // Shrinking, keeping and enlarging each side, in every mix.
        const int nw = std::uniform_int_distribution<int>(1, w + 6)(rng);
        const int nh = std::uniform_int_distribution<int>(1, h + 6)(rng);
        ExpectMatchesReference(*src, nw, nh, atBoundary);
    }
    // Channels that land so close to .5 are summed again in the walk's own
    // order, so even these agree.
    EXPECT_EQ(atBoundary, 0);
}

TEST(ResampleBitmap, MatchesThePlainWalkAtPhotoScales) {
    std::mt19937 rng(7);
    int atBoundary = 0;
    // Fractional factors like 6000 -> 1280 (4.6875), steep ones where
    // hundreds of whole rows fall on one target row, and rows wide enough to
    // be summed in several pieces (one with more than 257 whole rows each).
    const int cases[][4] = {{300, 200, 64, 43}, {161, 97, 40, 24}, {250, 250, 200, 200},
                            {97, 301, 31, 96},  {640, 3, 17, 1},   {5, 400, 1, 77},
                            {3, 700, 2, 1},     {4, 1300, 3, 2},   {900, 2, 1, 1},
                            {2900, 11, 619, 2}, {1501, 600, 1, 2}, {1400, 5, 1399, 4}};
    for (const auto& c : cases) {
        ExpectMatchesReference(*Random24(c[0], c[1], rng), c[2], c[3], atBoundary);
        TBitmap white(c[0], c[1], 24);  // the largest sums
        Fill(white, RGBColor(255, 255, 255));
        ExpectMatchesReference(white, c[2], c[3], atBoundary);
    }
    EXPECT_EQ(atBoundary, 0);
}

TEST(ResampleBitmap, ExactSummationPathMatchesTooWhenUsedForEveryPixel) {
    std::mt19937 rng(99);
    for (int i = 0; i < 200; ++i) {
        const int w = std::uniform_int_distribution<int>(1, 25)(rng);
        const int h = std::uniform_int_distribution<int>(1, 25)(rng);
        const int nw = std::uniform_int_distribution<int>(1, w + 3)(rng);
        const int nh = std::uniform_int_distribution<int>(1, h + 3)(rng);
        const auto src = Random24(w, h, rng);
        const auto actual = bitmap_utils_detail::Resample(*src, nw, nh, 0.5);
        EXPECT_TRUE(SameImage(*ReferenceResample(*src, nw, nh).picture, *actual));
    }
}

TEST(ResampleBitmap, ConvertsEveryLayoutAndLeavesTheSourceAlone) {
    std::mt19937 rng(3);
    for (int bpp : {1, 4, 8, 16, 32}) {
        TBitmap src;
        FillRandom(src, 23, 17, bpp, rng);
        TBitmap before;
        before.Assign(src);
        const auto actual = ResampleBitmap(src, 9, 7);
        EXPECT_EQ(actual->BitsPerPixel(), 24);
        EXPECT_TRUE(SameImage(*ReferenceResample(src, 9, 7).picture, *actual)) << bpp << " bpp";
        EXPECT_TRUE(SameImage(before, src)) << bpp << " bpp";
    }
}

TEST(ResampleBitmap, TwoByTwoToOneWeighsTheFarEdgesJustBelowOne) {
    TBitmap src(2, 2, 24);
    src.SetPixel(0, 0, RGBColor(10, 0, 255));
    src.SetPixel(1, 0, RGBColor(20, 0, 255));
    src.SetPixel(0, 1, RGBColor(30, 0, 255));
    src.SetPixel(1, 1, RGBColor(40, 0, 255));
    const auto out = ResampleBitmap(src, 1, 1);
    // 99.99987 / 4 rounds to 25; 255 * 3.999996 / 4 still rounds to 255.
    EXPECT_EQ(out->GetPixel(0, 0), RGBColor(25, 0, 255));
}

TEST(ResampleBitmap, RefusesEmptySourcesAndEmptyTargets) {
    TBitmap empty(0, 5, 24);
    try {
        ResampleBitmap(empty, 1, 1);
        FAIL() << "an empty source was resampled";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Assertion failure", 0), 0u) << e.what();
    }
    TBitmap one(3, 3, 24);
    EXPECT_THROW(ResampleBitmap(one, 0, 2), std::invalid_argument);
    EXPECT_THROW(ResampleBitmap(one, 2, -1), std::invalid_argument);
}

TEST(ClipColor, ClampsAndRoundsHalfToEven) {
    EXPECT_EQ(ClipColor(127.5), 128);
    EXPECT_EQ(ClipColor(126.5), 126);
    EXPECT_EQ(ClipColor(254.5), 254);
    EXPECT_EQ(ClipColor(254.51), 255);
    EXPECT_EQ(ClipColor(0.5), 0);
    EXPECT_EQ(ClipColor(1.5), 2);
    EXPECT_EQ(ClipColor(255), 255);
    EXPECT_EQ(ClipColor(318.75), 255);
    EXPECT_EQ(ClipColor(0), 0);
    EXPECT_EQ(ClipColor(-63.75), 0);
}

TEST(ResizePicture, MatchesTheReferenceForEveryBoxRelation) {
    // Portrait, landscape and square pictures against boxes larger, equal
    // and smaller on either side.
    std::mt19937 rng(31);
    std::uniform_int_distribution<int> side(1, 40), box(0, 45);
    for (int i = 0; i < 600; ++i) {
        const int w = side(rng), h = side(rng), bw = box(rng), bh = box(rng);
        TBitmap picture;
        FillRandom(picture, w, h, std::array{8, 24}[rng() % 2], rng);
        TBitmap expected;
        expected.Assign(picture);
        if (std::max(w, h) > std::max(bw, bh)) {
            const TSize size = ReferenceFit(w, h, bw, bh);
            expected.Assign(*ReferenceResample(picture, size.cx, size.cy).picture);
        }
        TthPicConvert engine;
        SetBox(engine, bw, bh);
        engine.ResizePicture(picture);
        EXPECT_TRUE(SameImage(expected, picture)) << w << "x" << h << " into " << bw << "x" << bh;
    }
}

TEST(ResizePicture, FitsPhotosIntoTheBox) {
    EXPECT_FIT(4000, 3000, 1280, 1280, 1280, 960);
    EXPECT_FIT(3000, 4000, 1280, 1280, 960, 1280);
    EXPECT_FIT(1000, 1000, 800, 800, 800, 800);
    // A typed box: the side that overflows decides.
    EXPECT_FIT(2000, 1000, 1600, 600, 1200, 600);
    EXPECT_FIT(1000, 2000, 300, 1500, 300, 600);
}

TEST(ResizePicture, RoundsTiesToEven) {
    EXPECT_FIT(10, 5, 5, 5, 5, 2);   // 2.5
    EXPECT_FIT(10, 3, 5, 5, 5, 2);   // 1.5
    EXPECT_FIT(10, 7, 5, 5, 5, 4);   // 3.5
    EXPECT_FIT(5, 10, 5, 5, 2, 5);   // 2.5
    EXPECT_FIT(14, 20, 9, 9, 6, 9);  // 6.3
}

TEST(ResizePicture, OnlyALongerSideAboveTheBoxesLongerSideShrinks) {
    TthPicConvert engine;
    SetBox(engine, 1280, 1024);
    std::mt19937 rng(5);
    TBitmap b;
    FillRandom(b, 1250, 1100, 8, rng);
    TBitmap before;
    before.Assign(b);
    engine.ResizePicture(b);
    EXPECT_TRUE(SameImage(before, b));  // 1100 > 1024 does not count; layout kept
    EXPECT_FIT(1280, 20, 1280, 1280, 1280, 20);
    EXPECT_FIT(1281, 20, 1280, 1280, 1280, 20);
    EXPECT_FIT(1281, 1281, 1280, 1280, 1280, 1280);
}

TEST(ResizePicture, DoesNothingWhenSwitchedOff) {
    TthPicConvert engine;
    SetBox(engine, 160, 160);
    engine.Options.UsePicSize = false;
    TBitmap b(4000, 3000, 8);
    engine.ResizePicture(b);
    EXPECT_EQ(b.Width(), 4000);
    EXPECT_EQ(b.BitsPerPixel(), 8);
}

TEST(ResizePicture, GivesTheResamplersPictureIn24Bits) {
    std::mt19937 rng(11);
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        TBitmap b;
        FillRandom(b, 41, 29, bpp, rng);
        const auto expected = ResampleBitmap(b, 16, 11);
        TthPicConvert engine;
        SetBox(engine, 16, 16);
        engine.ResizePicture(b);
        EXPECT_TRUE(SameImage(*expected, b)) << bpp << " bpp";
    }
}

TEST(ResizePicture, AThinPictureKeepsOnePixelInsteadOfFailing) {
    EXPECT_FIT(1000, 1, 160, 160, 160, 1);
    EXPECT_FIT(1, 1000, 160, 160, 1, 160);
    EXPECT_FIT(50, 40, 0, 0, 1, 1);  // a zero box still gives a picture
}

namespace {

// Feeds the source row by row; every byte must match the whole-picture fit.
std::unique_ptr<TBitmap> StreamedFit(const TBitmap& src, int nw, int nh, double band = 0) {
    TStreamedFit fit(src.Width(), src.Height(), nw, nh, band);
    for (int y = 0; y < src.Height(); ++y) {
        std::memcpy(fit.NextRow(), src.ScanLine(y), std::size_t(src.Width()) * 3);
        fit.RowDone();
    }
    return fit.Take();
}

}  // namespace

TEST(StreamedFit, GivesTheWholePictureFitsBytesWhateverTheSizes) {
    std::mt19937 rng(1212);
    const int photo[][4] = {{300, 200, 64, 43}, {97, 301, 31, 96}, {5, 400, 1, 77},
                            {4, 1300, 3, 2},    {1501, 60, 1, 2},  {33, 33, 33, 33}};
    for (const auto& c : photo) {
        const auto src = Random24(c[0], c[1], rng);
        EXPECT_TRUE(SameImage(*ResampleBitmap(*src, c[2], c[3]), *StreamedFit(*src, c[2], c[3])))
            << c[0] << "x" << c[1] << " to " << c[2] << "x" << c[3];
    }
    for (int i = 0; i < 400; ++i) {
        const int w = std::uniform_int_distribution<int>(1, 30)(rng);
        const int h = std::uniform_int_distribution<int>(1, 30)(rng);
        const int nw = std::uniform_int_distribution<int>(1, w + 4)(rng);
        const int nh = std::uniform_int_distribution<int>(1, h + 4)(rng);
        const auto src = Random24(w, h, rng);
        // The exact-summation path reads the ring too: widened to every pixel.
        const double band = i % 2 ? 0.5 : 0;
        EXPECT_TRUE(SameImage(*bitmap_utils_detail::Resample(*src, nw, nh, band),
                              *StreamedFit(*src, nw, nh, band)))
            << w << "x" << h << " to " << nw << "x" << nh;
    }
}

TEST(StreamedFit, RefusesWhatTheResamplerRefusesAndAnIncompletePicture) {
    EXPECT_THROW(TStreamedFit(0, 5, 1, 1), EAssertionFailed);
    EXPECT_THROW(TStreamedFit(3, 3, 0, 1), std::invalid_argument);
    TStreamedFit fit(4, 4, 2, 2);
    fit.NextRow();
    fit.RowDone();
    EXPECT_THROW(fit.Take(), std::logic_error);
    for (int y = 1; y < 4; ++y) fit.RowDone();
    EXPECT_THROW(fit.NextRow(), std::logic_error) << "no room past the last row";
    EXPECT_EQ(fit.Take()->Width(), 2);
}
