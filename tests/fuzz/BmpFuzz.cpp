// BMP reader: any input must decode or fail with an exception; a picture
// that decodes must come back unchanged through the writer.
#include <cstdint>
#include <cstdlib>

#include "engine/codecs/BmpCodec.h"
#include "tests/fuzz/FuzzChecks.h"

using namespace tovali;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TBitmap picture;
    try {
        BmpLoadBuffer(data, size, picture);
    } catch (const std::exception&) {
        return 0;
    }
    if (TooLargeToRoundTrip(picture)) return 0;
    TMemorySink sink;
    BmpSave(picture, sink);
    TBitmap back;
    BmpLoadBuffer(sink.Bytes.data(), sink.Bytes.size(), back);
    RequireSameColours(picture, back);
    return 0;
}
