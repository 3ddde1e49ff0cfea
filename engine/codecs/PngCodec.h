// PNG through libpng.
//
// Reading: an alpha channel or a partly transparent palette entry gives a
// 24-bit raster composited over white. Otherwise the layout follows the
// header: bit depth 1 gives 1 bit per pixel, 2 and 4 give 4 bits, an 8-bit
// palette gives 8 bits (each with its palette; grey files get a grey one),
// and 8- or 16-bit grey or colour gives 24 bits. A single transparent grey or
// colour value becomes the raster's transparent colour; fully transparent
// palette entries are flattened onto white and recorded as a white
// transparent colour (see PaletteUtils.h).
//
// Writing: compression level 7, the Sub filter only, no interlacing, image
// data chunks of at most 65535 bytes. Paletted rasters give a palette PNG of
// the same bit depth, every other layout 8-bit RGB; a transparency chunk is
// written only for a raster with a transparent colour.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "engine/Raster.h"
#include "engine/codecs/CodecIO.h"
#include "engine/codecs/RowWriter.h"

namespace tovali {

void PngLoad(const std::string& path, TBitmap& picture);
void PngLoadBuffer(const void* data, std::size_t size, TBitmap& picture);
// PngLoad, then the fit the request asks for once the header is read; the
// rows of a plain (not interlaced) 24-bit picture stream into the fit.
void PngLoadFitted(const std::string& path, TBitmap& picture, const TDecodeRequest& request);
void PngLoadFittedBuffer(const void* data, std::size_t size, TBitmap& picture,
                         const TDecodeRequest& request);
// The header as the decode reads it, with the layout the decode chooses;
// only a plain 24-bit decode streams into a fit. Raises ECodecError when the
// header cannot be read.
TPictureHeader PngReadHeader(const std::string& path);

// Gives up between rows once `cancel` is set ("encode stopped").
void PngSave(const TBitmap& picture, TOutputSink& sink, const std::atomic<bool>* cancel = nullptr);

}  // namespace tovali
