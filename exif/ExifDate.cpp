// The capture date: the DateTime entry of IFD0 as a date-time value.
#include <cstdlib>

#include "exif/ExifInfo.h"

namespace tovali {

namespace {

constexpr std::uint16_t kTagDateTime = 0x0132;
constexpr int kInvalidPart = 65535;

struct TDatePart {
    std::size_t first;  // 0-based
    std::size_t length;
};
// Year, month, day, hour, minute, second at fixed places of the text.
constexpr TDatePart kDateParts[] = {{0, 4}, {5, 2}, {8, 2}, {11, 2}, {14, 2}, {17, 2}};

// Blanks and control characters removed at both ends.
std::string Trim(std::string text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::uint8_t(text[begin]) <= ' ') ++begin;
    while (end > begin && std::uint8_t(text[end - 1]) <= ' ') --end;
    return text.substr(begin, end - begin);
}

// A decimal integer with an optional sign; kInvalidPart for anything else.
int PartValue(const std::string& part) {
    std::size_t i = part.empty() || (part[0] != '+' && part[0] != '-') ? 0 : 1;
    if (i == part.size()) return kInvalidPart;
    long long value = 0;
    for (; i < part.size(); ++i) {
        if (part[i] < '0' || part[i] > '9') return kInvalidPart;
        value = value * 10 + (part[i] - '0');
        if (value > 0x7FFFFFFFLL) return kInvalidPart;
    }
    return int(part[0] == '-' ? -value : value);
}

}  // namespace

TDateTime ExifDateToDateTime(const std::string& text) {
    if (text.find(':') == std::string::npos) throw EExifError(ExifErrorText(errNoDateTime));
    int values[6];
    int unknown = 0;
    for (int i = 0; i < 6; ++i) {
        const TDatePart& place = kDateParts[i];
        const std::string part =
            place.first < text.size() ? Trim(text.substr(place.first, place.length)) : "";
        values[i] = PartValue(part);
        // Every value whose low 16 bits read -1 counts as unknown, 65535 included.
        if (std::int16_t(std::uint16_t(values[i])) == -1) ++unknown;
    }
    if (unknown > 0) throw EExifError(ExifErrorText(errNoDateTime));
    const TDateTime date = EncodeDate(values[0], values[1], values[2]);
    return ComposeDateTime(date, EncodeTime(values[3], values[4], values[5], 0));
}

std::string TExifInfo::GetDateTimeText() {
    return GetTagText(kTagDateTime, dkMain, false);
}

TDateTime TExifInfo::GetDateTime() {
    return ExifDateToDateTime(GetDateTimeText());
}

}  // namespace tovali
