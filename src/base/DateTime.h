#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvex {

// Days since 1899-12-30 with the time of day as the fraction, the form in
// which every date and time of the program is kept and exchanged.
using TDateTime = double;

struct DateParts {
    int year = 0, month = 0, day = 0;
};
struct TimeParts {
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Raise EConvertError "'%s' is not a valid date" naming the fields
// when the date does not exist (years 1..9999).
TDateTime EncodeDate(int year, int month, int day);
std::optional<TDateTime> TryEncodeDate(int year, int month, int day);
// Raises EConvertError when a field is out of range.
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int millisecond);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond);

// Split a value; the time of day is rounded to the millisecond, a rounding
// that reaches midnight carrying into the next day.
void DecodeDateTime(TDateTime value, DateParts& date, TimeParts& time);
DateParts DecodeDate(TDateTime value);
TimeParts DecodeTime(TDateTime value);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// The date without its time of day.
TDateTime DateOf(TDateTime value);

// Calendar month arithmetic: year and month move, the time of day stays, and
// a day that the target month lacks becomes its last day (31 March - 1 month
// = 28/29 February). Years are twelve months.
TDateTime IncMonth(TDateTime value, int months);

// The program's regional formats, used wherever a date or time is shown.
inline constexpr std::string_view kShortDateFormat = "dd.mm.yyyy";
inline constexpr std::string_view kLongTimeFormat = "hh:nn:ss";

// Pattern formatting: yyyy/yy year, mmmm Russian month name, mm/m month,
// dd/d day, hh/h hour, nn/n minute, ss/s second, zzz milliseconds; text in
// double or single quotes is literal; every other character is copied.
std::string FormatDateTime(std::string_view pattern, TDateTime value);
std::string DateToStr(TDateTime value);  // short date
std::string TimeToStr(TDateTime value);  // long time

// Russian month name in the nominative case, month 1..12 ("Январь").
const std::string& MonthName(int month);

}  // namespace zorvex
