#include "engine/codecs/PngCodec.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>
#include "engine/codecs/ErrorJump.h"

#include "engine/ColourProfile.h"
#include "engine/codecs/PaletteUtils.h"
#include "engine/codecs/Stoppable.h"

namespace tovali {

namespace {

constexpr int kCompressionLevel = 7;
// Each image data chunk holds one full compression buffer.
constexpr std::size_t kDataChunkSize = 65535;

// Ancillary chunks we never use: dropped unread, so that no compressed text
// is ever inflated.
constexpr png_byte kIgnoredChunks[] = "iTXt\0tEXt\0zTXt\0sPLT\0eXIf\0";
// Chunks are read whole into memory; a profile needs the most, and a
// larger one is skipped with a warning rather than failing the picture.
constexpr png_alloc_size_t kMaxChunkBytes = kMaxProfileBytes + 4096;

struct ErrorText {
    char message[256] = "";
};

[[noreturn]] void OnError(png_structp png, png_const_charp text) {
    auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
    std::snprintf(error->message, sizeof error->message, "%s", text);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep data, std::size_t length) {
    auto* source = static_cast<TInputSource*>(png_get_io_ptr(png));
    if (source->Read(data, length) != length) png_error(png, "file is truncated");
}

void WriteData(png_structp png, png_bytep data, std::size_t length) {
    char failure[256] = "";
    try {
        static_cast<TOutputSink*>(png_get_io_ptr(png))->Write(data, length);
    } catch (const std::exception& e) {
        std::snprintf(failure, sizeof failure, "%s", e.what());
    }
    if (failure[0]) png_error(png, failure);
}

void FlushData(png_structp) {}

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ErrorText error;
    Reader() = default;
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    ~Reader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct Writer {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ErrorText error;
    Writer() = default;
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    ~Writer() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

// What the header says, gathered in one place for the layout rules.
struct PngHeader {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colourType = 0;
    std::vector<TColor> palette;
    std::vector<png_byte> alpha;        // palette transparency
    const png_color_16* key = nullptr;  // grey or colour transparency
};

enum class Conversion { Direct, TwoBit, Composite };

struct PngLayout {
    int bpp;
    Conversion conversion;
};

bool HasPartialAlpha(const PngHeader& h) {
    if (h.colourType & PNG_COLOR_MASK_ALPHA) return true;
    for (const png_byte a : h.alpha)
        if (a != 0 && a != 255) return true;
    return false;
}

PngLayout ChooseLayout(const PngHeader& h) {
    if (HasPartialAlpha(h)) return {24, Conversion::Composite};
    switch (h.depth) {
        case 1:
            return {1, Conversion::Direct};
        case 2:
            return {4, Conversion::TwoBit};
        case 4:
            return {4, Conversion::Direct};
        case 8:
            return {h.colourType == PNG_COLOR_TYPE_PALETTE ? 8 : 24, Conversion::Direct};
        default:
            return {24, Conversion::Direct};
    }
}

// The 16-to-8-bit scaling of png_set_scale_16, for the transparent colour.
int Scale16(int value) {
    const int high = value >> 8, low = value & 0xFF;
    return (high + (((low - high + 128) * 65535) >> 24)) & 0xFF;
}

std::vector<TColor> GreyLevels(int depth) {
    const int levels = 1 << depth;
    std::vector<TColor> palette;
    for (int i = 0; i < levels; ++i) {
        const int v = i * 255 / (levels - 1);
        palette.push_back(RGBColor(v, v, v));
    }
    return palette;
}

void SetPaletteAndTransparency(const PngHeader& h, const PngLayout& layout, TBitmap& picture) {
    const bool grey = !(h.colourType & PNG_COLOR_MASK_COLOR);
    if (layout.bpp <= 8) {
        picture.SetPalette(grey ? GreyLevels(h.depth) : h.palette);
        if (!grey) {
            std::vector<bool> transparent(h.alpha.size());
            for (std::size_t i = 0; i < h.alpha.size(); ++i) transparent[i] = h.alpha[i] == 0;
            FlattenTransparentEntries(picture, transparent);
        }
    }
    if (!h.key || layout.conversion == Conversion::Composite) return;
    if (grey) {
        const int g = h.key->gray;
        if (h.depth <= 8 && g < (1 << h.depth)) {
            picture.TransparentColor =
                h.depth == 8 ? RGBColor(g, g, g) : picture.Palette()[std::size_t(g)];
        } else if (h.depth == 16) {
            picture.TransparentColor = RGBColor(Scale16(g), Scale16(g), Scale16(g));
        }
    } else if (h.colourType == PNG_COLOR_TYPE_RGB) {
        const png_color_16& k = *h.key;
        picture.TransparentColor = h.depth == 16
                                       ? RGBColor(Scale16(k.red), Scale16(k.green), Scale16(k.blue))
                                       : RGBColor(k.red, k.green, k.blue);
    }
}

// Alpha over white, rounded.
void CompositeRow(const std::uint8_t* rgba, std::uint8_t* bgr, int width) {
    for (int x = 0; x < width; ++x, rgba += 4, bgr += 3) {
        const int a = rgba[3], white = 255 * (255 - a);
        bgr[0] = std::uint8_t((rgba[2] * a + white + 127) / 255);
        bgr[1] = std::uint8_t((rgba[1] * a + white + 127) / 255);
        bgr[2] = std::uint8_t((rgba[0] * a + white + 127) / 255);
    }
}

void ConvertRow(Conversion conversion, const std::uint8_t* in, std::uint8_t* out, int width) {
    if (conversion == Conversion::TwoBit) {
        ExpandTwoBitRow(in, out, width);
    } else {
        CompositeRow(in, out, width);
    }
}

// The embedded profile, which the colour step turns into sRGB; none when
// the file says it is sRGB. The library has already dropped a profile
// whose header does not suit the colour type.
std::vector<std::uint8_t> ReadIccProfile(png_structp png, png_infop info) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep data = nullptr;
    png_uint_32 size = 0;
    if (png_get_valid(png, info, PNG_INFO_sRGB) ||
        !png_get_iCCP(png, info, &name, &compression, &data, &size) || size > kMaxProfileBytes)
        return {};
    return std::vector<std::uint8_t>(data, data + size);
}

// Reads the header chunks and what the layout rules need from them.
PngHeader ReadHeader(Reader& r) {
    PngHeader h;
    png_read_info(r.png, r.info);
    h.width = png_get_image_width(r.png, r.info);
    h.height = png_get_image_height(r.png, r.info);
    h.depth = png_get_bit_depth(r.png, r.info);
    h.colourType = png_get_color_type(r.png, r.info);
    png_colorp plte = nullptr;
    int plteCount = 0;
    if (png_get_PLTE(r.png, r.info, &plte, &plteCount)) {
        plteCount = std::min(plteCount, 1 << std::min(h.depth, 8));
        for (int i = 0; i < plteCount; ++i)
            h.palette.push_back(RGBColor(plte[i].red, plte[i].green, plte[i].blue));
    }
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    png_color_16p key = nullptr;
    if (png_get_tRNS(r.png, r.info, &alpha, &alphaCount, &key)) {
        if (h.colourType == PNG_COLOR_TYPE_PALETTE) {
            h.alpha.assign(alpha, alpha + std::min(alphaCount, plteCount));
        } else {
            h.key = key;
        }
    }
    return h;
}

// Sets the reader up for a source, as every read does.
void StartReading(Reader& r, TInputSource& source) {
    png_set_read_fn(r.png, &source, ReadData);
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, 5);
    png_set_chunk_malloc_max(r.png, kMaxChunkBytes);
}

// How a picture is decoded, chosen from its header: the layout, the passes,
// and whether the rows can stream into a fit.
struct PngPlan {
    PngHeader header;
    PngLayout layout;
    int passes = 1;
    // Interlaced rows arrive in several passes, and paletted ones owe their
    // final palette to the whole picture: both are decoded at full size.
    bool streams = false;
};

// Reads the header and sets the transformations of the plan.
PngPlan MakePlan(Reader& r) {
    PngPlan plan{ReadHeader(r), {}, 1, false};
    const PngHeader& h = plan.header;
    plan.layout = ChooseLayout(h);
    CheckPictureSize(h.width, h.height, "PNG");
    if (plan.layout.conversion == Conversion::Composite) {
        png_set_expand(r.png);
        png_set_gray_to_rgb(r.png);
        png_set_scale_16(r.png);
    } else if (plan.layout.bpp == 24) {
        png_set_gray_to_rgb(r.png);
        png_set_scale_16(r.png);
        png_set_bgr(r.png);
    }
    plan.passes = png_set_interlace_handling(r.png);
    plan.streams = plan.passes == 1 && plan.layout.bpp == 24;
    return plan;
}

// Bytes of a converted row (8-bit RGBA or a 2-bit row read as is).
std::size_t ConvertedRowBytes(const PngPlan& plan) {
    const std::size_t width = plan.header.width;
    if (plan.layout.conversion == Conversion::Composite) return width * 4;
    return (width * 2 + 7) / 8;
}

// The buffer of converted rows (all of them when interlaced), and the
// library's two rows of the file's own layout (up to 8 bytes a pixel) and
// the inflate window.
std::uint64_t DecoderBytes(const PngPlan& plan) {
    constexpr std::uint64_t kInflateState = 48 * 1024;
    std::uint64_t bytes = 2 * (std::uint64_t(plan.header.width) * 8 + 1) + kInflateState;
    if (plan.layout.conversion != Conversion::Direct)
        bytes += ConvertedRowBytes(plan) * (plan.passes > 1 ? plan.header.height : 1);
    return bytes;
}

TPictureHeader Header(TInputSource& source) {
    Reader r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.error, OnError, OnWarning);
    if (r.png) r.info = png_create_info_struct(r.png);
    if (!r.info) throw ECodecError("PNG: out of memory");
    if (TOVALI_SETJMP(png_jmpbuf(r.png))) throw ECodecError(std::string("PNG: ") + r.error.message);
    StartReading(r, source);
    const PngPlan plan = MakePlan(r);
    return {plan.header.width, plan.header.height, plan.layout.bpp, plan.streams,
            DecoderBytes(plan)};
}

void Decode(TInputSource& source, TBitmap& picture, const TDecodeRequest& request) {
    Reader r;
    // Everything that owns memory lives outside the library's jumps: a jump
    // back to the setjmp skips the destructors of what is made after it.
    PngPlan plan;
    std::vector<std::uint8_t> buffer;
    std::unique_ptr<TRowWriter> rows;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.error, OnError, OnWarning);
    if (r.png) r.info = png_create_info_struct(r.png);
    if (!r.info) throw ECodecError("PNG: out of memory");
    if (TOVALI_SETJMP(png_jmpbuf(r.png))) throw ECodecError(std::string("PNG: ") + r.error.message);
    StartReading(r, source);
    plan = MakePlan(r);
    const PngHeader& h = plan.header;
    const PngLayout& layout = plan.layout;
    const int passes = plan.passes;
    const auto fit =
        plan.streams && request.Fit ? request.Fit(int(h.width), int(h.height)) : std::nullopt;
    rows = std::make_unique<TRowWriter>(picture, int(h.width), int(h.height), layout.bpp, fit,
                                        request.Cancel);
    picture.IccProfile = ReadIccProfile(r.png, r.info);
    png_read_update_info(r.png, r.info);
    const std::size_t rowBytes = png_get_rowbytes(r.png, r.info);
    const bool direct = layout.conversion == Conversion::Direct;
    // Interlaced files fill each row over several passes, so a converted
    // picture needs all its rows at once; otherwise one row is enough.
    if (!direct) buffer.resize(passes > 1 ? rowBytes * h.height : rowBytes);
    const int height = int(h.height);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = direct
                                    ? rows->Row(y)
                                    : buffer.data() + (passes > 1 ? rowBytes * std::size_t(y) : 0);
            png_read_row(r.png, row, nullptr);
            if (pass < passes - 1) {
                // An interlaced file's early passes hand over no finished row.
                if (y % kRowsPerStopLook == kRowsPerStopLook - 1)
                    ThrowIfStopped(request.Cancel, "decode stopped");
                continue;
            }
            if (!direct) ConvertRow(layout.conversion, row, rows->Row(y), int(h.width));
            rows->Done(y);
        }
    }
    png_read_end(r.png, nullptr);
    if (rows->Fitted()) {
        rows->Finish();  // the fit keeps no transparent colour
        return;
    }
    SetPaletteAndTransparency(h, layout, picture);
}

void Load(TInputSource source, TBitmap& picture, const TDecodeRequest& request = {}) {
    TBitmap decoded;
    Decode(source, decoded, request);
    picture.Swap(decoded);
}

// One row of a 16 or 32-bit raster as red, green, blue bytes.
void RgbRow(const TBitmap& picture, int y, std::vector<std::uint8_t>& row) {
    for (int x = 0; x < picture.Width(); ++x) {
        const TColor c = picture.GetPixel(x, y);
        row[std::size_t(x) * 3] = GetRValue(c);
        row[std::size_t(x) * 3 + 1] = GetGValue(c);
        row[std::size_t(x) * 3 + 2] = GetBValue(c);
    }
}

}  // namespace

void PngLoad(const std::string& path, TBitmap& picture) {
    Load(TInputSource::OpenFile(path), picture);
}

void PngLoadBuffer(const void* data, std::size_t size, TBitmap& picture) {
    Load(TInputSource(data, size), picture);
}

void PngLoadFitted(const std::string& path, TBitmap& picture, const TDecodeRequest& request) {
    Load(TInputSource::OpenFile(path), picture, request);
}

void PngLoadFittedBuffer(const void* data, std::size_t size, TBitmap& picture,
                         const TDecodeRequest& request) {
    Load(TInputSource(data, size), picture, request);
}

TPictureHeader PngReadHeader(const std::string& path) {
    TInputSource source = TInputSource::OpenFile(path);
    return Header(source);
}

void PngSave(const TBitmap& picture, TOutputSink& sink, const std::atomic<bool>* cancel) {
    if (picture.Empty()) throw ECodecError("PNG: cannot write an empty picture");
    const int bpp = picture.BitsPerPixel();
    const bool paletted = bpp <= 8;
    std::vector<png_color> plte;
    std::vector<png_byte> alpha;
    std::vector<std::uint8_t> row;
    if (paletted) {
        for (const TColor c : CoveringPalette(picture))
            plte.push_back({GetRValue(c), GetGValue(c), GetBValue(c)});
        const int t = TransparentPaletteIndex(picture);
        if (t >= 0) {
            alpha.assign(std::size_t(t) + 1, 255);
            alpha[std::size_t(t)] = 0;
        }
    } else if (bpp != 24) {
        row.resize(std::size_t(picture.Width()) * 3);
    }
    Writer w;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w.error, OnError, OnWarning);
    if (w.png) w.info = png_create_info_struct(w.png);
    if (!w.info) throw ECodecError("PNG: out of memory");
    if (TOVALI_SETJMP(png_jmpbuf(w.png))) throw ECodecError(std::string("PNG: ") + w.error.message);
    png_set_write_fn(w.png, &sink, WriteData, FlushData);
    png_set_compression_level(w.png, kCompressionLevel);
    png_set_filter(w.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_buffer_size(w.png, kDataChunkSize);
    png_set_IHDR(w.png, w.info, png_uint_32(picture.Width()), png_uint_32(picture.Height()),
                 paletted ? bpp : 8, paletted ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (paletted) {
        png_set_PLTE(w.png, w.info, plte.data(), int(plte.size()));
        if (!alpha.empty()) png_set_tRNS(w.png, w.info, alpha.data(), int(alpha.size()), nullptr);
    } else if (picture.TransparentColor) {
        const TColor c = *picture.TransparentColor;
        png_color_16 key{0, GetRValue(c), GetGValue(c), GetBValue(c), 0};
        png_set_tRNS(w.png, w.info, nullptr, 0, &key);
    }
    png_write_info(w.png, w.info);
    if (bpp == 24) png_set_bgr(w.png);
    for (int y = 0; y < picture.Height(); ++y) {
        // zlib writes a flat picture's rows out only every few hundred.
        if (y % kRowsPerStopLook == kRowsPerStopLook - 1) ThrowIfStopped(cancel, "encode stopped");
        if (!row.empty()) RgbRow(picture, y, row);
        png_write_row(w.png, row.empty() ? picture.ScanLine(y) : row.data());
    }
    png_write_end(w.png, nullptr);
}

}  // namespace tovali
