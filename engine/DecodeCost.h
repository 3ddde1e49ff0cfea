// What decoding a picture costs in memory, read from its header alone by the
// header reader of its format, which shares its code with the decode: the
// picture at full size, what the decode holds at its peak, and what stays
// once the load (and the fit, when the picture streams into it) is over.
#pragma once

#include <cstdint>
#include <string>

namespace tovali {

class TthPicConvert;
struct TPictureExif;

struct TDecodeCost {
    // The picture at full size in 24 bits.
    std::uint64_t RasterBytes = 0;
    // All the decode holds at its peak: the decoder's own buffers (a
    // progressive JPEG keeps every coefficient of the picture until its
    // last scan, packed when the engine packs them), the rows it hands
    // over, a turned or 24-bit copy, and the fit.
    std::uint64_t PeakBytes = 0;
    // What the loaded (and maybe fitted) picture holds afterwards.
    std::uint64_t HeldBytes = 0;
};

// The cost of a full-size load, or, given the engine whose options fit the
// picture, of that engine's LoadResizedPicture; exif is the file's EXIF as
// that load gets it (read here when it is needed and not given). Zero for a
// file whose header cannot be read (its load fails quickly).
TDecodeCost EstimateDecodeCost(const std::string& path, const TthPicConvert* fitter = nullptr,
                               const TPictureExif* exif = nullptr);

}  // namespace tovali
