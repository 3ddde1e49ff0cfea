// HEIF and AVIF reader: any input must decode or fail with an exception; a
// picture that decodes is 24-bit within the size limit, and an Exif block
// found in the file must load or fail cleanly in the EXIF reader.
#include <cstdint>
#include <cstdlib>

#include "ExifInfo.h"
#include "FuzzChecks.h"
#include "HeifCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> exif = HeifReadExifBuffer(data, size);
    try {
        TExifInfo reader;
        reader.LoadFromExifBlock(exif.data(), exif.size());
    } catch (const std::exception&) {
    }
    TBitmap picture;
    try {
        HeifLoadBuffer(data, size, picture);
    } catch (const std::exception&) {
        return 0;
    }
    RequireDecodedPicture(picture);
    return 0;
}
