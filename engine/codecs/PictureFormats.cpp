#include "engine/codecs/PictureFormats.h"

#include <algorithm>
#include <vector>

#include "engine/FileNames.h"
#include "engine/codecs/BmpCodec.h"
#include "engine/codecs/GifCodec.h"
#include "engine/codecs/HeifCodec.h"
#include "engine/codecs/JpegCodec.h"
#include "engine/codecs/PngCodec.h"
#include "engine/codecs/WebpCodec.h"
#include "exif/ExifInfo.h"

namespace tovali {

namespace {

// A JPEG's EXIF is its APP1 segment, which the reader finds and reads in the
// file itself.
TExifLoad ReadJpegExif(TExifInfo& reader, const std::string& path) {
    if (!reader.HasExif(path)) return TExifLoad::None;
    try {
        reader.SetImageFileName(path);
        return TExifLoad::Loaded;
    } catch (...) {
        return TExifLoad::Damaged;
    }
}

// HEIF, AVIF and WebP files keep their EXIF block in a box or chunk of
// their own; the codec hands over its bytes.
template <std::vector<std::uint8_t> (*ReadBlock)(const std::string&)>
TExifLoad ReadExifBlock(TExifInfo& reader, const std::string& path) {
    const std::vector<std::uint8_t> block = ReadBlock(path);
    if (block.empty()) return TExifLoad::None;
    try {
        reader.LoadFromExifBlock(block.data(), block.size());
        return TExifLoad::Loaded;
    } catch (...) {
        return TExifLoad::Damaged;
    }
}

// The codecs' own calls, in the table's shapes.
template <TPictureHeader (*Read)(const std::string&)>
TPictureHeader HeaderOnly(const std::string& path, bool) {
    return Read(path);
}

template <void (*Decode)(const std::string&, TBitmap&, const std::atomic<bool>*)>
void LoadFull(const std::string& path, TBitmap& picture, const TDecodeRequest& request) {
    Decode(path, picture, request.Cancel);
}

// BMP and GIF write every few rows, and the file's sink looks for the stop.
template <void (*Save)(const TBitmap&, TOutputSink&)>
void SaveUnwatched(const TBitmap& picture, TOutputSink& sink, const std::atomic<bool>*) {
    Save(picture, sink);
}

const std::vector<TPictureFormat> kFormats = {
    {"JPEG", {".JPG", ".JPEG"}, JpegReadHeader, JpegLoadFitted, ReadJpegExif, true, true, nullptr},
    {"PNG", {".PNG"}, HeaderOnly<PngReadHeader>, PngLoadFitted, nullptr, false, false, nullptr},
    {"GIF",
     {".GIF"},
     HeaderOnly<GifReadHeader>,
     LoadFull<GifLoad>,
     nullptr,
     false,
     false,
     GifImageCount},
    {"BMP", {".BMP"}, HeaderOnly<BmpReadHeader>, LoadFull<BmpLoad>, nullptr, false, false, nullptr},
    {"HEIF",
     {".HEIC", ".HEIF", ".AVIF"},
     HeaderOnly<HeifReadHeader>,
     LoadFull<HeifLoad>,
     ReadExifBlock<HeifReadExif>,
     false,
     false,
     nullptr},
    {"WebP",
     {".WEBP"},
     HeaderOnly<WebpReadHeader>,
     LoadFull<WebpLoad>,
     ReadExifBlock<WebpReadExif>,
     true,
     false,
     nullptr},
};

// Indexed by the output type's number.
const std::vector<TOutputFormat> kOutputFormats = {
    {"JPEG", ".jpg", nullptr, nullptr},
    {"PNG", ".png", PngSave, nullptr},
    {"BMP", ".bmp", SaveUnwatched<BmpSave>, nullptr},
    {"GIF", ".gif", SaveUnwatched<GifSave>, nullptr},
    {"WebP", ".webp", nullptr,
     [](const TBitmap& picture, int quality, const std::atomic<bool>* cancel) {
         return WebpEncode(picture, WebpQualityForJpeg(quality), cancel);
     }},
    {"AVIF", ".avif", nullptr,
     [](const TBitmap& picture, int quality, const std::atomic<bool>* cancel) {
         return AvifEncode(picture, AvifQualityForJpeg(quality), cancel);
     }},
};

}  // namespace

const TPictureFormat* FindFormat(std::string_view extension) {
    const std::string upper = UpperAscii(std::string(extension));
    for (const TPictureFormat& format : kFormats) {
        if (std::find(format.Extensions.begin(), format.Extensions.end(), upper) !=
            format.Extensions.end())
            return &format;
    }
    return nullptr;
}

const TPictureFormat* FormatOfFile(const std::string& path) {
    return FindFormat(ExtensionOf(path));
}

const std::vector<TPictureFormat>& PictureFormats() {
    return kFormats;
}

const TOutputFormat* FindOutputFormat(int type) {
    if (type < 0 || std::size_t(type) >= kOutputFormats.size()) return nullptr;
    return &kOutputFormats[std::size_t(type)];
}

}  // namespace tovali
