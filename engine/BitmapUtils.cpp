#include "BitmapUtils.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "Canvas.h"
#include "UnitThPicConvert.h"
#include "VectorState.h"

namespace {

// Keeps a span's right and bottom edges out of the next source pixel.
constexpr double kEdge = 0.000001;
// Band around a rounding boundary added per summed term: both summation
// orders stay far closer than this to the exact sum.
constexpr double kBandPerTerm = 1e-13;
constexpr double kDefaultBand = 1e-12;

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

class TResampler {
  public:
    TResampler(const TBitmap& source, int newWidth, int newHeight, double band)
        : src_(source),
          area_(float(static_cast<long double>(source.Width() * source.Height()) / newWidth /
                      newHeight)),
          cols_(MakeSpans(newWidth, double(source.Width()) / newWidth, source.Width())),
          rows_(MakeSpans(newHeight, double(source.Height()) / newHeight, source.Height())),
          band_(band) {
        for (auto& slot : cache_) slot.sums.resize(std::size_t(newWidth) * 3);
    }

    void Run(TBitmap& target) {
        ClearUpperVectorState();
        std::vector<double> acc(std::size_t(target.Width()) * 3);
        for (int y = 0; y < target.Height(); ++y) {
            std::fill(acc.begin(), acc.end(), 0.0);
            for (int k = 0; k < rows_.count[y]; ++k) {
                const double w = rows_.weights[rows_.at[y] + std::size_t(k)];
                const double* h = RowSums(rows_.first[y] + k);
                for (std::size_t i = 0; i < acc.size(); ++i) acc[i] += w * h[i];
            }
            StoreRow(target, y, acc);
        }
    }

  private:
    struct TSlot {
        int row = -1;
        std::vector<double> sums;
    };

    // Horizontal weighted sums of one source row, per target column and
    // channel; consecutive target rows share at most their edge rows.
    const double* RowSums(int row) {
        for (const auto& slot : cache_)
            if (slot.row == row) return slot.sums.data();
        TSlot& slot = cache_[0].row < cache_[1].row ? cache_[0] : cache_[1];
        slot.row = row;
        const std::uint8_t* line = src_.ScanLine(row);
        double* out = slot.sums.data();
        for (std::size_t x = 0; x < cols_.first.size(); ++x, out += 3) {
            const double* w = cols_.weights.data() + cols_.at[x];
            const std::uint8_t* p = line + std::size_t(cols_.first[x]) * 3;
            double b = 0, g = 0, r = 0;
            for (int k = 0; k < cols_.count[x]; ++k, p += 3) {
                b += w[k] * p[0];
                g += w[k] * p[1];
                r += w[k] * p[2];
            }
            out[0] = b;
            out[1] = g;
            out[2] = r;
        }
        return slot.sums.data();
    }

    void StoreRow(TBitmap& target, int y, const std::vector<double>& acc) {
        std::uint8_t* out = target.ScanLine(y);
        for (int x = 0; x < target.Width(); ++x) {
            const double terms = double(cols_.count[x]) * rows_.count[y];
            const double band = band_ + terms * kBandPerTerm;
            for (int c = 0; c < 3; ++c) {
                const double sum = acc[std::size_t(x) * 3 + c];
                const double q = sum / area_;
                const bool nearBoundary = std::abs(q - std::floor(q) - 0.5) <= band;
                out[x * 3 + c] = nearBoundary ? ExactChannel(x, y, c) : ToChannel(sum, area_);
            }
        }
    }

    // The sum in the per-pixel walk's own order: rows, then columns, each
    // term (WX * WY) * value.
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
    const double band_;
    std::array<TSlot, 2> cache_;
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
