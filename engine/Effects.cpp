// Colour steps and the white frame. Each colour step works on the rows of
// the 24-bit raster; where a channel depends only on its own old value, a
// table of the exact formula's 256 results does the work.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "BitmapUtils.h"
#include "UnitThPicConvert.h"
#include "VectorState.h"

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

void MapChannels(TBitmap& bitmap, const TChannelTable& table) {
    const std::size_t bytes = std::size_t(bitmap.Width()) * 3;
    const std::uint8_t* lookup = table.data();
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (std::size_t i = 0; i < bytes; ++i) row[i] = lookup[row[i]];
    }
}

// The vivid formula ClipColor(1.2 * m - 0.1 * a - 0.1 * b), for a channel m
// and the other two a and b, evaluated in doubles in that order. Its exact
// value is (12m - a - b) / 10, and the double result rounds like the exact
// one except at halves, where the double's own errors decide: so a table by
// numerator gives the result, and for halves a second table, built from the
// double formula itself, tells whether it rounds up.
class TVividTables {
  public:
    TVividTables() : byNumerator_(kCount), roundsUp_(256 * 256, 0) {
        for (int s = -kOffset; s < kCount - kOffset; ++s) {
            const bool half = s > 0 && s < 2550 && s % 10 == 5;
            const int value = s <= 0 ? 0 : s >= 2550 ? 255 : (s + (half ? 0 : 5)) / 10;
            byNumerator_[std::size_t(s + kOffset)] = std::uint16_t(value | (half ? 0x100 : 0));
        }
        for (int m = 0; m < 256; ++m)
            for (int a = 0; a < 256; ++a)
                for (int b = ((12 * m - a - 5) % 10 + 10) % 10; b < 256; b += 10) {
                    const int s = 12 * m - a - b;
                    if (!(byNumerator_[std::size_t(s + kOffset)] & 0x100)) continue;
                    if (ClipColor(1.2 * m - 0.1 * a - 0.1 * b) > s / 10)
                        roundsUp_[std::size_t(m << 8 | a)] |= std::uint32_t(1) << (b / 10);
                }
    }

    // Applies the step to one row of pixels.
    void Row(std::uint8_t* p, int width) const {
        const std::uint16_t* byNumerator = byNumerator_.data() + kOffset;
        const std::uint32_t* roundsUp = roundsUp_.data();
        for (int x = 0; x < width; ++x, p += 3) {
            const int b = p[0];
            const int g = p[1];
            const int r = p[2];
            const std::uint8_t newRed = Channel(byNumerator, roundsUp, r, g, b);
            const std::uint8_t newGreen = Channel(byNumerator, roundsUp, g, r, b);
            const std::uint8_t newBlue = Channel(byNumerator, roundsUp, b, r, g);
            p[0] = newBlue;
            p[1] = newGreen;
            p[2] = newRed;
        }
    }

  private:
    // Halves of one (m, a) pair differ in b by multiples of 10, so b / 10
    // numbers them (0..25).
    static std::uint8_t Channel(const std::uint16_t* byNumerator, const std::uint32_t* roundsUp,
                                int m, int a, int b) {
        const std::uint32_t entry = byNumerator[12 * m - a - b];
        const std::uint32_t up = (roundsUp[m << 8 | a] >> (b / 10)) & (entry >> 8);
        return std::uint8_t(entry + up);
    }

    static constexpr int kOffset = 510;  // lowest numerator: -255 - 255
    static constexpr int kCount = 12 * 255 + kOffset + 1;
    std::vector<std::uint16_t> byNumerator_;
    std::vector<std::uint32_t> roundsUp_;
};

// Holds the canvas lock and turns the raster into 24 bits for one step.
class TColourStep {
  public:
    explicit TColourStep(TBitmap& bitmap) : lock_(bitmap.Canvas()) {
        bitmap.ConvertTo24();
        ClearUpperVectorState();
    }

  private:
    TCanvasLock lock_;
};

}  // namespace

void TthPicConvert::ApplyEffects(TBitmap& bitmap) {
    if (!Options.UseFilter) return;
    if (Options.UseContrast) AdjustContrast(bitmap, Options.ContrastValue);
    if (Options.UseVivid) MakeVivid(bitmap);
    if (Options.UseBrightness) AdjustBrightness(bitmap, Options.BrightnessDown);
    if (Options.UseMonochrome) MakeMonochrome(bitmap);
    if (Options.UseWhiteFrame) DrawWhiteFrame(bitmap);
}

void TthPicConvert::AdjustContrast(TBitmap& bitmap, int value) {
    TColourStep step(bitmap);
    const double k = value / 100.0;
    MapChannels(bitmap, MakeTable([k](double v) { return v + (v - 127.5) * k; }));
}

void TthPicConvert::MakeVivid(TBitmap& bitmap) {
    TColourStep step(bitmap);
    static const TVividTables tables;
    const int width = bitmap.Width();
    for (int y = 0; y < bitmap.Height(); ++y) tables.Row(bitmap.ScanLine(y), width);
}

void TthPicConvert::AdjustBrightness(TBitmap& bitmap, bool down) {
    TColourStep step(bitmap);
    static const TChannelTable kBrighter =
        MakeTable([](double v) { return std::sqrt(v / 255) * 255; });
    static const TChannelTable kDarker = MakeTable([](double v) {
        const double f = v / 255;
        return (f - (std::sqrt(f) - f)) * 255;
    });
    MapChannels(bitmap, down ? kDarker : kBrighter);
}

void TthPicConvert::MakeMonochrome(TBitmap& bitmap) {
    TColourStep step(bitmap);
    static const auto kRed = MakeProducts([](double v) { return 0.299 * v; });
    static const auto kGreen = MakeProducts([](double v) { return 0.587 * v; });
    static const auto kBlue = MakeProducts([](double v) { return 0.114 * v; });
    const double* red = kRed.data();
    const double* green = kGreen.data();
    const double* blue = kBlue.data();
    const int width = bitmap.Width();
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const int grey = int(red[p[2]] + green[p[1]] + blue[p[0]]);  // truncates
            p[0] = p[1] = p[2] = std::uint8_t(std::min(grey, 255));
        }
    }
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
