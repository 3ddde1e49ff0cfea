#include "Canvas.h"

#include "PaletteUtils.h"

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

#include "VectorState.h"

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

// Rounded a * b / 255 for bytes.
inline std::uint32_t Div255(std::uint32_t t) {
    t += 128;
    return (t + (t >> 8)) >> 8;
}

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

// Runs of covered pixels in one mask row, [first, last): wholly covered
// ones (the inside of strokes) apart from partly covered ones (their edges).
struct TRun {
    int y;
    int first;
    int last;
    bool full;
};

// Bytes of the grown mask worked on at a time: well inside the
// second-level cache, with room for the mask rows that fall on them.
constexpr std::size_t kUnionBandBytes = 256 * 1024;

struct TRunCounts {
    std::size_t fullRuns = 0;
    std::size_t partlyCovered = 0;  // pixels
};

// The first place from x on where the row is not the value, eight bytes at
// a time through long stretches (most of a text's mask is clear or solid).
int SkipWhile(const std::uint8_t* row, int x, int width, std::uint8_t value) {
    const std::uint64_t eight = value ? ~std::uint64_t(0) : 0;
    for (std::uint64_t bytes; x + 8 <= width; x += 8) {
        std::memcpy(&bytes, row + x, sizeof bytes);
        if (bytes != eight) break;
    }
    while (x < width && row[x] == value) ++x;
    return x;
}

std::vector<TRun> CoveredRuns(const TTextMask& mask, TRunCounts& counts) {
    std::vector<TRun> runs;
    counts = {};
    for (int y = 0; y < mask.height; ++y) {
        const std::uint8_t* row = mask.Row(y);
        for (int x = 0; x < mask.width;) {
            if (!row[x]) {
                x = SkipWhile(row, x, mask.width, 0);
                continue;
            }
            const int first = x;
            const bool full = row[x] == 255;
            if (full) x = SkipWhile(row, x, mask.width, 255);
            while (x < mask.width && row[x] && (row[x] == 255) == full) ++x;
            runs.push_back({y, first, x, full});
            if (full) {
                ++counts.fullRuns;
            } else {
                counts.partlyCovered += std::size_t(x - first);
            }
        }
    }
    return runs;
}

// Whether the n (at most 8) bytes at p are all 0; reads 8 bytes.
bool AllClear(const std::uint8_t* p, int n) {
    std::uint64_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    return (bytes & (~std::uint64_t(0) >> (64 - 8 * n))) == 0;
}

// Drawing a text again over itself at another point lets (1 - coverage) of
// what lay below show through, so repeated draws in one colour multiply
// these factors. Here per point over the covered pixels, in 8 bits. A
// wholly covered pixel lets nothing through, and nothing multiplies back
// from 0, so its runs are simply cleared. The grown mask is worked a band
// of rows at a time, every point over each band, so that the band stays in
// the cache; each pixel still takes its factors in the points' order.
std::vector<std::uint8_t> UnionByPoint(const TTextMask& mask, const std::vector<TRun>& runs,
                                       const std::vector<TPoint>& offsets, int width, int height) {
    // rowRuns[y]: the first run on mask row y or below (runs go row by row).
    std::vector<std::size_t> rowRuns(std::size_t(mask.height) + 1);
    for (std::size_t y = 0, r = 0; y < rowRuns.size(); ++y) {
        while (r < runs.size() && std::size_t(runs[r].y) < y) ++r;
        rowRuns[y] = r;
    }
    // Soft edges whose copy lands where nothing shows through any more are
    // passed over; AllClear may read a few bytes past the last row.
    constexpr int kSpare = 8;
    std::vector<std::uint8_t> through(std::size_t(width) * std::size_t(height) + kSpare, 255);
    const int band = std::max(1, int(kUnionBandBytes / std::size_t(width)));
    for (int top = 0; top < height; top += band) {
        for (const TPoint& o : offsets) {
            // Mask rows whose copy at this point falls on the band.
            const int from = std::clamp(top - o.y, 0, mask.height);
            const int to = std::clamp(top + band - o.y, 0, mask.height);
            for (std::size_t r = rowRuns[std::size_t(from)]; r < rowRuns[std::size_t(to)]; ++r) {
                const TRun& run = runs[r];
                const std::uint8_t* src = mask.Row(run.y);
                std::uint8_t* dst = through.data() + std::size_t(run.y + o.y) * width + o.x;
                const int n = run.last - run.first;
                if (run.full) {
                    std::memset(dst + run.first, 0, std::size_t(n));
                    continue;
                }
                if (n <= kSpare && AllClear(dst + run.first, n)) continue;
                for (int x = run.first; x < run.last; ++x)
                    dst[x] = std::uint8_t(Div255(dst[x] * (255u - src[x])));
            }
        }
    }
    through.resize(through.size() - kSpare);
    std::uint8_t* t = through.data();
#pragma omp simd
    for (std::size_t i = 0; i < through.size(); ++i) t[i] = std::uint8_t(255 - t[i]);
    return through;
}

// Neighbouring lines handled together, interleaved, so that each step
// along them reads one short run of memory and is one vector operation.
constexpr int kLanes = 16;
// Side of the square of outline pixels worked out together.
constexpr int kOutlineTile = 256;
using TLanes = float __attribute__((vector_size(kLanes * sizeof(float))));

// Per line, each value becomes the product of the k values before it and
// the k after it (values past the ends count as 1). Sliding products by
// blocks of k: every window is the tail of one block times the head of the
// next, so the cost does not grow with k.
class TRingProducts {
  public:
    // lines: n steps of kLanes values each.
    void Apply(std::vector<TLanes>& lines, int n, int k) {
        const int m = n + 2 * k;
        TLanes ones;
        for (int l = 0; l < kLanes; ++l) ones[l] = 1.0f;
        padded_.assign(std::size_t(m), ones);
        std::copy(lines.begin(), lines.begin() + n, padded_.begin() + k);
        head_.resize(padded_.size());
        tail_.resize(padded_.size());
        for (int start = 0; start < m; start += k) {
            const int end = std::min(start + k, m);
            head_[std::size_t(start)] = padded_[std::size_t(start)];
            for (int j = start + 1; j < end; ++j)
                head_[std::size_t(j)] = head_[std::size_t(j - 1)] * padded_[std::size_t(j)];
            tail_[std::size_t(end - 1)] = padded_[std::size_t(end - 1)];
            for (int j = end - 2; j >= start; --j)
                tail_[std::size_t(j)] = tail_[std::size_t(j + 1)] * padded_[std::size_t(j)];
        }
        // The window of steps [last - k + 1, last] is one whole block when
        // it starts on a block, else a tail times the next block's head.
        for (int i = 0; i < n; ++i) {
            const std::size_t before = std::size_t(i + k - 1);
            const std::size_t after = std::size_t(i + 2 * k);
            const TLanes left = i % k == 0 ? head_[before] : tail_[std::size_t(i)] * head_[before];
            const TLanes right =
                (i + k + 1) % k == 0 ? head_[after] : tail_[std::size_t(i + k + 1)] * head_[after];
            lines[std::size_t(i)] = left * right;
        }
    }

  private:
    std::vector<TLanes> padded_;
    std::vector<TLanes> head_;
    std::vector<TLanes> tail_;
};

// A grid of factors and the direction of the lines to multiply along.
struct TRingGrid {
    const std::vector<float>& through;
    std::vector<float>& total;
    int w;
    int h;
    int k;

    // Lines number first..first + count - 1; line s starts at s * across and
    // runs length steps of along. Points off the grid count as 1.
    void Multiply(TPoint along, TPoint across, int first, int count, int length) const {
        TRingProducts products;
        std::vector<TLanes> strip(static_cast<std::size_t>(length));
        // Calls action(step, first lane, lanes, place in grid, stride) for
        // the lanes of each step that fall on the grid; across is (1, 0) or
        // (0, 1), so they form one run.
        const auto visit = [&](int s, auto&& action) {
            const int lanes = std::min(kLanes, first + count - s);
            const std::ptrdiff_t stride = across.x + std::ptrdiff_t(across.y) * w;
            for (int t = 0; t < length; ++t) {
                const int x = s * across.x + t * along.x;
                const int y = s * across.y + t * along.y;
                const int lane0 = across.x ? x : y;  // the coordinate the lanes advance
                const int fixed = across.x ? y : x;
                if (fixed < 0 || fixed >= (across.x ? h : w)) continue;
                const int lo = std::max(0, -lane0);
                const int hi = std::min(lanes, (across.x ? w : h) - lane0);
                if (lo < hi)
                    action(t, lo, hi - lo, std::ptrdiff_t(y) * w + x + lo * stride, stride);
            }
        };
        TLanes ones;
        for (int l = 0; l < kLanes; ++l) ones[l] = 1.0f;
        for (int s = first; s < first + count; s += kLanes) {
            std::fill(strip.begin(), strip.end(), ones);
            // Lines that run down the grid step a whole grid row at a time:
            // fetch a few rows ahead, which the hardware does not guess.
            const std::ptrdiff_t ahead = 16 * (std::ptrdiff_t(along.y) * w + along.x);
            visit(s, [&](int t, int lo, int n, std::ptrdiff_t at, std::ptrdiff_t stride) {
                float* step = reinterpret_cast<float*>(&strip[std::size_t(t)]) + lo;
                const float* src = through.data() + at;
                if (stride != 1) {
                    for (int l = 0; l < n; ++l) step[l] = src[l * stride];
                } else if (n == kLanes) {
                    __builtin_prefetch(src + ahead);
                    std::memcpy(step, src, sizeof(TLanes));
                } else {
                    for (int l = 0; l < n; ++l) step[l] = src[l];
                }
            });
            products.Apply(strip, length, k);
            visit(s, [&](int t, int lo, int n, std::ptrdiff_t at, std::ptrdiff_t stride) {
                const float* step = reinterpret_cast<const float*>(&strip[std::size_t(t)]) + lo;
                float* dst = total.data() + at;
                if (stride == 1 && n == kLanes) {
                    __builtin_prefetch(dst + ahead, 1);
                    TLanes product;
                    std::memcpy(&product, dst, sizeof product);
                    product *= strip[std::size_t(t)];
                    std::memcpy(dst, &product, sizeof product);
                } else {
                    for (int l = 0; l < n; ++l) dst[l * stride] *= step[l];
                }
            });
        }
    }
};

// The same union for the outline's points, (±c, 0), (0, ±c) and (±c, ±c)
// for c = 1..k: four lines through each pixel, each a ring product. A
// pixel needs values at most k away, so the grown mask is done in tiles
// with a margin of k that stay in the cache.
std::vector<std::uint8_t> UnionOfOutline(const TTextMask& mask, int k) {
    ClearUpperVectorState();
    const int w = mask.width + 2 * k;
    const int h = mask.height + 2 * k;
    const int core = std::max(kOutlineTile, 4 * k);
    std::vector<std::uint8_t> coverage(std::size_t(w) * std::size_t(h));
    std::vector<float> through, total;
    for (int ty = 0; ty < h; ty += core) {
        for (int tx = 0; tx < w; tx += core) {
            // The tile with its margin, in grid coordinates.
            const TRect tile =
                Intersect({tx - k, ty - k, tx + core + k, ty + core + k}, {0, 0, w, h});
            const int tw = tile.right - tile.left;
            const int th = tile.bottom - tile.top;
            through.assign(std::size_t(tw) * std::size_t(th), 1.0f);
            for (int y = 0; y < th; ++y) {
                const int my = tile.top + y - k;  // mask row
                if (my < 0 || my >= mask.height) continue;
                const int first = std::max(tile.left - k, 0);
                const int last = std::min(tile.right - k, mask.width);
                float* dst = through.data() + std::size_t(y) * tw - (tile.left - k);
                for (int mx = first; mx < last; ++mx)
                    dst[mx] = 1.0f - mask.Row(my)[mx] * (1.0f / 255);
            }
            total.assign(through.size(), 1.0f);
            const TRingGrid grid{through, total, tw, th, k};
            grid.Multiply({1, 0}, {0, 1}, 0, th, tw);                // rows
            grid.Multiply({0, 1}, {1, 0}, 0, tw, th);                // columns
            grid.Multiply({1, 1}, {1, 0}, 1 - th, tw + th - 1, th);  // down to the right
            grid.Multiply({-1, 1}, {1, 0}, 0, tw + th - 1, th);      // down to the left
            for (int y = ty; y < std::min(ty + core, h); ++y) {
                const float* src = total.data() + std::size_t(y - tile.top) * tw - tile.left;
                std::uint8_t* out = coverage.data() + std::size_t(y) * w;
                for (int x = tx; x < std::min(tx + core, w); ++x)
                    out[x] = std::uint8_t(int(255.0f * (1.0f - src[x]) + 0.5f));
            }
        }
    }
    return coverage;
}

// Work of each way: every offset over the runs (a cleared run about 24
// instructions, a partly covered pixel about 14), or a constant number of
// passes over the whole grown mask (about 170 per pixel).
bool RingIsCheaper(const TRunCounts& counts, std::size_t points, const TTextMask& mask, int k) {
    const std::size_t grid = std::size_t(mask.width + 2 * k) * std::size_t(mask.height + 2 * k);
    return (counts.fullRuns * 24 + counts.partlyCovered * 14) * points > grid * 170;
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
    TRunCounts counts;
    const auto runs = CoveredRuns(*mask, counts);
    std::vector<std::uint8_t> coverage;
    if (RingIsCheaper(counts, std::size_t(8 * width), *mask, width)) {
        coverage = UnionOfOutline(*mask, width);
    } else {
        std::vector<TPoint> offsets = OutlinePoints({width, width}, width);
        coverage =
            UnionByPoint(*mask, runs, offsets, mask->width + 2 * width, mask->height + 2 * width);
    }
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
