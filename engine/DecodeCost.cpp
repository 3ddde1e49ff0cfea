#include "engine/DecodeCost.h"

#include <algorithm>
#include <optional>

#include "engine/PictureExif.h"
#include "engine/UnitThPicConvert.h"
#include "engine/codecs/PictureFormats.h"
#include "exif/ExifInfo.h"

namespace tovali {

namespace {

std::uint64_t RasterOf(const TPictureHeader& h, int bitsPerPixel) {
    return TBitmap::StrideFor(int(h.Width), bitsPerPixel) * h.Height;
}

// A streamed fit holds the source rows one target row spans, and a decoder
// of another layout than 24 bits hands over one row of its own.
std::uint64_t StreamedRows(const TPictureHeader& h, const TSize& fitted) {
    const std::uint64_t spans = std::min<std::uint64_t>(h.Height, h.Height / fitted.cy + 2);
    const std::uint64_t own = h.BitsPerPixel == 24 ? 0 : TBitmap::StrideFor(int(h.Width), 24);
    return spans * TBitmap::StrideFor(int(h.Width), 24) + own;
}

// Whether the picture must be turned upright before it is fitted.
bool Turns(const TPictureFormat& format, const std::string& path, const TPictureExif* exif) {
    if (!format.ExifOrientation) return false;
    if (exif) return exif->Orientation != 1;
    TExifInfo reader;
    return ReadPictureExif(reader, path, false).Orientation != 1;
}

}  // namespace

TDecodeCost EstimateDecodeCost(const std::string& path, const TthPicConvert* fitter,
                               const TPictureExif* exif) {
    const TPictureFormat* format = FormatOfFile(path);
    if (!format) return {};
    TPictureHeader h;
    try {
        h = format->ReadHeader(path, fitter && fitter->CompactCoefficients);
    } catch (const std::exception&) {
        return {};
    }
    const std::uint64_t raster = RasterOf(h, 24);
    std::optional<TSize> fitted;
    if (fitter) fitted = fitter->FittedSize(int(h.Width), int(h.Height));
    const std::uint64_t fit = fitted ? TBitmap::StrideFor(fitted->cx, 24) * fitted->cy : 0;
    const bool turns = Turns(*format, path, exif);
    if (fitted && h.StreamsIntoFit && !turns)
        return {raster, h.DecoderBytes + StreamedRows(h, *fitted) + fit, fit};
    // At full size, one stage after the other: the decode, the turn into a
    // second raster, and the fit, which reads another layout than 24 bits
    // from a 24-bit copy made from a copy.
    const std::uint64_t decoded = RasterOf(h, h.BitsPerPixel);
    std::uint64_t peak = decoded + h.DecoderBytes;
    if (turns) peak = std::max(peak, 2 * decoded);
    if (h.BitsPerPixel != 24 && fitted) peak = std::max(peak, 2 * decoded + raster + fit);
    peak = std::max(peak, decoded + fit);
    // Unfitted, the picture stays as decoded until a later step makes a
    // 24-bit copy of it.
    return {raster, peak, fitted ? fit : std::max(decoded, raster)};
}

}  // namespace tovali
