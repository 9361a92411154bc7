#include <gtest/gtest.h>

#include <cfenv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Numbers.h"
#include "base/RunSettings.h"

#ifdef _WIN32
#include <float.h>
#endif

using namespace zorvex;

namespace {

// A locale whose decimal separator is a comma, set for the guard's lifetime;
// the previous locale comes back afterwards. scripts/install-deps generates
// ru_RU.UTF-8, so a machine without it is not set up to run these tests.
class CommaLocale {
public:
    CommaLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
        for (const char* name : {"ru_RU.UTF-8", "ru_RU.utf8", "Russian_Russia.1251"}) {
            if (std::setlocale(LC_ALL, name) == nullptr) continue;
            if (std::string(std::localeconv()->decimal_point) == ",") {
                name_ = name;
                return;
            }
        }
        std::setlocale(LC_ALL, previous_.c_str());
    }
    ~CommaLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool Active() const { return !name_.empty(); }

private:
    std::string previous_;
    std::string name_;
};

constexpr const char* kNoCommaLocale =
    "no locale with a decimal comma (ru_RU.UTF-8): scripts/install-deps generates it";

}  // namespace

TEST(Numbers, IntegerTexts) {
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("  -7"), -7);
    EXPECT_EQ(StrToInt("+3"), 3);
    EXPECT_EQ(StrToInt64("9000000000"), 9000000000LL);
    for (const char* bad : {"", "12a", "1.5", "2147483648", " ", "-"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
    EXPECT_EQ(StrToIntDef("x", 0), 0);
}

TEST(Numbers, FloatTextsUseThePointWhateverTheLocale) {
    // A comma locale must change nothing: stored files and protocols are read
    // back on any machine, whatever a library did to the C locale meanwhile.
    struct Case {
        const char* what;
        std::function<std::string()> text;
        const char* expected;
    } cases[] = {
        {"FloatToStr", [] { return FloatToStr(2.5); }, "2.5"},
        {"FloatToStr exponent", [] { return FloatToStr(-2.5e-7); }, "-2.5E-7"},
        {"FloatToStr long", [] { return FloatToStr(1.0 / 3); }, "0.333333333333333"},
        {"FloatToStrGeneral", [] { return FloatToStrGeneral(1234.5678, 6); }, "1234.57"},
        {"FormatFixed", [] { return FormatFixed(2.675, 2); }, "2.68"},
        {"IntToStr", [] { return IntToStr(-1234567); }, "-1234567"},
        {"Format", [] { return Format("%g|%.1f|%5d|%.3d|%x", {0.1, 1.25, 1234, -5, 255}); }, "0.1|1.3| 1234|-005|FF"},
        {"HexCodePoint", [] { return HexCodePoint(0x98); }, "0098"},
        {"FormatDateTime", [] { return FormatDateTime("yyyy-mm-dd hh:nn:ss", EncodeDateTime(2012, 5, 1, 8, 3, 7, 0)); },
         "2012-05-01 08:03:07"},
        {"StrToFloat", [] { return FloatToStr(StrToFloat("2.5") * 2); }, "5"},
    };
    {
        const CommaLocale comma;
        ASSERT_TRUE(comma.Active()) << kNoCommaLocale;
        for (const auto& c : cases) EXPECT_EQ(c.text(), c.expected) << c.what;
        EXPECT_THROW(StrToFloat("2,5"), EConvertError);
    }
    // The same texts in the "C" locale, so the two can never differ.
    for (const auto& c : cases) EXPECT_EQ(c.text(), c.expected) << c.what;

    EXPECT_EQ(StrToFloat(" 1e3 "), 1000.0);
    EXPECT_EQ(StrToFloat("-0.25"), -0.25);
    for (const char* bad : {"7,5", "inf", "nan", "0x10", "", "1.2.3"}) {
        try {
            StrToFloat(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'" + std::string(bad) + "' is not a valid floating point value");
        }
    }
}

TEST(Numbers, GeneralFormat) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {250, "250"},       {2.5, "2.5"},         {0, "0"},           {-1, "-1"},
        {0.1, "0.1"},       {1.0 / 3, "0.333333333333333"},           {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},     {0.00001, "0.00001"}, {0.000001, "1E-6"}, {-2.5e-7, "-2.5E-7"},
    };
    for (const auto& c : cases) EXPECT_EQ(FloatToStr(c.value), c.text) << c.value;
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity()), "INF");
}

TEST(Numbers, FixedFormatRoundsTheDigitsHalfAwayFromZero) {
    struct Case {
        double value;
        int decimals;
        const char* text;
    } cases[] = {
        {5000, 2, "5000.00"}, {4999.995, 2, "5000.00"}, {0.125, 2, "0.13"}, {2.675, 2, "2.68"},
        {12.5, 1, "12.5"},    {0.05, 1, "0.1"},         {-0.004, 2, "0.00"}, {-1.005, 2, "-1.01"},
        {999.96, 1, "1000.0"}, {3, 0, "3"},             {0.0004, 3, "0.000"}, {1e-9, 2, "0.00"},
        {0.5, 0, "1"},        {123.456, 3, "123.456"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.value, c.decimals), c.text) << c.value;
}

TEST(Format, Directives) {
    EXPECT_EQ(Format("%d мес ", {3}), "3 мес ");
    EXPECT_EQ(Format(" %.2d:%.2d:%.2d", {6, 50, 0}), " 06:50:00");
    EXPECT_EQ(Format("%.4d-%.2d-01", {2012, 5}), "2012-05-01");
    EXPECT_EQ(Format("%g", {250.0}), "250");
    EXPECT_EQ(Format("%g", {2.5}), "2.5");
    EXPECT_EQ(Format("%.1f|%.2f|%.3f", {1.25, 2.0, 0.0005}), "1.3|2.00|0.001");
    EXPECT_EQ(Format("Протокол №%s от %s", {"12", "05.03.2010"}), "Протокол №12 от 05.03.2010");
    EXPECT_EQ(Format("100%% %s", {"x"}), "100% x");
    EXPECT_EQ(Format("[%5d|%-3s]", {42, "a"}), "[   42|a  ]");
    EXPECT_EQ(Format("%d", {-5}), "-5");
    EXPECT_EQ(Format("%.3d", {-5}), "-005");
    // A missing or mismatched argument is an error, never undefined output.
    EXPECT_THROW(Format("%d %d", {1}), EConvertError);
    EXPECT_THROW(Format("%d", {"text"}), EConvertError);
    EXPECT_THROW(Format("%s", {1.5}), EConvertError);
}

namespace {

constexpr int kTraps = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;

// Floating-point traps as another library may leave them (Windows' C runtime
// and some drivers unmask them); the previous state comes back afterwards.
class UnmaskedTraps {
public:
    UnmaskedTraps() {
#if defined(__GLIBC__)
        previous_ = fegetexcept();
        feenableexcept(kTraps);
#elif defined(_WIN32)
        _controlfp_s(&previous_, 0, 0);
        unsigned int ignored = 0;
        _controlfp_s(&ignored, previous_ & ~static_cast<unsigned>(_EM_ZERODIVIDE | _EM_INVALID | _EM_OVERFLOW),
                     _MCW_EM);
#endif
    }
    ~UnmaskedTraps() {
        std::feclearexcept(FE_ALL_EXCEPT);
#if defined(__GLIBC__)
        fedisableexcept(FE_ALL_EXCEPT);
        feenableexcept(previous_);
#elif defined(_WIN32)
        unsigned int ignored = 0;
        _controlfp_s(&ignored, previous_, _MCW_EM);
#endif
    }
    UnmaskedTraps(const UnmaskedTraps&) = delete;
    UnmaskedTraps& operator=(const UnmaskedTraps&) = delete;

    // Whether a division by zero would trap now.
    static bool DivisionTraps() {
#if defined(__GLIBC__)
        return (fegetexcept() & kTraps) != 0;
#elif defined(_WIN32)
        unsigned int current = 0;
        _controlfp_s(&current, 0, 0);
        return (current & (_EM_ZERODIVIDE | _EM_INVALID | _EM_OVERFLOW)) != (_EM_ZERODIVIDE | _EM_INVALID | _EM_OVERFLOW);
#else
        return false;
#endif
    }

private:
#if defined(_WIN32)
    unsigned int previous_ = 0;
#else
    int previous_ = 0;
#endif
};

}  // namespace

TEST(RunSettings, DivisionByZeroGivesInfinityAndPointStays) {
    const CommaLocale comma;
    ASSERT_TRUE(comma.Active()) << kNoCommaLocale;
    const UnmaskedTraps traps;
#if defined(__GLIBC__) || defined(_WIN32)
    ASSERT_TRUE(UnmaskedTraps::DivisionTraps()) << "the traps could not be unmasked";
#endif
    ApplyRunSettings();
    // Checked before dividing: a trap would kill every test after this one.
    ASSERT_FALSE(UnmaskedTraps::DivisionTraps()) << "floating-point traps still unmasked";
    volatile double zero = 0.0;
    EXPECT_TRUE(std::isinf(1.0 / zero));
    EXPECT_TRUE(std::isnan(zero / zero));
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 2.5);
    EXPECT_STREQ(buffer, "2.5");
}
