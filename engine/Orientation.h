// Upright photos: cameras store many photos sideways with an EXIF
// Orientation tag (0x0112 in IFD0, read by ReadPictureExif); the loader
// turns such a raster upright.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/Raster.h"

namespace tovali {

// Rotates and/or mirrors the raster as EXIF defines the values: 2 mirror,
// 3 half turn, 4 flip, 5 transpose, 6 quarter turn clockwise, 7 transverse,
// 8 quarter turn anticlockwise. Any other value leaves it unchanged. The
// layout, palette, masks, transparent colour and colour profile are kept.
// Gives up part way once `cancel` is set ("decode stopped").
void ApplyExifOrientation(TBitmap& bitmap, int orientation,
                          const std::atomic<bool>* cancel = nullptr);

}  // namespace tovali
