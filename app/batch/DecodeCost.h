// What decoding a picture costs in memory, read from its header alone: the
// picture at full size, what the decoder holds at its peak, and what stays
// once the load (and the fit, when the picture streams into it) is over.
#pragma once

#include <cstdint>
#include <string>

class TthPicConvert;

struct TDecodeCost {
    // The picture at full size in 24 bits.
    std::uint64_t RasterBytes = 0;
    // All the decode holds at its peak; a progressive JPEG keeps every
    // coefficient of the picture until its last scan (packed, estimated from
    // the file's size, when the engine packs them).
    std::uint64_t PeakBytes = 0;
    // What the loaded (and maybe fitted) picture holds afterwards.
    std::uint64_t HeldBytes = 0;
};

// The cost of a full-size load, or, given the engine whose options fit the
// picture, of that engine's LoadResizedPicture. Zero for a file whose header
// cannot be read (its load fails quickly).
TDecodeCost EstimateDecodeCost(const std::string& path, const TthPicConvert* fitter = nullptr);
