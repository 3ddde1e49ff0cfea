// Palette rules the codecs share. On a paletted raster the transparent
// colour stands for one palette entry: the lowest index holding exactly that
// colour. Decoders arrange their palettes so that this names the right entry.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/Raster.h"

namespace tovali {

// Palette index of pixel x in a 1, 4 or 8-bit row.
inline int PaletteIndexAt(const std::uint8_t* row, int x, int bpp) {
    switch (bpp) {
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4:
            return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
        default:
            return row[x];
    }
}

inline void SetPaletteIndexAt(std::uint8_t* row, int x, int bpp, int index) {
    switch (bpp) {
        case 1: {
            const std::uint8_t bit = std::uint8_t(0x80 >> (x & 7));
            row[x >> 3] = std::uint8_t(index ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
            break;
        }
        case 4: {
            const int shift = (x & 1) ? 0 : 4;
            row[x >> 1] = std::uint8_t((row[x >> 1] & ~(0xF << shift)) | ((index & 0xF) << shift));
            break;
        }
        default:
            row[x] = std::uint8_t(index);
    }
}

// Two-bit rows become four-bit rows: the raster has no two-bit layout.
inline void ExpandTwoBitRow(const std::uint8_t* in, std::uint8_t* out, int width) {
    for (int x = 0; x < width; ++x)
        SetPaletteIndexAt(out, x, 4, (in[x >> 2] >> (6 - 2 * (x & 3))) & 3);
}

// The highest palette index any pixel of a paletted raster uses.
int HighestIndexUsed(const TBitmap& bitmap);

// The raster's palette, padded with black so that it covers every index the
// pixels use, and never empty. Writers use it so that no file refers to a
// colour it does not hold.
std::vector<TColor> CoveringPalette(const TBitmap& bitmap);

// The palette entry the transparent colour stands for, or -1.
int TransparentPaletteIndex(const TBitmap& bitmap);

// Flattens the transparent entries of a paletted raster onto white: every
// pixel of a flagged entry moves to one white entry, which becomes the lowest
// white entry of the palette, and the transparent colour is set to white.
// Does nothing when no entry is flagged.
void FlattenTransparentEntries(TBitmap& bitmap, const std::vector<bool>& transparent);

}  // namespace tovali
