#include <gtest/gtest.h>

#include "base/DateTime.h"
#include "base/Exceptions.h"

using namespace zorvex;

TEST(DateTime, DayCountsFrom1899) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2010, 5, 19), 40317.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 6, 0, 0, 0), 0.25);
    const DateParts d = DecodeDate(40317.75);
    EXPECT_EQ(d.year, 2010);
    EXPECT_EQ(d.month, 5);
    EXPECT_EQ(d.day, 19);
    const TimeParts t = DecodeTime(EncodeTime(23, 59, 59, 999));
    EXPECT_EQ(t.hour * 10000 + t.minute * 100 + t.second, 235959);
    EXPECT_EQ(t.millisecond, 999);
}

TEST(DateTime, InvalidDatesRaise) {
    EXPECT_THROW(EncodeDate(2011, 2, 29), EConvertError);
    EXPECT_THROW(EncodeDate(2010, 13, 1), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_NO_THROW(EncodeDate(2012, 2, 29));
}

TEST(DateTime, MonthArithmeticClampsToTheLastDay) {
    struct Case {
        int y, m, d, months, ey, em, ed;
    } cases[] = {
        {2011, 3, 31, -1, 2011, 2, 28}, {2012, 3, 31, -1, 2012, 2, 29}, {2012, 2, 29, -12, 2011, 2, 28},
        {2010, 1, 15, -1, 2009, 12, 15}, {2010, 12, 31, 2, 2011, 2, 28}, {2010, 5, 10, 0, 2010, 5, 10},
    };
    for (const auto& c : cases) {
        const TDateTime from = EncodeDateTime(c.y, c.m, c.d, 13, 45, 10, 0);
        const TDateTime to = IncMonth(from, c.months);
        EXPECT_DOUBLE_EQ(to, EncodeDateTime(c.ey, c.em, c.ed, 13, 45, 10, 0)) << c.y << "-" << c.m << "-" << c.d;
    }
}

TEST(DateTime, Patterns) {
    const TDateTime t = EncodeDateTime(2012, 5, 1, 8, 3, 7, 0);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", t), "2012-05-01 08:03:07");
    EXPECT_EQ(FormatDateTime("YYYY-mm-dd hh-nn-ss", t), "2012-05-01 08-03-07");
    EXPECT_EQ(FormatDateTime("mmmm", t), "Май");
    EXPECT_EQ(FormatDateTime("d", t), "1");
    EXPECT_EQ(DateToStr(t), "01.05.2012");
    EXPECT_EQ(TimeToStr(t), "08:03:07");
    EXPECT_EQ(MonthName(1), "Январь");
    EXPECT_EQ(MonthName(12), "Декабрь");
}
