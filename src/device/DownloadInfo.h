#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/DateTime.h"

namespace zorvex {

// What a download knows of itself besides its records: when it ended, which
// link brought it and which meter (with its calibration) made the
// measurements. Unknown passport fields stay empty.
struct TDownloadInfo {
    TDateTime time = 0;                        // when the download ended (Now() of the clock seam)
    std::string link;                          // "usb" or "driver"
    std::optional<std::int32_t> serialNumber;  // from the passport, when readable
    std::optional<std::string> firmware;       // "2.3"
    std::optional<TDateTime> calibrationDate;
    std::vector<std::uint8_t> image;  // the raw 32 KiB memory (driver link); empty for USB

    bool operator==(const TDownloadInfo&) const = default;
};

inline constexpr const char* kLinkUsb = "usb";
inline constexpr const char* kLinkDriver = "driver";

// Sets the passport fields of `info` from a meter memory that holds at least
// `memory.size()` bytes from offset 0. A field whose bytes lie past the end,
// are unprogrammed (all bits set or all clear) or form no date stays empty.
void ReadImagePassport(std::span<const std::uint8_t> memory, TDownloadInfo& info);

}  // namespace zorvex
