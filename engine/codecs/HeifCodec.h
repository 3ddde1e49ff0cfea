// HEIF (HEVC-coded, as phones write it) and AVIF (AV1-coded) through
// libheif; AVIF files are also written, with libheif's AV1 encoder.
//
// Reading gives the file's primary image only, so a burst or a Live Photo
// gives its still. libheif applies the file's own crop, rotation and mirror
// boxes; the EXIF orientation is then ignored, as HEIF readers must. Deeper
// pictures (10 or 12 bits) become 8 bits per channel, alpha is composited
// over white, and the result is a 24-bit raster. An ICC profile goes into
// the raster's IccProfile as it is; an nclx colour description that is not
// sRGB is turned into an equivalent ICC profile there.
//
// The image size is checked against TBitmap::MaxPixels before anything is
// decoded, and libheif's own security limits stay on.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/Raster.h"
#include "engine/codecs/CodecIO.h"
#include "engine/codecs/RowWriter.h"

namespace tovali {

// Once `cancel` is set the call gives up at once ("decode stopped"); the
// library's decode, which cannot be stopped, ends on a thread of its own.
void HeifLoad(const std::string& path, TBitmap& picture, const std::atomic<bool>* cancel = nullptr);
void HeifLoadBuffer(const void* data, std::size_t size, TBitmap& picture);

// The TIFF data (from its "II"/"MM" header on) of the primary image's Exif
// block. Empty when the file has none or its boxes cannot be read; raises
// ECodecError only when the file cannot be opened.
std::vector<std::uint8_t> HeifReadExif(const std::string& path);
std::vector<std::uint8_t> HeifReadExifBuffer(const void* data, std::size_t size);

// The primary image's size from the file's boxes, without decoding; a HEIF
// is decoded at full size. Raises ECodecError when it cannot be read.
TPictureHeader HeifReadHeader(const std::string& path);

// An AVIF file of the picture (any layout; alpha and a transparent colour
// are not written) at libheif's lossy quality 0..100: one 8-bit 4:2:0
// image whose colour box says sRGB (BT.709 primaries, sRGB transfer, BT.601
// matrix, full range), and no Exif, XMP or ICC data. Raises ECodecError.
// Once `cancel` is set the call gives up at once ("encode stopped"); the
// AV1 encoder, which cannot be stopped, ends on a thread of its own.
std::vector<std::uint8_t> AvifEncode(const TBitmap& picture, int quality,
                                     const std::atomic<bool>* cancel = nullptr);
// libheif's quality for a JPEG quality step (0, 10, ... 100), chosen so
// that the two look alike (the table and how it was measured are in
// HeifCodec.cpp).
int AvifQualityForJpeg(int jpegQuality);

}  // namespace tovali
