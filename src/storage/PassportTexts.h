#pragma once

#include <cstdint>
#include <string>

#include "base/DateTime.h"

namespace zorvex {

class TZorvexDriver;

// The meter's passport as the program shows it.
struct TPassportTexts {
    std::string serialNumber;
    std::string firmwareVersion;  // "major.minor"
    std::string powerOnCount;
    std::string runningTime;      // "1 мес 4 дней  06:50:00"
    std::string calibrationDate;  // short date, or "неизвестно"
};

// "%d мес " when there are months, "%d дней " when there are days, then
// " hh:mm:ss", without leading and trailing blanks.
std::string RunningTimeText(std::int64_t seconds);
// High 16 bits "." low 16 bits.
std::string FirmwareVersionText(std::int32_t version);
// The date in the short format; "неизвестно" for no date.
std::string CalibrationDateText(TDateTime date);

// Reads the passport through an open driver link; each value is read anew.
TPassportTexts ReadPassportTexts(TZorvexDriver& driver);

}  // namespace zorvex
