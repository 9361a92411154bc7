#pragma once

#include <cstdint>
#include <fstream>
#include <span>
#include <string>

#include "base/DateTime.h"
#include "device/DeviceLink.h"
#include "device/DriverLoader.h"

namespace zorvex {

// Memory offsets of the meter's passport.
inline constexpr int kSerialNumberOffset = 5200;
inline constexpr int kPowerOnCountOffset = 5204;
inline constexpr int kRunningTimeOffset = 5208;
inline constexpr int kFirmwareVersionOffset = 5212;
inline constexpr int kCalibrationDateOffset = 5216;
// The byte holding the number of single-measurement records.
inline constexpr int kSingleCountOffset = 5194;

using TSectorSpan = std::span<std::uint8_t, kSectorSize>;

// The meter's command set over the driver link: sector reads, byte writes and
// the passport. With ImageFile set, a memory-image file stands in for the meter
// (read only).
class TZorvexDriver : public TAT89DriverLoader {
public:
    std::string ImageFile;

    // With ImageFile set, opens that file and ignores the index.
    bool OpenDevice(int index) override;
    void CloseDevice() override;

    // Reads sector `sector` into `destination`. From an image file, bytes past
    // its end come as zero (LastSectorBytes() tells how many were in the file);
    // from the meter the sector must be at most 255. False when the request
    // could not be written.
    bool ReadSector(std::uint16_t sector, TSectorSpan destination);
    // Bytes of the last ReadSector that came from the memory (512 from the meter).
    int LastSectorBytes() const { return lastSectorBytes_; }
    // Writes one memory byte; true when the meter acknowledged it with 0x11.
    bool WriteByte(std::uint16_t address, std::uint8_t value);
    // Reads the sector that holds `address`.
    bool ReadSectorOf(std::int32_t address, TSectorSpan destination);

    // These raise "Ошибка обмена" when the sector cannot be read.
    std::int32_t ReadInt32(std::int32_t address);
    // `count` bytes from one sector; more than 512 raise "Out of EEPROM sector!".
    void ReadBytes(std::int32_t address, std::uint8_t* destination, std::int32_t count);
    // Six time bytes; all 0x00 or all 0xFF give 0 (no date).
    TDateTime ReadDateTime(std::int32_t address);

    std::string GetSerialNumber();
    std::int32_t GetPowerOnCount();
    // Seconds, rounded to the nearest integer, halves to even.
    std::int64_t GetRunningTime();
    // High 16 bits major, low 16 bits minor; an unprogrammed word reads as 1.0.
    std::int32_t GetFirmwareVersion();
    TDateTime GetCalibrationDate();

private:
    std::ifstream image_;
    int lastSectorBytes_ = 0;
};

// Running-time counter (one unit = 300/256 s) to seconds, halves to even.
std::int64_t RunningTimeSeconds(std::int32_t counter);

}  // namespace zorvex
