// The fit rule: the size ResizePicture fits a picture to, and the fit itself
// (the resampling kernels are BitmapUtils').
#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/BitmapUtils.h"
#include "engine/Canvas.h"
#include "engine/ColourProfile.h"
#include "engine/UnitThPicConvert.h"

namespace tovali {

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

std::optional<TSize> TthPicConvert::FittedSize(int width, int height) const {
    if (!Options.UsePicSize) return std::nullopt;
    if (std::max(width, height) <= std::max(Options.PicWidth, Options.PicHeight))
        return std::nullopt;
    return FitIntoBox(width, height, Options.PicWidth, Options.PicHeight);
}

void TthPicConvert::ResizePicture(TBitmap& bitmap, const std::atomic<bool>* cancel) {
    if (const std::optional<TSize> size = FittedSize(bitmap.Width(), bitmap.Height())) {
        auto fitted = ResampleBitmap(bitmap, size->cx, size->cy, cancel);
        // The pixels stay in the colour space they were decoded in.
        fitted->IccProfile = std::move(bitmap.IccProfile);
        TCanvasLock lock(bitmap.Canvas());
        bitmap.Swap(*fitted);
    }
    TCanvasLock lock(bitmap.Canvas());
    // After the fit the conversion works on the small picture; a picture
    // that was not fitted was converted as it was loaded.
    ConvertToSrgb(bitmap, cancel);
}

}  // namespace tovali
