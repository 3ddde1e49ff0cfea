#include <gtest/gtest.h>

#include <QFont>
#include <QFontInfo>
#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <set>
#include <thread>

#include "engine/UnitThPicConvert.h"
#include "tests/engine/PixelTestUtils.h"

using namespace tovali;

using namespace pixel_test;

namespace {

constexpr TColor kGrey = RGBColor(128, 128, 128);
constexpr TTextSizeLevel kLevels[] = {tsExtraLarge, tsLarge, tsMedium, tsSmall, tsExtraSmall};
constexpr int kSampleLengths[] = {8, 12, 18, 26, 34};

// Widths of each level's sample ("A" repeated) at sizes 1..1000 in the face
// the size measure uses, measured once for the whole suite.
class SampleWidths : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        TBitmap surface(1, 1, 24);
        TCanvas& c = surface.Canvas();
        c.FontName = "IPAPGothic";
        for (int size = 1; size <= 1000; ++size) {
            c.FontSize = size;
            for (int level = 0; level < 5; ++level)
                widths_[level][size] =
                    c.TextExtent(std::string(std::size_t(kSampleLengths[level]), 'A')).cx;
        }
    }

    // The size measure written out plainly: the first size from 1 to 1000
    // whose sample is wider than the longer side, else 1.
    static int Scan(int level, int longer) {
        for (int size = 1; size <= 1000; ++size)
            if (widths_[level][size] > longer) return size;
        return 1;
    }

    static int Width(int level, int size) { return widths_[level][size]; }

    static int CalcFor(int longer, TTextSizeLevel level) {
        TBitmap picture(longer, 1, 24);
        TthPicConvert engine;
        return engine.CalcFontSize(picture, level);
    }

    // A picture on which the largest level comes out at exactly this size.
    static int LongerSideForSize(int size) { return widths_[0][size] - 1; }

  private:
    static inline int widths_[5][1001] = {};
};

struct TTexts {
    std::string date = "2024/05/31";
    std::string comment = "Summer 夏";
    TDrawPos datePos = dpRightBottom;
    TDrawPos commentPos = dpRightBottom;
    TTextSizeLevel dateLevel = tsMedium;
    TTextSizeLevel commentLevel = tsMedium;
    bool useDate = true;
    bool useComment = true;
    bool frame = false;
};

// Date in blue and green, comment in red and yellow, so each text's pixels
// can be told apart on a grey picture.
void SetTexts(TConvertOptions& o, const TTexts& t) {
    o.UseWhiteFrame = t.frame;
    o.Date = {t.useDate,   t.date,   RGBColor(0, 0, 255), RGBColor(0, 255, 0), "IPAPGothic",
              t.dateLevel, t.datePos};
    o.Comment = {t.useComment, t.comment,      RGBColor(255, 0, 0), RGBColor(255, 255, 0),
                 "IPAGothic",  t.commentLevel, t.commentPos};
}

// A stamp of this place, size and face in black (outline) and white.
TTextStamp Stamp(TDrawPos pos, TTextSizeLevel level, const std::string& face) {
    return {true, "", RGBColor(0, 0, 0), RGBColor(255, 255, 255), face, level, pos};
}

struct TInk {
    TRect date;
    TRect comment;
};

TRect Grow(TRect box, int x, int y) {
    if (box.right == 0) return {x, y, x + 1, y + 1};
    return {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
            std::max(box.bottom, y + 1)};
}

// Pixels clearly of one text (red well below or well above the grey's 128).
TInk InkOf(const TBitmap& b) {
    TInk ink;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const TColor c = b.GetPixel(x, y);
            if (c == kGrey) continue;
            if (GetRValue(c) < 64) ink.date = Grow(ink.date, x, y);
            if (GetRValue(c) > 192) ink.comment = Grow(ink.comment, x, y);
        }
    return ink;
}

struct TDrawn {
    TInk ink;
    TRect dateBounds;  // where the texts' bounds are with no stacking
    TRect commentBounds;
};

TDrawn Draw(const TTexts& t, int w = 1000, int h = 800) {
    TBitmap b(w, h, 24);
    Fill(b, kGrey);
    TthPicConvert engine;
    SetTexts(engine.Options, t);
    TDrawn drawn;
    const TConvertOptions& o = engine.Options;
    engine.DrawOutlinedText(b, {}, drawn.dateBounds, false, o.Date, t.date);
    engine.DrawOutlinedText(b, {}, drawn.commentBounds, false, o.Comment, o.Comment.Text);
    engine.DrawTexts(b, t.date);
    drawn.ink = InkOf(b);
    return drawn;
}

// Ink lies inside the bounds (the bounds hold the outline too).
::testing::AssertionResult Inside(const TRect& ink, const TRect& bounds) {
    if (ink.left >= bounds.left - 1 && ink.top >= bounds.top - 1 && ink.right <= bounds.right + 1 &&
        ink.bottom <= bounds.bottom + 2)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "ink " << RectText(ink) << " outside " << RectText(bounds);
}

TRect Shifted(TRect r, int dy) {
    return {r.left, r.top + dy, r.right, r.bottom + dy};
}

int Height(const TRect& r) {
    return r.bottom - r.top;
}

TPoint PosOn(int w, int h, bool frame, TDrawPos pos, const std::string& text, int points) {
    TBitmap b(w, h, 24);
    b.Canvas().FontName = "IPAPGothic";
    b.Canvas().FontSize = points;
    TthPicConvert engine;
    engine.Options.UseWhiteFrame = frame;
    return engine.CalcTextPos(b, pos, text);
}

TSize ExtentOf(const std::string& text, int points) {
    TBitmap b(1, 1, 24);
    b.Canvas().FontName = "IPAPGothic";
    b.Canvas().FontSize = points;
    return b.Canvas().TextExtent(text);
}

}  // namespace

TEST_F(SampleWidths, TheMeasureFaceIsInstalled) {
    // The same face on every machine with the project's fonts, never a
    // substitute, so a size level means the same everywhere.
    EXPECT_EQ(QFontInfo(QFont("IPAPGothic")).family(), QString("IPAPGothic"));
}

TEST_F(SampleWidths, NeverShrinkAsTheSizeGrows) {
    // The property that lets the size measure start from an estimate.
    for (int level = 0; level < 5; ++level)
        for (int size = 2; size <= 1000; ++size)
            ASSERT_LE(Width(level, size - 1), Width(level, size))
                << "level " << level << " size " << size;
}

TEST_F(SampleWidths, CalcFontSizeGivesWhatTheScanGives) {
    std::mt19937 rng(8);
    for (int level = 0; level < 5; ++level) {
        std::vector<int> sides{0, 1, 2, 3, 5, 9, 17, 160, 320, 640, 800, 1024, 1280, 4000, 6000};
        for (int i = 0; i < 25; ++i) {
            // Either side of a width step, where an off-by-one would show.
            const int size = std::uniform_int_distribution<int>(1, 1000)(rng);
            sides.push_back(Width(level, size) - 1);
            sides.push_back(Width(level, size));
        }
        for (int longer : sides) {
            if (longer >= Width(level, 1000)) continue;
            EXPECT_EQ(CalcFor(longer, kLevels[level]), Scan(level, longer))
                << "level " << level << ", longer side " << longer;
        }
    }
}

TEST_F(SampleWidths, KeepsGrowingPastTheScansEnd) {
    // No size up to 1000 is wide enough: the next wider size, not 1 point.
    for (int longer : {Width(0, 1000), Width(0, 1000) + 1, 9000, 20000}) {
        const int size = CalcFor(longer, tsExtraLarge);
        EXPECT_GT(size, 1000) << longer;
        TBitmap surface(1, 1, 24);
        surface.Canvas().FontName = "IPAPGothic";
        surface.Canvas().FontSize = size;
        EXPECT_GT(surface.Canvas().TextExtent("AAAAAAAA").cx, longer);
        surface.Canvas().FontSize = size - 1;
        EXPECT_LE(surface.Canvas().TextExtent("AAAAAAAA").cx, longer);
    }
}

TEST_F(SampleWidths, LongerSideDecidesAndTheTextsFaceDoesNot) {
    TthPicConvert engine;
    TBitmap tall(300, 1280, 24), wide(1280, 300, 24);
    tall.Canvas().FontName = "IPAMincho";
    tall.Canvas().FontSize = 3;
    EXPECT_EQ(engine.CalcFontSize(tall, tsLarge), engine.CalcFontSize(wide, tsLarge));
    EXPECT_EQ(engine.CalcFontSize(wide, tsLarge), Scan(1, 1280));
}

TEST_F(SampleWidths, OutlineWidthFollowsTheFontSize) {
    const std::pair<int, int> cases[] = {{20, 1}, {52, 1}, {53, 2}, {88, 3}};
    for (auto [points, outline] : cases) {
        const int longer = LongerSideForSize(points);
        TBitmap b(longer, longer / 2, 24);
        TthPicConvert engine;
        ASSERT_EQ(engine.CalcFontSize(b, tsExtraLarge), points);
        TRect bounds;
        engine.DrawOutlinedText(b, {}, bounds, false, Stamp(dpLeftTop, tsExtraLarge, "IPAMincho"),
                                "2024");
        const TPoint p = engine.CalcTextPos(b, dpLeftTop, "2024");
        const TSize extent = b.Canvas().TextExtent("2024");
        EXPECT_EQ(bounds, (TRect{p.x - outline, p.y - outline, p.x + extent.cx + outline,
                                 p.y + extent.cy + outline}))
            << points << " points";
    }
}

TEST_F(SampleWidths, TheOutlineReachesItsWidthBeyondTheLetters) {
    for (int points : {53, 88}) {
        const int outline = points == 53 ? 2 : 3;
        const int longer = LongerSideForSize(points);
        TBitmap outlined(longer, longer / 3, 24), plain(longer, longer / 3, 24);
        Fill(outlined, kGrey);
        Fill(plain, kGrey);
        TthPicConvert engine;
        TRect bounds;
        engine.DrawOutlinedText(outlined, {}, bounds, true,
                                Stamp(dpCenter, tsExtraLarge, "IPAGothic"), "H-I");
        const TPoint p = engine.CalcTextPos(outlined, dpCenter, "H-I");
        plain.Canvas().FontName = "IPAGothic";
        plain.Canvas().FontSize = points;
        plain.Canvas().FontColor = RGBColor(255, 255, 255);
        plain.Canvas().TextOut(p.x, p.y, "H-I");
        const TRect all = InkBox(outlined, kGrey);
        const TRect letters = InkBox(plain, kGrey);
        EXPECT_TRUE((std::abs(letters.left - outline - all.left) <= 1 &&
                     std::abs(letters.top - outline - all.top) <= 1 &&
                     std::abs(letters.right + outline - all.right) <= 1 &&
                     std::abs(letters.bottom + outline - all.bottom) <= 1))
            << RectText(all) << " around " << RectText(letters) << " by " << outline;
        // The fill is drawn last, over the outline.
        EXPECT_EQ(
            outlined.GetPixel((letters.left + letters.right) / 2,
                              (letters.top + letters.bottom) / 2),
            plain.GetPixel((letters.left + letters.right) / 2, (letters.top + letters.bottom) / 2));
    }
}

TEST(CalcFontSize, RefusesUnknownSizeLevels) {
    TBitmap b(100, 100, 24);
    TthPicConvert engine;
    try {
        engine.CalcFontSize(b, TTextSizeLevel(5));
        FAIL() << "size level 5 was accepted";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "invalid font size");
    }
}

TEST(CalcTextPos, MarginsWithAndWithoutTheFrame) {
    const std::string text = "2024/05/31";
    const TSize e = ExtentOf(text, 20);
    EXPECT_EQ(PosOn(1000, 800, false, dpLeftTop, text, 20), (TPoint{12, 12}));
    EXPECT_EQ(PosOn(1000, 800, true, dpLeftTop, text, 20), (TPoint{32, 32}));
    EXPECT_EQ(PosOn(1000, 800, false, dpRightBottom, text, 20),
              (TPoint{1000 - 12 - e.cx, 800 - (12 + e.cy)}));
    EXPECT_EQ(PosOn(1000, 800, true, dpRight, text, 20),
              (TPoint{1000 - 32 - e.cx, int(std::nearbyint(400 - e.cy / 2.0))}));
    EXPECT_EQ(PosOn(1000, 800, false, dpBottom, text, 20),
              (TPoint{int(std::nearbyint(500 - e.cx / 2.0)), 800 - 12 - e.cy}));
    EXPECT_EQ(
        PosOn(1000, 800, false, dpCenter, text, 20),
        (TPoint{int(std::nearbyint(500 - e.cx / 2.0)), int(std::nearbyint(400 - e.cy / 2.0))}));
    EXPECT_EQ(PosOn(1000, 800, false, TDrawPos(9), text, 20), (TPoint{0, 0}));
    // The shorter side sets the margin, also on a portrait picture.
    EXPECT_EQ(PosOn(800, 1000, false, dpLeftTop, text, 20), (TPoint{12, 12}));
}

TEST(CalcTextPos, TextsWiderThanThePictureGetNoMargin) {
    const std::string text = "2024/05/31";
    const TSize e = ExtentOf(text, 40);
    ASSERT_GT(e.cx, 200);
    EXPECT_EQ(PosOn(200, 800, false, dpLeftTop, text, 40), (TPoint{0, 0}));
    const TPoint centre = PosOn(200, 800, false, dpTop, text, 40);
    EXPECT_LT(centre.x, 0);
    EXPECT_EQ(centre.x, int(std::nearbyint(100 - e.cx / 2.0)));
    // With the frame, texts wider than the picture less 5 % get no margin.
    const int w = int(std::nearbyint(e.cx + 0.05 * 100 - 1));
    EXPECT_EQ(PosOn(std::max(w, e.cx + 1), 100, true, dpLeftTop, text, 40).x, 0);
}

TEST(CalcTextPos, AMarginThatWouldNotFitIsHalvedFromTheSpaceLeft) {
    // A 100 pixel wide picture has margin 2; find a text 97 to 99 wide.
    for (int points = 1; points < 200; ++points) {
        for (int n = 1; n < 30; ++n) {
            const std::string text(std::size_t(n), 'i');
            const int tw = ExtentOf(text, points).cx;
            if (tw < 97 || tw > 99) continue;
            const int expected = int(std::nearbyint((100 - tw) / 2.0));
            EXPECT_EQ(PosOn(100, 500, false, dpLeftTop, text, points).x, expected) << tw;
            EXPECT_EQ(PosOn(100, 500, false, dpLeftTop, text, points).y, expected) << tw;
            return;
        }
    }
    FAIL() << "no text 97 to 99 pixels wide found";
}

TEST(DrawOutlinedText, AnEmptyTextDrawsNothingAndLeavesTheBounds) {
    TBitmap b(300, 200, 24);
    Fill(b, kGrey);
    TthPicConvert engine;
    TRect bounds{1, 2, 3, 4};
    engine.DrawOutlinedText(b, {}, bounds, true, Stamp(dpCenter, tsLarge, "IPAGothic"), "");
    EXPECT_EQ(bounds, (TRect{1, 2, 3, 4}));
    EXPECT_EQ(InkBox(b, kGrey), TRect{});
    // Even a bad size level is not looked at.
    engine.DrawOutlinedText(b, {}, bounds, true, Stamp(dpCenter, TTextSizeLevel(9), ""), "");
}

TEST(DrawTexts, StacksTextsAtTheSameBottomPlace) {
    TTexts t;
    const TDrawn d = Draw(t);
    const int dh = Height(d.dateBounds);
    EXPECT_TRUE(Inside(d.ink.date, d.dateBounds));
    const TRect comment = Shifted(d.commentBounds, -dh);
    EXPECT_TRUE(Inside(d.ink.comment, comment));
    // Equal levels and margins: the comment's bounds end where the date's begin.
    EXPECT_EQ(comment.bottom, d.dateBounds.top);
    EXPECT_LE(d.ink.comment.bottom, d.ink.date.top + 2);
    // The date's cell sits on the bottom margin; its bounds add the outline.
    EXPECT_GT(d.dateBounds.bottom, 800 - 12);
    EXPECT_LE(d.dateBounds.bottom, 800 - 12 + 4);
}

TEST(DrawTexts, StacksTextsAtTheSameTopPlaceWithTheCommentFirst) {
    TTexts t;
    t.datePos = t.commentPos = dpTop;
    t.dateLevel = tsSmall;
    const TDrawn d = Draw(t);
    const int ch = Height(d.commentBounds);
    EXPECT_TRUE(Inside(d.ink.comment, d.commentBounds));
    EXPECT_TRUE(Inside(d.ink.date, Shifted(d.dateBounds, ch)));
    EXPECT_LT(d.commentBounds.top, 12);
    EXPECT_GE(d.commentBounds.top, 12 - 4);
    EXPECT_LE(d.ink.comment.bottom, d.ink.date.top + 2);
}

TEST(DrawTexts, CentresAStackedPairVertically) {
    for (TDrawPos pos : {dpLeft, dpCenter, dpRight}) {
        TTexts t;
        t.datePos = t.commentPos = pos;
        t.commentLevel = tsLarge;
        const TDrawn d = Draw(t, 900, 700);
        const int dh = Height(d.dateBounds), ch = Height(d.commentBounds);
        const int top = int(std::nearbyint(700 / 2.0 - (ch + dh) / 2.0));
        EXPECT_TRUE(
            Inside(d.ink.comment, Shifted(d.commentBounds, d.commentBounds.top - top - dh)));
        EXPECT_TRUE(Inside(d.ink.date, Shifted(d.dateBounds, d.dateBounds.top - top)));
        EXPECT_LE(d.ink.comment.bottom, d.ink.date.top + 2);
        EXPECT_NEAR((d.ink.comment.top + d.ink.date.bottom) / 2.0, 350, 12);
    }
}

TEST(DrawTexts, TextsAtDifferentPlacesKeepTheirOwn) {
    TTexts t;
    t.datePos = dpLeftTop;
    t.commentPos = dpRightTop;
    const TDrawn d = Draw(t);
    EXPECT_TRUE(Inside(d.ink.date, d.dateBounds));
    EXPECT_TRUE(Inside(d.ink.comment, d.commentBounds));
    EXPECT_LT(d.ink.date.left, 12 + 5);
    EXPECT_GT(d.ink.comment.right, 1000 - 12 - 5);
}

TEST(DrawTexts, OnlySwitchedOnTextsAreDrawnAndTheyKeepTheirPlace) {
    TTexts t;
    t.useComment = false;
    const TDrawn d = Draw(t);
    EXPECT_TRUE(Inside(d.ink.date, d.dateBounds));
    EXPECT_EQ(d.ink.comment, TRect{});
    t.useComment = true;
    t.useDate = false;
    const TDrawn c = Draw(t);
    EXPECT_TRUE(Inside(c.ink.comment, c.commentBounds));
    EXPECT_EQ(c.ink.date, TRect{});
}

TEST(DrawTexts, AnEmptyTextTakesNoRoomInTheStack) {
    for (TDrawPos pos : {dpTop, dpCenter, dpBottom}) {
        TTexts t;
        t.datePos = t.commentPos = pos;
        t.date = "";
        const TDrawn d = Draw(t);
        EXPECT_TRUE(Inside(d.ink.comment, d.commentBounds)) << int(pos);
        EXPECT_EQ(d.ink.date, TRect{});
        t.date = "2024/05/31";
        t.comment = "";
        const TDrawn c = Draw(t);
        EXPECT_TRUE(Inside(c.ink.date, c.dateBounds)) << int(pos);
    }
}

TEST(DrawTexts, MarginsWidenWithTheFrameEvenWithoutEffects) {
    TTexts t;
    t.datePos = dpLeftTop;
    t.useComment = false;
    t.frame = true;  // UseFilter stays off: no frame is drawn, the margin still widens
    const TDrawn d = Draw(t);
    EXPECT_GE(d.ink.date.left, 32 - 3);
    EXPECT_LT(d.ink.date.left, 32 + 8);
}

TEST(DrawTexts, BadSizeLevelFailsEvenForASwitchedOffText) {
    // Both texts are measured whether or not they are drawn.
    TBitmap b(200, 100, 24);
    TthPicConvert engine;
    TTexts t;
    t.useComment = false;
    SetTexts(engine.Options, t);
    engine.Options.Comment.FontSize = TTextSizeLevel(7);
    EXPECT_THROW(engine.DrawTexts(b, t.date), EConvertError);
}

TEST(DrawTexts, PalettedPicturesGetOnlyTheirOwnColours) {
    TBitmap b(400, 300, 8);
    std::vector<TColor> palette;
    for (int i = 0; i < 256; ++i)
        palette.push_back(RGBColor(std::uint8_t(i), std::uint8_t(i * 3), std::uint8_t(255 - i)));
    b.SetPalette(palette);
    TthPicConvert engine;
    TTexts t;
    t.datePos = dpCenter;
    SetTexts(engine.Options, t);
    engine.DrawTexts(b, t.date);
    EXPECT_EQ(b.BitsPerPixel(), 8);
    std::set<int> used;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) used.insert(b.ScanLine(y)[x]);
    std::set<int> allowed{0};
    for (TColor c :
         {RGBColor(0, 0, 255), RGBColor(0, 255, 0), RGBColor(255, 0, 0), RGBColor(255, 255, 0)})
        allowed.insert(b.NearestPaletteIndex(c));
    EXPECT_EQ(used, allowed);
}

TEST(DrawTexts, HoldsTheCanvasLockWhileDrawing) {
    TBitmap b(300, 200, 24);
    Fill(b, kGrey);
    b.Canvas().Lock();
    std::atomic<bool> done = false;
    std::thread worker([&] {
        TthPicConvert engine;
        TTexts t;
        SetTexts(engine.Options, t);
        engine.DrawTexts(b, t.date);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done);
    b.Canvas().Unlock();
    worker.join();
    EXPECT_NE(InkBox(b, kGrey), TRect{});
}

TEST(DrawTexts, OddPicturesAndTextsAreDrawnWithoutFault) {
    std::string longComment;
    while (longComment.size() < 2040) longComment += "長いコメント long ";
    const std::string texts[] = {"", " ", "\t\n", "😀 emoji", "\x01\x02", longComment};
    const std::pair<int, int> sizes[] = {{0, 0}, {1, 1}, {1, 300}, {300, 1}, {7, 5}};
    for (auto [w, h] : sizes) {
        for (const std::string& text : texts) {
            for (int pos = 0; pos <= 9; ++pos) {
                TBitmap b(w, h, 24);
                TthPicConvert engine;
                TTexts t;
                t.date = text;
                t.comment = text;
                t.datePos = t.commentPos = TDrawPos(pos);
                t.dateLevel = TTextSizeLevel(pos % 5);
                t.frame = pos % 2;
                SetTexts(engine.Options, t);
                engine.DrawTexts(b, t.date);
                EXPECT_EQ(b.Width(), w);
            }
        }
    }
}
