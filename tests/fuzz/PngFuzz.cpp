// PNG reader: any input must decode or fail with an exception, and its
// colour profile convert or be ignored; a picture that decodes must come
// back unchanged through the writer, transparent colour included.
#include <cstdint>
#include <cstdlib>

#include "engine/ColourProfile.h"
#include "engine/codecs/PngCodec.h"
#include "tests/fuzz/FuzzChecks.h"

using namespace tovali;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TBitmap picture;
    try {
        PngLoadBuffer(data, size, picture);
    } catch (const std::exception&) {
        return 0;
    }
    // Whatever profile the file carried goes through the colour step.
    ConvertToSrgb(picture);
    if (TooLargeToRoundTrip(picture)) return 0;
    TMemorySink sink;
    PngSave(picture, sink);
    TBitmap back;
    PngLoadBuffer(sink.Bytes.data(), sink.Bytes.size(), back);
    RequireSameColours(picture, back);
    if (back.TransparentColor != picture.TransparentColor) std::abort();
    return 0;
}
