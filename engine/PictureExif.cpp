#include "engine/PictureExif.h"

#include "engine/codecs/PictureFormats.h"
#include "exif/ExifInfo.h"
#include "exif/WideFileUtils.h"

namespace tovali {

namespace {

constexpr std::uint16_t kTagInteropIndex = 0x0001;
constexpr std::uint16_t kTagColorSpace = 0xA001;
constexpr std::uint32_t kUncalibrated = 0xFFFF;

// Cameras set to Adobe RGB embed no profile; they mark the file as
// uncalibrated with the interoperability index "R03" instead.
bool SaysAdobeRgb(const TEntryItems& entries) {
    const int space = entries.IndexOfTag(kTagColorSpace, dkExif);
    const int index = entries.IndexOfTag(kTagInteropIndex, dkInterop);
    return space >= 0 && index >= 0 && entries.Items(space).AsUnsigned(0) == kUncalibrated &&
           entries.Items(index).AsText() == "R03";
}

int UprightTurn(const TExifInfo& reader) {
    const std::uint32_t orientation = reader.Orientation();
    return orientation >= 2 && orientation <= 8 ? int(orientation) : 1;
}

std::optional<double> CaptureDate(TExifInfo& reader) {
    try {
        return reader.GetDateTime();
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

TPictureExif ReadPictureExif(TExifInfo& reader, const std::string& path, bool withDate) {
    TPictureExif exif;
    const TPictureFormat* format = FormatOfFile(path);
    const bool wanted =
        withDate || (format && (format->ExifOrientation || format->ExifColourSpace));
    if (!wanted) return exif;
    TExifLoad load = TExifLoad::None;
    try {
        if (format && format->ReadExif) {
            load = format->ReadExif(reader, path);
        } else {
            TWideFileStream(path, fmOpenRead | fmShareCompat);
        }
    } catch (...) {
        exif.OpenError = std::current_exception();
        return exif;
    }
    if (load == TExifLoad::None) return exif;
    // A damaged block still marks the colour space with what was read.
    if (format->ExifColourSpace) exif.AdobeRgb = SaysAdobeRgb(reader.Entries());
    if (load == TExifLoad::Damaged) return exif;
    if (format->ExifOrientation) exif.Orientation = UprightTurn(reader);
    if (withDate) exif.Date = CaptureDate(reader);
    return exif;
}

}  // namespace tovali
