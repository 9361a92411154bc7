#include "storage/StoredTimes.h"

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Numbers.h"

namespace zorvex {
namespace {

[[noreturn]] void NotADate(std::string_view text) {
    throw EConvertError(Format("'%s' is not a valid date", {text}));
}

}  // namespace

// The patterns have no millisecond field, so the fraction of a second is
// dropped (08:03:07.900 is stored as 08:03:07).
std::string FileStamp(TDateTime value) { return FormatDateTime(kFileStampFormat, value); }

std::string StoredTime(TDateTime value) { return FormatDateTime(kStoredTimeFormat, value); }

TDateTime ParseStoredDate(std::string_view text) {
    const std::size_t p1 = text.find('-');
    if (p1 == std::string_view::npos) NotADate(text);
    const std::size_t p2 = text.find('-', p1 + 1);
    if (p2 == std::string_view::npos) NotADate(text);
    std::size_t p3 = text.find(' ');
    if (p3 == std::string_view::npos) p3 = text.size();
    if (p3 < p2) NotADate(text);
    const auto year = TryStrToInt(text.substr(0, p1));
    const auto month = TryStrToInt(text.substr(p1 + 1, p2 - p1 - 1));
    const auto day = TryStrToInt(text.substr(p2 + 1, p3 - p2 - 1));
    if (!year || !month || !day) NotADate(text);
    const auto date = TryEncodeDate(*year, *month, *day);
    if (!date) NotADate(text);
    return *date;
}

TDateTime ParseStoredTime(std::string_view text) {
    const TDateTime date = ParseStoredDate(text);
    auto field = [&](std::size_t position) -> int {
        // Positions count from 1, as the stored form is described.
        if (text.size() < position + 1) NotADate(text);
        const auto value = TryStrToInt(text.substr(position - 1, 2));
        if (!value || *value < 0) NotADate(text);
        return *value;
    };
    const auto time = TryEncodeTime(field(12), field(15), field(18), 0);
    if (!time) NotADate(text);
    return date + *time;
}

std::string StoredDaysFilter(TDateTime firstDay, TDateTime lastDay) {
    static const TDateTime kFirst = EncodeDate(1, 1, 1), kLast = EncodeDate(9999, 12, 31);
    const TDateTime first = DateOf(firstDay), last = DateOf(lastDay);
    if (first < kFirst || last > kLast || first > last)
        throw EConvertError("Дата вне допустимого диапазона: от 0001-01-01 до 9999-12-31");
    std::string filter = "(time >= '" + FormatDateTime("yyyy-mm-dd", first) + " 00:00:00')";
    if (last < kLast) filter += " and (time < '" + FormatDateTime("yyyy-mm-dd", last + 1) + " 00:00:00')";
    return filter;
}

}  // namespace zorvex
