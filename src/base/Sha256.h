#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvex {

// SHA-256 (FIPS 180-4), fed in pieces: the fingerprints of kept memory images
// and protocol files.
class TSha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    TSha256();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything fed so far; the object starts afresh after it.
    Digest Finish();

private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_{};
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;  // bytes fed
};

// Lower-case hexadecimal text of a digest (64 characters).
std::string DigestHex(const TSha256::Digest& digest);
// The digest of `bytes` as that text.
std::string Sha256Hex(std::string_view bytes);
std::string Sha256Hex(const void* data, std::size_t size);
// The digest of the file's bytes as that text; none when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);

}  // namespace zorvex
