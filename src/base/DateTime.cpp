#include "base/DateTime.h"

#include <array>
#include <chrono>
#include <cmath>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Numbers.h"

namespace zorvex {
namespace {

using namespace std::chrono;

constexpr double kMsPerDay = 86400000.0;
// 1899-12-30 counted from the system clock's epoch 1970-01-01.
constexpr int kEpochOffsetDays = -25569;

std::int64_t DaysFromCivil(int y, int m, int d) {
    const sys_days days{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}};
    return days.time_since_epoch().count() - kEpochOffsetDays;
}

DateParts CivilFromDays(std::int64_t days) {
    const year_month_day ymd{sys_days{std::chrono::days{days + kEpochOffsetDays}}};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

// Whole days and milliseconds of the day; a negative value keeps its time of
// day as the absolute fraction, as the day-count convention defines it.
void SplitValue(TDateTime value, std::int64_t& days, std::int64_t& ms) {
    days = static_cast<std::int64_t>(std::trunc(value));
    ms = std::llround(std::fabs(value - static_cast<double>(days)) * kMsPerDay);
    if (ms >= static_cast<std::int64_t>(kMsPerDay)) {
        ms -= static_cast<std::int64_t>(kMsPerDay);
        days += value < 0 ? -1 : 1;
    }
}

TDateTime Combine(std::int64_t days, double timeFraction) {
    return days >= 0 ? static_cast<double>(days) + timeFraction : static_cast<double>(days) - timeFraction;
}

const std::array<std::string, 12> kMonthNames = {
    "Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
    "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};

}  // namespace

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12) return 0;
    return kDays[m - 1] + (m == 2 && IsLeapYear(y) ? 1 : 0);
}

std::optional<TDateTime> TryEncodeDate(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return std::nullopt;
    return static_cast<double>(DaysFromCivil(y, m, d));
}

TDateTime EncodeDate(int y, int m, int d) {
    if (const auto v = TryEncodeDate(y, m, d)) return *v;
    throw EConvertError(Format("'%s' is not a valid date",
                               {FormatPadded(y, 4) + "-" + FormatPadded(m, 2) + "-" + FormatPadded(d, 2)}));
}

std::optional<TDateTime> TryEncodeTime(int h, int n, int s, int ms) {
    if (h < 0 || h > 23 || n < 0 || n > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) return std::nullopt;
    return ((h * 3600.0 + n * 60.0 + s) * 1000.0 + ms) / kMsPerDay;
}

TDateTime EncodeTime(int h, int n, int s, int ms) {
    if (const auto v = TryEncodeTime(h, n, s, ms)) return *v;
    throw EConvertError(Format("'%s' is not a valid time",
                               {FormatPadded(h, 2) + ":" + FormatPadded(n, 2) + ":" + FormatPadded(s, 2)}));
}

TDateTime EncodeDateTime(int y, int mo, int d, int h, int n, int s, int ms) {
    const auto days = static_cast<std::int64_t>(EncodeDate(y, mo, d));
    return Combine(days, EncodeTime(h, n, s, ms));
}

void DecodeDateTime(TDateTime value, DateParts& date, TimeParts& time) {
    std::int64_t days = 0, ms = 0;
    SplitValue(value, days, ms);
    date = CivilFromDays(days);
    time.hour = static_cast<int>(ms / 3600000);
    time.minute = static_cast<int>(ms / 60000 % 60);
    time.second = static_cast<int>(ms / 1000 % 60);
    time.millisecond = static_cast<int>(ms % 1000);
}

DateParts DecodeDate(TDateTime value) {
    DateParts d;
    TimeParts t;
    DecodeDateTime(value, d, t);
    return d;
}

TimeParts DecodeTime(TDateTime value) {
    DateParts d;
    TimeParts t;
    DecodeDateTime(value, d, t);
    return t;
}

TDateTime DateOf(TDateTime value) {
    std::int64_t days = 0, ms = 0;
    SplitValue(value, days, ms);
    return static_cast<double>(days);
}

TDateTime IncMonth(TDateTime value, int months) {
    std::int64_t days = 0, ms = 0;
    SplitValue(value, days, ms);
    const DateParts d = CivilFromDays(days);
    const int total = d.year * 12 + (d.month - 1) + months;
    const int y = total / 12, m = total % 12 + 1;
    const int dd = std::min(d.day, DaysInMonth(y, m));
    return Combine(DaysFromCivil(y, m, dd), static_cast<double>(ms) / kMsPerDay);
}

const std::string& MonthName(int month) {
    static const std::string kEmpty;
    return month >= 1 && month <= 12 ? kMonthNames[month - 1] : kEmpty;
}

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
    DateParts d;
    TimeParts t;
    DecodeDateTime(value, d, t);
    std::string out;
    std::size_t i = 0;
    auto run = [&](char c) {
        std::size_t n = 0;
        while (i + n < pattern.size() && (pattern[i + n] | 0x20) == c) ++n;
        return n;
    };
    while (i < pattern.size()) {
        const char c = static_cast<char>(pattern[i] | 0x20);
        if (pattern[i] == '"' || pattern[i] == '\'') {
            const char quote = pattern[i++];
            while (i < pattern.size() && pattern[i] != quote) out += pattern[i++];
            if (i < pattern.size()) ++i;
            continue;
        }
        std::size_t n = 0;
        switch (c) {
            case 'y':
                n = run('y');
                out += n <= 2 ? FormatPadded(d.year % 100, 2) : FormatPadded(d.year, 4);
                break;
            case 'm':
                n = run('m');
                out += n >= 3 ? MonthName(d.month) : FormatPadded(d.month, static_cast<int>(n));
                break;
            case 'd':
                n = run('d');
                out += FormatPadded(d.day, n >= 2 ? 2 : 1);
                break;
            case 'h':
                n = run('h');
                out += FormatPadded(t.hour, n >= 2 ? 2 : 1);
                break;
            case 'n':
                n = run('n');
                out += FormatPadded(t.minute, n >= 2 ? 2 : 1);
                break;
            case 's':
                n = run('s');
                out += FormatPadded(t.second, n >= 2 ? 2 : 1);
                break;
            case 'z':
                n = run('z');
                out += FormatPadded(t.millisecond, n >= 3 ? 3 : 1);
                break;
            default:
                out += pattern[i];
                n = 1;
        }
        i += n;
    }
    return out;
}

std::string DateToStr(TDateTime value) { return FormatDateTime(kShortDateFormat, value); }
std::string TimeToStr(TDateTime value) { return FormatDateTime(kLongTimeFormat, value); }

}  // namespace zorvex
