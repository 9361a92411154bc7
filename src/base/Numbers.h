#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvex {

// Number <-> text conversions. They never consult the locale: "." is the one
// decimal separator of the program.

// Decimal integer with optional sign, leading blanks allowed.
std::optional<std::int64_t> TryStrToInt64(std::string_view text);
std::optional<std::int32_t> TryStrToInt(std::string_view text);
// Raise EConvertError "'%s' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);

// Decimal number with optional sign, fraction and exponent, surrounding blanks
// allowed; no "inf", "nan" or hexadecimal forms.
std::optional<double> TryStrToFloat(std::string_view text);
// Raises EConvertError "'%s' is not a valid floating point value".
double StrToFloat(std::string_view text);

std::string IntToStr(std::int64_t value);

// General format: the shortest text with up to 15 significant digits that
// reads back to the value at that precision (250 -> "250", 2.5 -> "2.5",
// 0.000001 -> "1E-6"). This is also the "%g" of Format.
std::string FloatToStr(double value);
// The same with `precision` significant digits.
std::string FloatToStrGeneral(double value, int precision);

// Fixed format with `decimals` digits after the point ("%.2f"). Rounds the
// value's shortest decimal form half away from zero, so 0.125 -> "0.13" and
// 2.675 -> "2.68", as a reader of the digits expects.
std::string FormatFixed(double value, int decimals);

// Decimal integer zero-padded to at least `digits` digits ("%.2d", "%.4d").
std::string FormatPadded(std::int64_t value, int digits);

}  // namespace zorvex
