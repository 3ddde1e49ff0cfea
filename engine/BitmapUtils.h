// Pixel helpers of the engine: the area-averaging resampler and the channel
// clamp shared by the colour steps.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>

#include "Raster.h"

// Raised when a helper is called with input its callers never pass.
class EAssertionFailed : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

// Averages the source over a newWidth x newHeight grid: every target pixel
// is the area-weighted mean of the source pixels under it, rounded half to
// even. Returns a new 24-bit raster; the source (any layout) is unchanged.
// Raises EAssertionFailed for an empty source and std::invalid_argument for
// a target side below 1.
std::unique_ptr<TBitmap> ResampleBitmap(const TBitmap& source, int newWidth, int newHeight);

// A real as a channel value: 255 and above give 255, 0 and below give 0,
// anything else rounds to the nearest integer, ties to even.
std::uint8_t ClipColor(double value);

namespace bitmap_utils_detail {
// ResampleBitmap with the width of the band around each rounding boundary in
// which a pixel is recomputed in the exact summation order (tests widen it to
// exercise that path).
std::unique_ptr<TBitmap> Resample(const TBitmap& source, int newWidth, int newHeight,
                                  double boundaryBand);
}  // namespace bitmap_utils_detail
