// Windows bitmap files, read and written by our own code. The reader takes
// the format as pictures in the wild use it: 1, 2, 4, 8, 16, 24 and 32 bits
// per pixel, palettes, RLE4 and RLE8, bit-field masks (also in V4 and V5
// headers), top-down rows and the OS/2 headers. The raster keeps the file's
// layout, palette and masks; 2-bit files become 4-bit rasters. Alpha bits
// are ignored. Headers with impossible values fail.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/Raster.h"
#include "engine/codecs/CodecIO.h"
#include "engine/codecs/RowWriter.h"

namespace tovali {

// Gives up between rows once `cancel` is set ("decode stopped").
void BmpLoad(const std::string& path, TBitmap& picture, const std::atomic<bool>* cancel = nullptr);
void BmpLoadBuffer(const void* data, std::size_t size, TBitmap& picture);
// The headers as the decode reads and checks them; a bitmap is decoded at
// full size. Raises ECodecError when they cannot be read or are impossible.
TPictureHeader BmpReadHeader(const std::string& path);

// Writes the raster in its own layout with a 40-byte header: its palette for
// 1, 4 and 8 bits, bit-field masks for 16 and 32 bits when they are not the
// defaults.
void BmpSave(const TBitmap& picture, TOutputSink& sink);

}  // namespace tovali
