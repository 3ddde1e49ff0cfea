// LoadPicture: the decoder is chosen by the file's extension alone.
#include "BmpCodec.h"
#include "ColourProfile.h"
#include "ExifInfo.h"
#include "FileNames.h"
#include "GifCodec.h"
#include "HeifCodec.h"
#include "JpegCodec.h"
#include "Orientation.h"
#include "PngCodec.h"
#include "UnitThPicConvert.h"
#include "WebpCodec.h"

namespace {

constexpr std::uint16_t kTagInteropIndex = 0x0001;
constexpr std::uint16_t kTagColorSpace = 0xA001;
constexpr std::uint32_t kUncalibrated = 0xFFFF;

// Cameras set to Adobe RGB embed no profile; they mark the file as
// uncalibrated with the interoperability index "R03" instead. Reads the
// entries the orientation step left in the reader for this file.
bool ExifSaysAdobeRgb(const TExifInfo& reader, const std::string& fileName) {
    if (reader.ImageFileName() != fileName) return false;
    const TEntryItems& entries = reader.Entries();
    const int space = entries.IndexOfTag(kTagColorSpace, dkExif);
    const int index = entries.IndexOfTag(kTagInteropIndex, dkInterop);
    return space >= 0 && index >= 0 && entries.Items(space).AsUnsigned(0) == kUncalibrated &&
           entries.Items(index).AsText() == "R03";
}

// A JPEG without an embedded profile that EXIF marks as Adobe RGB.
void TagAdobeRgbByExif(TBitmap& picture, const TExifInfo& reader, const std::string& fileName) {
    if (picture.IccProfile.empty() && ExifSaysAdobeRgb(reader, fileName))
        picture.IccProfile = AdobeRgbProfile();
}

}  // namespace

void TthPicConvert::LoadPicture(const std::string& sourceFile, TBitmap& bitmap,
                                const std::atomic<bool>* cancel) {
    const std::string ext = UpperAscii(ExtensionOf(sourceFile));
    TBitmap picture;  // stays 0 x 0 for any other extension
    if (ext == ".BMP") {
        BmpLoad(sourceFile, picture);
    } else if (ext == ".JPG" || ext == ".JPEG") {
        TDecodeRequest full;
        full.Cancel = cancel;
        full.CompactCoefficients = CompactCoefficients;
        JpegLoadFitted(sourceFile, picture, full);
        // Sideways photos are turned upright before any later step.
        ApplyExifOrientation(picture, ReadExifOrientation(*ExifReader, sourceFile));
        TagAdobeRgbByExif(picture, *ExifReader, sourceFile);
    } else if (ext == ".PNG") {
        PngLoad(sourceFile, picture);
    } else if (ext == ".GIF") {
        GifLoad(sourceFile, picture);
    } else if (ext == ".HEIC" || ext == ".HEIF" || ext == ".AVIF") {
        // libheif applies the file's own rotation and mirror boxes; the EXIF
        // orientation of a HEIF is ignored.
        HeifLoad(sourceFile, picture);
    } else if (ext == ".WEBP") {
        WebpLoad(sourceFile, picture);
        ApplyExifOrientation(picture, ReadExifOrientation(*ExifReader, WebpReadExif(sourceFile)));
    }
    // A picture that is going to be fitted is turned into sRGB after the
    // fit, on far fewer pixels.
    if (!FittedSize(picture.Width(), picture.Height())) ConvertToSrgb(picture);
    bitmap.Swap(picture);
}

void TthPicConvert::LoadResizedPicture(const std::string& sourceFile, TBitmap& bitmap, bool& loaded,
                                       const std::atomic<bool>* cancel) {
    const std::string ext = UpperAscii(ExtensionOf(sourceFile));
    const bool jpeg = ext == ".JPG" || ext == ".JPEG";
    bool fitted = false;
    TDecodeRequest request;
    request.Cancel = cancel;
    request.CompactCoefficients = CompactCoefficients;
    request.Fit = [&](int width, int height) -> std::optional<TFitSize> {
        const std::optional<TSize> size = FittedSize(width, height);
        fitted = size.has_value();
        if (!size) return std::nullopt;
        return TFitSize{size->cx, size->cy};
    };
    TBitmap picture;
    // A photo that is turned upright is fitted after the turn, at full size.
    const int orientation = jpeg ? ReadExifOrientation(*ExifReader, sourceFile) : 1;
    if (jpeg && (orientation < 2 || orientation > 8)) {
        JpegLoadFitted(sourceFile, picture, request);
        TagAdobeRgbByExif(picture, *ExifReader, sourceFile);
    } else if (ext == ".PNG") {
        PngLoadFitted(sourceFile, picture, request);
    } else {
        LoadPicture(sourceFile, picture, cancel);
    }
    loaded = true;
    // A picture fitted while it was decoded still needs the colour step.
    if (fitted) {
        ConvertToSrgb(picture);
    } else {
        ResizePicture(picture);
    }
    bitmap.Swap(picture);
}
