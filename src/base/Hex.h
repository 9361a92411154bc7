#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zorvex {

// Bytes as lower-case hexadecimal digits, two per byte: how memory images wait
// in text columns and how fingerprints are written.
std::string HexOfBytes(const void* data, std::size_t size);
inline std::string HexOfBytes(std::string_view bytes) { return HexOfBytes(bytes.data(), bytes.size()); }

// The bytes of such digits; none for an odd length or any other character.
std::optional<std::string> BytesOfHex(std::string_view text);

}  // namespace zorvex
