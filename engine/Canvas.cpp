#include "engine/Canvas.h"

#include "engine/codecs/PaletteUtils.h"

#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "engine/OutlineUnion.h"

namespace tovali {

// Coverage (0..255) of one text, in text-local pixels: (0, 0) is the
// top-left corner of the text's cell.
struct TTextMask {
    std::string key;
    TRect clip;  // the text-local area this mask was built for
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> coverage;

    const std::uint8_t* Row(int y) const { return coverage.data() + std::size_t(y) * width; }
};

namespace {

// A part of a coverage mask placed on the raster.
struct TCoverage {
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

bool IsEmpty(const TRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

TRect Intersect(const TRect& a, const TRect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

bool Contains(const TRect& outer, const TRect& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

// GDI's character height for a point size at 96 dpi: MulDiv(size, 96, 72).
int PointsToPixels(int points) {
    const int size = std::clamp(points, 1, TCanvas::MaxFontSize);
    return (size * 96 + 36) / 72;
}

QFont MakeFont(const std::string& face, int points) {
    QFont font = face.empty() ? QFont() : QFont(QString::fromStdString(face));
    font.setPixelSize(PointsToPixels(points));
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::NoSubpixelAntialias);
    return font;
}

// The QImage format that matches the raster's own rows, if Qt has one.
std::optional<QImage::Format> DirectFormat(const TBitmap& bitmap) {
    const auto masks = bitmap.Masks();
    switch (bitmap.BitsPerPixel()) {
        case 24:
            return QImage::Format_BGR888;
        case 32:
            if (masks == TBitmap::DefaultMasks(32)) return QImage::Format_RGB32;
            break;
        case 16:
            if (masks == TBitmap::DefaultMasks(16)) return QImage::Format_RGB555;
            if (masks == std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F})
                return QImage::Format_RGB16;
            break;
        default:
            break;
    }
    return std::nullopt;
}

QImage WrapRows(TBitmap& bitmap, QImage::Format format) {
    return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), qsizetype(bitmap.Stride()),
                  format);
}

void SetPaletteIndex(TBitmap& bitmap, int x, int y, int index) {
    SetPaletteIndexAt(bitmap.ScanLine(y), x, bitmap.BitsPerPixel(), index);
}

TColor Blend(TColor under, TColor over, std::uint32_t alpha) {
    const auto mix = [alpha](std::uint32_t d, std::uint32_t s) {
        return std::uint8_t(Div255(s * alpha + d * (255 - alpha)));
    };
    return RGBColor(mix(GetRValue(under), GetRValue(over)), mix(GetGValue(under), GetGValue(over)),
                    mix(GetBValue(under), GetBValue(over)));
}

// Source-over of a colour on n pixels of a row, step bytes apart (bytes
// blue, green, red): the colour premultiplied by the coverage plus what lay
// below times the rest, each rounded, as Qt blends.
void BlendPixels(std::uint8_t* p, const std::uint8_t* coverage, int n, std::size_t step,
                 const std::uint32_t (&bgr)[3]) {
    for (int x = 0; x < n; ++x, p += step) {
        const std::uint32_t alpha = coverage[x];
        if (alpha == 0) continue;
        for (int c = 0; c < 3; ++c)
            p[c] = std::uint8_t(Div255(bgr[c] * alpha) + Div255(p[c] * (255 - alpha)));
    }
}

// The same straight on 24-bit and 32-bit rows, eight pixels at a time:
// most eights of a text's coverage are wholly clear or, on 24 bits, wholly
// covered and simply take the colour.
void CompositeRows(TBitmap& bitmap, const TCoverage& cov, TColor colour) {
    constexpr int kEight = 8;
    const std::size_t step = std::size_t(bitmap.BitsPerPixel() / 8);
    const std::uint32_t bgr[3] = {GetBValue(colour), GetGValue(colour), GetRValue(colour)};
    std::uint8_t solid[kEight * 3];
    for (std::size_t i = 0; i < sizeof solid; ++i) solid[i] = std::uint8_t(bgr[i % 3]);
    for (int y = 0; y < cov.height; ++y) {
        const std::uint8_t* a = cov.data + std::size_t(y) * cov.stride;
        std::uint8_t* p = bitmap.ScanLine(cov.top + y) + std::size_t(cov.left) * step;
        int x = 0;
        for (; x + kEight <= cov.width; x += kEight) {
            std::uint64_t eight;
            std::memcpy(&eight, a + x, sizeof eight);
            if (eight == 0) continue;
            if (eight == ~std::uint64_t(0) && step == 3) {
                std::memcpy(p + std::size_t(x) * 3, solid, sizeof solid);
                continue;
            }
            BlendPixels(p + std::size_t(x) * step, a + x, kEight, step, bgr);
        }
        BlendPixels(p + std::size_t(x) * step, a + x, cov.width - x, step, bgr);
    }
}

// Source-over of a colour with the given coverage, through QPainter.
void CompositeDirect(TBitmap& bitmap, QImage::Format format, const TCoverage& cov, TColor colour) {
    QImage layer(cov.width, cov.height, QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull()) throw std::bad_alloc();
    for (int y = 0; y < cov.height; ++y) {
        const std::uint8_t* a = cov.data + std::size_t(y) * cov.stride;
        auto* out = reinterpret_cast<QRgb*>(layer.scanLine(y));
        for (int x = 0; x < cov.width; ++x) {
            const std::uint32_t alpha = a[x];
            out[x] = alpha ? qRgba(int(Div255(GetRValue(colour) * alpha)),
                                   int(Div255(GetGValue(colour) * alpha)),
                                   int(Div255(GetBValue(colour) * alpha)), int(alpha))
                           : 0;
        }
    }
    QImage target = WrapRows(bitmap, format);
    QPainter painter(&target);
    painter.drawImage(cov.left, cov.top, layer);
}

// Paletted rasters: every pixel at least half covered takes the palette
// entry nearest to the colour.
void CompositePaletted(TBitmap& bitmap, const TCoverage& cov, TColor colour) {
    const int index = bitmap.NearestPaletteIndex(colour);
    for (int y = 0; y < cov.height; ++y) {
        const std::uint8_t* a = cov.data + std::size_t(y) * cov.stride;
        for (int x = 0; x < cov.width; ++x)
            if (a[x] >= 128) SetPaletteIndex(bitmap, cov.left + x, cov.top + y, index);
    }
}

// Layouts Qt cannot paint on (16 or 32 bits with unusual masks).
void CompositeByPixel(TBitmap& bitmap, const TCoverage& cov, TColor colour) {
    for (int y = 0; y < cov.height; ++y) {
        const std::uint8_t* a = cov.data + std::size_t(y) * cov.stride;
        for (int x = 0; x < cov.width; ++x) {
            if (!a[x]) continue;
            const int px = cov.left + x;
            const int py = cov.top + y;
            bitmap.SetPixel(px, py, Blend(bitmap.GetPixel(px, py), colour, a[x]));
        }
    }
}

// Clips the coverage to the raster and draws it in the colour.
void Composite(TBitmap& bitmap, TCoverage cov, TColor colour) {
    const TRect placed{cov.left, cov.top, cov.left + cov.width, cov.top + cov.height};
    const TRect visible = Intersect(placed, {0, 0, bitmap.Width(), bitmap.Height()});
    if (IsEmpty(visible)) return;
    cov.data +=
        std::size_t(visible.top - cov.top) * cov.stride + std::size_t(visible.left - cov.left);
    cov.left = visible.left;
    cov.top = visible.top;
    cov.width = visible.right - visible.left;
    cov.height = visible.bottom - visible.top;
    const auto format = DirectFormat(bitmap);
    if (format == QImage::Format_BGR888 || format == QImage::Format_RGB32) {
        CompositeRows(bitmap, cov, colour);
    } else if (format) {
        CompositeDirect(bitmap, *format, cov, colour);
    } else if (bitmap.BitsPerPixel() <= 8) {
        CompositePaletted(bitmap, cov, colour);
    } else {
        CompositeByPixel(bitmap, cov, colour);
    }
}

struct TPlacedGlyph {
    QRawFont font;
    quint32 index;
    TRect rect;  // text-local
};

// Lays the text out on one line; glyph origins snap to whole pixels, as
// GDI places them, with the baseline at the font's ascent below the top.
std::vector<TPlacedGlyph> PlaceGlyphs(const QFont& font, const QString& text) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    std::vector<TPlacedGlyph> glyphs;
    if (!line.isValid()) return glyphs;
    const int ascent = QFontMetrics(font).ascent();
    for (const QGlyphRun& run : layout.glyphRuns()) {
        const QRawFont raw = run.rawFont();
        const auto indexes = run.glyphIndexes();
        const auto positions = run.positions();
        for (qsizetype i = 0; i < indexes.size(); ++i) {
            const QRectF box = raw.boundingRect(indexes[i]);
            if (box.isEmpty()) continue;
            const int x = qRound(positions[i].x()) + qRound(box.x());
            const int y = ascent + qRound(positions[i].y() - line.ascent()) + qRound(box.y());
            glyphs.push_back(
                {raw, indexes[i], {x, y, x + qRound(box.width()), y + qRound(box.height())}});
        }
    }
    return glyphs;
}

// Adds one glyph's coverage into the mask, clipped to the mask.
void AddGlyph(TTextMask& mask, const TPlacedGlyph& glyph) {
    QImage alpha = glyph.font.alphaMapForGlyph(glyph.index, QRawFont::PixelAntialiasing);
    if (alpha.isNull()) return;
    if (alpha.format() != QImage::Format_Alpha8 && alpha.format() != QImage::Format_Grayscale8 &&
        alpha.format() != QImage::Format_Indexed8)
        alpha = alpha.convertToFormat(QImage::Format_Alpha8);
    const TRect placed{glyph.rect.left, glyph.rect.top, glyph.rect.left + alpha.width(),
                       glyph.rect.top + alpha.height()};
    const TRect area =
        Intersect(placed, {mask.left, mask.top, mask.left + mask.width, mask.top + mask.height});
    for (int y = area.top; y < area.bottom; ++y) {
        const std::uint8_t* src = alpha.constScanLine(y - placed.top) - placed.left;
        std::uint8_t* dst =
            mask.coverage.data() + std::size_t(y - mask.top) * mask.width - mask.left;
#pragma omp simd
        for (int x = area.left; x < area.right; ++x)
            dst[x] = std::uint8_t(std::min(255, dst[x] + src[x]));
    }
}

std::shared_ptr<TTextMask> RenderMask(const QFont& font, const QString& text, const TRect& clip) {
    auto mask = std::make_shared<TTextMask>();
    mask->clip = clip;
    std::vector<TPlacedGlyph> glyphs = PlaceGlyphs(font, text);
    std::erase_if(glyphs, [&](const TPlacedGlyph& g) { return IsEmpty(Intersect(g.rect, clip)); });
    if (glyphs.empty()) return mask;
    TRect box = glyphs.front().rect;
    for (const auto& g : glyphs)
        box = {std::min(box.left, g.rect.left), std::min(box.top, g.rect.top),
               std::max(box.right, g.rect.right), std::max(box.bottom, g.rect.bottom)};
    box = Intersect(box, clip);
    mask->left = box.left;
    mask->top = box.top;
    mask->width = box.right - box.left;
    mask->height = box.bottom - box.top;
    mask->coverage.assign(std::size_t(mask->width) * std::size_t(mask->height), 0);
    for (const auto& g : glyphs) AddGlyph(*mask, g);
    return mask;
}

}  // namespace

std::vector<TPoint> OutlinePoints(TPoint p, int width) {
    std::vector<TPoint> points;
    for (int c = width; c >= 1; --c) {
        points.insert(points.end(), {{p.x - c, p.y},
                                     {p.x - c, p.y - c},
                                     {p.x, p.y - c},
                                     {p.x + c, p.y - c},
                                     {p.x + c, p.y},
                                     {p.x - c, p.y + c},
                                     {p.x, p.y + c},
                                     {p.x + c, p.y + c}});
    }
    return points;
}

TCanvas::TCanvas(TBitmap& owner) : owner_(owner) {}

TCanvas::~TCanvas() = default;

TCanvas& TBitmap::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<TCanvas>(*this);
    return *canvas_;
}

TSize TCanvas::TextExtent(const std::string& text) {
    const QFontMetrics metrics(MakeFont(FontName, FontSize));
    return {metrics.horizontalAdvance(QString::fromStdString(text)),
            metrics.ascent() + metrics.descent()};
}

std::shared_ptr<const TTextMask> TCanvas::MaskFor(const std::string& text, const TRect& clip) {
    std::string key = FontName;
    key.append(1, '\0').append(std::to_string(FontSize)).append(1, '\0').append(text);
    if (lastMask_ && lastMask_->key == key && Contains(lastMask_->clip, clip)) return lastMask_;
    auto mask = RenderMask(MakeFont(FontName, FontSize), QString::fromStdString(text), clip);
    mask->key = std::move(key);
    lastMask_ = mask;
    return mask;
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
    if (text.empty() || owner_.Empty()) return;
    if (!BrushClear) {
        const TSize extent = TextExtent(text);
        FillRect({x, y, x + extent.cx, y + extent.cy});
    }
    const TRect clip{-x, -y, owner_.Width() - x, owner_.Height() - y};
    const auto mask = MaskFor(text, clip);
    Composite(owner_,
              {mask->coverage.data(), std::size_t(mask->width), x + mask->left, y + mask->top,
               mask->width, mask->height},
              FontColor);
}

void TCanvas::TextOutOutline(int x, int y, int width, const std::string& text) {
    if (text.empty() || owner_.Empty() || width < 1) return;
    if (!BrushClear) {
        // Each opaque box hides what the earlier draws left: draw in turn.
        for (const TPoint& p : OutlinePoints({x, y}, width)) TextOut(p.x, p.y, text);
        return;
    }
    const TRect clip{-x - width, -y - width, owner_.Width() - x + width,
                     owner_.Height() - y + width};
    const auto mask = MaskFor(text, clip);
    if (mask->coverage.empty()) return;
    const std::vector<std::uint8_t> coverage =
        OutlineUnion({mask->coverage.data(), mask->width, mask->height}, width);
    Composite(owner_,
              {coverage.data(), std::size_t(mask->width + 2 * width), x - width + mask->left,
               y - width + mask->top, mask->width + 2 * width, mask->height + 2 * width},
              FontColor);
}

void TCanvas::FillRect(const TRect& rect) {
    const TRect r = Intersect(rect, {0, 0, owner_.Width(), owner_.Height()});
    if (IsEmpty(r)) return;
    if (const auto format = DirectFormat(owner_)) {
        QImage target = WrapRows(owner_, *format);
        QPainter painter(&target);
        painter.fillRect(
            QRect(r.left, r.top, r.right - r.left, r.bottom - r.top),
            QColor(GetRValue(BrushColor), GetGValue(BrushColor), GetBValue(BrushColor)));
    } else if (owner_.BitsPerPixel() <= 8) {
        const int index = owner_.NearestPaletteIndex(BrushColor);
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) SetPaletteIndex(owner_, x, y, index);
    } else {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) owner_.SetPixel(x, y, BrushColor);
    }
}

}  // namespace tovali
