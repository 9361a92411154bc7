#include "storage/PassportTexts.h"

#include <cmath>

#include "base/Format.h"
#include "device/ZorvexDriver.h"
#include "storage/Utilities.h"

namespace zorvex {

std::string RunningTimeText(std::int64_t seconds) {
    const TSplitSeconds s = SplitSeconds(seconds);
    std::string text;
    if (s.months > 0) text += Format("%d мес ", {s.months});
    if (s.days > 0) text += Format("%d дней ", {s.days});
    text += Format(" %.2d:%.2d:%.2d", {s.hours, s.minutes, s.seconds});
    return TrimBlanks(text);
}

std::string FirmwareVersionText(std::int32_t version) {
    const auto word = static_cast<std::uint32_t>(version);
    return Format("%d.%d", {static_cast<int>(word >> 16), static_cast<int>(word & 0xFFFF)});
}

std::string CalibrationDateText(TDateTime date) {
    return std::fabs(date) < 0.000001 ? std::string("неизвестно") : DateToStr(date);
}

TPassportTexts ReadPassportTexts(TZorvexDriver& driver) {
    TPassportTexts texts;
    texts.serialNumber = driver.GetSerialNumber();
    texts.powerOnCount = std::to_string(driver.GetPowerOnCount());
    texts.runningTime = RunningTimeText(driver.GetRunningTime());
    texts.firmwareVersion = FirmwareVersionText(driver.GetFirmwareVersion());
    texts.calibrationDate = CalibrationDateText(driver.GetCalibrationDate());
    return texts;
}

}  // namespace zorvex
