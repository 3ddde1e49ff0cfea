// The picture every engine step works on: a device-independent raster with
// 1, 4, 8, 16, 24 or 32 bits per pixel, rows padded to 4 bytes as in a
// Windows bitmap, an optional palette and an optional transparent colour.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tovali {

// A 32-bit RGB value: red in the low byte, then green, then blue; top byte 0.
using TColor = std::uint32_t;

constexpr TColor RGBColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}
constexpr std::uint8_t GetRValue(TColor c) {
    return std::uint8_t(c);
}
constexpr std::uint8_t GetGValue(TColor c) {
    return std::uint8_t(c >> 8);
}
constexpr std::uint8_t GetBValue(TColor c) {
    return std::uint8_t(c >> 16);
}

// Raised for impossible raster sizes and layouts.
class ERasterError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TCanvas;

class TBitmap {
  public:
    // No decoder may ask for more than this many pixels; it keeps a lying
    // header from allocating gigabytes.
    static constexpr std::uint64_t MaxPixels = std::uint64_t(1) << 28;

    TBitmap();
    TBitmap(int width, int height, int bitsPerPixel = 24);
    ~TBitmap();
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitsPerPixel() const { return bpp_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    // Reallocates zeroed pixels. Raises ERasterError for a negative size, a
    // layout other than 1/4/8/16/24/32 or more than MaxPixels pixels. A
    // paletted layout keeps the palette (grown to its full size with black);
    // other layouts drop it.
    void SetSize(int width, int height, int bitsPerPixel);

    // Bytes per row, padded to a multiple of 4.
    std::size_t Stride() const { return stride_; }
    static std::size_t StrideFor(int width, int bitsPerPixel);
    std::uint8_t* ScanLine(int y) { return bits_.get() + std::size_t(y) * stride_; }
    const std::uint8_t* ScanLine(int y) const { return bits_.get() + std::size_t(y) * stride_; }
    std::uint8_t* Bits() { return bits_.get(); }
    const std::uint8_t* Bits() const { return bits_.get(); }

    // Palette of a 1/4/8-bit raster: at most 2^bpp colours.
    const std::vector<TColor>& Palette() const { return palette_; }
    void SetPalette(std::vector<TColor> colours);

    // Bit-field masks (red, green, blue) of the 16 and 32-bit layouts.
    // Defaults: 5-5-5 for 16 bits, 8-8-8 for 32 bits.
    const std::array<std::uint32_t, 3>& Masks() const { return masks_; }
    void SetMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue);
    static std::array<std::uint32_t, 3> DefaultMasks(int bitsPerPixel);

    std::optional<TColor> TransparentColor;

    // The colour profile (ICC bytes) the pixels are in, as the decoder found
    // it; empty for sRGB and untagged pictures. Swap and Assign carry it with
    // the pixels, so that the colour conversion can run after the fit.
    std::vector<std::uint8_t> IccProfile;

    // The colour of one pixel in any layout (palette and masks resolved).
    // Out-of-range palette indexes read as black.
    TColor GetPixel(int x, int y) const;
    // Writes one pixel; on a paletted raster the nearest palette colour.
    void SetPixel(int x, int y, TColor colour);
    int NearestPaletteIndex(TColor colour) const;

    // Turns the raster into 24 bits per pixel (blue, green, red), keeping
    // its size and colours. Palette and masks are dropped. Gives up between
    // rows once `cancel` is set (EStopped), leaving the raster as it was.
    void ConvertTo24(const std::atomic<bool>* cancel = nullptr);
    // Copies size, layout, pixels, palette, masks, transparent colour and
    // colour profile.
    void Assign(const TBitmap& other);
    // Exchanges everything but the drawing surfaces.
    void Swap(TBitmap& other);

    // The drawing surface over this raster (see Canvas.h).
    TCanvas& Canvas();

  private:
    int width_ = 0;
    int height_ = 0;
    int bpp_ = 24;
    std::size_t stride_ = 0;
    // Frees pixel memory of either kind (see Raster.cpp).
    struct PixelDeleter {
        std::size_t mappedBytes;  // 0: from calloc
        void operator()(std::uint8_t* bits) const;
    };
    std::unique_ptr<std::uint8_t[], PixelDeleter> bits_;
    std::vector<TColor> palette_;
    std::array<std::uint32_t, 3> masks_{};
    std::unique_ptr<TCanvas> canvas_;
};

}  // namespace tovali
