#include "engine/codecs/BmpCodec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "engine/codecs/PaletteUtils.h"
#include "engine/codecs/Stoppable.h"

namespace tovali {

namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
// Beyond about 25000 dpi a resolution field holds garbage, not a resolution.
constexpr std::int64_t kMaxDensity = 1'000'000;

[[noreturn]] void Fail(const std::string& why) {
    throw ECodecError("BMP: " + why);
}

[[noreturn]] void FailOutsidePalette() {
    Fail("a pixel refers to a colour outside the palette");
}

std::uint16_t U16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}
std::uint32_t U32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
std::int32_t S32(const std::uint8_t* p) {
    return std::int32_t(U32(p));
}

void Put16(std::uint8_t*& p, std::uint32_t v) {
    *p++ = std::uint8_t(v);
    *p++ = std::uint8_t(v >> 8);
}
void Put32(std::uint8_t*& p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p, v >> 16);
}

struct BmpInfo {
    std::uint64_t dataOffset = 0;
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // positive; see topDown
    bool topDown = false;
    int bpp = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t imageSize = 0;
    std::uint32_t coloursUsed = 0;
    std::int64_t density[2] = {0, 0};
    std::array<std::uint32_t, 3> masks{};
    std::uint64_t paletteStart = 0;
    bool core = false;  // OS/2 1.x header: 3-byte palette entries
};

// OS/2 2.x headers may stop anywhere from 16 to 64 bytes; 40, 52 and 56 are
// the Windows sizes, 108 and 124 the V4 and V5 headers.
bool IsOs2v2Size(std::uint32_t size) {
    return size >= 16 && size <= 64 && size != 40 && size != 52 && size != 56;
}
bool IsKnownHeaderSize(std::uint32_t size) {
    return size == kCoreHeaderSize || (size >= 16 && size <= 64) || size == 108 || size == 124;
}

bool ValidMasks(const std::array<std::uint32_t, 3>& masks, int bpp) {
    std::uint32_t seen = 0;
    for (const std::uint32_t m : masks) {
        if (m == 0 || (seen & m) != 0) return false;
        const std::uint32_t field = m >> std::countr_zero(m);
        if ((field & (field + 1)) != 0) return false;  // not one run of bits
        if (bpp == 16 && m > 0xFFFF) return false;
        seen |= m;
    }
    return true;
}

void ParseInfoHeader(const std::uint8_t* h, std::uint32_t size, BmpInfo& info) {
    // `h` holds the header from its width field on, zero-filled to 124 bytes.
    info.width = S32(h);
    const std::int64_t height = S32(h + 4);
    info.topDown = height < 0;
    info.height = height < 0 ? -height : height;
    if (U16(h + 8) != 1) Fail("the plane count must be 1");
    info.bpp = U16(h + 10);
    info.compression = U32(h + 12);
    info.imageSize = U32(h + 16);
    info.density[0] = S32(h + 20);
    info.density[1] = S32(h + 24);
    info.coloursUsed = U32(h + 28);
    if (size >= 52) info.masks = {U32(h + 36), U32(h + 40), U32(h + 44)};
    if (IsOs2v2Size(size) && (info.compression == 3 || info.compression == 4))
        Fail("OS/2 Huffman and RLE24 compression are not supported");
}

void ReadHeaders(TInputSource& src, BmpInfo& info) {
    std::uint8_t file[kFileHeaderSize + 4];
    src.ReadExact(file, sizeof file, "BMP");
    if (file[0] != 'B' || file[1] != 'M') Fail("not a Windows bitmap");
    if (U32(file + 2) > src.Size()) Fail("file is shorter than its header says");
    info.dataOffset = U32(file + 10);
    info.headerSize = U32(file + 14);
    if (!IsKnownHeaderSize(info.headerSize)) Fail("unknown header size");
    std::array<std::uint8_t, 124> h{};
    src.ReadExact(h.data(), info.headerSize - 4, "BMP");
    if (info.headerSize == kCoreHeaderSize) {
        info.core = true;
        info.width = U16(h.data());
        info.height = U16(h.data() + 2);
        if (U16(h.data() + 4) != 1) Fail("the plane count must be 1");
        info.bpp = U16(h.data() + 6);
    } else {
        ParseInfoHeader(h.data(), info.headerSize, info);
    }
    info.paletteStart = kFileHeaderSize + info.headerSize;
    const bool bitFields = info.compression == kBitFields || info.compression == kAlphaBitFields;
    if (bitFields && info.headerSize < 52) {
        std::uint8_t m[16];
        const std::size_t count = info.compression == kAlphaBitFields ? 16 : 12;
        src.ReadExact(m, count, "BMP");
        info.masks = {U32(m), U32(m + 4), U32(m + 8)};
        info.paletteStart += count;
    }
}

void ValidateHeaders(const BmpInfo& info, std::uint64_t fileSize) {
    if (info.width <= 0 || info.height <= 0) Fail("bad picture size");
    const int bpp = info.bpp;
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        Fail("unsupported bits per pixel: " + std::to_string(bpp));
    for (const std::int64_t d : info.density)
        if (d > kMaxDensity || d < -kMaxDensity) Fail("implausible resolution field");
    switch (info.compression) {
        case kRgb:
            break;
        case kRle8:
        case kRle4:
            if (bpp != (info.compression == kRle8 ? 8 : 4))
                Fail("RLE does not match the bit count");
            if (info.topDown) Fail("RLE pictures cannot be stored top-down");
            break;
        case kBitFields:
        case kAlphaBitFields:
            if (bpp != 16 && bpp != 32) Fail("bit fields need 16 or 32 bits per pixel");
            if (!ValidMasks(info.masks, bpp)) Fail("bad bit-field masks");
            break;
        default:
            Fail("unsupported compression " + std::to_string(info.compression));
    }
    if (info.dataOffset < info.paletteStart || info.dataOffset >= fileSize)
        Fail("bad pixel data offset");
    if (info.imageSize > fileSize - info.dataOffset) Fail("image size larger than the file");
}

// Palette entries before the pixel data. Writers that leave the count at 0
// may still store fewer entries than the bit count allows.
std::vector<TColor> ReadPalette(TInputSource& src, const BmpInfo& info) {
    if (info.bpp > 8) return {};
    const std::uint64_t entrySize = info.core ? 3 : 4;
    const std::uint64_t room = (info.dataOffset - info.paletteStart) / entrySize;
    const std::uint64_t maxColours = std::uint64_t(1) << info.bpp;
    std::uint64_t count = info.coloursUsed ? info.coloursUsed : maxColours;
    if (info.coloursUsed > maxColours && count > room) Fail("palette larger than the file");
    count = std::min(count, room);
    if (count == 0) Fail("palette is missing");
    src.Seek(info.paletteStart);
    std::vector<std::uint8_t> bytes(std::size_t(std::min(count, maxColours) * entrySize));
    src.ReadExact(bytes.data(), bytes.size(), "BMP");
    std::vector<TColor> palette;
    for (std::size_t i = 0; i < bytes.size(); i += entrySize)
        palette.push_back(RGBColor(bytes[i + 2], bytes[i + 1], bytes[i]));
    return palette;
}

void ReadRows(TInputSource& src, const BmpInfo& info, const std::atomic<bool>* cancel,
              TBitmap& picture) {
    const std::size_t fileStride = TBitmap::StrideFor(int(info.width), info.bpp);
    if (fileStride * std::uint64_t(info.height) > src.Size() - info.dataOffset)
        Fail("file is truncated");
    src.Seek(info.dataOffset);
    std::vector<std::uint8_t> row(info.bpp == 2 ? fileStride : 0);
    for (int i = 0; i < picture.Height(); ++i) {
        if (i % kRowsPerStopLook == kRowsPerStopLook - 1) ThrowIfStopped(cancel, "decode stopped");
        const int y = info.topDown ? i : picture.Height() - 1 - i;
        if (info.bpp == 2) {
            src.ReadExact(row.data(), fileStride, "BMP");
            ExpandTwoBitRow(row.data(), picture.ScanLine(y), picture.Width());
        } else {
            src.ReadExact(picture.ScanLine(y), fileStride, "BMP");
        }
    }
}

// Walks RLE4/RLE8 data. Skipped pixels keep index 0; data that ends early
// leaves the rest of the picture at index 0, as most readers show it. Indexes
// are checked as they are written: the work stays in step with the data, however
// large the picture claims to be.
class RleDecoder {
  public:
    RleDecoder(TBitmap& picture, bool rle4, const std::atomic<bool>* cancel)
        : picture_(picture),
          rle4_(rle4),
          colours_(int(picture.Palette().size())),
          cancel_(cancel) {}

    void Run(const std::vector<std::uint8_t>& d) {
        std::size_t p = 0;
        for (std::size_t codes = 1; p + 2 <= d.size(); ++codes) {
            if (codes % kRleCodesPerStopLook == 0) ThrowIfStopped(cancel_, "decode stopped");
            const int count = d[p], value = d[p + 1];
            p += 2;
            if (count > 0) {
                Put(count,
                    [&](int i) { return rle4_ ? ((i & 1) ? value & 0xF : value >> 4) : value; });
            } else if (value == 0) {
                x_ = 0;
                ++y_;
            } else if (value == 1) {
                return;
            } else if (value == 2) {
                if (p + 2 > d.size()) return;
                x_ += d[p];
                y_ += d[p + 1];
                p += 2;
                if (x_ > picture_.Width() || y_ > picture_.Height())
                    Fail("RLE moves outside the picture");
            } else {
                const std::size_t bytes = rle4_ ? (std::size_t(value) + 1) / 2 : std::size_t(value);
                if (p + bytes > d.size()) return;
                const std::size_t start = p;
                Put(value, [&](int i) {
                    const int b = d[start + std::size_t(rle4_ ? i / 2 : i)];
                    return rle4_ ? ((i & 1) ? b & 0xF : b >> 4) : b;
                });
                p += (bytes + 1) & ~std::size_t(1);  // absolute runs end on a word boundary
            }
        }
    }

  private:
    template <typename IndexOf>
    void Put(int count, IndexOf indexOf) {
        if (y_ >= picture_.Height() || x_ + count > picture_.Width())
            Fail("RLE data runs outside the picture");
        std::uint8_t* row = picture_.ScanLine(picture_.Height() - 1 - y_);
        for (int i = 0; i < count; ++i) {
            const int index = indexOf(i);
            if (index >= colours_) FailOutsidePalette();
            SetPaletteIndexAt(row, x_ + i, picture_.BitsPerPixel(), index);
        }
        x_ += count;
    }

    // Each code writes at most 255 pixels.
    static constexpr std::size_t kRleCodesPerStopLook = 1 << 16;

    TBitmap& picture_;
    bool rle4_;
    int colours_;
    const std::atomic<bool>* cancel_;
    int x_ = 0;
    int y_ = 0;
};

void DecodeRle(TInputSource& src, const BmpInfo& info, const std::atomic<bool>* cancel,
               TBitmap& picture) {
    const std::uint64_t length = info.imageSize ? info.imageSize : src.Size() - info.dataOffset;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(length));
    src.Seek(info.dataOffset);
    data.resize(src.Read(data.data(), data.size()));
    RleDecoder(picture, info.compression == kRle4, cancel).Run(data);
}

void Decode(TInputSource& src, TBitmap& picture, const std::atomic<bool>* cancel) {
    BmpInfo info;
    ReadHeaders(src, info);
    ValidateHeaders(info, src.Size());
    std::vector<TColor> palette = ReadPalette(src, info);
    SetPictureSize(picture, std::uint64_t(info.width), std::uint64_t(info.height),
                   info.bpp == 2 ? 4 : info.bpp, "BMP");
    if (info.bpp <= 8) picture.SetPalette(palette);
    if (info.compression == kBitFields || info.compression == kAlphaBitFields)
        picture.SetMasks(info.masks[0], info.masks[1], info.masks[2]);
    if (info.compression == kRle4 || info.compression == kRle8) {
        DecodeRle(src, info, cancel, picture);
        return;
    }
    ReadRows(src, info, cancel, picture);
    if (info.bpp <= 8 && std::size_t(HighestIndexUsed(picture)) >= palette.size())
        FailOutsidePalette();
}

// RLE data is read whole before it is unpacked.
TPictureHeader Header(TInputSource& src) {
    BmpInfo info;
    ReadHeaders(src, info);
    ValidateHeaders(info, src.Size());
    CheckPictureSize(std::uint64_t(info.width), std::uint64_t(info.height), "BMP");
    const bool rle = info.compression == kRle4 || info.compression == kRle8;
    return {std::uint64_t(info.width), std::uint64_t(info.height), info.bpp == 2 ? 4 : info.bpp,
            false, rle ? src.Size() - info.dataOffset : 0};
}

void Load(TInputSource source, TBitmap& picture, const std::atomic<bool>* cancel = nullptr) {
    TBitmap decoded;
    Decode(source, decoded, cancel);
    picture.Swap(decoded);
}

}  // namespace

void BmpLoad(const std::string& path, TBitmap& picture, const std::atomic<bool>* cancel) {
    Load(TInputSource::OpenFile(path), picture, cancel);
}

void BmpLoadBuffer(const void* data, std::size_t size, TBitmap& picture) {
    Load(TInputSource(data, size), picture);
}

TPictureHeader BmpReadHeader(const std::string& path) {
    TInputSource source = TInputSource::OpenFile(path);
    return Header(source);
}

void BmpSave(const TBitmap& picture, TOutputSink& sink) {
    if (picture.Empty()) throw ECodecError("BMP: cannot write an empty picture");
    const int bpp = picture.BitsPerPixel();
    const std::vector<TColor> palette = bpp <= 8 ? CoveringPalette(picture) : std::vector<TColor>{};
    const bool bitFields =
        (bpp == 16 || bpp == 32) && picture.Masks() != TBitmap::DefaultMasks(bpp);
    const std::uint64_t headers =
        kFileHeaderSize + kInfoHeaderSize + (bitFields ? 12 : 0) + 4 * palette.size();
    const std::uint64_t imageSize =
        std::uint64_t(picture.Stride()) * std::uint64_t(picture.Height());
    if (headers + imageSize > std::numeric_limits<std::uint32_t>::max())
        throw ECodecError("BMP: picture too large for a bitmap file");
    std::vector<std::uint8_t> head(static_cast<std::size_t>(headers));
    std::uint8_t* p = head.data();
    *p++ = 'B';
    *p++ = 'M';
    Put32(p, std::uint32_t(headers + imageSize));
    Put32(p, 0);
    Put32(p, std::uint32_t(headers));
    Put32(p, kInfoHeaderSize);
    Put32(p, std::uint32_t(picture.Width()));
    Put32(p, std::uint32_t(picture.Height()));  // bottom-up
    Put16(p, 1);
    Put16(p, std::uint32_t(bpp));
    Put32(p, bitFields ? kBitFields : kRgb);
    Put32(p, std::uint32_t(imageSize));
    Put32(p, 0);
    Put32(p, 0);
    Put32(p, std::uint32_t(palette.size()));
    Put32(p, 0);
    if (bitFields)
        for (const std::uint32_t m : picture.Masks()) Put32(p, m);
    for (const TColor c : palette)
        Put32(p, (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
    sink.Write(head.data(), head.size());
    for (int y = picture.Height() - 1; y >= 0; --y)
        sink.Write(picture.ScanLine(y), picture.Stride());
}

}  // namespace tovali
