#include "engine/Raster.h"

#ifdef _WIN32
#include "exif/WinApi.h"
#else
#include <sys/mman.h>
#endif

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "engine/Canvas.h"
#include "engine/codecs/PaletteUtils.h"
#include "engine/codecs/Stoppable.h"

namespace tovali {

namespace {

bool IsValidLayout(int bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

// Scales the bits of one mask-selected field to 0..255.
std::uint8_t ExtractField(std::uint32_t value, std::uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int width = std::popcount(mask);
    const std::uint32_t field = (value & mask) >> shift;
    if (width >= 8) return std::uint8_t(field >> (width - 8));
    const std::uint32_t maxField = (std::uint32_t(1) << width) - 1;
    return std::uint8_t((field * 255 + maxField / 2) / maxField);
}

std::uint32_t PackField(std::uint8_t channel, std::uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int width = std::popcount(mask);
    std::uint32_t field;
    if (width >= 8) {
        field = std::uint32_t(channel) << (width - 8);
    } else {
        const std::uint32_t maxField = (std::uint32_t(1) << width) - 1;
        field = (std::uint32_t(channel) * maxField + 127) / 255;
    }
    return (field << shift) & mask;
}

// Photo-sized rasters get a mapping of their own, backed by huge pages where
// the system allows: fresh pages are already zero, and a decoder filling a
// 20-megapixel raster takes a few dozen page faults instead of thousands.
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kMapThreshold = 2 * kHugePage;

#ifdef _WIN32

// Windows: committed pages of their own, zero as on Linux; huge pages there
// need a privilege users do not have.
std::uint8_t* MapPixels(std::size_t bytes, std::size_t& mapped) {
    void* bits = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (bits == nullptr) throw std::bad_alloc();
    mapped = bytes;
    return static_cast<std::uint8_t*>(bits);
}

void UnmapPixels(std::uint8_t* bits, std::size_t) {
    VirtualFree(bits, 0, MEM_RELEASE);
}

#else

std::uint8_t* MapPixels(std::size_t bytes, std::size_t& mapped) {
    mapped = (bytes + kHugePage - 1) / kHugePage * kHugePage + kHugePage;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
    // Trim to a huge-page boundary at the start and to the size at the end.
    const auto start = reinterpret_cast<std::uintptr_t>(base);
    const std::size_t head = (kHugePage - start % kHugePage) % kHugePage;
    if (head) munmap(base, head);
    mapped -= kHugePage;
    munmap(reinterpret_cast<void*>(start + head + mapped), kHugePage - head);
    void* bits = reinterpret_cast<void*>(start + head);
    madvise(bits, mapped, MADV_HUGEPAGE);
    return static_cast<std::uint8_t*>(bits);
}

void UnmapPixels(std::uint8_t* bits, std::size_t mapped) {
    munmap(bits, mapped);
}

#endif

}  // namespace

void TBitmap::PixelDeleter::operator()(std::uint8_t* bits) const {
    if (mappedBytes) {
        UnmapPixels(bits, mappedBytes);
    } else {
        std::free(bits);
    }
}

TBitmap::TBitmap() {
    masks_ = DefaultMasks(bpp_);
}

TBitmap::TBitmap(int width, int height, int bitsPerPixel) {
    SetSize(width, height, bitsPerPixel);
}

TBitmap::~TBitmap() = default;

std::size_t TBitmap::StrideFor(int width, int bitsPerPixel) {
    return ((std::size_t(width) * std::size_t(bitsPerPixel) + 31) / 32) * 4;
}

std::array<std::uint32_t, 3> TBitmap::DefaultMasks(int bitsPerPixel) {
    if (bitsPerPixel == 16) return {0x7C00, 0x03E0, 0x001F};
    if (bitsPerPixel == 32) return {0xFF0000, 0x00FF00, 0x0000FF};
    return {0, 0, 0};
}

void TBitmap::SetSize(int width, int height, int bitsPerPixel) {
    if (width < 0 || height < 0) throw ERasterError("negative picture size");
    if (!IsValidLayout(bitsPerPixel)) throw ERasterError("unsupported pixel layout");
    if (std::uint64_t(width) * std::uint64_t(height) > MaxPixels)
        throw ERasterError("picture too large");
    const std::size_t stride = StrideFor(width, bitsPerPixel);
    const std::size_t bytes = stride * std::size_t(height);
    if (bytes >= kMapThreshold) {
        std::size_t mapped = 0;
        std::uint8_t* bits = MapPixels(bytes, mapped);
        bits_ = decltype(bits_)(bits, PixelDeleter{mapped});
    } else {
        void* bits = bytes ? std::calloc(bytes, 1) : nullptr;  // zeroed
        if (bytes && !bits) throw std::bad_alloc();
        bits_ = decltype(bits_)(static_cast<std::uint8_t*>(bits), PixelDeleter{0});
    }
    width_ = width;
    height_ = height;
    stride_ = stride;
    if (bitsPerPixel != bpp_) masks_ = DefaultMasks(bitsPerPixel);
    bpp_ = bitsPerPixel;
    if (bpp_ <= 8) {
        palette_.resize(std::size_t(1) << bpp_, 0);
    } else {
        palette_.clear();
    }
}

void TBitmap::SetPalette(std::vector<TColor> colours) {
    if (bpp_ <= 8 && colours.size() > (std::size_t(1) << bpp_))
        throw ERasterError("palette larger than the pixel layout allows");
    palette_ = std::move(colours);
}

void TBitmap::SetMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    masks_ = {red, green, blue};
}

TColor TBitmap::GetPixel(int x, int y) const {
    const std::uint8_t* row = ScanLine(y);
    switch (bpp_) {
        case 24: {
            const std::uint8_t* p = row + std::size_t(x) * 3;
            return RGBColor(p[2], p[1], p[0]);
        }
        case 32:
        case 16: {
            std::uint32_t v;
            if (bpp_ == 32) {
                std::memcpy(&v, row + std::size_t(x) * 4, 4);
            } else {
                v = std::uint32_t(row[std::size_t(x) * 2]) |
                    (std::uint32_t(row[std::size_t(x) * 2 + 1]) << 8);
            }
            return RGBColor(ExtractField(v, masks_[0]), ExtractField(v, masks_[1]),
                            ExtractField(v, masks_[2]));
        }
        default: {
            const std::size_t i = std::size_t(PaletteIndexAt(row, x, bpp_));
            return i < palette_.size() ? palette_[i] : 0;
        }
    }
}

int TBitmap::NearestPaletteIndex(TColor colour) const {
    int best = 0;
    long bestDistance = std::numeric_limits<long>::max();
    for (std::size_t i = 0; i < palette_.size(); ++i) {
        const long dr = long(GetRValue(colour)) - GetRValue(palette_[i]);
        const long dg = long(GetGValue(colour)) - GetGValue(palette_[i]);
        const long db = long(GetBValue(colour)) - GetBValue(palette_[i]);
        const long d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = int(i);
            if (d == 0) break;
        }
    }
    return best;
}

void TBitmap::SetPixel(int x, int y, TColor colour) {
    std::uint8_t* row = ScanLine(y);
    switch (bpp_) {
        case 24: {
            std::uint8_t* p = row + std::size_t(x) * 3;
            p[0] = GetBValue(colour);
            p[1] = GetGValue(colour);
            p[2] = GetRValue(colour);
            break;
        }
        case 32:
        case 16: {
            const std::uint32_t v = PackField(GetRValue(colour), masks_[0]) |
                                    PackField(GetGValue(colour), masks_[1]) |
                                    PackField(GetBValue(colour), masks_[2]);
            if (bpp_ == 32) {
                std::memcpy(row + std::size_t(x) * 4, &v, 4);
            } else {
                row[std::size_t(x) * 2] = std::uint8_t(v);
                row[std::size_t(x) * 2 + 1] = std::uint8_t(v >> 8);
            }
            break;
        }
        default:
            SetPaletteIndexAt(row, x, bpp_, NearestPaletteIndex(colour));
    }
}

void TBitmap::ConvertTo24(const std::atomic<bool>* cancel) {
    if (bpp_ == 24) return;
    TBitmap out(width_, height_, 24);
    for (int y = 0; y < height_; ++y) {
        if (y % kRowsPerStopLook == kRowsPerStopLook - 1) ThrowIfStopped(cancel, "stopped");
        std::uint8_t* dst = out.ScanLine(y);
        for (int x = 0; x < width_; ++x, dst += 3) {
            const TColor c = GetPixel(x, y);
            dst[0] = GetBValue(c);
            dst[1] = GetGValue(c);
            dst[2] = GetRValue(c);
        }
    }
    out.TransparentColor = TransparentColor;
    Swap(out);
}

void TBitmap::Assign(const TBitmap& other) {
    if (&other == this) return;
    SetSize(other.width_, other.height_, other.bpp_);
    if (other.bits_) std::memcpy(bits_.get(), other.bits_.get(), stride_ * std::size_t(height_));
    palette_ = other.palette_;
    masks_ = other.masks_;
    TransparentColor = other.TransparentColor;
    IccProfile = other.IccProfile;
}

void TBitmap::Swap(TBitmap& other) {
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(bpp_, other.bpp_);
    std::swap(stride_, other.stride_);
    std::swap(bits_, other.bits_);
    std::swap(palette_, other.palette_);
    std::swap(masks_, other.masks_);
    std::swap(TransparentColor, other.TransparentColor);
    std::swap(IccProfile, other.IccProfile);
}

}  // namespace tovali
