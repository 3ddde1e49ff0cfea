#include "engine/Orientation.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "engine/codecs/Stoppable.h"

namespace tovali {

namespace {

// The stored pixel shown at upright position (u, v):
// x = xu * u + xv * v + x0, y = yu * u + yv * v + y0.
struct TSourceMap {
    int xu, xv, x0, yu, yv, y0;
};

TSourceMap MapFor(int orientation, int w, int h) {
    switch (orientation) {
        case 2:
            return {-1, 0, w - 1, 0, 1, 0};
        case 3:
            return {-1, 0, w - 1, 0, -1, h - 1};
        case 4:
            return {1, 0, 0, 0, -1, h - 1};
        case 5:
            return {0, 1, 0, 1, 0, 0};
        case 6:
            return {0, 1, 0, -1, 0, h - 1};
        case 7:
            return {0, -1, w - 1, -1, 0, h - 1};
        default:
            return {0, -1, w - 1, 1, 0, 0};  // 8
    }
}

int IndexAt(const std::uint8_t* row, int x, int bpp) {
    if (bpp == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1;
    return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
}

void SetIndexAt(std::uint8_t* row, int x, int bpp, int index) {
    if (bpp == 1) {
        const auto bit = std::uint8_t(0x80 >> (x & 7));
        row[x >> 3] = std::uint8_t(index ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
    } else {
        const int shift = (x & 1) ? 0 : 4;
        row[x >> 1] = std::uint8_t((row[x >> 1] & ~(0xF << shift)) | (index << shift));
    }
}

// Copies every upright pixel from its stored place, in tiles so that the
// quarter turns read the source with few cache misses; gives up between
// rows of tiles once `cancel` is set.
template <typename CopyPixel>
void Remap(const TBitmap& src, TBitmap& dst, const TSourceMap& m, const std::atomic<bool>* cancel,
           CopyPixel copy) {
    constexpr int kTile = 64;
    for (int tv = 0; tv < dst.Height(); tv += kTile) {
        ThrowIfStopped(cancel, "decode stopped");
        for (int tu = 0; tu < dst.Width(); tu += kTile) {
            const int vEnd = std::min(dst.Height(), tv + kTile);
            const int uEnd = std::min(dst.Width(), tu + kTile);
            for (int v = tv; v < vEnd; ++v) {
                std::uint8_t* out = dst.ScanLine(v);
                for (int u = tu; u < uEnd; ++u) {
                    const int x = m.xu * u + m.xv * v + m.x0;
                    const int y = m.yu * u + m.yv * v + m.y0;
                    copy(out, u, src.ScanLine(y), x);
                }
            }
        }
    }
}

template <int Bytes>
void RemapBytes(const TBitmap& src, TBitmap& dst, const TSourceMap& m,
                const std::atomic<bool>* cancel) {
    Remap(src, dst, m, cancel, [](std::uint8_t* out, int u, const std::uint8_t* in, int x) {
        std::memcpy(out + std::size_t(u) * Bytes, in + std::size_t(x) * Bytes, Bytes);
    });
}

void RemapPixels(const TBitmap& src, TBitmap& dst, const TSourceMap& m,
                 const std::atomic<bool>* cancel) {
    const int bpp = src.BitsPerPixel();
    switch (bpp) {
        case 8:
            RemapBytes<1>(src, dst, m, cancel);
            break;
        case 16:
            RemapBytes<2>(src, dst, m, cancel);
            break;
        case 24:
            RemapBytes<3>(src, dst, m, cancel);
            break;
        case 32:
            RemapBytes<4>(src, dst, m, cancel);
            break;
        default:
            Remap(src, dst, m, cancel,
                  [bpp](std::uint8_t* out, int u, const std::uint8_t* in, int x) {
                      SetIndexAt(out, u, bpp, IndexAt(in, x, bpp));
                  });
    }
}

}  // namespace

void ApplyExifOrientation(TBitmap& bitmap, int orientation, const std::atomic<bool>* cancel) {
    if (orientation < 2 || orientation > 8 || bitmap.Empty()) return;
    const bool turns = orientation >= 5;
    TBitmap upright(turns ? bitmap.Height() : bitmap.Width(),
                    turns ? bitmap.Width() : bitmap.Height(), bitmap.BitsPerPixel());
    upright.SetPalette(bitmap.Palette());
    const auto& masks = bitmap.Masks();
    upright.SetMasks(masks[0], masks[1], masks[2]);
    upright.TransparentColor = bitmap.TransparentColor;
    upright.IccProfile = std::move(bitmap.IccProfile);
    RemapPixels(bitmap, upright, MapFor(orientation, bitmap.Width(), bitmap.Height()), cancel);
    bitmap.Swap(upright);
}

}  // namespace tovali
