#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace zorvex {

// One argument of Format: an integer, a floating-point number or a text.
class FormatArg {
public:
    FormatArg(int v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(unsigned v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(long v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(long long v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(double v) : value_(v) {}
    FormatArg(const char* v) : value_(std::string(v)) {}
    FormatArg(std::string v) : value_(std::move(v)) {}
    FormatArg(std::string_view v) : value_(std::string(v)) {}

    const std::variant<std::int64_t, double, std::string>& Value() const { return value_; }

private:
    std::variant<std::int64_t, double, std::string> value_;
};

// printf-like formatting of the patterns the program's texts use, always with
// "." as the decimal separator: %s, %d, %.Nd (zero-padded to N digits), %g,
// %.Nf, %x, %% and a width ("%5d", "%-8s"). A directive whose argument is
// missing or of the wrong kind raises EConvertError instead of reading garbage.
std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args);

// Upper-case hexadecimal, at least four digits ("0098", "1F600").
std::string HexCodePoint(std::uint32_t value);

}  // namespace zorvex
