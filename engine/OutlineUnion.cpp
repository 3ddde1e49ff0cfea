#include "engine/OutlineUnion.h"

#include <algorithm>
#include <cstring>

#include "engine/VectorState.h"

namespace tovali {

using namespace outline_union_detail;

namespace {

// Bytes of the grown mask worked on at a time: well inside the
// second-level cache, with room for the mask rows that fall on them.
constexpr std::size_t kUnionBandBytes = 256 * 1024;

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

// Whether the n (at most 8) bytes at p are all 0; reads 8 bytes.
bool AllClear(const std::uint8_t* p, int n) {
    std::uint64_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    return (bytes & (~std::uint64_t(0) >> (64 - 8 * n))) == 0;
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

}  // namespace

namespace outline_union_detail {

std::vector<TRun> CoveredRuns(const TMaskView& mask, TRunCounts& counts) {
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

// Drawing a text again over itself at another point lets (1 - coverage) of
// what lay below show through, so repeated draws in one colour multiply
// these factors. Here per point over the covered pixels, in 8 bits. A
// wholly covered pixel lets nothing through, and nothing multiplies back
// from 0, so its runs are simply cleared. The grown mask is worked a band
// of rows at a time, every point over each band, so that the band stays in
// the cache; each pixel still takes its factors in the points' order.
std::vector<std::uint8_t> UnionByPoint(const TMaskView& mask, const std::vector<TRun>& runs,
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

std::vector<std::uint8_t> UnionByPointPlain(const TMaskView& mask,
                                            const std::vector<TPoint>& offsets, int width,
                                            int height) {
    std::vector<std::uint8_t> through(std::size_t(width) * std::size_t(height), 255);
    for (const TPoint& o : offsets) {
        for (int y = 0; y < mask.height; ++y) {
            for (int x = 0; x < mask.width; ++x) {
                std::uint8_t& t =
                    through[std::size_t(y + o.y) * std::size_t(width) + std::size_t(x + o.x)];
                t = std::uint8_t(Div255(t * (255u - mask.Row(y)[x])));
            }
        }
    }
    for (std::uint8_t& t : through) t = std::uint8_t(255 - t);
    return through;
}

// The same union for the outline's points, (±c, 0), (0, ±c) and (±c, ±c)
// for c = 1..k: four lines through each pixel, each a ring product. A
// pixel needs values at most k away, so the grown mask is done in tiles
// with a margin of k that stay in the cache.
std::vector<std::uint8_t> UnionOfOutline(const TMaskView& mask, int k) {
    ClearUpperVectorState();
    const int w = mask.width + 2 * k;
    const int h = mask.height + 2 * k;
    const int core = std::max(kOutlineTile, 4 * k);
    std::vector<std::uint8_t> coverage(std::size_t(w) * std::size_t(h));
    std::vector<float> through, total;
    for (int ty = 0; ty < h; ty += core) {
        for (int tx = 0; tx < w; tx += core) {
            // The tile with its margin, in grid coordinates.
            const TRect tile{std::max(tx - k, 0), std::max(ty - k, 0), std::min(tx + core + k, w),
                             std::min(ty + core + k, h)};
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

std::vector<std::uint8_t> UnionOfOutlinePlain(const TMaskView& mask, int k) {
    const int w = mask.width + 2 * k;
    const int h = mask.height + 2 * k;
    const std::vector<TPoint> offsets = OutlinePoints({k, k}, k);
    std::vector<std::uint8_t> coverage(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double through = 1;
            for (const TPoint& o : offsets) {
                const int mx = x - o.x, my = y - o.y;
                if (mx >= 0 && mx < mask.width && my >= 0 && my < mask.height)
                    through *= 1.0 - mask.Row(my)[mx] / 255.0;
            }
            coverage[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                std::uint8_t(int(255.0 * (1.0 - through) + 0.5));
        }
    }
    return coverage;
}

// Work of each way: every offset over the runs (a cleared run about 24
// instructions, a partly covered pixel about 14), or a constant number of
// passes over the whole grown mask (about 170 per pixel).
bool RingIsCheaper(const TRunCounts& counts, std::size_t points, const TMaskView& mask, int k) {
    const std::size_t grid = std::size_t(mask.width + 2 * k) * std::size_t(mask.height + 2 * k);
    return (counts.fullRuns * 24 + counts.partlyCovered * 14) * points > grid * 170;
}

}  // namespace outline_union_detail

std::vector<std::uint8_t> OutlineUnion(const TMaskView& mask, int k) {
    TRunCounts counts;
    const std::vector<TRun> runs = CoveredRuns(mask, counts);
    if (RingIsCheaper(counts, std::size_t(8 * k), mask, k)) return UnionOfOutline(mask, k);
    return UnionByPoint(mask, runs, OutlinePoints({k, k}, k), mask.width + 2 * k,
                        mask.height + 2 * k);
}

}  // namespace tovali
