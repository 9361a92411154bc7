#include "device/ZorvexDriver.h"

#include <algorithm>
#include <array>

#include "base/Numbers.h"
#include "base/Paths.h"

namespace zorvex {
namespace {

constexpr std::uint8_t kWriteByteRequest = 0x41;
constexpr std::uint8_t kWriteAcknowledged = 0x11;
constexpr int kMaxMeterSector = 255;

}  // namespace

bool TZorvexDriver::OpenDevice(int index) {
    CloseDevice();
    if (ImageFile.empty()) return TAT89DriverLoader::OpenDevice(index);
    // Through the path: a narrow name would be read in the ANSI code page on Windows.
    image_.open(PathFromUtf8(ImageFile), std::ios::in | std::ios::binary);
    return image_.is_open();
}

void TZorvexDriver::CloseDevice() {
    if (image_.is_open()) image_.close();
    image_.clear();
    TAT89DriverLoader::CloseDevice();
}

bool TZorvexDriver::ReadSector(std::uint16_t sector, TSectorSpan destination) {
    lastSectorBytes_ = 0;
    if (image_.is_open()) {
        // Past the end of a short file the destination gets zeros, never what it held before.
        image_.clear();
        image_.seekg(static_cast<std::streamoff>(sector) * kSectorSize);
        std::streamsize got = 0;
        if (image_) {
            image_.read(reinterpret_cast<char*>(destination.data()), kSectorSize);
            got = image_.gcount();
        }
        std::fill(destination.begin() + got, destination.end(), 0);
        image_.clear();
        lastSectorBytes_ = static_cast<int>(got);
        return true;
    }
    if (sector > kMaxMeterSector) return false;
    const std::uint8_t request = static_cast<std::uint8_t>(sector);
    if (!WriteCommand(&request, 1)) return false;
    ReadData(destination.data(), kSectorSize);
    lastSectorBytes_ = kSectorSize;
    return true;
}

bool TZorvexDriver::WriteByte(std::uint16_t address, std::uint8_t value) {
    const std::array<std::uint8_t, 4> frame = {kWriteByteRequest, static_cast<std::uint8_t>(address & 0xFF),
                                               static_cast<std::uint8_t>(address >> 8), value};
    if (!WriteCommand(frame.data(), static_cast<std::uint8_t>(frame.size()))) return false;
    std::uint8_t reply = 0;
    ReadData(&reply, 1);
    return reply == kWriteAcknowledged;
}

bool TZorvexDriver::ReadSectorOf(std::int32_t address, TSectorSpan destination) {
    if (address < 0 || address / kSectorSize > 0xFFFF) return false;
    return ReadSector(static_cast<std::uint16_t>(address / kSectorSize), destination);
}

std::int32_t TZorvexDriver::ReadInt32(std::int32_t address) {
    std::uint8_t bytes[4];
    ReadBytes(address, bytes, 4);
    const std::uint32_t word = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                               static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return static_cast<std::int32_t>(word);
}

void TZorvexDriver::ReadBytes(std::int32_t address, std::uint8_t* destination, std::int32_t count) {
    if (count > kSectorSize) throw Exception("Out of EEPROM sector!");
    if (count <= 0) return;
    std::array<std::uint8_t, kSectorSize> sector{};
    if (!ReadSectorOf(address, sector)) throw Exception(kExchangeErrorText);
    // Bytes that would run past the sector are not there; callers keep inside one.
    const int offset = address % kSectorSize;
    const int inside = std::min(count, kSectorSize - offset);
    std::copy_n(sector.begin() + offset, inside, destination);
    std::fill(destination + inside, destination + count, 0);
}

TDateTime TZorvexDriver::ReadDateTime(std::int32_t address) {
    std::uint8_t fields[6];
    ReadBytes(address, fields, 6);
    const auto all = [&](std::uint8_t v) {
        return std::all_of(std::begin(fields), std::end(fields), [v](auto b) { return b == v; });
    };
    if (all(0x00) || all(0xFF)) return 0;
    return MeterDateTime(fields);
}

std::string TZorvexDriver::GetSerialNumber() {
    return IntToStr(ReadInt32(kSerialNumberOffset));
}

std::int32_t TZorvexDriver::GetPowerOnCount() {
    return ReadInt32(kPowerOnCountOffset);
}

std::int64_t TZorvexDriver::GetRunningTime() {
    return RunningTimeSeconds(ReadInt32(kRunningTimeOffset));
}

std::int32_t TZorvexDriver::GetFirmwareVersion() {
    const std::int32_t version = ReadInt32(kFirmwareVersionOffset);
    return version == -1 ? 0x10000 : version;
}

TDateTime TZorvexDriver::GetCalibrationDate() {
    return ReadDateTime(kCalibrationDateOffset);
}

std::int64_t RunningTimeSeconds(std::int32_t counter) {
    const std::int64_t scaled = static_cast<std::int64_t>(counter) * 300;
    // Floor division by 256, then round the remainder: halves go to the even neighbour.
    std::int64_t quotient = scaled / 256;
    std::int64_t remainder = scaled % 256;
    if (remainder < 0) {
        remainder += 256;
        --quotient;
    }
    if (remainder > 128 || (remainder == 128 && (quotient & 1) != 0)) ++quotient;
    return quotient;
}

}  // namespace zorvex
