// What decoding a picture costs in memory, read from its header alone: the
// decoded raster, and all the decoder holds at its peak.
#pragma once

#include <cstdint>
#include <string>

struct TDecodeCost {
    std::uint64_t RasterBytes = 0;
    // The raster plus the decoder's own buffers; a progressive JPEG keeps
    // every coefficient of the picture until its last scan.
    std::uint64_t PeakBytes = 0;
};

// Zero for a file whose header cannot be read (its load fails quickly).
TDecodeCost EstimateDecodeCost(const std::string& path);
