// LoadPicture and LoadResizedPicture: the decoder is the format table's row
// for the file's extension.
#include "engine/ColourProfile.h"
#include "engine/Orientation.h"
#include "engine/PictureExif.h"
#include "engine/UnitThPicConvert.h"
#include "engine/codecs/PictureFormats.h"
#include "exif/ExifInfo.h"

namespace tovali {

namespace {

// A picture without an embedded profile that EXIF marks as Adobe RGB.
void TagAdobeRgbByExif(TBitmap& picture, const TPictureExif& exif) {
    if (picture.IccProfile.empty() && exif.AdobeRgb) picture.IccProfile = AdobeRgbProfile();
}

}  // namespace

TPictureExif TthPicConvert::ReadExif(const std::string& sourceFile, bool withDate) {
    return ReadPictureExif(*ExifReader, sourceFile, withDate);
}

void TthPicConvert::LoadPicture(const std::string& sourceFile, TBitmap& bitmap) {
    LoadPicture(sourceFile, bitmap, ReadExif(sourceFile, false));
}

void TthPicConvert::LoadPicture(const std::string& sourceFile, TBitmap& bitmap,
                                const TPictureExif& exif, const std::atomic<bool>* cancel) {
    TBitmap picture;  // stays 0 x 0 for a file of no known format
    if (const TPictureFormat* format = FormatOfFile(sourceFile)) {
        TDecodeRequest full;
        full.Cancel = cancel;
        full.CompactCoefficients = CompactCoefficients;
        format->Load(sourceFile, picture, full);
        // Sideways photos are turned upright before any later step.
        ApplyExifOrientation(picture, exif.Orientation, cancel);
        TagAdobeRgbByExif(picture, exif);
    }
    // A picture that is going to be fitted is turned into sRGB after the
    // fit, on far fewer pixels.
    if (!FittedSize(picture.Width(), picture.Height())) ConvertToSrgb(picture, cancel);
    bitmap.Swap(picture);
}

void TthPicConvert::LoadResizedPicture(const std::string& sourceFile, TBitmap& bitmap, bool& loaded,
                                       const std::atomic<bool>* cancel) {
    LoadResizedPicture(sourceFile, ReadExif(sourceFile, false), bitmap, loaded, cancel);
}

void TthPicConvert::LoadResizedPicture(const std::string& sourceFile, const TPictureExif& exif,
                                       TBitmap& bitmap, bool& loaded,
                                       const std::atomic<bool>* cancel) {
    const TPictureFormat* format = FormatOfFile(sourceFile);
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
    if (format && exif.Orientation == 1) {
        format->Load(sourceFile, picture, request);
        TagAdobeRgbByExif(picture, exif);
    } else {
        LoadPicture(sourceFile, picture, exif, cancel);
    }
    loaded = true;
    // A picture fitted while it was decoded still needs the colour step.
    if (fitted) {
        ConvertToSrgb(picture, cancel);
    } else {
        ResizePicture(picture, cancel);
    }
    bitmap.Swap(picture);
}

}  // namespace tovali
