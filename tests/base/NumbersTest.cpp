#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Numbers.h"
#include "base/RunSettings.h"

using namespace zorvex;

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
    // A comma locale must change nothing (the program never reads the locale).
    const bool haveRussian = std::setlocale(LC_ALL, "ru_RU.UTF-8") != nullptr;
    EXPECT_EQ(StrToFloat("2.5"), 2.5);
    EXPECT_EQ(FloatToStr(2.5), "2.5");
    if (haveRussian) std::setlocale(LC_ALL, "C");

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

TEST(RunSettings, DivisionByZeroGivesInfinityAndPointStays) {
    ApplyRunSettings();
    volatile double zero = 0.0;
    EXPECT_TRUE(std::isinf(1.0 / zero));
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 2.5);
    EXPECT_STREQ(buffer, "2.5");
}
