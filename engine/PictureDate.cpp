// The date stamped on a picture when it comes from the picture itself: the
// EXIF capture date, else the file's last-write time in local time.
#ifdef _WIN32
#include "exif/WinApi.h"
#else
#include <sys/stat.h>
#endif

#include "engine/PictureExif.h"
#include "engine/UnitThPicConvert.h"
#include "exif/DateTimeUtils.h"
#include "exif/WidePath.h"

namespace tovali {

bool DateFromPicture(const TConvertOptions& options) {
    return options.Date.Use && options.DateSource != dsInputDate;
}

std::string TthPicConvert::DateOf(const std::string& fileName) {
    if (!DateFromPicture(Options)) return Options.Date.Text;
    return DateOf(fileName, ReadExif(fileName, true));
}

std::string TthPicConvert::DateOf(const std::string& fileName, const TPictureExif& exif) {
    if (!DateFromPicture(Options)) return Options.Date.Text;
    // A file that cannot be opened fails the date step.
    if (exif.OpenError) std::rethrow_exception(exif.OpenError);
    const double date = exif.Date ? *exif.Date : GetFileDate(fileName);
    return date != 0 ? FormatDateYmd(date) : std::string();
}

#ifdef _WIN32

namespace {

// FILETIME counts 100-nanosecond ticks from 1601-01-01 UTC.
constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksTo1970 = 116'444'736'000'000'000;

}  // namespace

double TthPicConvert::GetFileDate(const std::string& fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(SystemPath(fileName).c_str(), GetFileExInfoStandard, &data)) return 0;
    const std::int64_t ticks =
        std::int64_t((std::uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) |
                     data.ftLastWriteTime.dwLowDateTime) -
        kTicksTo1970;
    timespec fileTime{};
    fileTime.tv_sec = ticks / kTicksPerSecond;
    fileTime.tv_nsec = long(ticks % kTicksPerSecond * 100);
    if (fileTime.tv_nsec < 0) fileTime.tv_sec -= 1, fileTime.tv_nsec += 1'000'000'000;
    return FileTimeToLocalDateTime(fileTime);
}

// The local time by the rules of the time zone for that date
// (SystemTimeToTzSpecificLocalTime), as localtime_r does on Linux: a date's
// stamp must not depend on the season the batch runs in, which
// FileTimeToLocalFileTime's bias of today would make it do.
double TthPicConvert::FileTimeToLocalDateTime(const timespec& fileTime) {
    const std::int64_t ticks =
        std::int64_t(fileTime.tv_sec) * kTicksPerSecond + fileTime.tv_nsec / 100 + kTicksTo1970;
    if (ticks < 0) return 0;
    const FILETIME utcTime{DWORD(std::uint64_t(ticks)), DWORD(std::uint64_t(ticks) >> 32)};
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&utcTime, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return 0;
    TDateTime date, time;
    if (!TryEncodeDate(local.wYear, local.wMonth, local.wDay, date)) return 0;
    if (!TryEncodeTime(local.wHour, local.wMinute, local.wSecond, int(fileTime.tv_nsec / 1000000),
                       time))
        return 0;
    return ComposeDateTime(date, time);
}

#else

double TthPicConvert::GetFileDate(const std::string& fileName) {
    struct stat st;
    if (::stat(fileName.c_str(), &st) != 0) return 0;
    return FileTimeToLocalDateTime(st.st_mtim);
}

double TthPicConvert::FileTimeToLocalDateTime(const timespec& fileTime) {
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

#endif

}  // namespace tovali
