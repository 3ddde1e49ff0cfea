// JPEG reader: any input must decode or fail with an exception, and its
// colour profile convert or be ignored; a picture that decodes must encode
// again.
#include <cstdint>
#include <cstdlib>

#include "ColourProfile.h"
#include "FuzzChecks.h"
#include "JpegCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TBitmap picture;
    try {
        JpegLoadBuffer(data, size, picture);
    } catch (const std::exception&) {
        return 0;
    }
    // Whatever profile the file carried goes through the colour step.
    ConvertToSrgb(picture);
    if (TooLargeToRoundTrip(picture)) return 0;
    TJpegImage jpeg(picture);
    jpeg.CompressionQuality = 50;
    jpeg.Compress();
    if (jpeg.DataSize() == 0) std::abort();
    return 0;
}
