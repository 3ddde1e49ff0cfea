#include "BitmapUtils.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Canvas.h"
#include "UnitThPicConvert.h"
#include "VectorState.h"

namespace {

// Keeps a span's right and bottom edges out of the next source pixel.
constexpr double kEdge = 0.000001;
// The fast sums are in single precision: each summed term can move a
// channel by about 255 * 2^-24. A channel closer to a rounding boundary
// than this band (four times that per term, and a few terms more) is summed
// again in the per-pixel walk's own order, in doubles.
constexpr double kBandPerTerm = 255.0 / (1 << 22);
constexpr int kBandSpareTerms = 8;
constexpr double kDefaultBand = 0;
// Whole rows summed in 16 bits before they could overflow.
constexpr int kMaxWholeRows = 257;

// The source pixels under each target pixel along one axis, with weights.
struct TSpans {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<std::size_t> at;  // index of the first weight
    std::vector<double> weights;
};

// Length of the overlap of source cell [j, j + 1] with the span [a, b].
double Overlap(int j, double a, double b) {
    if (a < j) return j + 1 < b ? 1.0 : b - j;
    return j + 1 < b ? (j + 1) - a : b - a;
}

TSpans MakeSpans(int targetCount, double scale, int sourceCount) {
    TSpans spans;
    spans.first.resize(std::size_t(targetCount));
    spans.count.resize(std::size_t(targetCount));
    spans.at.resize(std::size_t(targetCount));
    for (int t = 0; t < targetCount; ++t) {
        const double a = t * scale;
        const double b = (t + 1) * scale - kEdge;
        const int first = int(std::floor(a));
        const int last = std::min(int(std::floor(b)), sourceCount - 1);
        spans.first[t] = first;
        spans.at[t] = spans.weights.size();
        spans.count[t] = std::max(0, last - first + 1);
        for (int j = first; j <= last; ++j) spans.weights.push_back(Overlap(j, a, b));
    }
    return spans;
}

// Channel value of a weighted sum, as a byte.
std::uint8_t ToChannel(double sum, float area) {
    return std::uint8_t(std::clamp(std::nearbyint(sum / area), 0.0, 255.0));
}

// acc[i] += weight * row[i]: the bulk of the work, one pass per source row
// and target row it touches.
__attribute__((target_clones("avx2", "default"))) void AddWeightedRow(
    float* __restrict acc, const std::uint8_t* __restrict row, float weight, std::size_t n) {
#pragma omp simd
    for (std::size_t i = 0; i < n; ++i) acc[i] += weight * float(row[i]);
}

__attribute__((target_clones("avx2", "default"))) void AddWeightedRowTwice(
    float* __restrict acc, float weight, float* __restrict otherAcc, float otherWeight,
    const std::uint8_t* __restrict row, std::size_t n) {
#pragma omp simd
    for (std::size_t i = 0; i < n; ++i) {
        const float value = row[i];
        acc[i] += weight * value;
        otherAcc[i] += otherWeight * value;
    }
}

// Rows of weight 1 (most rows under a target row) are added as whole
// numbers, far cheaper, and moved into the float sums once per target row.
__attribute__((target_clones("avx2", "default"))) void AddWholeRow(
    std::uint16_t* __restrict acc, const std::uint8_t* __restrict row, std::size_t n) {
#pragma omp simd
    for (std::size_t i = 0; i < n; ++i) acc[i] = std::uint16_t(acc[i] + row[i]);
}

__attribute__((target_clones("avx2", "default"))) void MoveWholeSums(
    float* __restrict acc, std::uint16_t* __restrict whole, std::size_t n) {
#pragma omp simd
    for (std::size_t i = 0; i < n; ++i) {
        acc[i] += float(whole[i]);
        whole[i] = 0;
    }
}

class TResampler {
  public:
    TResampler(const TBitmap& source, int newWidth, int newHeight, double band)
        : src_(source),
          area_(float(static_cast<long double>(source.Width() * source.Height()) / newWidth /
                      newHeight)),
          cols_(MakeSpans(newWidth, double(source.Width()) / newWidth, source.Width())),
          rows_(MakeSpans(newHeight, double(source.Height()) / newHeight, source.Height())),
          inverseArea_(1.0 / area_),
          colWeights_(cols_.weights.begin(), cols_.weights.end()),
          band_(band) {
        for (std::size_t x = 0; x < cols_.count.size(); ++x)
            colBand_.insert(colBand_.end(), 3,
                            float((cols_.count[x] + kBandSpareTerms) * kBandPerTerm));
    }

    // Each target row: the weighted sum of its source rows, then per target
    // pixel the weighted sum of that row's columns, then rounding.
    void Run(TBitmap& target) {
        ClearUpperVectorState();
        const std::size_t bytes = std::size_t(src_.Width()) * 3;
        const std::size_t channels = std::size_t(target.Width()) * 3;
        std::vector<float> column(bytes + 1), next(bytes + 1);
        std::vector<float> sums(channels);
        std::vector<std::uint8_t> nearBoundary(channels);
        std::vector<std::uint16_t> whole(bytes);
        int added = -1;  // the source row already in column, if any
        for (int y = 0; y < target.Height(); ++y) {
            int addedNext = -1;
            int wholeRows = 0;
            for (int k = 0; k < rows_.count[y]; ++k) {
                const int row = rows_.first[y] + k;
                const double weight = rows_.weights[rows_.at[y] + std::size_t(k)];
                const std::uint8_t* line = src_.ScanLine(row);
                if (SharesRow(y, row)) {
                    // The next target row starts on this source row: read it once.
                    const float nextWeight = float(rows_.weights[rows_.at[y + 1]]);
                    if (row == added) {
                        AddWeightedRow(next.data(), line, nextWeight, bytes);
                    } else {
                        AddWeightedRowTwice(column.data(), float(weight), next.data(), nextWeight,
                                            line, bytes);
                    }
                    addedNext = row;
                } else if (row != added && weight == 1.0) {
                    AddWholeRow(whole.data(), line, bytes);
                    if (++wholeRows == kMaxWholeRows) {
                        MoveWholeSums(column.data(), whole.data(), bytes);
                        wholeRows = 0;
                    }
                } else if (row != added) {
                    AddWeightedRow(column.data(), line, float(weight), bytes);
                }
            }
            if (wholeRows) MoveWholeSums(column.data(), whole.data(), bytes);
            added = addedNext;
            SumColumns(column.data(), sums.data());
            std::uint8_t* out = target.ScanLine(y);
            RoundMeans(sums.data(), colBand_.data(), float(band_ + rows_.count[y] * kBandPerTerm),
                       float(inverseArea_), out, nearBoundary.data(), channels);
            const auto* flags = nearBoundary.data();
            for (const auto* f = flags; (f = static_cast<const std::uint8_t*>(
                                             std::memchr(f, 1, channels - std::size_t(f - flags))));
                 ++f) {
                const std::size_t i = std::size_t(f - flags);
                out[i] = ExactChannel(int(i / 3), y, int(i % 3));
            }
            column.swap(next);
            std::fill(next.begin(), next.end(), 0.0f);
        }
    }

  private:
    bool SharesRow(int y, int row) const {
        return y + 1 < int(rows_.first.size()) && rows_.count[y + 1] > 0 &&
               rows_.first[y + 1] == row && row == rows_.first[y] + rows_.count[y] - 1;
    }

    // Per target pixel and channel, the weighted sum of the source columns.
    // A pixel's three channels go as one vector (its fourth lane, the next
    // pixel's blue, is dropped, so the column has one spare value at the
    // end). Columns strictly inside a span weigh exactly 1 and are added.
    void SumColumns(const float* column, float* sums) const {
        using TQuad = float __attribute__((vector_size(16)));
        const auto load = [](const float* p) {
            TQuad v;
            std::memcpy(&v, p, sizeof v);
            return v;
        };
        for (std::size_t x = 0; x < cols_.first.size(); ++x, sums += 3) {
            const int count = cols_.count[x];
            if (count == 0) {
                std::fill(sums, sums + 3, 0.0f);
                continue;
            }
            const float* w = colWeights_.data() + cols_.at[x];
            const float* p = column + std::size_t(cols_.first[x]) * 3;
            const float* last = p + 3 * (count - 1);
            TQuad edges = w[0] * load(p);
            if (count > 1) edges += w[count - 1] * load(last);
            TQuad inside{}, inside2{};
            const float* q = p + 3;
            for (; q + 3 < last; q += 6) {
                inside += load(q);
                inside2 += load(q + 3);
            }
            if (q < last) inside += load(q);
            const TQuad total = edges + (inside + inside2);
            std::memcpy(sums, &total, 3 * sizeof(float));
        }
    }

    // Rounds each mean; marks those within their band of a rounding
    // boundary (the integers of mean + 0.5), which the caller sums again.
    __attribute__((target_clones("avx2", "default"))) static void RoundMeans(
        const float* __restrict sums, const float* __restrict colBand, float rowBand,
        float inverseArea, std::uint8_t* __restrict out, std::uint8_t* __restrict nearBoundary,
        std::size_t n) {
#pragma omp simd
        for (std::size_t i = 0; i < n; ++i) {
            // Written without branches so that it vectorises; a negative
            // mean (rare) is only ever marked, never rounded wrongly.
            const float t = sums[i] * inverseArea + 0.5f;
            const int whole = int(t);
            const float above = t - float(whole);
            const float band = colBand[i] + rowBand;
            nearBoundary[i] = std::uint8_t(int(above <= band) | int(above >= 1.0f - band));
            out[i] = std::uint8_t(whole < 0 ? 0 : whole > 255 ? 255 : whole);
        }
    }

    // The sum in the per-pixel walk's own order: rows, then columns, each
    // term (WX * WY) * value, in doubles.
    std::uint8_t ExactChannel(int x, int y, int channel) const {
        double sum = 0;
        for (int i = 0; i < rows_.count[y]; ++i) {
            const double wy = rows_.weights[rows_.at[y] + std::size_t(i)];
            const std::uint8_t* line = src_.ScanLine(rows_.first[y] + i);
            for (int j = 0; j < cols_.count[x]; ++j) {
                const double wx = cols_.weights[cols_.at[x] + std::size_t(j)];
                sum += wx * wy * line[std::size_t(cols_.first[x] + j) * 3 + channel];
            }
        }
        return ToChannel(sum, area_);
    }

    const TBitmap& src_;
    const float area_;
    const TSpans cols_;
    const TSpans rows_;
    const double inverseArea_;
    const std::vector<float> colWeights_;
    const double band_;
    std::vector<float> colBand_;  // per target channel
};

}  // namespace

namespace bitmap_utils_detail {

std::unique_ptr<TBitmap> Resample(const TBitmap& source, int newWidth, int newHeight,
                                  double boundaryBand) {
    if (source.Empty())
        throw EAssertionFailed("Assertion failure (BitmapUtils.cpp, line " +
                               std::to_string(__LINE__) + ")");
    if (newWidth < 1 || newHeight < 1) throw std::invalid_argument("invalid target size");
    auto target = std::make_unique<TBitmap>(newWidth, newHeight, 24);
    TBitmap work;
    const TBitmap* rows = &source;
    if (source.BitsPerPixel() != 24) {
        work.Assign(source);
        work.ConvertTo24();
        rows = &work;
    }
    TResampler(*rows, newWidth, newHeight, boundaryBand).Run(*target);
    return target;
}

}  // namespace bitmap_utils_detail

std::unique_ptr<TBitmap> ResampleBitmap(const TBitmap& source, int newWidth, int newHeight) {
    return bitmap_utils_detail::Resample(source, newWidth, newHeight, kDefaultBand);
}

std::uint8_t ClipColor(double value) {
    if (value >= 255) return 255;
    if (value <= 0) return 0;
    return std::uint8_t(std::nearbyint(value));
}

namespace {

// Rounds half to even, in extended precision like the quotients it takes.
int RoundSide(long double value) {
    return int(std::nearbyintl(value));
}

// The fitted size: the longer side against the box, the other side by the
// picture's aspect ratio. A side that would round to 0 keeps 1 pixel.
TSize FitIntoBox(int w, int h, int boxWidth, int boxHeight) {
    const long double wide = static_cast<long double>(w) / h;
    const long double tall = static_cast<long double>(h) / w;
    TSize size;
    if (w < h) {
        size = {RoundSide(wide * boxHeight), boxHeight};
        if (size.cx > boxWidth) size = {boxWidth, RoundSide(tall * boxWidth)};
    } else {
        size = {boxWidth, RoundSide(tall * boxWidth)};
        if (size.cy > boxHeight) size = {RoundSide(wide * boxHeight), boxHeight};
    }
    return {std::max(size.cx, 1), std::max(size.cy, 1)};
}

}  // namespace

void TthPicConvert::ResizePicture(TBitmap& bitmap) {
    if (!Options.UsePicSize) return;
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    if (std::max(w, h) <= std::max(Options.PicWidth, Options.PicHeight)) return;
    const TSize size = FitIntoBox(w, h, Options.PicWidth, Options.PicHeight);
    auto fitted = ResampleBitmap(bitmap, size.cx, size.cy);
    TCanvasLock lock(bitmap.Canvas());
    bitmap.Swap(*fitted);
}
