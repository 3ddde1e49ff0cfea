// The drawing surface of a raster: text in a face, size and colour with a
// clear background, text measuring, rectangle fill, single pixels and a lock.
// Drawing goes through QPainter on a QImage over the raster's own rows where
// Qt has a matching format; on a paletted raster every drawn pixel takes the
// nearest palette colour. Needs a QGuiApplication for fonts.
//
// Text is antialiased (grey-level, never subpixel) on every raster with
// direct colour. On a paletted raster it is drawn without antialiasing: a
// blended edge would only be snapped to some unrelated palette entry.
// Glyphs are rendered without hinting, so a text measures the same on every
// machine whatever its font settings, and widths grow steadily with size.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Raster.h"

namespace tovali {

struct TPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Left and top inside, right and bottom outside.
struct TRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const TRect&, const TRect&) = default;
};

struct TSize {
    int cx = 0;
    int cy = 0;
};

struct TTextMask;

class TCanvas {
  public:
    explicit TCanvas(TBitmap& owner);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    // Recursive: a step may lock again while it holds the lock.
    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }

    // Font of the next TextOut/TextExtent. An empty or unknown face is left
    // to the platform's font matching. Size in points at 96 dpi, from 1 to
    // MaxFontSize (beyond it the font engine's metrics overflow).
    static constexpr int MaxFontSize = 12000;
    std::string FontName;
    int FontSize = 9;
    TColor FontColor = 0;
    // True: text is drawn without a background box.
    bool BrushClear = true;
    TColor BrushColor = RGBColor(255, 255, 255);

    // Width (advance) and height (ascent + descent) of a UTF-8 text.
    TSize TextExtent(const std::string& text);
    // Draws a UTF-8 text with its top-left corner at (x, y).
    void TextOut(int x, int y, const std::string& text);
    // Draws the text at every point of an outline of the given width around
    // (x, y), as TextOut at each of OutlinePoints would; the glyphs are
    // rasterised once for all of them.
    void TextOutOutline(int x, int y, int width, const std::string& text);
    // Fills the rectangle, clipped to the raster, with BrushColor.
    void FillRect(const TRect& rect);

    TColor Pixel(int x, int y) const { return owner_.GetPixel(x, y); }
    void SetPixel(int x, int y, TColor c) { owner_.SetPixel(x, y, c); }

  private:
    std::shared_ptr<const TTextMask> MaskFor(const std::string& text, const TRect& clip);

    TBitmap& owner_;
    std::recursive_mutex mutex_;
    // The last text rasterised, reused while font and text stay the same
    // (an outlined text draws the same glyphs many times).
    std::shared_ptr<const TTextMask> lastMask_;
};

// The top-left points of an outlined text's outline around p: for c = width
// down to 1, eight points at distance c: left, upper left, up, upper right,
// right, lower left, down, lower right.
std::vector<TPoint> OutlinePoints(TPoint p, int width);

// Holds a canvas lock for one scope.
class TCanvasLock {
  public:
    explicit TCanvasLock(TCanvas& canvas) : canvas_(canvas) { canvas_.Lock(); }
    ~TCanvasLock() { canvas_.Unlock(); }
    TCanvasLock(const TCanvasLock&) = delete;
    TCanvasLock& operator=(const TCanvasLock&) = delete;

  private:
    TCanvas& canvas_;
};

}  // namespace tovali
