// The date stamped on a picture when it comes from the picture itself: the
// EXIF capture date, else the file's last-write time in local time.
#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "DateTimeUtils.h"
#include "ExifInfo.h"
#include "FileNames.h"
#include "HeifCodec.h"
#include "UnitThPicConvert.h"
#include "WebpCodec.h"

namespace {

// HEIF, AVIF and WebP files keep their EXIF block in a box or chunk of their
// own: its bytes (empty when there is none), or nothing for any other
// format. Raises only when the file cannot be opened.
std::optional<std::vector<std::uint8_t>> ContainerExifBlock(const std::string& fileName) {
    const std::string ext = UpperAscii(ExtensionOf(fileName));
    if (ext == ".HEIC" || ext == ".HEIF" || ext == ".AVIF") return HeifReadExif(fileName);
    if (ext == ".WEBP") return WebpReadExif(fileName);
    return std::nullopt;
}

}  // namespace

void TthPicConvert::ReadPictureDate(const std::string& fileName) {
    if (!Options.UseDate || Options.DateSource == dsInputDate) return;
    Options.InputDate.clear();
    double date = 0;
    // The block and HasExif stay outside the guard: a file that cannot be
    // opened fails the date step.
    if (const auto block = ContainerExifBlock(fileName)) {
        try {
            ExifReader->LoadFromExifBlock(block->data(), block->size());
            date = ExifReader->GetDateTime();
        } catch (...) {
            date = GetFileDate(fileName);
        }
    } else if (ExifReader->HasExif(fileName)) {
        try {
            ExifReader->SetImageFileName(fileName);
            date = ExifReader->GetDateTime();
        } catch (...) {
            date = GetFileDate(fileName);
        }
    } else {
        date = GetFileDate(fileName);
    }
    if (date != 0) Options.InputDate = FormatDateYmd(date);
}

double TthPicConvert::GetFileDate(const std::string& fileName) {
    struct stat st;
    if (::stat(fileName.c_str(), &st) != 0) return 0;
    return FileTimeToLocalDateTime(st.st_mtim);
}

double TthPicConvert::FileTimeToLocalDateTime(const std::timespec& fileTime) {
    std::tm local{};
    const std::time_t seconds = fileTime.tv_sec;
    if (::localtime_r(&seconds, &local) == nullptr) return 0;
    TDateTime date, time;
    if (!TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date)) return 0;
    if (!TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec, int(fileTime.tv_nsec / 1000000),
                       time))
        return 0;
    return ComposeDateTime(date, time);
}
