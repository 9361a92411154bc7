#include "base/Numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "base/Exceptions.h"
#include "base/Format.h"

namespace zorvex {
namespace {

std::string_view SkipLeadingBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

std::string_view TrimSpaces(std::string_view text) {
    text = SkipLeadingBlanks(text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The decimal digits of |value| (no leading zeros, at least one digit) and the
// exponent of the first digit: value = 0.d1d2d3... * 10^(exponent + 1).
struct DecimalDigits {
    std::string digits;
    int exponent = 0;
};

DecimalDigits Decompose(const char* first, const char* last) {
    // Input is to_chars scientific output without sign: d[.ddd]e[+-]xx
    DecimalDigits out;
    const char* p = first;
    for (; p != last && *p != 'e'; ++p)
        if (*p != '.') out.digits += *p;
    if (p != last) std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), last, out.exponent);
    while (out.digits.size() > 1 && out.digits.back() == '0') out.digits.pop_back();
    return out;
}

std::string NonFinite(double value) {
    if (std::isnan(value)) return "NAN";
    return value < 0 ? "-INF" : "INF";
}

// Decimal digits of an integer. std::to_chars, not printf or streams: those
// follow the C library's locale, which Qt and print dialogs change at will.
std::string DecimalText(std::uint64_t magnitude) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, magnitude);
    return std::string(buf, res.ptr);
}

std::string GeneralFormat(double value, int precision) {
    if (!std::isfinite(value)) return NonFinite(value);
    if (value == 0) return "0";
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, precision - 1);
    const DecimalDigits d = Decompose(buf, res.ptr);
    std::string out = value < 0 ? "-" : "";
    const int e = d.exponent;
    if (e >= precision || e < -5) {
        out += d.digits[0];
        if (d.digits.size() > 1) out += "." + d.digits.substr(1);
        out += "E";
        out += (e < 0 ? "-" : "") + DecimalText(static_cast<std::uint64_t>(std::abs(e)));
    } else if (e < 0) {
        out += "0." + std::string(static_cast<std::size_t>(-e - 1), '0') + d.digits;
    } else {
        const auto intDigits = static_cast<std::size_t>(e + 1);
        if (d.digits.size() <= intDigits) {
            out += d.digits + std::string(intDigits - d.digits.size(), '0');
        } else {
            out += d.digits.substr(0, intDigits) + "." + d.digits.substr(intDigits);
        }
    }
    return out;
}

}  // namespace

std::optional<std::int64_t> TryStrToInt64(std::string_view text) {
    text = SkipLeadingBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    if (magnitude > limit) return std::nullopt;
    return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

std::optional<std::int32_t> TryStrToInt(std::string_view text) {
    const auto wide = TryStrToInt64(text);
    if (!wide || *wide < std::numeric_limits<std::int32_t>::min() ||
        *wide > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(*wide);
}

std::int32_t StrToInt(std::string_view text) {
    if (const auto v = TryStrToInt(text)) return *v;
    throw EConvertError(Format("'%s' is not a valid integer value", {text}));
}

std::int64_t StrToInt64(std::string_view text) {
    if (const auto v = TryStrToInt64(text)) return *v;
    throw EConvertError(Format("'%s' is not a valid integer value", {text}));
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
    return TryStrToInt(text).value_or(fallback);
}

std::optional<double> TryStrToFloat(std::string_view text) {
    text = TrimSpaces(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    for (const char c : text) {
        const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
        if (!allowed) return std::nullopt;  // refuses "inf", "nan", hexadecimal and ","
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return negative ? -value : value;
}

double StrToFloat(std::string_view text) {
    if (const auto v = TryStrToFloat(text)) return *v;
    throw EConvertError(Format("'%s' is not a valid floating point value", {text}));
}

std::string IntToStr(std::int64_t value) { return FormatPadded(value, 0); }

std::string FloatToStr(double value) { return GeneralFormat(value, 15); }

std::string FormatFixed(double value, int decimals) {
    if (!std::isfinite(value)) return NonFinite(value);
    if (decimals < 0) decimals = 0;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
    DecimalDigits d = Decompose(buf, res.ptr);
    if (d.digits == "0") d.exponent = 0;

    // Integer of all the digits that are kept: value * 10^decimals, rounded.
    // Work on the digit string so that no binary rounding creeps back in.
    const int keep = d.exponent + 1 + decimals;  // digits of d.digits that are kept
    std::string kept;
    if (keep > 0) {
        kept = d.digits.substr(0, std::min<std::size_t>(d.digits.size(), static_cast<std::size_t>(keep)));
        kept += std::string(static_cast<std::size_t>(keep) - kept.size(), '0');
        const bool roundUp = static_cast<std::size_t>(keep) < d.digits.size() && d.digits[keep] >= '5';
        if (roundUp) {
            int i = static_cast<int>(kept.size()) - 1;
            while (i >= 0 && kept[i] == '9') kept[i--] = '0';
            if (i >= 0) ++kept[i];
            else kept.insert(kept.begin(), '1');
        }
    } else if (keep == 0 && d.digits[0] >= '5') {
        kept = "1";
    } else {
        kept = "0";
    }
    if (kept.size() < static_cast<std::size_t>(decimals) + 1)
        kept.insert(0, static_cast<std::size_t>(decimals) + 1 - kept.size(), '0');

    std::string out = kept.substr(0, kept.size() - decimals);
    if (decimals > 0) out += "." + kept.substr(kept.size() - decimals);
    const bool allZero = kept.find_first_not_of('0') == std::string::npos;
    if (value < 0 && !allZero) out.insert(0, "-");
    return out;
}

std::string FormatPadded(std::int64_t value, int digits) {
    std::string magnitude =
        DecimalText(value < 0 ? -(value + 1) + std::uint64_t{1} : static_cast<std::uint64_t>(value));
    if (static_cast<int>(magnitude.size()) < digits)
        magnitude.insert(0, static_cast<std::size_t>(digits) - magnitude.size(), '0');
    return value < 0 ? "-" + magnitude : magnitude;
}

std::string FloatToStrGeneral(double value, int precision) {
    return GeneralFormat(value, precision < 1 ? 15 : std::min(precision, 17));
}

}  // namespace zorvex
