// LoadPicture: the decoder is chosen by the file's extension alone.
#include "BmpCodec.h"
#include "FileNames.h"
#include "GifCodec.h"
#include "JpegCodec.h"
#include "Orientation.h"
#include "PngCodec.h"
#include "UnitThPicConvert.h"

void TthPicConvert::LoadPicture(const std::string& sourceFile, TBitmap& bitmap) {
    const std::string ext = UpperAscii(ExtensionOf(sourceFile));
    TBitmap picture;  // stays 0 x 0 for any other extension
    if (ext == ".BMP") {
        BmpLoad(sourceFile, picture);
    } else if (ext == ".JPG" || ext == ".JPEG") {
        JpegLoad(sourceFile, picture);
        // Sideways photos are turned upright before any later step.
        ApplyExifOrientation(picture, ReadExifOrientation(*ExifReader, sourceFile));
    } else if (ext == ".PNG") {
        PngLoad(sourceFile, picture);
    } else if (ext == ".GIF") {
        GifLoad(sourceFile, picture);
    }
    bitmap.Swap(picture);
}

void TthPicConvert::LoadResizedPicture(const std::string& sourceFile, TBitmap& bitmap, bool& loaded,
                                       const std::atomic<bool>* cancel) {
    const std::string ext = UpperAscii(ExtensionOf(sourceFile));
    const bool jpeg = ext == ".JPG" || ext == ".JPEG";
    bool fitted = false;
    TDecodeRequest request;
    request.Cancel = cancel;
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
    } else if (ext == ".PNG") {
        PngLoadFitted(sourceFile, picture, request);
    } else {
        LoadPicture(sourceFile, picture);
    }
    loaded = true;
    if (!fitted) ResizePicture(picture);
    bitmap.Swap(picture);
}
