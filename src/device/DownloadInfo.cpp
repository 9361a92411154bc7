#include "device/DownloadInfo.h"

#include <algorithm>

#include "base/Format.h"
#include "device/DeviceLink.h"
#include "device/ZorvexDriver.h"

namespace zorvex {
namespace {

// An erased or never written passport reads as all bits set or all clear.
bool Unprogrammed(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0x00; }) ||
           std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0xFF; });
}

std::optional<std::int32_t> Int32At(std::span<const std::uint8_t> memory, int offset) {
    if (memory.size() < static_cast<std::size_t>(offset) + 4) return std::nullopt;
    const auto bytes = memory.subspan(static_cast<std::size_t>(offset), 4);
    if (Unprogrammed(bytes)) return std::nullopt;
    const std::uint32_t word = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                               static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return static_cast<std::int32_t>(word);
}

}  // namespace

void ReadImagePassport(std::span<const std::uint8_t> memory, TDownloadInfo& info) {
    info.serialNumber = Int32At(memory, kSerialNumberOffset);
    info.firmware.reset();
    if (const auto version = Int32At(memory, kFirmwareVersionOffset)) {
        const auto word = static_cast<std::uint32_t>(*version);
        info.firmware = Format("%d.%d", {static_cast<int>(word >> 16), static_cast<int>(word & 0xFFFF)});
    }
    info.calibrationDate.reset();
    constexpr std::size_t kDateBytes = 6;
    if (memory.size() >= kCalibrationDateOffset + kDateBytes) {
        const auto fields = memory.subspan(kCalibrationDateOffset, kDateBytes);
        if (!Unprogrammed(fields)) {
            // A damaged date is no reason to refuse the records: it stays unknown.
            try {
                info.calibrationDate = MeterDateTime(fields.data());
            } catch (const EConvertError&) {
            }
        }
    }
}

}  // namespace zorvex
