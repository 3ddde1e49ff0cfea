// The date stamped on a picture when it comes from the picture itself: the
// EXIF capture date, else the file's last-write time in local time.
#include <sys/stat.h>

#include "DateTimeUtils.h"
#include "PictureExif.h"
#include "UnitThPicConvert.h"

bool DateFromPicture(const TConvertOptions& options) {
    return options.UseDate && options.DateSource != dsInputDate;
}

void TthPicConvert::ReadPictureDate(const std::string& fileName) {
    if (!DateFromPicture(Options)) return;
    ReadPictureDate(fileName, ReadExif(fileName, true));
}

void TthPicConvert::ReadPictureDate(const std::string& fileName, const TPictureExif& exif) {
    if (!DateFromPicture(Options)) return;
    Options.InputDate.clear();
    // A file that cannot be opened fails the date step.
    if (exif.OpenError) std::rethrow_exception(exif.OpenError);
    const double date = exif.Date ? *exif.Date : GetFileDate(fileName);
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
