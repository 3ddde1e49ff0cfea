#include "DecodeCost.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <QImageReader>
#include <QString>
#include <cctype>
#include <csetjmp>
#include <filesystem>
#include <memory>

#include "HeifCodec.h"
#include "Intake.h"
#include "WebpCodec.h"

namespace {

struct TJpegErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<TJpegErrors*>(cinfo->err)->jump, 1);
}

void Quiet(j_common_ptr) {}

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Bytes of the coefficients a progressive decode keeps: two per sample of
// every component, in whole 8 x 8 blocks.
std::uint64_t CoefficientBytes(const jpeg_decompress_struct& cinfo) {
    std::uint64_t bytes = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        const std::uint64_t w = (std::uint64_t(cinfo.image_width) * comp.h_samp_factor +
                                 8 * cinfo.max_h_samp_factor - 1) /
                                (8 * cinfo.max_h_samp_factor);
        const std::uint64_t h = (std::uint64_t(cinfo.image_height) * comp.v_samp_factor +
                                 8 * cinfo.max_v_samp_factor - 1) /
                                (8 * cinfo.max_v_samp_factor);
        bytes += w * h * 64 * sizeof(JCOEF);
    }
    return bytes;
}

TDecodeCost JpegCost(const std::string& path) {
    std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return {};
    jpeg_decompress_struct cinfo{};
    TJpegErrors errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JumpOnError;
    errors.pub.output_message = Quiet;
    jpeg_create_decompress(&cinfo);
    TDecodeCost cost;
    if (setjmp(errors.jump) == 0) {
        jpeg_stdio_src(&cinfo, file.get());
        jpeg_read_header(&cinfo, TRUE);
        cost.RasterBytes = std::uint64_t(cinfo.image_width) * cinfo.image_height * 3;
        cost.PeakBytes = cost.RasterBytes + (cinfo.progressive_mode ? CoefficientBytes(cinfo) : 0);
    }
    jpeg_destroy_decompress(&cinfo);
    return cost;
}

// libheif holds the decoded planes (at most two bytes a sample, alpha
// included) and its interleaved 8-bit copy besides the raster.
TDecodeCost HeifCost(const std::string& path) {
    std::uint64_t width = 0, height = 0;
    if (!HeifReadSize(path, width, height)) return {};
    const std::uint64_t pixels = width * height;
    return {pixels * 3, pixels * 3 + pixels * 8 + pixels * 4};
}

// The whole file is held while it decodes, and a picture with alpha
// decodes into an RGBA buffer first.
TDecodeCost WebpCost(const std::string& path) {
    std::uint64_t width = 0, height = 0;
    bool alpha = false;
    if (!WebpReadSize(path, width, height, alpha)) return {};
    std::error_code ec;
    const std::uint64_t file = std::filesystem::file_size(path, ec);
    const std::uint64_t raster = width * height * 3;
    return {raster, raster + (ec ? 0 : file) + (alpha ? width * height * 4 : 0)};
}

}  // namespace

TDecodeCost EstimateDecodeCost(const std::string& path) {
    std::string ext = ExtensionOf(path);
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".JPG" || ext == ".JPEG") return JpegCost(path);
    if (ext == ".HEIC" || ext == ".HEIF" || ext == ".AVIF") return HeifCost(path);
    if (ext == ".WEBP") return WebpCost(path);
    const QSize size = QImageReader(QString::fromStdString(path)).size();
    if (!size.isValid()) return {};
    const std::uint64_t raster = std::uint64_t(size.width()) * std::uint64_t(size.height()) * 3;
    return {raster, raster};
}
