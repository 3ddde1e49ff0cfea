// SavePicture and its naming and JPEG quality rules.
#include <filesystem>
#include <limits>
#include <system_error>

#include "engine/FileNames.h"
#include "engine/NewFile.h"
#include "engine/UnitThPicConvert.h"
#include "engine/codecs/JpegCodec.h"
#include "engine/codecs/PictureFormats.h"
#include "exif/WidePath.h"

namespace tovali {

namespace {

constexpr int kDefaultQuality = 80;
constexpr int kQualityStep = 10;

// An output name in pieces: the part of the source's base name that may be
// shortened, and what stands around it.
struct TOutputName {
    std::string Folder;  // with its final delimiter
    std::string Before;  // the affix when it goes before the name
    std::string Base;    // the source's base name
    std::string After;   // the affix when it goes after the name
    std::string Ext;
};

// The name before numbering: affixed beside the source, or the same name in
// a sub-folder, which is created (one level) when missing.
TOutputName NewOutputName(const TthPicConvert& engine, const std::string& outputName) {
    const TConvertOptions& o = engine.Options;
    const std::string fileName = FileNameOf(outputName);
    TOutputName name{FolderOf(outputName), "", BaseOf(fileName), "", ExtensionOf(fileName)};
    if (o.DecidesName) {
        (o.NameBefore ? name.Before : name.After) = o.NameAffix;
        return name;
    }
    const std::string dir = name.Folder + o.DirName;
    std::error_code ignored;  // a failure shows when the file is created
    std::filesystem::create_directory(FileSystemPath(dir), ignored);
    name.Folder = dir + kPathDelimiter;
    return name;
}

// Candidate n for the file: the name itself, then with "(n)" before the
// extension. A name past the file-name limit gets its base shortened on a
// whole character, so that the affix, the number and the extension stay.
std::string CandidateName(const TOutputName& name, std::int64_t n) {
    const std::string whole = name.Folder + name.Before + name.Base + name.After + name.Ext;
    const std::string number = n == 0 ? "" : "(" + std::to_string(n) + ")";
    const std::string candidate = n == 0 ? whole : BaseOf(whole) + number + name.Ext;
    const std::size_t fixed = NameLength(name.Before + name.After + number + name.Ext);
    if (NameLength(FileNameOf(candidate)) <= kMaxFileName || fixed >= kMaxFileName)
        return candidate;
    return name.Folder + name.Before + PrefixOfLength(name.Base, kMaxFileName - fixed) +
           name.After + number + name.Ext;
}

// Kilobytes to bytes, saturating instead of overflowing.
std::int64_t TargetBytes(std::int64_t kilobytes) {
    using Limits = std::numeric_limits<std::int64_t>;
    if (kilobytes > Limits::max() / 1024) return Limits::max();
    if (kilobytes < Limits::min() / 1024) return Limits::min();
    return kilobytes * 1024;
}

}  // namespace

const TOutputFormat& OutputFormatOf(TOutputType type) {
    const TOutputFormat* format = FindOutputFormat(type);
    if (!format) throw EConvertError("invalid output file type");
    return *format;
}

std::string TthPicConvert::SavePicture(const std::string& outputName, TBitmap& bitmap,
                                       const std::atomic<bool>* cancel) {
    const TOutputName name = NewOutputName(*this, outputName);
    const TOutputFormat& format = OutputFormatOf(Options.OutputType);
    TNewFile file(name.Folder + name.Before + name.Base + name.After + name.Ext, cancel);
    if (format.Save) {
        format.Save(bitmap, file.Sink(), cancel);
    } else if (format.EncodeAtJpegQuality) {
        const std::vector<std::uint8_t> bytes = CompressByJpegQuality(
            [&](int quality) { return format.EncodeAtJpegQuality(bitmap, quality, cancel); });
        file.Sink().Write(bytes.data(), bytes.size());
    } else {
        TJpegImage jpeg(bitmap);
        jpeg.Cancel = cancel;
        CompressJpeg(jpeg);
        file.Sink().Write(jpeg.Data(), jpeg.DataSize());
    }
    return file.Publish([&](std::int64_t n) { return CandidateName(name, n); });
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
        if (std::int64_t(jpeg.DataSize()) < limit) return;
    }
}

std::vector<std::uint8_t> TthPicConvert::CompressByJpegQuality(
    const std::function<std::vector<std::uint8_t>(int)>& encode) const {
    if (!Options.UseQuality || Options.QualityByLevel)
        return encode(Options.UseQuality ? Options.JpegQuality : kDefaultQuality);
    // The highest of the eleven steps whose file is below the limit, by
    // bisection (a file grows with the step): at most four encodes, where
    // trying the steps in turn could take eleven of the slow AVIF ones.
    // When no step fits, the step-0 file stands, as for JPEG.
    const std::int64_t limit = TargetBytes(Options.TargetFileSize);
    int fits = -1;      // highest step known to fit
    int tooLarge = 11;  // lowest step known not to fit
    std::vector<std::uint8_t> kept;
    while (tooLarge - fits > 1) {
        const int step = fits + (tooLarge - fits) / 2;
        std::vector<std::uint8_t> bytes = encode(step * kQualityStep);
        const bool fit = std::int64_t(bytes.size()) < limit;
        (fit ? fits : tooLarge) = step;
        if (fit || step == 0) kept = std::move(bytes);
    }
    return kept;
}

}  // namespace tovali
