#include "exif/DateTimeUtils.h"

#include <cmath>
#include <cstdio>

namespace tovali {

namespace {

constexpr const char* kDateError = "日付に変換できない値が渡されました";
constexpr const char* kTimeError = "時刻に変換できない値が渡されました";
// Days from 0001-01-01 (proleptic Gregorian) to 1899-12-30.
constexpr long kDateDelta = 693593;

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 0001-01-01 of a civil date (day 0 is that date).
long DaysFromCivil(int year, int month, int day) {
    const long y = year - 1;
    long days = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
    return days + day - 1;
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    result = TDateTime(DaysFromCivil(year, month, day) - kDateDelta);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999)
        return false;
    const long ms = ((long(hour) * 60 + minute) * 60 + second) * 1000L + millisecond;
    result = TDateTime(ms) / 86400000.0;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime result;
    if (!TryEncodeDate(year, month, day, result)) throw EDateConvertError(kDateError);
    return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    TDateTime result;
    if (!TryEncodeTime(hour, minute, second, millisecond, result))
        throw EDateConvertError(kTimeError);
    return result;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
    return date < 0 ? date - time : date + time;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    long days = long(std::trunc(value)) + kDateDelta;  // days since 0001-01-01
    year = 1;
    // 400-year cycles have 146097 days; then step years, then months.
    year += int(days / 146097) * 400;
    days %= 146097;
    while (days >= (IsLeapYear(year) ? 366 : 365)) days -= IsLeapYear(year++) ? 366 : 365;
    month = 1;
    while (days >= DaysInMonth(year, month)) days -= DaysInMonth(year, month++);
    day = int(days) + 1;
}

std::string FormatDateYmd(TDateTime value) {
    int year, month, day;
    DecodeDate(value, year, month, day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d", year, month, day);
    return text;
}

}  // namespace tovali
