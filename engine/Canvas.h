// The drawing surface of a raster: text in a face, size and colour with a
// clear background, text measuring, rectangle fill, single pixels and a lock.
// Drawing goes through QPainter on a QImage over the raster's own rows where
// Qt has a matching format; on a paletted raster every drawn pixel takes the
// nearest palette colour. Needs a QGuiApplication for fonts.
#pragma once

#include <mutex>
#include <string>

#include "Raster.h"

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
    // to the platform's font matching. Size in points at 96 dpi.
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
    // Fills the rectangle, clipped to the raster, with BrushColor.
    void FillRect(const TRect& rect);

    TColor Pixel(int x, int y) const { return owner_.GetPixel(x, y); }
    void SetPixel(int x, int y, TColor c) { owner_.SetPixel(x, y, c); }

private:
    TBitmap& owner_;
    std::recursive_mutex mutex_;
};
