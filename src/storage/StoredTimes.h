#pragma once

#include <string>
#include <string_view>

#include "base/DateTime.h"

namespace zorvex {

// Stored forms of dates and times in the database files.
inline constexpr std::string_view kStoredTimeFormat = "yyyy-mm-dd hh:nn:ss";  // measurements.time
inline constexpr std::string_view kFileStampFormat = "yyyy-mm-dd hh-nn-ss";   // protocols.date

// "2010-05-19 12-39-28"; fractions of a second dropped.
std::string FileStamp(TDateTime value);
// "2012-05-01 08:03:07"; fractions of a second dropped.
std::string StoredTime(TDateTime value);

// Year before the first "-", month up to the next "-", day up to the first
// space or the end; fields of any length. Raises EConvertError
// "'%s' is not a valid date" when a field is no number or the date does not exist.
TDateTime ParseStoredDate(std::string_view text);

// The date as ParseStoredDate, then hours, minutes and seconds from the fixed
// positions 12-13, 15-16 and 18-19 (counting from 1). Raises EConvertError
// when a field is missing or out of range.
TDateTime ParseStoredTime(std::string_view text);

// The condition on `measurements.time` selecting the whole days firstDay to
// lastDay, both included, as the half-open range [firstDay 00:00:00, the day
// after lastDay 00:00:00). A stored time carries a zero byte after its
// seconds, so an upper bound "... 23:59:59" would miss each day's last second.
// The stored form has four-digit years: for 9999-12-31 there is no day after
// and no upper bound. Raises EConvertError for days outside 0001-01-01 to
// 9999-12-31 or a first day after the last.
std::string StoredDaysFilter(TDateTime firstDay, TDateTime lastDay);

}  // namespace zorvex
