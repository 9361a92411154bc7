#include <gtest/gtest.h>

#include "base/DateTime.h"
#include "storage/PassportTexts.h"

using namespace zorvex;

TEST(PassportTexts, RunningTime) {
    struct Case {
        std::int64_t seconds;
        const char* text;
    } cases[] = {
        {3000000, "1 мес 4 дней  06:50:00"},
        {59, "00:00:59"},
        {0, "00:00:00"},
        {86400 + 3600 + 60 + 1, "1 дней  01:01:01"},
        {2629800, "1 мес  00:00:00"},
        {11718750, "4 мес 13 дней  21:12:30"},
        {5000000000LL, "1901 мес 8 дней  16:23:20"},  // beyond 32 bits
    };
    for (const auto& c : cases) EXPECT_EQ(RunningTimeText(c.seconds), c.text) << c.seconds;
}

TEST(PassportTexts, FirmwareAndCalibration) {
    EXPECT_EQ(FirmwareVersionText(65536), "1.0");
    EXPECT_EQ(FirmwareVersionText((2 << 16) | 15), "2.15");
    EXPECT_EQ(FirmwareVersionText(-1), "65535.65535");
    EXPECT_EQ(CalibrationDateText(0), "неизвестно");
    EXPECT_EQ(CalibrationDateText(EncodeDateTime(2009, 12, 31, 12, 0, 0, 0)), "31.12.2009");
}
