#include "engine/BitmapUtils.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/AvxClones.h"
#include "engine/VectorState.h"
#include "engine/codecs/Stoppable.h"

namespace tovali {

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
// Source bytes summed down the rows at a time.
constexpr std::size_t kStrip = 4096;
// Column windows up to this many are unrolled (shrinking by up to 7 times).
constexpr std::size_t kMaxUnrolledWindow = 8;

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

// Rows of weight 1 (all but the first and last row under a target row) are
// added as whole numbers, far cheaper than weighted sums.
TOVALI_AVX2_CLONES void AddWholeRow(std::uint16_t* __restrict acc,
                                    const std::uint8_t* __restrict row, std::size_t n) {
#pragma omp simd
    for (std::size_t i = 0; i < n; ++i) acc[i] = std::uint16_t(acc[i] + row[i]);
}

// column = keep * column + whole, emptying whole: whole sums are moved out
// before they could overflow (keep is 0 for the first move of a target row).
TOVALI_AVX2_CLONES void MoveWholeSums(float* __restrict column, std::uint16_t* __restrict whole,
                                      float keep, std::size_t n) {
#pragma omp simd
    for (std::size_t i = 0; i < n; ++i) {
        column[i] = keep * column[i] + float(whole[i]);
        whole[i] = 0;
    }
}

// A target row's column sums in one pass: what was moved out before (times
// keep), the whole rows, and the weighted first and last source rows. The
// edge rows are read here straight from the source, so the row two target
// rows share is read twice but never summed into a buffer of its own.
TOVALI_AVX2_CLONES void CombineRows(float* __restrict column, float keep,
                                    std::uint16_t* __restrict whole,
                                    const std::uint8_t* __restrict first, float firstWeight,
                                    const std::uint8_t* __restrict last, float lastWeight,
                                    std::size_t n) {
#pragma omp simd
    for (std::size_t i = 0; i < n; ++i) {
        column[i] = keep * column[i] + float(whole[i]) + firstWeight * float(first[i]) +
                    lastWeight * float(last[i]);
        whole[i] = 0;
    }
}

using TQuad = float __attribute__((vector_size(16)));

inline TQuad LoadQuad(const float* p) {
    TQuad v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// One target pixel's three channels as one vector: the window's columns
// times their weights. Its fourth lane (the next pixel's blue) is written to
// sums too and overwritten by the next pixel.
template <std::size_t Window>
__attribute__((always_inline)) inline void SumFixedWindows(const float* __restrict column,
                                                           const int* __restrict first,
                                                           const float* __restrict weights,
                                                           float* __restrict sums,
                                                           std::size_t pixels) {
    for (std::size_t x = 0; x < pixels; ++x, weights += Window, sums += 3) {
        const float* p = column + std::size_t(first[x]) * 3;
        TQuad even{}, odd{};
        for (std::size_t k = 0; k + 1 < Window; k += 2) {
            even += weights[k] * LoadQuad(p + 3 * k);
            odd += weights[k + 1] * LoadQuad(p + 3 * k + 3);
        }
        if (Window % 2) even += weights[Window - 1] * LoadQuad(p + 3 * (Window - 1));
        const TQuad total = even + odd;
        std::memcpy(sums, &total, sizeof total);
    }
}

// SumFixedWindows for the given window if it is one of the unrolled ones.
template <std::size_t Window = 1>
__attribute__((always_inline)) inline bool SumUnrolled(std::size_t window, const float* column,
                                                       const int* first, const float* weights,
                                                       float* sums, std::size_t pixels) {
    if constexpr (Window > kMaxUnrolledWindow) {
        return false;
    } else {
        if (window != Window)
            return SumUnrolled<Window + 1>(window, column, first, weights, sums, pixels);
        SumFixedWindows<Window>(column, first, weights, sums, pixels);
        return true;
    }
}

// Per target pixel and channel, the weighted sum of the source columns.
// Every pixel sums the same number of columns (its window, zero weights past
// its span), so no branch depends on a span's length; the usual windows of
// a photo's shrink factors are unrolled.
TOVALI_AVX2_CLONES void SumWindows(const float* __restrict column, const int* __restrict first,
                                   const float* __restrict weights, std::size_t window,
                                   float* __restrict sums, std::size_t pixels) {
    if (SumUnrolled(window, column, first, weights, sums, pixels)) return;
    for (std::size_t x = 0; x < pixels; ++x, weights += window, sums += 3) {
        const float* p = column + std::size_t(first[x]) * 3;
        TQuad total{};
        for (std::size_t k = 0; k < window; ++k) total += weights[k] * LoadQuad(p + 3 * k);
        std::memcpy(sums, &total, sizeof total);
    }
}

// The 24-bit source rows the resampler reads: a whole picture, or the ring of
// the last few rows a streamed decode delivered (row i at slot i % ring).
struct TSourceRows {
    const std::uint8_t* base;
    std::size_t stride;
    int ring;
    const std::uint8_t* Row(int i) const { return base + std::size_t(i % ring) * stride; }
};

// Brings source rows into the cache a few lines at a time, between pieces of
// work on data already there, so that reading memory overlaps computing
// instead of following it.
class TRowPrefetch {
  public:
    TRowPrefetch(const TSourceRows& source, int firstRow, int endRow, std::size_t bytes,
                 std::size_t steps)
        : src_(source),
          row_(firstRow),
          end_(endRow),
          bytes_(bytes),
          linesPerStep_((std::size_t(std::max(0, endRow - firstRow)) * bytes / kLine + steps) /
                        std::max<std::size_t>(steps, 1)) {}

    void Step() {
        for (std::size_t n = 0; n < linesPerStep_ && row_ < end_; ++n) {
            __builtin_prefetch(src_.Row(row_) + offset_, 0, 2);
            offset_ += kLine;
            if (offset_ >= bytes_) {
                offset_ = 0;
                ++row_;
            }
        }
    }

  private:
    static constexpr std::size_t kLine = 64;
    const TSourceRows& src_;
    int row_;
    const int end_;
    const std::size_t bytes_;
    const std::size_t linesPerStep_;
    std::size_t offset_ = 0;
};

}  // namespace

namespace bitmap_utils_detail {

// Fits a width x height source into newWidth x newHeight one target row at a
// time; the source rows of a target row must be readable when it is fitted.
class TResampler {
  public:
    TResampler(int width, int height, int newWidth, int newHeight, double band)
        : width_(width),
          area_(float(static_cast<long double>(width * height) / newWidth / newHeight)),
          cols_(MakeSpans(newWidth, double(width) / newWidth, width)),
          rows_(MakeSpans(newHeight, double(height) / newHeight, height)),
          inverseArea_(1.0 / area_),
          window_(
              std::size_t(std::max(1, *std::max_element(cols_.count.begin(), cols_.count.end())))),
          band_(band) {
        windowWeights_.resize(cols_.count.size() * window_);
        for (std::size_t x = 0; x < cols_.count.size(); ++x) {
            const std::size_t count = std::size_t(cols_.count[x]);
            std::copy_n(cols_.weights.begin() + std::ptrdiff_t(cols_.at[x]), count,
                        windowWeights_.begin() + std::ptrdiff_t(x * window_));
            colBand_.insert(colBand_.end(), 3, float((count + kBandSpareTerms) * kBandPerTerm));
        }
    }

    // The most source rows any target row spans.
    int RowWindow() const {
        return std::max(1, *std::max_element(rows_.count.begin(), rows_.count.end()));
    }
    // The last source row target row y reads (first - 1 for a row of none).
    int LastRow(int y) const { return rows_.first[y] + rows_.count[y] - 1; }

    // Target row y: the weighted sum of its source rows, then per target
    // pixel the weighted sum of that row's columns, then rounding. With
    // prefetch, the next target row's rows are brought into the cache.
    void FitRow(const TSourceRows& src, int y, std::uint8_t* out, bool prefetch) {
        const std::size_t bytes = std::size_t(width_) * 3;
        const std::size_t channels = cols_.first.size() * 3;
        if (column_.empty()) {
            // Room for the last pixel's window and fourth lane past the row.
            column_.resize(bytes + 3 * window_ + 1);
            sums_.resize(channels + 1);
            nearBoundary_.resize(channels);
            whole_.resize(std::min(bytes, kStrip));
        }
        SumRows(src, y, column_.data(), whole_.data(), bytes);
        SumColumnsAhead(src, y, column_.data(), sums_.data(), prefetch);
        RoundMeans(sums_.data(), colBand_.data(), float(band_ + rows_.count[y] * kBandPerTerm),
                   float(inverseArea_), out, nearBoundary_.data(), channels);
        const auto* flags = nearBoundary_.data();
        for (const auto* f = flags; (f = static_cast<const std::uint8_t*>(
                                         std::memchr(f, 1, channels - std::size_t(f - flags))));
             ++f) {
            const std::size_t i = std::size_t(f - flags);
            out[i] = ExactChannel(src, int(i / 3), y, int(i % 3));
        }
    }

    void Run(const TSourceRows& src, TBitmap& target, const std::atomic<bool>* cancel) {
        ClearUpperVectorState();
        for (int y = 0; y < target.Height(); ++y) {
            ThrowIfStopped(cancel, "resize stopped");
            FitRow(src, y, target.ScanLine(y), true);
        }
    }

  private:
    // Per source channel, the weighted sum of the source rows under target
    // row y: the rows strictly inside weigh exactly 1 and are added as whole
    // numbers, the first and last row are weighed in the final pass.
    void SumRows(const TSourceRows& src, int y, float* column, std::uint16_t* whole,
                 std::size_t bytes) const {
        const int count = rows_.count[y];
        if (count == 0) {
            std::fill(column, column + bytes, 0.0f);
            return;
        }
        const int firstRow = rows_.first[y];
        const int lastRow = firstRow + count - 1;
        const double* weights = rows_.weights.data() + rows_.at[y];
        const float firstWeight = float(weights[0]);
        const float lastWeight = count > 1 ? float(weights[count - 1]) : 0.0f;
        // Strip by strip, so that the whole sums and the strip's column sums
        // stay in the first-level cache while the rows pass through.
        for (std::size_t at = 0; at < bytes; at += kStrip) {
            const std::size_t n = std::min(kStrip, bytes - at);
            float keep = 0;
            int wholeRows = 0;
            for (int row = firstRow + 1; row < lastRow; ++row) {
                AddWholeRow(whole, src.Row(row) + at, n);
                if (++wholeRows == kMaxWholeRows) {
                    MoveWholeSums(column + at, whole, keep, n);
                    keep = 1;
                    wholeRows = 0;
                }
            }
            CombineRows(column + at, keep, whole, src.Row(firstRow) + at, firstWeight,
                        src.Row(lastRow) + at, lastWeight, n);
        }
    }

    // SumWindows in pieces, reading the next target row's source rows into
    // the cache in between (its first row was just read for this one).
    void SumColumnsAhead(const TSourceRows& src, int y, const float* column, float* sums,
                         bool prefetch) const {
        constexpr std::size_t kPiece = 32;
        const std::size_t width = cols_.first.size();
        const std::size_t pieces = (width + kPiece - 1) / kPiece;
        const bool more = prefetch && std::size_t(y) + 1 < rows_.first.size();
        const int from = more ? rows_.first[y + 1] + 1 : 0;
        const int end = more ? rows_.first[y + 1] + rows_.count[y + 1] : 0;
        TRowPrefetch ahead(src, from, end, std::size_t(width_) * 3, pieces);
        for (std::size_t x = 0; x < width; x += kPiece) {
            SumWindows(column, cols_.first.data() + x, windowWeights_.data() + x * window_, window_,
                       sums + 3 * x, std::min(kPiece, width - x));
            ahead.Step();
        }
    }

    // Rounds each mean; marks those within their band of a rounding
    // boundary (the integers of mean + 0.5), which the caller sums again.
    TOVALI_AVX2_CLONES static void RoundMeans(const float* __restrict sums,
                                              const float* __restrict colBand, float rowBand,
                                              float inverseArea, std::uint8_t* __restrict out,
                                              std::uint8_t* __restrict nearBoundary,
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
    std::uint8_t ExactChannel(const TSourceRows& src, int x, int y, int channel) const {
        double sum = 0;
        for (int i = 0; i < rows_.count[y]; ++i) {
            const double wy = rows_.weights[rows_.at[y] + std::size_t(i)];
            const std::uint8_t* line = src.Row(rows_.first[y] + i);
            for (int j = 0; j < cols_.count[x]; ++j) {
                const double wx = cols_.weights[cols_.at[x] + std::size_t(j)];
                sum += wx * wy * line[std::size_t(cols_.first[x] + j) * 3 + channel];
            }
        }
        return ToChannel(sum, area_);
    }

    const int width_;
    const float area_;
    const TSpans cols_;
    const TSpans rows_;
    const double inverseArea_;
    const std::size_t window_;          // the most columns any target pixel spans
    std::vector<float> windowWeights_;  // window_ weights per target pixel
    const double band_;
    std::vector<float> colBand_;  // per target channel
    // Working rows of FitRow.
    std::vector<float> column_;
    std::vector<float> sums_;
    std::vector<std::uint8_t> nearBoundary_;
    std::vector<std::uint16_t> whole_;
};

void CheckSizes(int width, int height, int newWidth, int newHeight) {
    if (width < 1 || height < 1)
        throw EAssertionFailed("Assertion failure (BitmapUtils.cpp, line " +
                               std::to_string(__LINE__) + ")");
    if (newWidth < 1 || newHeight < 1) throw std::invalid_argument("invalid target size");
}

std::unique_ptr<TBitmap> Resample(const TBitmap& source, int newWidth, int newHeight,
                                  double boundaryBand, const std::atomic<bool>* cancel) {
    CheckSizes(source.Width(), source.Height(), newWidth, newHeight);
    auto target = std::make_unique<TBitmap>(newWidth, newHeight, 24);
    TBitmap work;
    const TBitmap* rows = &source;
    if (source.BitsPerPixel() != 24) {
        work.Assign(source);
        work.ConvertTo24(cancel);
        rows = &work;
    }
    const TSourceRows src{rows->Bits(), rows->Stride(), rows->Height()};
    TResampler(rows->Width(), rows->Height(), newWidth, newHeight, boundaryBand)
        .Run(src, *target, cancel);
    return target;
}

}  // namespace bitmap_utils_detail

TStreamedFit::TStreamedFit(int width, int height, int newWidth, int newHeight,
                           double boundaryBand) {
    bitmap_utils_detail::CheckSizes(width, height, newWidth, newHeight);
    resampler_ = std::make_unique<bitmap_utils_detail::TResampler>(width, height, newWidth,
                                                                   newHeight, boundaryBand);
    height_ = height;
    ring_ = std::min(height, resampler_->RowWindow());
    rows_.SetSize(width, ring_, 24);
    target_ = std::make_unique<TBitmap>(newWidth, newHeight, 24);
}

TStreamedFit::~TStreamedFit() = default;

std::uint8_t* TStreamedFit::NextRow() {
    if (done_ >= height_) throw std::logic_error("every source row is already done");
    return rows_.ScanLine(done_ % ring_);
}

void TStreamedFit::RowDone() {
    ++done_;
    const TSourceRows src{rows_.Bits(), rows_.Stride(), ring_};
    // The decoder ran since the last row: its vector state may be dirty.
    ClearUpperVectorState();
    while (fitted_ < target_->Height() && resampler_->LastRow(fitted_) < done_) {
        resampler_->FitRow(src, fitted_, target_->ScanLine(fitted_), false);
        ++fitted_;
    }
}

std::unique_ptr<TBitmap> TStreamedFit::Take() {
    if (done_ < height_ || !target_) throw std::logic_error("the fit is not complete");
    return std::move(target_);
}

std::unique_ptr<TBitmap> ResampleBitmap(const TBitmap& source, int newWidth, int newHeight,
                                        const std::atomic<bool>* cancel) {
    return bitmap_utils_detail::Resample(source, newWidth, newHeight, kDefaultBand, cancel);
}

std::uint8_t ClipColor(double value) {
    if (value >= 255) return 255;
    if (value <= 0) return 0;
    return std::uint8_t(std::nearbyint(value));
}

}  // namespace tovali
