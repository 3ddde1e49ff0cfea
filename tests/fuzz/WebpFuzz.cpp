// WebP reader: see FuzzPhotoDecoder.
#include <cstdint>

#include "engine/codecs/WebpCodec.h"
#include "tests/fuzz/FuzzChecks.h"

using namespace tovali;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzPhotoDecoder(data, size, WebpReadExifBuffer, WebpLoadBuffer);
}
