#pragma once

// Common declarations of the device links.
namespace zorvex {

// Size of the meter's memory image in bytes.
inline constexpr int kMemoryImageSize = 32768;

}  // namespace zorvex
