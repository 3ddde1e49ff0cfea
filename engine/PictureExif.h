// What a picture's EXIF data tells the steps that use it: the orientation
// (loading), the Adobe RGB mark (the colour step) and the capture date (the
// date stamp). Read once per file, by the format's own EXIF reader, and
// handed to each of them.
#pragma once

#include <exception>
#include <optional>
#include <string>

namespace tovali {

class TExifInfo;

struct TPictureExif {
    // 2..8 when the format turns its pictures by EXIF and the picture must
    // be turned upright; 1 otherwise.
    int Orientation = 1;
    // The format takes EXIF's colour-space mark and it says Adobe RGB.
    bool AdobeRgb = false;
    // The EXIF DateTime as a date-time value; nothing when the file holds
    // none that reads (the file's last-write time stands in), or when it
    // was not asked for.
    std::optional<double> Date;
    // Set when the file could not be opened to look for its EXIF data; the
    // date step fails with it (loading fails on its own).
    std::exception_ptr OpenError;
};

// Reads the file's EXIF data with the reader, as the format of its name
// keeps it. withDate: the capture date is wanted too; a format without EXIF
// data is then still opened, so that an unreadable file fails the date
// step. Raises nothing.
TPictureExif ReadPictureExif(TExifInfo& reader, const std::string& path, bool withDate);

}  // namespace tovali
