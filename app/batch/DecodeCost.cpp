#include "DecodeCost.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <cctype>
#include <csetjmp>
#include <memory>

#include "Intake.h"
#include "WideFileUtils.h"

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

// Opened without waiting and only when it is a regular file, like every
// picture: a pipe named like one must not hang the estimate.
std::unique_ptr<std::FILE, TFileCloser> OpenPicture(const std::string& path) {
    const int fd = OpenRegularFile(path);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "rb");
    if (!file) close(fd);
    return std::unique_ptr<std::FILE, TFileCloser>(file);
}

TDecodeCost JpegCost(std::FILE* file) {
    jpeg_decompress_struct cinfo{};
    TJpegErrors errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JumpOnError;
    errors.pub.output_message = Quiet;
    jpeg_create_decompress(&cinfo);
    TDecodeCost cost;
    if (setjmp(errors.jump) == 0) {
        jpeg_stdio_src(&cinfo, file);
        jpeg_read_header(&cinfo, TRUE);
        cost.RasterBytes = std::uint64_t(cinfo.image_width) * cinfo.image_height * 3;
        cost.PeakBytes = cost.RasterBytes + (cinfo.progressive_mode ? CoefficientBytes(cinfo) : 0);
    }
    jpeg_destroy_decompress(&cinfo);
    return cost;
}

}  // namespace

TDecodeCost EstimateDecodeCost(const std::string& path) {
    std::string ext = ExtensionOf(path);
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    const auto file = OpenPicture(path);
    if (!file) return {};
    if (ext == ".JPG" || ext == ".JPEG") return JpegCost(file.get());
    QFile device;
    if (!device.open(file.get(), QIODevice::ReadOnly)) return {};
    const QSize size = QImageReader(&device).size();
    if (!size.isValid()) return {};
    const std::uint64_t raster = std::uint64_t(size.width()) * std::uint64_t(size.height()) * 3;
    return {raster, raster};
}
