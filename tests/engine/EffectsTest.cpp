#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <random>
#include <thread>

#include "engine/BitmapUtils.h"
#include "engine/UnitThPicConvert.h"
#include "tests/engine/PixelTestUtils.h"

using namespace tovali;

using namespace pixel_test;

namespace {

// The colour formulas written out plainly, one pixel at a time, as the
// reference the table-driven steps must match.
std::uint8_t Clip(double v) {
    if (v >= 255) return 255;
    if (v <= 0) return 0;
    return std::uint8_t(std::nearbyint(v));
}

using TPixelFormula = std::function<TColor(double r, double g, double b)>;

TPixelFormula ContrastFormula(int value) {
    const double k = value / 100.0;
    return [k](double r, double g, double b) {
        return RGBColor(Clip(r + (r - 127.5) * k), Clip(g + (g - 127.5) * k),
                        Clip(b + (b - 127.5) * k));
    };
}

TColor VividFormula(double r, double g, double b) {
    return RGBColor(Clip(1.2 * r - 0.1 * g - 0.1 * b), Clip(1.2 * g - 0.1 * r - 0.1 * b),
                    Clip(1.2 * b - 0.1 * r - 0.1 * g));
}

TColor BrighterFormula(double r, double g, double b) {
    const auto up = [](double v) { return Clip(std::sqrt(v / 255) * 255); };
    return RGBColor(up(r), up(g), up(b));
}

TColor DarkerFormula(double r, double g, double b) {
    const auto down = [](double v) {
        const double f = v / 255;
        return Clip((f - (std::sqrt(f) - f)) * 255);
    };
    return RGBColor(down(r), down(g), down(b));
}

TColor MonochromeFormula(double r, double g, double b) {
    const double y = std::trunc(0.299 * r + 0.587 * g + 0.114 * b);
    return RGBColor(Clip(y), Clip(y), Clip(y));
}

void ApplyReference(TBitmap& b, const TPixelFormula& formula) {
    b.ConvertTo24();
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const TColor c = b.GetPixel(x, y);
            b.SetPixel(x, y, formula(GetRValue(c), GetGValue(c), GetBValue(c)));
        }
}

void ReferenceFrame(TBitmap& b) {
    const int t = std::max(int(std::nearbyint(std::min(b.Width(), b.Height()) * 0.025)), 1);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (x < t || y < t || x >= b.Width() - t || y >= b.Height() - t)
                b.SetPixel(x, y, RGBColor(255, 255, 255));
}

void ReferenceEffects(const TConvertOptions& o, TBitmap& b) {
    if (!o.UseFilter) return;
    if (o.UseContrast) ApplyReference(b, ContrastFormula(o.ContrastValue));
    if (o.UseVivid) ApplyReference(b, VividFormula);
    if (o.UseBrightness) ApplyReference(b, o.BrightnessDown ? DarkerFormula : BrighterFormula);
    if (o.UseMonochrome) ApplyReference(b, MonochromeFormula);
    if (o.UseWhiteFrame) ReferenceFrame(b);
}

// Every 24-bit colour once: red by column within a block, green by row,
// blue by block.
void FillEveryColour(TBitmap& b) {
    b.SetSize(4096, 4096, 24);
    for (int y = 0; y < 4096; ++y) {
        std::uint8_t* p = b.ScanLine(y);
        for (int x = 0; x < 4096; ++x, p += 3) {
            p[2] = std::uint8_t(x & 255);
            p[1] = std::uint8_t(y & 255);
            p[0] = std::uint8_t((y >> 8) * 16 + (x >> 8));
        }
    }
}

void ExpectStepMatchesOnEveryColour(const std::function<void(TthPicConvert&, TBitmap&)>& step,
                                    const TPixelFormula& formula) {
    TBitmap actual;
    FillEveryColour(actual);
    TthPicConvert engine;
    step(engine, actual);
    for (int y = 0; y < actual.Height(); ++y) {
        const std::uint8_t* p = actual.ScanLine(y);
        for (int x = 0; x < actual.Width(); ++x, p += 3) {
            const int r = x & 255, g = y & 255, b = (y >> 8) * 16 + (x >> 8);
            const TColor expected = formula(r, g, b);
            if (RGBColor(p[2], p[1], p[0]) != expected) {
                ADD_FAILURE() << "(" << r << ", " << g << ", " << b << ") gave "
                              << ColourText(RGBColor(p[2], p[1], p[0])) << ", expected "
                              << ColourText(expected);
                return;
            }
        }
    }
}

TColor AfterStep(TColor c, const std::function<void(TthPicConvert&, TBitmap&)>& step) {
    TBitmap b(1, 1, 24);
    b.SetPixel(0, 0, c);
    TthPicConvert engine;
    step(engine, b);
    return b.GetPixel(0, 0);
}

int FrameWidth(int w, int h) {
    TBitmap b(w, h, 24);
    TthPicConvert engine;
    engine.DrawWhiteFrame(b);
    int t = 0;
    while (t < w && b.GetPixel(t, h / 2) == RGBColor(255, 255, 255)) ++t;
    return t;
}

}  // namespace

TEST(ColourSteps, VividMatchesTheFormulaForEveryColour) {
    ExpectStepMatchesOnEveryColour([](TthPicConvert& e, TBitmap& b) { e.MakeVivid(b); },
                                   VividFormula);
}

TEST(ColourSteps, MonochromeMatchesTheFormulaForEveryColour) {
    ExpectStepMatchesOnEveryColour([](TthPicConvert& e, TBitmap& b) { e.MakeMonochrome(b); },
                                   MonochromeFormula);
}

TEST(ColourSteps, ChannelStepsMatchTheirFormulasForEveryValue) {
    // One channel's result depends on that channel only: a row of every
    // value in each channel, in different orders, covers them all.
    TBitmap src(256, 1, 24);
    for (int v = 0; v < 256; ++v)
        src.SetPixel(v, 0, RGBColor(std::uint8_t(v), std::uint8_t(255 - v), std::uint8_t(v * 7)));
    const auto check = [&](const std::function<void(TthPicConvert&, TBitmap&)>& step,
                           const TPixelFormula& formula, const std::string& name) {
        TBitmap actual, expected;
        actual.Assign(src);
        expected.Assign(src);
        TthPicConvert engine;
        step(engine, actual);
        ApplyReference(expected, formula);
        EXPECT_TRUE(SameImage(expected, actual)) << name;
    };
    for (int value : {-300, -100, -1, 0, 1, 13, 50, 99, 100, 101, 250})
        check([value](TthPicConvert& e, TBitmap& b) { e.AdjustContrast(b, value); },
              ContrastFormula(value), "contrast " + std::to_string(value));
    check([](TthPicConvert& e, TBitmap& b) { e.AdjustBrightness(b, false); }, BrighterFormula,
          "brighter");
    check([](TthPicConvert& e, TBitmap& b) { e.AdjustBrightness(b, true); }, DarkerFormula,
          "darker");
}

TEST(ColourSteps, KnownValues) {
    const auto contrast = [](TthPicConvert& e, TBitmap& b) { e.AdjustContrast(b, 50); };
    EXPECT_EQ(AfterStep(RGBColor(0, 255, 127), contrast), RGBColor(0, 255, 127));
    EXPECT_EQ(AfterStep(RGBColor(200, 200, 200), contrast), RGBColor(236, 236, 236));
    const auto brighter = [](TthPicConvert& e, TBitmap& b) { e.AdjustBrightness(b, false); };
    EXPECT_EQ(AfterStep(RGBColor(64, 0, 255), brighter), RGBColor(128, 0, 255));
    const auto darker = [](TthPicConvert& e, TBitmap& b) { e.AdjustBrightness(b, true); };
    EXPECT_EQ(AfterStep(RGBColor(64, 65, 255), darker), RGBColor(0, 1, 255));
    const auto mono = [](TthPicConvert& e, TBitmap& b) { e.MakeMonochrome(b); };
    EXPECT_EQ(AfterStep(RGBColor(255, 0, 0), mono), RGBColor(76, 76, 76));
    const auto vivid = [](TthPicConvert& e, TBitmap& b) { e.MakeVivid(b); };
    EXPECT_EQ(AfterStep(RGBColor(90, 90, 90), vivid), RGBColor(90, 90, 90));
}

TEST(ColourSteps, EachTurnsTheRasterInto24BitsFirst) {
    std::mt19937 rng(17);
    const std::function<void(TthPicConvert&, TBitmap&)> steps[] = {
        [](TthPicConvert& e, TBitmap& b) { e.AdjustContrast(b, 30); },
        [](TthPicConvert& e, TBitmap& b) { e.MakeVivid(b); },
        [](TthPicConvert& e, TBitmap& b) { e.AdjustBrightness(b, true); },
        [](TthPicConvert& e, TBitmap& b) { e.MakeMonochrome(b); }};
    const TPixelFormula formulas[] = {ContrastFormula(30), VividFormula, DarkerFormula,
                                      MonochromeFormula};
    for (int bpp : {1, 4, 8, 16, 32}) {
        for (int i = 0; i < 4; ++i) {
            TBitmap actual, expected;
            FillRandom(actual, 13, 5, bpp, rng);
            expected.Assign(actual);
            TthPicConvert engine;
            steps[i](engine, actual);
            ApplyReference(expected, formulas[i]);
            EXPECT_TRUE(SameImage(expected, actual)) << bpp << " bpp, step " << i;
        }
    }
}

TEST(ApplyEffects, MatchesTheReferenceForEveryCombination) {
    std::mt19937 rng(2024);
    for (int mask = 0; mask < 128; ++mask) {
        for (int round = 0; round < 3; ++round) {
            TthPicConvert engine;
            TConvertOptions& o = engine.Options;
            o.UseFilter = mask & 1;
            o.UseContrast = mask & 2;
            o.UseVivid = mask & 4;
            o.UseBrightness = mask & 8;
            o.BrightnessDown = mask & 16;
            o.UseMonochrome = mask & 32;
            o.UseWhiteFrame = mask & 64;
            o.ContrastValue = std::uniform_int_distribution<int>(0, 100)(rng);
            const int bpp = std::array{1, 4, 8, 16, 24, 32}[rng() % 6];
            const int w = std::uniform_int_distribution<int>(1, 61)(rng);
            const int h = std::uniform_int_distribution<int>(1, 61)(rng);
            TBitmap actual, expected;
            FillRandom(actual, w, h, bpp, rng);
            expected.Assign(actual);
            engine.ApplyEffects(actual);
            ReferenceEffects(o, expected);
            EXPECT_TRUE(SameImage(expected, actual))
                << "switches " << mask << ", " << w << "x" << h << " " << bpp << " bpp";
        }
    }
}

TEST(ApplyEffects, MasterSwitchOffLeavesThePictureAlone) {
    TthPicConvert engine;
    TConvertOptions& o = engine.Options;
    o.UseContrast = o.UseVivid = o.UseBrightness = o.UseMonochrome = o.UseWhiteFrame = true;
    o.ContrastValue = 100;
    std::mt19937 rng(1);
    TBitmap b, before;
    FillRandom(b, 40, 30, 8, rng);
    before.Assign(b);
    engine.ApplyEffects(b);
    EXPECT_TRUE(SameImage(before, b));  // not even converted to 24 bits
}

TEST(ApplyEffects, ContrastComesBeforeMonochrome) {
    TthPicConvert engine;
    TConvertOptions& o = engine.Options;
    o.UseFilter = o.UseContrast = o.UseMonochrome = true;
    o.ContrastValue = 100;
    TBitmap b(1, 1, 24);
    b.SetPixel(0, 0, RGBColor(200, 100, 50));
    engine.ApplyEffects(b);
    // Contrast first: (255, 72.5 -> 72, 0) then grey 0.299*255 + 0.587*72 = 118.5.
    // The other order would give grey 124 -> 120.5 -> 120.
    EXPECT_EQ(b.GetPixel(0, 0), RGBColor(118, 118, 118));
}

TEST(DrawWhiteFrame, WidthIsTwoAndAHalfPercentOfTheShorterSide) {
    EXPECT_EQ(FrameWidth(1000, 800), 20);
    EXPECT_EQ(FrameWidth(30, 30), 1);    // 0.75
    EXPECT_EQ(FrameWidth(20, 20), 1);    // 0.5 rounds to 0, at least 1
    EXPECT_EQ(FrameWidth(60, 90), 2);    // 1.5
    EXPECT_EQ(FrameWidth(100, 100), 2);  // 2.5
    EXPECT_EQ(FrameWidth(140, 500), 4);  // 3.5
}

TEST(DrawWhiteFrame, KeepsTheLayoutAndCoversOnlyTheEdges) {
    TBitmap b(200, 120, 8);
    b.SetPalette({RGBColor(10, 20, 30), RGBColor(250, 250, 250), RGBColor(255, 0, 0)});
    TthPicConvert engine;
    engine.DrawWhiteFrame(b);
    EXPECT_EQ(b.BitsPerPixel(), 8);
    EXPECT_EQ(b.ScanLine(0)[0], 1);    // nearest palette entry to white
    EXPECT_EQ(b.ScanLine(2)[199], 1);  // frame 3: 120 * 0.025
    EXPECT_EQ(b.ScanLine(117)[100], 1);
    EXPECT_EQ(b.ScanLine(3)[3], 0);
    EXPECT_EQ(b.ScanLine(116)[196], 0);
}

TEST(ColourSteps, HoldTheCanvasLockWhileTheyWork) {
    TBitmap b(64, 64, 24);
    Fill(b, RGBColor(64, 64, 64));
    b.Canvas().Lock();
    std::atomic<bool> done = false;
    std::thread worker([&] {
        TthPicConvert engine;
        engine.AdjustBrightness(b, false);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done);
    EXPECT_EQ(b.GetPixel(0, 0), RGBColor(64, 64, 64));
    b.Canvas().Unlock();
    worker.join();
    EXPECT_EQ(b.GetPixel(0, 0), RGBColor(128, 128, 128));
}
