// WebP reader: see FuzzPhotoDecoder.
#include <cstdint>

#include "FuzzChecks.h"
#include "WebpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzPhotoDecoder(data, size, WebpReadExifBuffer, WebpLoadBuffer);
}
