// Date-time values: days since 1899-12-30 as a double, the time of day as
// the fraction; 0 means no date.
#pragma once

#include <stdexcept>
#include <string>

namespace tovali {

using TDateTime = double;

// Raised when calendar fields do not make a date or a time.
class EDateConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Year 1..9999, month 1..12, day within the month; otherwise raises
// EDateConvertError "日付に変換できない値が渡されました".
TDateTime EncodeDate(int year, int month, int day);
// Hour 0..23, minute and second 0..59, millisecond 0..999; otherwise raises
// EDateConvertError "時刻に変換できない値が渡されました".
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
// A date plus a time of day; before 1899-12-30 the fraction counts the other
// way, so that the whole part still names the day.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);

// The calendar day of a date-time value.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
// The value's day as "yyyy/MM/dd".
std::string FormatDateYmd(TDateTime value);

}  // namespace tovali
