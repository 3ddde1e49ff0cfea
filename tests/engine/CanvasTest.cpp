#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <random>
#include <set>

#include "engine/Canvas.h"
#include "engine/OutlineUnion.h"
#include "tests/engine/PixelTestUtils.h"

using namespace tovali;

using namespace pixel_test;

namespace {

constexpr TColor kWhite = RGBColor(255, 255, 255);
constexpr TColor kRed = RGBColor(255, 0, 0);
const std::string kSample = "Hg2024/05";

// The raster in a given layout, painted white.
void MakeWhite(TBitmap& b, int w, int h, int bpp, std::array<std::uint32_t, 3> masks = {}) {
    b.SetSize(w, h, bpp);
    if (bpp <= 8) {
        std::vector<TColor> palette{kWhite, RGBColor(0, 0, 0), RGBColor(200, 30, 30),
                                    RGBColor(0, 0, 255)};
        palette.resize(std::min<std::size_t>(palette.size(), std::size_t(1) << bpp));
        b.SetPalette(palette);
    }
    if (masks[0]) b.SetMasks(masks[0], masks[1], masks[2]);
    Fill(b, kWhite);
}

// Where Qt's own text drawing puts ink for a text whose top-left is (x, y).
TRect QtInkBox(int w, int h, int x, int y, const std::string& face, int points,
               const std::string& text) {
    QFont font(QString::fromStdString(face));
    font.setPixelSize((points * 96 + 36) / 72);
    font.setHintingPreference(QFont::PreferNoHinting);
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(x, y + QFontMetrics(font).ascent(), QString::fromStdString(text));
    }
    TBitmap b(w, h, 32);
    for (int row = 0; row < h; ++row)
        std::memcpy(b.ScanLine(row), image.constScanLine(row), b.Stride());
    return InkBox(b, kWhite);
}

bool Near(const TRect& a, const TRect& b, int slack) {
    return std::abs(a.left - b.left) <= slack && std::abs(a.top - b.top) <= slack &&
           std::abs(a.right - b.right) <= slack && std::abs(a.bottom - b.bottom) <= slack;
}

}  // namespace

TEST(Canvas, TextExtentIsAdvanceByAscentPlusDescentAt96Dpi) {
    TBitmap b(1, 1, 24);
    TCanvas& c = b.Canvas();
    c.FontName = "IPAPGothic";
    for (int points : {1, 9, 12, 72, 300}) {
        c.FontSize = points;
        QFont font("IPAPGothic");
        font.setPixelSize((points * 96 + 36) / 72);  // GDI's -MulDiv(size, 96, 72)
        font.setHintingPreference(QFont::PreferNoHinting);
        const QFontMetrics metrics(font);
        const TSize extent = c.TextExtent(kSample);
        EXPECT_EQ(extent.cx, metrics.horizontalAdvance(QString::fromStdString(kSample))) << points;
        EXPECT_EQ(extent.cy, metrics.ascent() + metrics.descent()) << points;
    }
    c.FontSize = 72;
    EXPECT_EQ(c.TextExtent("").cx, 0);
    EXPECT_GT(c.TextExtent("").cy, 90);  // 96 pixels of em, plus the descent
}

TEST(Canvas, TextLandsWithItsCellsTopLeftCornerAtThePoint) {
    for (int points : {9, 40, 150}) {
        TBitmap b;
        MakeWhite(b, 900, 300, 24);
        TCanvas& c = b.Canvas();
        c.FontName = "IPAPGothic";
        c.FontSize = points;
        c.FontColor = RGBColor(0, 0, 0);
        c.TextOut(17, 23, kSample);
        const TRect ink = InkBox(b, kWhite);
        const TRect qt = QtInkBox(900, 300, 17, 23, "IPAPGothic", points, kSample);
        EXPECT_TRUE(Near(ink, qt, 1 + points / 40)) << RectText(ink) << " vs Qt " << RectText(qt);
        const TSize extent = c.TextExtent(kSample);
        EXPECT_GE(ink.top, 23);
        EXPECT_LE(ink.bottom, 23 + extent.cy + 1);  // a descender's soft edge
        EXPECT_LE(ink.right, 17 + extent.cx + 1);
    }
}

TEST(Canvas, DrawsOnEveryLayout) {
    struct TLayout {
        int bpp;
        std::array<std::uint32_t, 3> masks;
    };
    const TLayout layouts[] = {{1, {}},
                               {4, {}},
                               {8, {}},
                               {16, {}},
                               {16, {0xF800, 0x07E0, 0x001F}},
                               {24, {}},
                               {32, {}},
                               {32, {0x0000FF, 0x00FF00, 0xFF0000}},
                               {16, {0x0F00, 0x00F0, 0x000F}}};
    TBitmap reference;
    MakeWhite(reference, 300, 80, 24);
    reference.Canvas().FontName = "IPAPGothic";
    reference.Canvas().FontSize = 30;
    reference.Canvas().FontColor = kRed;
    reference.Canvas().TextOut(5, 5, kSample);
    const TRect expected = InkBox(reference, kWhite);
    for (const TLayout& layout : layouts) {
        TBitmap b;
        MakeWhite(b, 300, 80, layout.bpp, layout.masks);
        TCanvas& c = b.Canvas();
        c.FontName = "IPAPGothic";
        c.FontSize = 30;
        c.FontColor = kRed;
        c.TextOut(5, 5, kSample);
        const TRect ink = InkBox(b, b.GetPixel(299, 79));
        EXPECT_TRUE(Near(ink, expected, 1))
            << layout.bpp << " bpp: " << RectText(ink) << " vs " << RectText(expected);
        if (layout.bpp <= 8) {
            // Only the background and the palette entry nearest to red.
            std::set<TColor> seen;
            for (int y = 0; y < 80; ++y)
                for (int x = 0; x < 300; ++x) seen.insert(b.GetPixel(x, y));
            const TColor nearest = b.Palette()[std::size_t(b.NearestPaletteIndex(kRed))];
            EXPECT_EQ(seen, (std::set<TColor>{kWhite, nearest})) << layout.bpp << " bpp";
        }
    }
}

TEST(Canvas, BlendsOnRowsAsQtsSourceOver) {
    // Soft edges, clear stretches and solid ones (the block) in one text.
    constexpr int kW = 290, kH = 90;
    const std::string kText = "■Hg2024";
    // Black on white leaves 255 - coverage in every channel.
    TBitmap probe;
    MakeWhite(probe, kW, kH, 24);
    probe.Canvas().FontName = "IPAPGothic";
    probe.Canvas().FontSize = 50;
    probe.Canvas().FontColor = RGBColor(0, 0, 0);
    probe.Canvas().TextOut(3, 2, kText);
    const TColor colour = RGBColor(200, 90, 17);
    QImage layer(kW, kH, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int a = 255 - GetRValue(probe.GetPixel(x, y));
            QColor c(GetRValue(colour), GetGValue(colour), GetBValue(colour), a);
            layer.setPixel(x, y, qPremultiply(c.rgba()));
        }
    for (int bpp : {24, 32}) {
        std::mt19937 rng(5);
        TBitmap b;
        FillRandom(b, kW, kH, bpp, rng);
        QImage expected(kW, kH, QImage::Format_RGB32);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const TColor c = b.GetPixel(x, y);
                expected.setPixel(x, y, qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
            }
        QPainter(&expected).drawImage(0, 0, layer);
        b.Canvas().FontName = "IPAPGothic";
        b.Canvas().FontSize = 50;
        b.Canvas().FontColor = colour;
        b.Canvas().TextOut(3, 2, kText);
        // Qt's vector path rounds x * a / 255 as (t + t / 256 + 128) / 256,
        // its plain path as we do: the two differ by one now and then.
        int worst = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const QRgb q = expected.pixel(x, y);
                const TColor c = b.GetPixel(x, y);
                worst = std::max({worst, std::abs(GetRValue(c) - qRed(q)),
                                  std::abs(GetGValue(c) - qGreen(q)),
                                  std::abs(GetBValue(c) - qBlue(q))});
            }
        EXPECT_LE(worst, 1) << bpp << " bpp";
    }
}

TEST(Canvas, OpaqueBackgroundFillsTheTextCell) {
    TBitmap b;
    MakeWhite(b, 200, 60, 24);
    TCanvas& c = b.Canvas();
    c.FontName = "IPAPGothic";
    c.FontSize = 12;
    c.BrushClear = false;
    c.BrushColor = RGBColor(0, 0, 255);
    c.TextOut(10, 8, "ab");
    const TSize extent = c.TextExtent("ab");
    EXPECT_EQ(b.GetPixel(10, 8), RGBColor(0, 0, 255));
    EXPECT_EQ(b.GetPixel(10 + extent.cx - 1, 8 + extent.cy - 1), RGBColor(0, 0, 255));
    EXPECT_EQ(b.GetPixel(10 + extent.cx, 8), kWhite);
    EXPECT_EQ(b.GetPixel(9, 8), kWhite);
}

TEST(Canvas, OutlineEqualsDrawingAtEveryPointInTurn) {
    struct TCase {
        std::string text;
        int points;
        int width;
    };
    // Thin outlines and solid blocks add each point over the letters; a
    // wide outline around small soft-edged letters takes the line-by-line
    // products instead.
    const TCase cases[] = {{kSample, 28, 1},  {kSample, 28, 3},  {"■", 100, 30},
                           {"■■■■", 100, 45}, {kSample, 28, 40}, {"鬱", 20, 25}};
    for (const TCase& t : cases) {
        TBitmap once, inTurn;
        MakeWhite(once, 700, 220, 24);
        MakeWhite(inTurn, 700, 220, 24);
        for (TBitmap* b : {&once, &inTurn}) {
            b->Canvas().FontName = "IPAGothic";
            b->Canvas().FontSize = t.points;
            b->Canvas().FontColor = RGBColor(30, 60, 200);
        }
        once.Canvas().TextOutOutline(40, 40, t.width, t.text);
        for (const TPoint& p : OutlinePoints({40, 40}, t.width))
            inTurn.Canvas().TextOut(p.x, p.y, t.text);
        int worst = 0;
        for (int y = 0; y < 220; ++y)
            for (int x = 0; x < 700; ++x) {
                const TColor a = once.GetPixel(x, y), e = inTurn.GetPixel(x, y);
                worst = std::max({worst, std::abs(GetRValue(a) - GetRValue(e)),
                                  std::abs(GetGValue(a) - GetGValue(e)),
                                  std::abs(GetBValue(a) - GetBValue(e))});
            }
        EXPECT_LE(worst, 3) << t.text << " width " << t.width;  // only blend rounding
        EXPECT_EQ(InkBox(once, kWhite), InkBox(inTurn, kWhite)) << t.text << " width " << t.width;
    }
}

// Masks like a text's: clear, solid and soft-edged stretches.
TEST(OutlineUnion, EachKernelGivesWhatItsPlainReferenceGives) {
    using namespace outline_union_detail;
    std::mt19937 random(5);
    for (const auto& [w, h, k] : {std::tuple{9, 7, 1}, {40, 30, 3}, {300, 40, 2}, {37, 61, 12}}) {
        std::vector<std::uint8_t> coverage(std::size_t(w) * std::size_t(h));
        for (std::size_t i = 0; i < coverage.size();) {
            const std::size_t run = std::min<std::size_t>(random() % 12 + 1, coverage.size() - i);
            const int kind = int(random() % 3);
            for (std::size_t j = 0; j < run; ++j, ++i)
                coverage[i] = kind == 0 ? 0 : kind == 1 ? 255 : std::uint8_t(random() % 256);
        }
        const TMaskView mask{coverage.data(), w, h};
        const std::vector<TPoint> offsets = OutlinePoints({k, k}, k);
        TRunCounts counts;
        const auto runs = CoveredRuns(mask, counts);
        EXPECT_EQ(UnionByPoint(mask, runs, offsets, w + 2 * k, h + 2 * k),
                  UnionByPointPlain(mask, offsets, w + 2 * k, h + 2 * k))
            << w << "x" << h << " k " << k;
        const auto ring = UnionOfOutline(mask, k), plain = UnionOfOutlinePlain(mask, k);
        ASSERT_EQ(ring.size(), plain.size());
        int worst = 0;
        for (std::size_t i = 0; i < ring.size(); ++i)
            worst = std::max(worst, std::abs(int(ring[i]) - int(plain[i])));
        EXPECT_LE(worst, 1) << w << "x" << h << " k " << k;
    }
}

TEST(Canvas, OutlinePointsGoFromTheWidestRingInward) {
    const std::vector<TPoint> expected{{8, 10},  {8, 8},   {10, 8},  {12, 8}, {12, 10}, {8, 12},
                                       {10, 12}, {12, 12}, {9, 10},  {9, 9},  {10, 9},  {11, 9},
                                       {11, 10}, {9, 11},  {10, 11}, {11, 11}};
    EXPECT_EQ(OutlinePoints({10, 10}, 2), expected);
}

TEST(Canvas, TextPartlyOrWhollyOutsideIsClipped) {
    TBitmap b;
    MakeWhite(b, 50, 20, 24);
    TCanvas& c = b.Canvas();
    c.FontName = "IPAPGothic";
    c.FontSize = 40;
    c.TextOut(-30, -10, kSample);
    c.TextOut(45, 15, kSample);
    c.TextOut(1000, 1000, kSample);
    c.TextOut(-100000, 5, kSample);
    EXPECT_NE(InkBox(b, kWhite), TRect{});
    TBitmap empty;
    empty.Canvas().TextOut(0, 0, kSample);
    empty.Canvas().FillRect({0, 0, 10, 10});
}

TEST(Canvas, UnknownAndEmptyFacesFallBackToAnInstalledFace) {
    for (const std::string face : {"", "No Such Face 42"}) {
        TBitmap b;
        MakeWhite(b, 200, 50, 24);
        TCanvas& c = b.Canvas();
        c.FontName = face;
        c.FontSize = 20;
        EXPECT_GT(c.TextExtent("日付").cx, 20) << face;
        c.TextOut(0, 0, "日付");
        EXPECT_NE(InkBox(b, kWhite), TRect{}) << face;
    }
}

TEST(Canvas, FillRectCoversLeftAndTopButNotRightAndBottom) {
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        TBitmap b;
        MakeWhite(b, 30, 20, bpp);
        TCanvas& c = b.Canvas();
        c.BrushColor = RGBColor(0, 0, 0);
        c.FillRect({-5, 3, 4, 25});  // clipped at the left and the bottom
        c.FillRect({26, -2, 40, 2});
        EXPECT_EQ(InkBox(b, kWhite), (TRect{0, 0, 30, 20})) << bpp;
        EXPECT_EQ(b.GetPixel(3, 3), RGBColor(0, 0, 0)) << bpp;
        EXPECT_EQ(b.GetPixel(4, 3), kWhite) << bpp;
        EXPECT_EQ(b.GetPixel(0, 2), kWhite) << bpp;
        EXPECT_EQ(b.GetPixel(29, 1), RGBColor(0, 0, 0)) << bpp;
        EXPECT_EQ(b.GetPixel(29, 2), kWhite) << bpp;
        EXPECT_EQ(b.GetPixel(25, 0), kWhite) << bpp;
        c.FillRect({10, 10, 10, 15});  // empty
        c.FillRect({12, 12, 5, 5});    // inverted
        EXPECT_EQ(b.GetPixel(10, 12), kWhite) << bpp;
    }
}
