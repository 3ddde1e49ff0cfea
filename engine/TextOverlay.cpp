// The date and comment overlay: sizes scale with the picture, texts sit at
// one of nine places inside a margin and are drawn with an outline.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/UnitThPicConvert.h"
#include "engine/codecs/Stoppable.h"

namespace tovali {

namespace {

// Sizes are measured in this face, whatever face the text uses, so that a
// size level means the same on every machine. IPA P Gothic is proportional
// like the Japanese desktop's own interface face, and the project installs
// it everywhere (fonts-ipafont-gothic), so no machine substitutes another.
constexpr const char* kMeasureFace = "IPAPGothic";
// A size whose width the estimate starts from; any mid-range size serves.
constexpr int kProbeSize = 100;

int Round(double value) {
    return int(std::nearbyint(value));
}

int SampleLength(TTextSizeLevel level) {
    switch (level) {
        case tsExtraLarge:
            return 8;
        case tsLarge:
            return 12;
        case tsMedium:
            return 18;
        case tsSmall:
            return 26;
        case tsExtraSmall:
            return 34;
    }
    throw EConvertError("invalid font size");
}

// The smallest size from 1 up whose width exceeds the limit, as a scan
// from 1 would find it: widths never shrink as the size grows, so start
// from the linear estimate and step to the first size wider than the limit.
template <class Width>
int FirstSizeWiderThan(Width width, std::int64_t limit) {
    const std::int64_t probe = std::max(width(kProbeSize), 1);
    int size =
        int(std::clamp<std::int64_t>(limit * kProbeSize / probe + 1, 1, TCanvas::MaxFontSize));
    if (width(size) > limit) {
        while (size > 1 && width(size - 1) > limit) --size;
    } else {
        while (size < TCanvas::MaxFontSize && width(size) <= limit) ++size;
    }
    return size;
}

}  // namespace

void TthPicConvert::DrawTexts(TBitmap& bitmap, const std::string& dateText,
                              const std::atomic<bool>* cancel) {
    const TTextStamp& date = Options.Date;
    const TTextStamp& comment = Options.Comment;
    TPoint dateOffset;
    TPoint commentOffset;
    TRect dateBounds;  // an empty text leaves its bounds empty (height 0)
    TRect commentBounds;
    DrawOutlinedText(bitmap, dateOffset, dateBounds, false, date, dateText);
    DrawOutlinedText(bitmap, commentOffset, commentBounds, false, comment, comment.Text);
    const int dh = dateBounds.bottom - dateBounds.top;
    const int ch = commentBounds.bottom - commentBounds.top;
    if (date.Use && comment.Use && date.Pos == comment.Pos) {
        // Stack the two with the comment above the date.
        switch (date.Pos / 3) {
            case 0:
                dateOffset.y = ch;
                break;
            case 1: {
                const int top = Round(bitmap.Height() / 2.0 - (ch + dh) / 2.0);
                dateOffset.y = dateBounds.top - top;
                commentOffset.y = commentBounds.top - top - dh;
                break;
            }
            case 2:
                commentOffset.y = -dh;
                break;
            default:
                break;
        }
    }
    ThrowIfStopped(cancel, "texts stopped");
    if (date.Use) DrawOutlinedText(bitmap, dateOffset, dateBounds, true, date, dateText);
    ThrowIfStopped(cancel, "texts stopped");
    if (comment.Use)
        DrawOutlinedText(bitmap, commentOffset, commentBounds, true, comment, comment.Text);
}

void TthPicConvert::DrawOutlinedText(TBitmap& bitmap, TPoint offset, TRect& bounds, bool draw,
                                     const TTextStamp& stamp, const std::string& text) {
    if (text.empty()) return;
    TCanvas& canvas = bitmap.Canvas();
    TCanvasLock lock(canvas);
    canvas.BrushClear = true;
    canvas.FontName = stamp.FontName;
    canvas.FontSize = CalcFontSize(bitmap, stamp.FontSize);
    TPoint p = CalcTextPos(bitmap, stamp.Pos, text);
    p.x += offset.x;
    p.y += offset.y;
    canvas.FontColor = stamp.ColorOuter;
    const int t = std::max(Round(canvas.FontSize / 35.0), 1);
    if (draw) {
        canvas.TextOutOutline(p.x, p.y, t, text);
        canvas.FontColor = stamp.ColorInner;
        canvas.TextOut(p.x, p.y, text);
    }
    const TSize extent = canvas.TextExtent(text);
    bounds = {p.x - t, p.y - t, p.x + extent.cx + t, p.y + extent.cy + t};
}

int TthPicConvert::CalcFontSize(TBitmap& bitmap, TTextSizeLevel level) {
    const std::string sample(std::size_t(SampleLength(level)), 'A');
    const std::int64_t longer = std::max(bitmap.Width(), bitmap.Height());
    TBitmap surface(1, 1, 24);
    TCanvas& canvas = surface.Canvas();
    TCanvasLock lock(canvas);
    canvas.FontName = kMeasureFace;
    return FirstSizeWiderThan(
        [&](int size) {
            canvas.FontSize = size;
            return canvas.TextExtent(sample).cx;
        },
        longer);
}

TPoint TthPicConvert::CalcTextPos(TBitmap& bitmap, TDrawPos pos, const std::string& text) {
    const TSize extent = bitmap.Canvas().TextExtent(text);
    const int tw = extent.cx;
    const int th = extent.cy;
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    const int m = std::min(w, h);
    int g = 0;
    if (Options.UseWhiteFrame) {
        if (tw < Round(w - m * 0.05)) g = std::max(Round(m * 0.04), 0);
    } else if (tw < w) {
        g = std::max(Round(m * 0.015), 0);
    }
    if (g > 0 && w < tw + 2 * g) g = Round((w - tw) / 2.0);
    const int columns[] = {g, Round(w / 2.0 - tw / 2.0), w - g - tw};
    const int rows[] = {g, Round(h / 2.0 - th / 2.0), h - (g + th)};
    if (pos > dpRightBottom) return {};
    return {columns[pos % 3], rows[pos / 3]};
}

}  // namespace tovali
