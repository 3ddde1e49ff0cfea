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
#include "WidePath.h"

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
    const TOutputName name = NewOutputName(*this, outputName);
    if (Options.OutputType > otGif) throw EConvertError("invalid output file type");
    TNewFile file(name.Folder + name.Before + name.Base + name.After + name.Ext);
    if (Options.OutputType == otJpeg) {
        TJpegImage jpeg(bitmap);
        CompressJpeg(jpeg);
        file.Sink().Write(jpeg.Data(), jpeg.DataSize());
    } else {
        EncodeOther(Options.OutputType, bitmap, file.Sink());
    }
    const std::string saved = file.Publish([&](std::int64_t n) { return CandidateName(name, n); });
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
