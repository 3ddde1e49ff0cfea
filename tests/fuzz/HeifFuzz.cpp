// HEIF and AVIF reader: see FuzzPhotoDecoder.
#include <cstdint>

#include "FuzzChecks.h"
#include "HeifCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzPhotoDecoder(data, size, HeifReadExifBuffer, HeifLoadBuffer);
}
