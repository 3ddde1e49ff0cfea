// Upright photos: cameras store many photos sideways with an EXIF
// Orientation tag (0x0112 in IFD0); the loader turns such a raster upright.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Raster.h"

class TExifInfo;

// The Orientation value (1..8 when valid) of a JPEG file, read with the
// given reader; 1 when the file has no EXIF block, no such tag, or an EXIF
// block that cannot be read. Raises nothing.
int ReadExifOrientation(TExifInfo& reader, const std::string& fileName);
// The same for an EXIF block held in memory (see TExifInfo::LoadFromExifBlock).
int ReadExifOrientation(TExifInfo& reader, const std::vector<std::uint8_t>& exifBlock);

// Rotates and/or mirrors the raster as EXIF defines the values: 2 mirror,
// 3 half turn, 4 flip, 5 transpose, 6 quarter turn clockwise, 7 transverse,
// 8 quarter turn anticlockwise. Any other value leaves it unchanged. The
// layout, palette, masks, transparent colour and colour profile are kept.
void ApplyExifOrientation(TBitmap& bitmap, int orientation);
