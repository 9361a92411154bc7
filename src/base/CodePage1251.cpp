#include "base/CodePage1251.h"

#include <array>
#include <cstdint>
#include <optional>

#include "base/Exceptions.h"
#include "base/Format.h"

namespace zorvex {
namespace {

// Unicode code points of bytes 0x80..0xFF.
constexpr std::array<char32_t, 128> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

std::optional<unsigned char> ByteOf(char32_t cp) {
    if (cp < 0x80) return static_cast<unsigned char>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) return static_cast<unsigned char>(cp - 0x0410 + 0xC0);
    for (std::size_t i = 0; i < kHighHalf.size(); ++i)
        if (kHighHalf[i] == cp) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char32_t CodePointOf(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (byte >= 0xC0) return 0x0410 + (byte - 0xC0);
    return kHighHalf[byte - 0x80];
}

// Decodes one UTF-8 sequence at `pos`; returns nullopt for a malformed one.
std::optional<char32_t> NextCodePoint(std::string_view s, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    int extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) { ++pos; return lead; }
    if ((lead & 0xE0) == 0xC0) { extra = 1; cp = lead & 0x1F; }
    else if ((lead & 0xF0) == 0xE0) { extra = 2; cp = lead & 0x0F; }
    else if ((lead & 0xF8) == 0xF0) { extra = 3; cp = lead & 0x07; }
    else return std::nullopt;
    if (pos + extra >= s.size()) return std::nullopt;
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    pos += extra + 1;
    return cp;
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) out += c;
        else AppendUtf8(out, CodePointOf(byte));
    }
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto byte = static_cast<unsigned char>(utf8[pos]);
        if (byte < 0x80) { out += utf8[pos++]; continue; }
        const std::size_t start = pos;
        const auto cp = NextCodePoint(utf8, pos);
        if (!cp)
            throw EConvertError(Format("Текст не в кодировке UTF-8 (байт %d)", {static_cast<int>(start)}));
        const auto mapped = ByteOf(*cp);
        if (!mapped) {
            throw EConvertError(Format("Символ «%s» (U+%s) нельзя записать в кодировке Windows-1251",
                                       {std::string(utf8.substr(start, pos - start)),
                                        HexCodePoint(static_cast<std::uint32_t>(*cp))}));
        }
        out += static_cast<char>(*mapped);
    }
    return out;
}

bool FitsCp1251(std::string_view utf8) {
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto cp = NextCodePoint(utf8, pos);
        if (!cp || !ByteOf(*cp)) return false;
    }
    return true;
}

}  // namespace zorvex
