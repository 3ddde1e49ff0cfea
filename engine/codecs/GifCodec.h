// GIF through giflib.
//
// Reading gives the first image on the file's logical screen as an 8-bit
// raster with the file's palette. Its transparent pixels, and any part of
// the screen the image leaves uncovered, show white: they use one white
// palette entry that is recorded as the white transparent colour (see
// PaletteUtils.h), so that writing the raster back as GIF or PNG keeps them
// transparent.
//
// Writing gives one image: a 1, 4 or 8-bit raster keeps its palette, any
// other is reduced to the fixed 216-colour palette (channel level
// (v + 3) div 51, index red * 36 + green * 6 + blue) without dithering. The
// raster's transparent colour becomes the image's transparent colour.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "engine/Raster.h"
#include "engine/codecs/CodecIO.h"
#include "engine/codecs/RowWriter.h"

namespace tovali {

// Gives up between lines once `cancel` is set ("decode stopped").
void GifLoad(const std::string& path, TBitmap& picture, const std::atomic<bool>* cancel = nullptr);
void GifLoadBuffer(const void* data, std::size_t size, TBitmap& picture);

// Decodes every image of the file and returns how many there are (at least
// 2, without reading on, once two images have passed 4 * TBitmap::MaxPixels
// pixels). Raises ECodecError when an image cannot be decoded or there is
// none, and EStopped between lines once `cancel` is set.
int GifImageCount(const std::string& path, const std::atomic<bool>* cancel = nullptr);
int GifImageCountBuffer(const void* data, std::size_t size);
// The header as the decode reads it (up to the first image's description);
// a GIF is decoded at full size. Raises ECodecError when it cannot be read.
TPictureHeader GifReadHeader(const std::string& path);

void GifSave(const TBitmap& picture, TOutputSink& sink);

}  // namespace tovali
