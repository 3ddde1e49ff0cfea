#include "engine/codecs/PaletteUtils.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace tovali {

namespace {

constexpr TColor kWhite = RGBColor(255, 255, 255);

// Rewrites every pixel of a paletted raster through an index map.
void RemapPixels(TBitmap& bitmap, const std::array<std::uint8_t, 256>& map) {
    const int bpp = bitmap.BitsPerPixel();
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        if (bpp == 8) {
            for (int x = 0; x < bitmap.Width(); ++x) row[x] = map[row[x]];
            continue;
        }
        for (int x = 0; x < bitmap.Width(); ++x)
            SetPaletteIndexAt(row, x, bpp, map[std::size_t(PaletteIndexAt(row, x, bpp))]);
    }
}

}  // namespace

int HighestIndexUsed(const TBitmap& bitmap) {
    const int bpp = bitmap.BitsPerPixel();
    int highest = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* row = bitmap.ScanLine(y);
        if (bpp == 8) {
            highest = std::max(highest, int(*std::max_element(row, row + bitmap.Width())));
        } else {
            for (int x = 0; x < bitmap.Width(); ++x)
                highest = std::max(highest, PaletteIndexAt(row, x, bpp));
        }
    }
    return highest;
}

std::vector<TColor> CoveringPalette(const TBitmap& bitmap) {
    std::vector<TColor> palette = bitmap.Palette();
    const std::size_t needed = std::size_t(HighestIndexUsed(bitmap)) + 1;
    if (palette.size() < needed) palette.resize(needed, RGBColor(0, 0, 0));
    return palette;
}

int TransparentPaletteIndex(const TBitmap& bitmap) {
    if (!bitmap.TransparentColor || bitmap.BitsPerPixel() > 8) return -1;
    const auto& palette = bitmap.Palette();
    const auto it = std::find(palette.begin(), palette.end(), *bitmap.TransparentColor);
    return it == palette.end() ? -1 : int(it - palette.begin());
}

void FlattenTransparentEntries(TBitmap& bitmap, const std::vector<bool>& transparent) {
    std::vector<TColor> palette = bitmap.Palette();
    const std::size_t count = std::min(palette.size(), transparent.size());
    int target = -1;
    for (std::size_t i = 0; i < count && target < 0; ++i)
        if (transparent[i]) target = int(i);
    if (target < 0) return;
    // Any opaque white entry in front of the target would be taken for the
    // transparent one, so the target changes places with the first of them.
    int firstWhite = target;
    for (int i = 0; i < target; ++i)
        if (palette[std::size_t(i)] == kWhite) {
            firstWhite = i;
            break;
        }
    std::array<std::uint8_t, 256> map{};
    std::iota(map.begin(), map.end(), 0);
    for (std::size_t i = 0; i < count; ++i)
        if (transparent[i]) map[i] = std::uint8_t(firstWhite);
    if (firstWhite != target) map[std::size_t(firstWhite)] = std::uint8_t(target);
    palette[std::size_t(target)] = kWhite;
    std::array<std::uint8_t, 256> identity{};
    std::iota(identity.begin(), identity.end(), 0);
    if (map != identity) RemapPixels(bitmap, map);
    bitmap.SetPalette(std::move(palette));
    bitmap.TransparentColor = kWhite;
}

}  // namespace tovali
