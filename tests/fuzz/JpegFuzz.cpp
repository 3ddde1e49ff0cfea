// JPEG reader: any input must decode or fail with an exception; a picture
// that decodes must encode again.
#include <cstdint>
#include <cstdlib>

#include "FuzzChecks.h"
#include "JpegCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TBitmap picture;
    try {
        JpegLoadBuffer(data, size, picture);
    } catch (const std::exception&) {
        return 0;
    }
    if (TooLargeToRoundTrip(picture)) return 0;
    TJpegImage jpeg(picture);
    jpeg.CompressionQuality = 50;
    jpeg.Compress();
    if (jpeg.DataSize() == 0) std::abort();
    return 0;
}
