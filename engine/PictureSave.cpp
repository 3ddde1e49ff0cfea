// SavePicture and its naming and JPEG quality rules.
#include <filesystem>
#include <limits>
#include <system_error>

#include "BmpCodec.h"
#include "FileNames.h"
#include "GifCodec.h"
#include "JpegCodec.h"
#include "NewFile.h"
#include "PngCodec.h"
#include "UnitThPicConvert.h"

namespace {

constexpr int kDefaultQuality = 80;
constexpr int kQualityStep = 10;

// The name before numbering: affixed beside the source, or the same name in
// a sub-folder, which is created (one level) when missing.
std::string NewOutputName(const TthPicConvert& engine, const std::string& outputName) {
    const std::string folder = FolderOf(outputName);
    if (engine.Options.DecidesName) return folder + engine.AddNameAffix(FileNameOf(outputName));
    const std::string dir = folder + engine.Options.DirName;
    std::error_code ignored;  // a failure shows when the file is created
    std::filesystem::create_directory(dir, ignored);
    return dir + "/" + FileNameOf(outputName);
}

void EncodeOther(TOutputType type, const TBitmap& bitmap, TOutputSink& sink) {
    switch (type) {
        case otPng:
            return PngSave(bitmap, sink);
        case otBmp:
            return BmpSave(bitmap, sink);
        case otGif:
            return GifSave(bitmap, sink);
        default:
            throw EConvertError("invalid output file type");
    }
}

// Kilobytes to bytes, saturating instead of overflowing.
std::int64_t TargetBytes(std::int64_t kilobytes) {
    using Limits = std::numeric_limits<std::int64_t>;
    if (kilobytes > Limits::max() / 1024) return Limits::max();
    if (kilobytes < Limits::min() / 1024) return Limits::min();
    return kilobytes * 1024;
}

}  // namespace

void TthPicConvert::SavePicture(const std::string& outputName, TBitmap& bitmap) {
    const std::string target = NewOutputName(*this, outputName);
    if (Options.OutputType > otGif) throw EConvertError("invalid output file type");
    TNewFile file(target);
    if (Options.OutputType == otJpeg) {
        TJpegImage jpeg(bitmap);
        CompressJpeg(jpeg);
        file.Sink().Write(jpeg.Data(), jpeg.DataSize());
    } else {
        EncodeOther(Options.OutputType, bitmap, file.Sink());
    }
    const std::string ext = ExtensionOf(outputName);
    const std::string saved = file.Publish([&](std::int64_t n) {
        return n == 0 ? target : BaseOf(target) + "(" + std::to_string(n) + ")" + ext;
    });
    Options.LastSaveDir = FolderOf(saved);
    LastSaveFile = saved;
}

std::string TthPicConvert::AddNameAffix(const std::string& fileName) const {
    if (Options.NameBefore) return Options.NameAffix + fileName;
    return BaseOf(fileName) + Options.NameAffix + ExtensionOf(fileName);
}

void TthPicConvert::CompressJpeg(TJpegImage& jpeg) {
    jpeg.ProgressiveEncoding = Options.UseProgressive;
    if (!Options.UseQuality || Options.QualityByLevel) {
        jpeg.CompressionQuality = Options.UseQuality ? Options.JpegQuality : kDefaultQuality;
        jpeg.Compress();
        return;
    }
    // Highest quality first, so a picture that fits costs one encode; when
    // none fits, the quality-0 encoding stands.
    const std::int64_t limit = TargetBytes(Options.TargetFileSize);
    for (int quality = 100; quality >= 0; quality -= kQualityStep) {
        jpeg.CompressionQuality = quality;
        jpeg.Compress();
        if (GetJpegSize(jpeg) < limit) return;
    }
}

std::int64_t TthPicConvert::GetJpegSize(TJpegImage& jpeg) {
    return std::int64_t(jpeg.DataSize());
}
