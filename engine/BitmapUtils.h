// Pixel helpers of the engine: the area-averaging resampler and the channel
// clamp shared by the colour steps.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "engine/Raster.h"

namespace tovali {

// Raised when a helper is called with input its callers never pass.
class EAssertionFailed : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

// Averages the source over a newWidth x newHeight grid: every target pixel
// is the area-weighted mean of the source pixels under it, rounded half to
// even. Returns a new 24-bit raster; the source (any layout) is unchanged.
// Raises EAssertionFailed for an empty source and std::invalid_argument for
// a target side below 1. Gives up between target rows once `cancel` is set
// (EStopped "resize stopped").
std::unique_ptr<TBitmap> ResampleBitmap(const TBitmap& source, int newWidth, int newHeight,
                                        const std::atomic<bool>* cancel = nullptr);

namespace bitmap_utils_detail {
class TResampler;
}

// ResampleBitmap for a picture whose rows arrive one at a time, top to
// bottom, as a decoder delivers them: the same bytes as ResampleBitmap of
// the whole picture, while only the source rows one target row spans are
// held (each target row is fitted as soon as its last source row is done).
class TStreamedFit {
  public:
    // Raises as ResampleBitmap does for an empty source or target. Tests
    // widen the exact-summation band (see Resample below).
    TStreamedFit(int width, int height, int newWidth, int newHeight, double boundaryBand = 0);
    ~TStreamedFit();
    TStreamedFit(const TStreamedFit&) = delete;
    TStreamedFit& operator=(const TStreamedFit&) = delete;

    // Where the next source row goes: width x 3 bytes, blue, green, red.
    std::uint8_t* NextRow();
    // The row at NextRow is written; fits every target row it completes.
    void RowDone();
    int RowsDone() const { return done_; }
    // The fitted 24-bit picture, once every source row is done.
    std::unique_ptr<TBitmap> Take();

  private:
    std::unique_ptr<bitmap_utils_detail::TResampler> resampler_;
    TBitmap rows_;  // the ring of the latest source rows
    std::unique_ptr<TBitmap> target_;
    int height_ = 0;
    int ring_ = 1;
    int done_ = 0;
    int fitted_ = 0;
};

// A real as a channel value: 255 and above give 255, 0 and below give 0,
// anything else rounds to the nearest integer, ties to even.
std::uint8_t ClipColor(double value);

namespace bitmap_utils_detail {
// ResampleBitmap with the width of the band around each rounding boundary in
// which a pixel is recomputed in the exact summation order (tests widen it to
// exercise that path).
std::unique_ptr<TBitmap> Resample(const TBitmap& source, int newWidth, int newHeight,
                                  double boundaryBand, const std::atomic<bool>* cancel = nullptr);
}  // namespace bitmap_utils_detail

}  // namespace tovali
