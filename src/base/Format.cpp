#include "base/Format.h"

#include <charconv>

#include "base/Exceptions.h"
#include "base/Numbers.h"

namespace zorvex {
namespace {

[[noreturn]] void Incompatible(std::string_view directive) {
    throw EConvertError("Format '" + std::string(directive) + "' invalid or incompatible with argument");
}

// Upper-case hexadecimal digits through std::to_chars: no C library locale.
std::string UpperHex(std::uint64_t value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, 16);
    std::string text(buf, res.ptr);
    for (char& c : text)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Pad(std::string text, int width, bool left) {
    if (width > 0 && static_cast<int>(text.size()) < width) {
        const std::string fill(static_cast<std::size_t>(width) - text.size(), ' ');
        text = left ? text + fill : fill + text;
    }
    return text;
}

}  // namespace

std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args) {
    std::string out;
    auto next = args.begin();
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c != '%') { out += c; ++i; continue; }
        const std::size_t start = i++;
        if (i < pattern.size() && pattern[i] == '%') { out += '%'; ++i; continue; }
        bool left = false;
        int width = -1, precision = -1;
        if (i < pattern.size() && pattern[i] == '-') { left = true; ++i; }
        while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9')
            width = (width < 0 ? 0 : width * 10) + (pattern[i++] - '0');
        if (i < pattern.size() && pattern[i] == '.') {
            precision = 0;
            ++i;
            while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9')
                precision = precision * 10 + (pattern[i++] - '0');
        }
        if (i >= pattern.size()) Incompatible(pattern.substr(start));
        const char type = static_cast<char>(pattern[i] | 0x20);  // Delphi takes either case
        const std::string_view directive = pattern.substr(start, i - start + 1);
        ++i;
        if (next == args.end()) Incompatible(directive);
        const auto& value = (next++)->Value();
        std::string text;
        switch (type) {
            case 'd':
            case 'u':
                if (!std::holds_alternative<std::int64_t>(value)) Incompatible(directive);
                text = FormatPadded(std::get<std::int64_t>(value), precision);
                break;
            case 'x': {
                if (!std::holds_alternative<std::int64_t>(value)) Incompatible(directive);
                text = UpperHex(static_cast<std::uint64_t>(std::get<std::int64_t>(value)));
                if (precision > static_cast<int>(text.size()))
                    text.insert(0, static_cast<std::size_t>(precision) - text.size(), '0');
                break;
            }
            case 'f':
            case 'g': {
                double v = 0;
                if (std::holds_alternative<double>(value)) v = std::get<double>(value);
                else if (std::holds_alternative<std::int64_t>(value)) v = static_cast<double>(std::get<std::int64_t>(value));
                else Incompatible(directive);
                text = type == 'f' ? FormatFixed(v, precision < 0 ? 2 : precision)
                                   : FloatToStrGeneral(v, precision < 0 ? 15 : precision);
                break;
            }
            case 's':
                if (!std::holds_alternative<std::string>(value)) Incompatible(directive);
                text = std::get<std::string>(value);
                if (precision >= 0 && static_cast<std::size_t>(precision) < text.size()) text.resize(precision);
                break;
            default:
                Incompatible(directive);
        }
        out += Pad(std::move(text), width, left);
    }
    return out;
}

std::string HexCodePoint(std::uint32_t value) {
    std::string text = UpperHex(value);
    if (text.size() < 4) text.insert(0, 4 - text.size(), '0');
    return text;
}

}  // namespace zorvex
