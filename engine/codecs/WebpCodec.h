// WebP through libwebp: reading lossy and lossless files, writing lossy ones.
//
// Reading gives a 24-bit raster at full size (there is no streaming fit):
// alpha is composited over white, and an animated file gives its first frame
// as it shows on the canvas (white where the frame leaves it uncovered). A
// still picture is fed to libwebp's incremental decoder a slice at a time;
// an opaque one decodes straight into the raster's rows, one with alpha into
// an RGBA buffer whose rows are composited as they become ready (see
// TWebpRowSink). An ICCP chunk goes into the raster's IccProfile as it is.
// The canvas size is checked against TBitmap::MaxPixels before anything is
// decoded. The EXIF orientation is not applied here (the loader does that,
// as for JPEG).
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
// decode, which looks for it only between slices of the file, ends on a
// thread of its own.
void WebpLoad(const std::string& path, TBitmap& picture, const std::atomic<bool>* cancel = nullptr);
void WebpLoadBuffer(const void* data, std::size_t size, TBitmap& picture);

// The bytes of the file's EXIF chunk (TIFF data, sometimes behind an
// "Exif\0\0" prefix). Empty when there is none or the file cannot be
// parsed; raises ECodecError only when the file cannot be opened.
std::vector<std::uint8_t> WebpReadExif(const std::string& path);
std::vector<std::uint8_t> WebpReadExifBuffer(const void* data, std::size_t size);

// The canvas size from the headers, without decoding; a WebP is decoded at
// full size. Raises ECodecError when they cannot be read.
TPictureHeader WebpReadHeader(const std::string& path);

// A lossy WebP file of the picture (any layout; alpha and a transparent
// colour are not written) at libwebp's quality 0..100, with no metadata
// chunks: a plain RIFF/VP8 file. Raises ECodecError, for example for a side
// above 16383 pixels, which the format cannot hold. Gives up between rows of
// blocks once `cancel` is set ("encode stopped").
std::vector<std::uint8_t> WebpEncode(const TBitmap& picture, int quality,
                                     const std::atomic<bool>* cancel = nullptr);
// libwebp's quality for a JPEG quality step (0, 10, ... 100), chosen so
// that the two look alike (the table and how it was measured are in
// WebpCodec.cpp).
int WebpQualityForJpeg(int jpegQuality);

}  // namespace tovali
