#pragma once

#include <cstdint>
#include <string>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Numbers.h"

// Common declarations of the device links.
namespace zorvex {

// Size of the meter's memory image in bytes.
inline constexpr int kMemoryImageSize = 32768;
// The driver link moves the memory in sectors of this size.
inline constexpr int kSectorSize = 512;
inline constexpr int kSectorCount = kMemoryImageSize / kSectorSize;

// The meter's six time bytes (second, minute, hour, day, month, year - 2000)
// as a date-time with milliseconds 0. Bytes that form no valid date and time
// raise EConvertError naming the fields as they were read.
inline TDateTime MeterDateTime(const std::uint8_t* fields) {
    const int second = fields[0], minute = fields[1], hour = fields[2];
    const int day = fields[3], month = fields[4], year = 2000 + fields[5];
    const auto date = TryEncodeDate(year, month, day);
    const auto time = TryEncodeTime(hour, minute, second, 0);
    if (!date || !time)
        throw EConvertError("''" + IntToStr(year) + "." + IntToStr(month) + "." + IntToStr(day) + " " + IntToStr(hour) +
                            ":" + IntToStr(minute) + ":" + IntToStr(second) + ".0'' is not a valid date and time");
    return *date + *time;
}

}  // namespace zorvex
