#pragma once

#include <cstdint>
#include <string>

#include "device/DownloadInfo.h"
#include "device/ZorvexDriver.h"
#include "model/MeasureModel.h"

namespace zorvex {

// Memory map of the meter, as far as the download reads it.
inline constexpr int kMonitorModeOffset = 5184;
inline constexpr int kMonitorFieldOffset = 5185;
inline constexpr int kMonitorStartOffset = 5186;
inline constexpr int kMonitorIntervalOffset = 5192;
inline constexpr int kSingleRecordsOffset = 5376;
inline constexpr int kSingleRecordSize = 11;
inline constexpr int kMonitorValuesOffset = 8192;
inline constexpr int kValueCodeSize = 3;
inline constexpr int kMaxMonitorValues = 8106;
inline constexpr int kHeaderSector = 10;
// Monitoring field byte meaning "no series stored".
inline constexpr std::uint8_t kNoMonitoring = 0xFF;
// What the empty/end code FF FF FF decodes to.
inline constexpr double kEndCodeValue = -1000000.0;

// The first byte after the passport.
inline constexpr int kPassportEndOffset = kCalibrationDateOffset + 6;

// What a memory-image file shorter than the memory left unread.
enum class TShortImageLoss { Nothing, Records, Passport };
// The warning for a memory-image file of `size` bytes, fewer than the memory holds.
std::string ShortImageFileText(int size, TShortImageLoss loss);

// Classes of field in the flags and mode bytes.
enum class TFieldClass { Workplace, General, PowerFrequency };

// The meter's 3-byte value code: the three high-order bytes of a
// single-precision number whose low byte is 0; FF FF FF is the end code.
double DecodeValueCode(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);

// Kind of a record from its class and field.
int KindOf(TFieldClass fieldClass, bool electric);
// Class bits 4-5 of a single record's flags / bits 4-7 of the mode byte.
TFieldClass SingleRecordClass(std::uint8_t flags);
TFieldClass MonitorClass(std::uint8_t mode);

// Downloads the meter's memory through the driver link (or reads a memory
// image file) and decodes its single measurements and monitoring series.
class TSLDeviceDataSource : public TMDSource {
public:
    // A memory-image file read instead of the meter; empty for the meter.
    std::string ImageFile;

    // Decodes the records, then reads the rest of the memory so that the
    // whole of it can be kept with the download. An image file shorter than
    // the memory is decoded as far as it goes, with a warning saying so.
    void GetData(const std::string& Param, TMeasureDataP& Data) override;

    // After a completed GetData: link "driver", the passport fields read from
    // the memory and the memory itself (empty when an image file was shorter
    // than the memory). Empty after a failed or stopped one.
    const TDownloadInfo& LastDownload() const { return last_; }

private:
    TZorvexDriver driver_;
    TDownloadInfo last_;
};

}  // namespace zorvex
