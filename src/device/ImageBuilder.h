#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "device/DeviceLink.h"
#include "device/SLDeviceDataSource.h"
#include "model/MeasureModel.h"

namespace zorvex {

using TValueCode = std::array<std::uint8_t, 3>;
using TTimeFields = std::array<std::uint8_t, 6>;  // second, minute, hour, day, month, year - 2000
inline constexpr TValueCode kEndCode = {0xFF, 0xFF, 0xFF};

// The value code of `value`; raises when the value has no exact code (a zero,
// a non-finite value, more than 15 fraction bits or an exponent out of range).
TValueCode EncodeValueCode(double value);
// The time bytes of a whole-second time in the years 2000 to 2255; raises otherwise.
TTimeFields MeterTimeFields(TDateTime time);
// The flags byte of a single record and the mode byte of a monitoring series.
std::uint8_t SingleFlags(TFieldClass fieldClass, bool electric, bool bandBit, bool rejectionBit);
std::uint8_t MonitorMode(TFieldClass fieldClass, bool bandBit, bool pairs, bool rejectionBit);

// One single-measurement record as the meter stores it.
struct TSingleEntry {
    TValueCode code{};
    TTimeFields time{};
    std::uint8_t flags = 0;
};

// The passport area.
struct TPassport {
    std::int32_t serialNumber = 0;
    std::int32_t powerOnCount = 0;
    std::int32_t runningCounter = 0;  // one unit = 300/256 s
    std::int32_t firmwareVersion = 0;
    TTimeFields calibration{};
};

// Builds the meter's 32 KiB memory: the inverse of the download's decoding.
// It starts as a cleared meter: no single records, no monitoring series.
class TImageBuilder {
public:
    TImageBuilder();

    // Appends a single-measurement record and counts it (at most 255).
    TImageBuilder& AddSingle(double value, TDateTime time, std::uint8_t flags);
    TImageBuilder& AddSingle(const TSingleEntry& entry);
    // Overrides the number of single records the memory claims.
    TImageBuilder& SetSingleCount(int count);

    // A monitoring series of these values, followed by the end code when there
    // are fewer than 8106; -1 000 000 is written as the end code itself.
    // `field`: 0 magnetic, 1-254 electric.
    TImageBuilder& SetMonitoring(std::uint8_t mode, std::uint8_t field, TDateTime start, std::uint8_t interval,
                                 const std::vector<double>& values);
    // The same with the codes exactly as given (no end code added).
    TImageBuilder& SetMonitoringCodes(std::uint8_t mode, std::uint8_t field, const TTimeFields& start,
                                      std::uint8_t interval, const std::vector<TValueCode>& codes);

    TImageBuilder& SetPassport(const TPassport& passport);

    TImageBuilder& SetByte(int offset, std::uint8_t value);
    TImageBuilder& SetBytes(int offset, const std::vector<std::uint8_t>& bytes);
    TImageBuilder& SetInt32(int offset, std::int32_t value);

    const std::vector<std::uint8_t>& Image() const { return image_; }
    // Writes the first `size` bytes of the image (all of it by default).
    void WriteFile(const std::string& path, int size = kMemoryImageSize) const;

private:
    std::vector<std::uint8_t> image_;
    int singles_ = 0;
};

// The memory whose download gives `data` back. `data` must be what a download
// can give: single records numbered in device order, a 50 Hz record with both
// values carrying the number of its electric half, at most one monitoring
// series with times `interval` seconds apart. Raises when it cannot be built.
std::vector<std::uint8_t> BuildImage(const TMeasureDataP& data);

}  // namespace zorvex
