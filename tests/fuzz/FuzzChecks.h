// Checks shared by the decoder fuzz targets: a failed check aborts, which
// the fuzzer and the replay test both report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Raster.h"

// A tiny hostile file may claim a huge picture; writing and reading it back
// would only slow the fuzzer down.
inline bool TooLargeToRoundTrip(const TBitmap& picture) {
    return std::uint64_t(picture.Width()) * std::uint64_t(picture.Height()) > (1u << 22);
}

inline void RequireSameColours(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) {
        std::fprintf(stderr, "round trip changed the size\n");
        std::abort();
    }
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            if (a.GetPixel(x, y) != b.GetPixel(x, y)) {
                std::fprintf(stderr, "round trip changed pixel (%d,%d)\n", x, y);
                std::abort();
            }
        }
    }
}

// What every decoder without a writer of its own must give: a 24-bit raster
// of a size within the limit.
inline void RequireDecodedPicture(const TBitmap& picture) {
    const std::uint64_t pixels = std::uint64_t(picture.Width()) * std::uint64_t(picture.Height());
    if (picture.BitsPerPixel() != 24 || pixels == 0 || pixels > TBitmap::MaxPixels) {
        std::fprintf(stderr, "decoded an impossible picture\n");
        std::abort();
    }
}
