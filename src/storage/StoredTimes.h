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

}  // namespace zorvex
