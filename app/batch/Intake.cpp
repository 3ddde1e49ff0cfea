#include "Intake.h"

#include <gif_lib.h>

#include <QCollator>
#include <QLocale>
#include <QString>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "InputCheck.h"
#include "Raster.h"
#include "WideFileUtils.h"
#include "WidePath.h"

namespace {

constexpr std::size_t kListedErrors = 25;
// Once a GIF is known to hold two images, decoding stops after this many
// pixels in all, so that a hostile file cannot keep intake busy for minutes.
constexpr std::uint64_t kMaxGifPixels = 4 * TBitmap::MaxPixels;

std::string AsciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    }
    return text;
}

struct TGifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using TGifPtr = std::unique_ptr<GifFileType, TGifCloser>;

void Check(int giflibResult) {
    if (giflibResult == GIF_ERROR) throw std::runtime_error("damaged GIF data");
}

void SkipExtension(GifFileType* gif) {
    int code = 0;
    GifByteType* block = nullptr;
    Check(DGifGetExtension(gif, &code, &block));
    while (block != nullptr) Check(DGifGetExtensionNext(gif, &block));
}

// Decodes one image row by row; returns its pixel count.
std::uint64_t DecodeImage(GifFileType* gif) {
    Check(DGifGetImageDesc(gif));
    const GifImageDesc desc = gif->Image;
    // giflib keeps a record of every image read; only the count matters here.
    GifFreeSavedImages(gif);
    gif->ImageCount = 0;
    const std::uint64_t pixels = std::uint64_t(std::max(desc.Width, 0)) * std::max(desc.Height, 0);
    if (pixels == 0 || pixels > TBitmap::MaxPixels) throw std::runtime_error("bad GIF image size");
    std::vector<GifPixelType> row(std::size_t(desc.Width));
    for (int y = 0; y < desc.Height; ++y) Check(DGifGetLine(gif, row.data(), desc.Width));
    return pixels;
}

bool LessByLocale(const QCollator& collator, const std::string& a, const std::string& b) {
    return collator.compare(QString::fromStdString(a), QString::fromStdString(b)) < 0;
}

}  // namespace

std::string FileNamePart(std::string_view path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == kPathDelimiter))
        path.remove_suffix(1);
    const std::size_t slash = LastDelimiter(path);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtensionOf(std::string_view path) {
    const std::string name = FileNamePart(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool IsSupportedExt(std::string_view path) {
    const std::string ext = AsciiUpper(ExtensionOf(path));
    return ext == ".BMP" || ext == ".JPG" || ext == ".JPEG" || ext == ".PNG" || ext == ".GIF" ||
           ext == ".HEIC" || ext == ".HEIF" || ext == ".AVIF" || ext == ".WEBP";
}

int CountGifImages(const std::string& path) {
    // A pipe or device named *.gif could block the read for good.
    const int fd = OpenRegularFile(path);
    if (fd < 0) throw std::runtime_error("not a file");
    int error = 0;
    TGifPtr gif(DGifOpenFileHandle(fd, &error));  // closes fd on failure too
    if (!gif) throw std::runtime_error("not a GIF file");
    int images = 0;
    std::uint64_t pixels = 0;
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    do {
        Check(DGifGetRecordType(gif.get(), &type));
        if (type == EXTENSION_RECORD_TYPE) SkipExtension(gif.get());
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        pixels += DecodeImage(gif.get());
        ++images;
        if (images >= 2 && pixels > kMaxGifPixels) break;
    } while (type != TERMINATE_RECORD_TYPE);
    if (images == 0) throw std::runtime_error("GIF without an image");
    return images;
}

std::vector<std::string> CollectFileErrors(const TPathList& paths, TPathList& fileList) {
    fileList.clear();
    std::vector<std::string> errors;
    for (const std::string& path : paths) {
        const std::string name = FileNamePart(path);
        if (IsSupportedExt(path)) {
            if (AsciiUpper(ExtensionOf(path)) == ".GIF") {
                try {
                    if (CountGifImages(path) > 1) errors.push_back(kAnimatedGifError + name);
                } catch (const std::exception&) {
                    errors.push_back(kGifReadError + name);
                }
            }
            fileList.push_back(path);
        } else {
            std::error_code ec;
            errors.push_back((std::filesystem::is_directory(FileSystemPath(path), ec)
                                  ? kFolderError
                                  : kFormatError) +
                             name);
        }
    }
    return errors;
}

std::string MakeErrorMessage(std::vector<std::string> errors) {
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(errors.begin(), errors.end(), [&](const std::string& a, const std::string& b) {
        return LessByLocale(collator, a, b);
    });
    std::string result;
    std::string previous;
    for (std::size_t k = 0; k < errors.size(); ++k) {
        if (k >= kListedErrors) {
            result += "\r\n他" + std::to_string(errors.size() - kListedErrors) + "件のエラー";
            break;
        }
        const std::size_t comma = errors[k].find(',');
        const std::string text = errors[k].substr(0, comma);
        const std::string name =
            comma == std::string::npos ? std::string() : errors[k].substr(comma + 1);
        if (text != previous) {
            if (!result.empty()) result += "\r\n";
            result += "■" + text + "\r\n";
            previous = text;
        }
        result += "　　" + name + "\r\n";
    }
    return result;
}

bool CheckFiles(const TPathList& paths, const TSettings& settings, TPathList& fileList,
                std::string& message) {
    const std::vector<std::string> errors = CollectFileErrors(paths, fileList);
    message = errors.empty() ? CheckInput(settings) : MakeErrorMessage(errors);
    return message.empty();
}
