#include "DecodeCost.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <array>
#include <csetjmp>
#include <filesystem>
#include <optional>

#include "CodecIO.h"
#include "ExifInfo.h"
#include "FileNames.h"
#include "HeifCodec.h"
#include "Orientation.h"
#include "UnitThPicConvert.h"
#include "WebpCodec.h"
#include "WidePath.h"

namespace {

struct TJpegErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<TJpegErrors*>(cinfo->err)->jump, 1);
}

void Quiet(j_common_ptr) {}

// The header facts the cost rests on.
struct THeader {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t decoderBytes = 0;  // held by the decoder beside the rows
    bool streams = false;            // rows can go straight into a fit
};

// Bytes of the coefficients a progressive decode keeps: two per sample of
// every component, in whole 8 x 8 blocks.
std::uint64_t CoefficientBlocks(const jpeg_decompress_struct& cinfo) {
    std::uint64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        const std::uint64_t w = (std::uint64_t(cinfo.image_width) * comp.h_samp_factor +
                                 8 * cinfo.max_h_samp_factor - 1) /
                                (8 * cinfo.max_h_samp_factor);
        const std::uint64_t h = (std::uint64_t(cinfo.image_height) * comp.v_samp_factor +
                                 8 * cinfo.max_v_samp_factor - 1) /
                                (8 * cinfo.max_v_samp_factor);
        blocks += w * h;
    }
    return blocks;
}

// Packed, a block takes an 8-byte mask and two bytes a nonzero coefficient.
// A nonzero coefficient costs about four bits or more of the file in real
// photos, so four bytes of packed values a byte of file covers them (the
// store is never far past the library's own arrays, whatever the file).
std::uint64_t HeldCoefficientBytes(const jpeg_decompress_struct& cinfo, bool packed,
                                   std::uint64_t fileBytes) {
    const std::uint64_t blocks = CoefficientBlocks(cinfo);
    const std::uint64_t plain = blocks * 64 * sizeof(JCOEF);
    return packed ? std::min(plain + blocks * 8, blocks * 8 + 4 * fileBytes) : plain;
}

std::optional<THeader> JpegHeader(TInputSource& source, bool packed, std::uint64_t fileBytes) {
    jpeg_decompress_struct cinfo{};
    TJpegErrors errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JumpOnError;
    errors.pub.output_message = Quiet;
    jpeg_create_decompress(&cinfo);
    std::optional<THeader> header;
    if (setjmp(errors.jump) == 0) {
        jpeg_stdio_src(&cinfo, source.File());
        jpeg_read_header(&cinfo, TRUE);
        header = THeader{
            cinfo.image_width, cinfo.image_height,
            cinfo.progressive_mode ? HeldCoefficientBytes(cinfo, packed, fileBytes) : 0, true};
    }
    jpeg_destroy_decompress(&cinfo);
    return header;
}

std::uint32_t Big32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
std::uint32_t Little32(const std::uint8_t* p) {
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}
std::uint32_t Little16(const std::uint8_t* p) {
    return std::uint32_t(p[1]) << 8 | p[0];
}

// The size fields of the PNG, BMP and GIF headers; a plain (not
// interlaced) PNG that is not paletted streams.
std::optional<THeader> OtherHeader(TInputSource& source, const std::string& ext) {
    std::array<std::uint8_t, 30> h{};
    if (source.Read(h.data(), h.size()) < 26) return std::nullopt;
    if (ext == ".PNG") {
        const bool streams = h[25] != 3 && h[28] == 0;
        return THeader{Big32(&h[16]), Big32(&h[20]), 0, streams};
    }
    if (ext == ".GIF") return THeader{Little16(&h[6]), Little16(&h[8]), 0, false};
    if (Little32(&h[14]) == 12) return THeader{Little16(&h[18]), Little16(&h[20]), 0, false};
    const auto height = std::int32_t(Little32(&h[22]));
    return THeader{std::uint64_t(std::int32_t(Little32(&h[18])) < 0 ? 0 : Little32(&h[18])),
                   std::uint64_t(height < 0 ? -std::int64_t(height) : height), 0, false};
}

// libheif holds the decoded planes (at most two bytes a sample, alpha
// included) and its interleaved 8-bit copy beside the raster.
std::optional<THeader> HeifHeader(const std::string& path) {
    std::uint64_t width = 0, height = 0;
    if (!HeifReadSize(path, width, height)) return std::nullopt;
    return THeader{width, height, width * height * (8 + 4), false};
}

// The whole file is held while it decodes, and a picture with alpha
// decodes into an RGBA buffer first.
std::optional<THeader> WebpHeader(const std::string& path) {
    std::uint64_t width = 0, height = 0;
    bool alpha = false;
    if (!WebpReadSize(path, width, height, alpha)) return std::nullopt;
    std::error_code ec;
    const std::uint64_t file = std::filesystem::file_size(FileSystemPath(path), ec);
    return THeader{width, height, (ec ? 0 : file) + (alpha ? width * height * 4 : 0), false};
}

std::optional<THeader> ReadHeader(const std::string& path, const std::string& ext,
                                  bool packedCoefficients) {
    if (ext == ".HEIC" || ext == ".HEIF" || ext == ".AVIF") return HeifHeader(path);
    if (ext == ".WEBP") return WebpHeader(path);
    try {
        TInputSource source = TInputSource::OpenFile(path);
        if (ext == ".JPG" || ext == ".JPEG") {
            std::error_code ec;
            const std::uint64_t fileBytes = std::filesystem::file_size(FileSystemPath(path), ec);
            return JpegHeader(source, packedCoefficients, ec ? 0 : fileBytes);
        }
        return OtherHeader(source, ext);
    } catch (const ECodecError&) {
        return std::nullopt;
    }
}

}  // namespace

TDecodeCost EstimateDecodeCost(const std::string& path, const TthPicConvert* fitter) {
    const std::string ext = UpperAscii(ExtensionOf(path));
    std::optional<THeader> h = ReadHeader(path, ext, fitter && fitter->CompactCoefficients);
    if (!h || h->width == 0 || h->height == 0 || h->width > TBitmap::MaxPixels ||
        h->height > TBitmap::MaxPixels || h->width * h->height > TBitmap::MaxPixels)
        return {};
    const std::uint64_t raster = h->width * h->height * 3;
    std::optional<TSize> fitted;
    if (fitter) fitted = fitter->FittedSize(int(h->width), int(h->height));
    const std::uint64_t fit =
        fitted ? std::uint64_t(fitted->cx) * std::uint64_t(fitted->cy) * 3 : 0;
    if (h->streams && fitted && (ext == ".PNG" || [&] {
            TExifInfo reader;
            const int orientation = ReadExifOrientation(reader, path);
            return orientation < 2 || orientation > 8;
        }()))
        return {raster, h->decoderBytes + fit, fit};
    return {raster, raster + h->decoderBytes + fit, fitted ? fit : raster};
}
