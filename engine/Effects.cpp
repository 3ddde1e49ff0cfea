// Colour steps and the white frame. Each colour step works on the rows of
// the 24-bit raster; where a channel depends only on its own old value, a
// table of the exact formula's 256 results does the work, otherwise the
// formula itself runs in vector registers.
#include <algorithm>
#include <array>
#include <cmath>

#include "engine/AvxClones.h"
#include "engine/BitmapUtils.h"
#include "engine/UnitThPicConvert.h"
#include "engine/VectorState.h"
#include "engine/codecs/Stoppable.h"

namespace tovali {

namespace {

using TChannelTable = std::array<std::uint8_t, 256>;

template <class Formula>
TChannelTable MakeTable(Formula formula) {
    TChannelTable table{};
    for (int v = 0; v < 256; ++v) table[std::size_t(v)] = ClipColor(formula(double(v)));
    return table;
}

template <class Formula>
std::array<double, 256> MakeProducts(Formula formula) {
    std::array<double, 256> products{};
    for (int v = 0; v < 256; ++v) products[std::size_t(v)] = formula(double(v));
    return products;
}

// Calls `change` with every row in turn; gives up between rows once
// `cancel` is set, leaving the picture part changed.
template <class Change>
void ChangeRows(TBitmap& bitmap, const std::atomic<bool>* cancel, Change change) {
    for (int y = 0; y < bitmap.Height(); ++y) {
        if (y % kRowsPerStopLook == kRowsPerStopLook - 1) ThrowIfStopped(cancel, "effects stopped");
        change(bitmap.ScanLine(y));
    }
}

void MapChannels(TBitmap& bitmap, const TChannelTable& table, const std::atomic<bool>* cancel) {
    const std::size_t bytes = std::size_t(bitmap.Width()) * 3;
    const std::uint8_t* lookup = table.data();
    ChangeRows(bitmap, cancel, [&](std::uint8_t* row) {
        for (std::size_t i = 0; i < bytes; ++i) row[i] = lookup[row[i]];
    });
}

// ClipColor for the vivid step, written so that it vectorises: adding and
// removing 1.5 * 2^52 rounds to nearest with ties to even (the default
// rounding mode), and clamping after rounding gives the same byte as
// clamping before.
inline int RoundAndClip(double value) {
    constexpr double kRounder = 6755399441055744.0;
    const int rounded = int((value + kRounder) - kRounder);
    return rounded < 0 ? 0 : rounded > 255 ? 255 : rounded;
}

// The vivid formula for one row, in doubles in the formula's own order.
TOVALI_AVX2_CLONES void VividRow(std::uint8_t* __restrict p, int width) {
#pragma omp simd
    for (int x = 0; x < width; ++x) {
        const double b = p[3 * x];
        const double g = p[3 * x + 1];
        const double r = p[3 * x + 2];
        const int newRed = RoundAndClip(1.2 * r - 0.1 * g - 0.1 * b);
        const int newGreen = RoundAndClip(1.2 * g - 0.1 * r - 0.1 * b);
        const int newBlue = RoundAndClip(1.2 * b - 0.1 * r - 0.1 * g);
        p[3 * x] = std::uint8_t(newBlue);
        p[3 * x + 1] = std::uint8_t(newGreen);
        p[3 * x + 2] = std::uint8_t(newRed);
    }
}

// Holds the canvas lock and turns the raster into 24 bits for one step.
class TColourStep {
  public:
    TColourStep(TBitmap& bitmap, const std::atomic<bool>* cancel) : lock_(bitmap.Canvas()) {
        bitmap.ConvertTo24(cancel);
        ClearUpperVectorState();
    }

  private:
    TCanvasLock lock_;
};

}  // namespace

void TthPicConvert::ApplyEffects(TBitmap& bitmap, const std::atomic<bool>* cancel) {
    if (!Options.UseFilter) return;
    if (Options.UseContrast) AdjustContrast(bitmap, Options.ContrastValue, cancel);
    if (Options.UseVivid) MakeVivid(bitmap, cancel);
    if (Options.UseBrightness) AdjustBrightness(bitmap, Options.BrightnessDown, cancel);
    if (Options.UseMonochrome) MakeMonochrome(bitmap, cancel);
    if (Options.UseWhiteFrame) DrawWhiteFrame(bitmap);
}

void TthPicConvert::AdjustContrast(TBitmap& bitmap, int value, const std::atomic<bool>* cancel) {
    TColourStep step(bitmap, cancel);
    const double k = value / 100.0;
    MapChannels(bitmap, MakeTable([k](double v) { return v + (v - 127.5) * k; }), cancel);
}

void TthPicConvert::MakeVivid(TBitmap& bitmap, const std::atomic<bool>* cancel) {
    TColourStep step(bitmap, cancel);
    const int width = bitmap.Width();
    ChangeRows(bitmap, cancel, [width](std::uint8_t* row) { VividRow(row, width); });
}

void TthPicConvert::AdjustBrightness(TBitmap& bitmap, bool down, const std::atomic<bool>* cancel) {
    TColourStep step(bitmap, cancel);
    static const TChannelTable kBrighter =
        MakeTable([](double v) { return std::sqrt(v / 255) * 255; });
    static const TChannelTable kDarker = MakeTable([](double v) {
        const double f = v / 255;
        return (f - (std::sqrt(f) - f)) * 255;
    });
    MapChannels(bitmap, down ? kDarker : kBrighter, cancel);
}

void TthPicConvert::MakeMonochrome(TBitmap& bitmap, const std::atomic<bool>* cancel) {
    TColourStep step(bitmap, cancel);
    static const auto kRed = MakeProducts([](double v) { return 0.299 * v; });
    static const auto kGreen = MakeProducts([](double v) { return 0.587 * v; });
    static const auto kBlue = MakeProducts([](double v) { return 0.114 * v; });
    const double* red = kRed.data();
    const double* green = kGreen.data();
    const double* blue = kBlue.data();
    const int width = bitmap.Width();
    ChangeRows(bitmap, cancel, [&](std::uint8_t* p) {
        for (int x = 0; x < width; ++x, p += 3) {
            const int grey = int(red[p[2]] + green[p[1]] + blue[p[0]]);  // truncates
            p[0] = p[1] = p[2] = std::uint8_t(std::min(grey, 255));
        }
    });
}

void TthPicConvert::DrawWhiteFrame(TBitmap& bitmap) {
    TCanvas& canvas = bitmap.Canvas();
    TCanvasLock lock(canvas);
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    const int t = std::max(int(std::nearbyint(std::min(w, h) * 0.025)), 1);
    canvas.BrushClear = false;
    canvas.BrushColor = RGBColor(255, 255, 255);
    canvas.FillRect({0, 0, t, h});
    canvas.FillRect({w - t, 0, w, h});
    canvas.FillRect({0, 0, w, t});
    canvas.FillRect({0, h - t, w, h});
}

}  // namespace tovali
