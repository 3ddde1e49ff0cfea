// JPEG reader: any input must decode or fail with an exception, and its
// colour profile convert or be ignored; a picture that decodes must encode
// again. Decoding with the coefficients packed must give the same outcome,
// pixel for pixel.
#include <cstdint>
#include <cstdlib>

#include "engine/ColourProfile.h"
#include "engine/codecs/JpegCodec.h"
#include "tests/fuzz/FuzzChecks.h"

using namespace tovali;

namespace {

bool Decode(const std::uint8_t* data, std::size_t size, TBitmap& picture, bool packed) {
    TDecodeRequest request;
    request.CompactCoefficients = packed;
    try {
        JpegLoadFittedBuffer(data, size, picture, request);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TBitmap picture, packed;
    const bool decoded = Decode(data, size, picture, false);
    if (Decode(data, size, packed, true) != decoded) {
        std::fprintf(stderr, "packed coefficients changed whether the file decodes\n");
        std::abort();
    }
    if (!decoded) return 0;
    if (!TooLargeToRoundTrip(picture)) RequireSameColours(picture, packed);
    // Whatever profile the file carried goes through the colour step.
    ConvertToSrgb(picture);
    if (TooLargeToRoundTrip(picture)) return 0;
    TJpegImage jpeg(picture);
    jpeg.CompressionQuality = 50;
    jpeg.Compress();
    if (jpeg.DataSize() == 0) std::abort();
    return 0;
}
