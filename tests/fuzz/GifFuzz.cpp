// GIF reader and image count: any input must decode or fail with an
// exception; a first image that decodes must come back unchanged through the
// writer, transparent colour included.
#include <cstdint>
#include <cstdlib>

#include "engine/codecs/GifCodec.h"
#include "tests/fuzz/FuzzChecks.h"

using namespace tovali;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        GifImageCountBuffer(data, size);
    } catch (const std::exception&) {
    }
    TBitmap picture;
    try {
        GifLoadBuffer(data, size, picture);
    } catch (const std::exception&) {
        return 0;
    }
    if (TooLargeToRoundTrip(picture)) return 0;
    TMemorySink sink;
    GifSave(picture, sink);
    TBitmap back;
    GifLoadBuffer(sink.Bytes.data(), sink.Bytes.size(), back);
    RequireSameColours(picture, back);
    if (back.TransparentColor != picture.TransparentColor) std::abort();
    return 0;
}
