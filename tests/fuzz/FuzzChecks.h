// Checks shared by the decoder fuzz targets: a failed check aborts, which
// the fuzzer and the replay test both report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <exception>
#include <vector>

#include "engine/ColourProfile.h"
#include "engine/Raster.h"
#include "exif/ExifInfo.h"

using namespace tovali;

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

// The whole check of a phone-picture decoder (HEIF, AVIF, WebP): the EXIF
// block it finds must load or fail cleanly in the EXIF reader, the picture
// must decode or fail with an exception, and a decoded picture must be a
// 24-bit raster whose colour profile converts or is ignored.
template <class ReadExif, class Load>
int FuzzPhotoDecoder(const std::uint8_t* data, std::size_t size, ReadExif readExif, Load load) {
    const std::vector<std::uint8_t> exif = readExif(data, size);
    try {
        TExifInfo reader;
        reader.LoadFromExifBlock(exif.data(), exif.size());
    } catch (const std::exception&) {
    }
    TBitmap picture;
    try {
        load(data, size, picture);
    } catch (const std::exception&) {
        return 0;
    }
    RequireDecodedPicture(picture);
    ConvertToSrgb(picture);
    return 0;
}
