#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "model/MonitoringRuns.h"
#include "model/RunStatistics.h"

using namespace zorvex;

namespace {

const TDateTime kStart = EncodeDateTime(2026, 3, 17, 10, 0, 0, 0);

// Magnetic values at `stepSeconds` apart from 10:00:00 (electric -1).
std::vector<TMeasureRecord> MagneticRun(const std::vector<double>& values, double stepSeconds = 5) {
    std::vector<TMeasureRecord> records;
    for (std::size_t i = 0; i < values.size(); ++i) {
        TMeasureRecord r;
        r.kind = kKindSvtMagnetic;
        r.time = kStart + static_cast<double>(i) * stepSeconds / 86400.0;
        r.mvalue = values[i];
        r.evalue = kAbsentValue;
        records.push_back(r);
    }
    return records;
}

TRunStatistics Whole(const std::vector<TMeasureRecord>& records, std::optional<double> level) {
    const int last = static_cast<int>(records.size()) - 1;
    return ComputeRunStatistics(records, 0, last, 0, level, RunIntervalMs(records, 0, last));
}

}  // namespace

struct FiguresCase {
    const char* name;
    std::vector<double> values;
    double stepSeconds;
    std::optional<double> level;
    int present;
    double minimum, maximum;
    int maximumIndex;  // the sample whose time the maximum carries
    double mean, percentile95;
    int atOrAbove;
    std::int64_t msAtOrAbove;
    double share;
};

TEST(RunStatistics, FiguresOfHandMadeRuns) {
    const std::vector<FiguresCase> cases = {
        // 250 equals the level and counts, as the graph draws it in the warning colour.
        {"tie at the level", {100, 200, 250, 300}, 5, 250.0, 4, 100, 300, 3, 212.5, 300, 2, 10000, 0.5},
        {"absent values left out",
         {-1, 100, -1, 400, 200},
         5,
         150.0,
         3,
         100,
         400,
         3,
         700.0 / 3,
         400,
         2,
         10000,
         2.0 / 3},
        {"first sample of a repeated maximum", {7, 9, 3, 9, 9}, 10, 9.0, 5, 3, 9, 1, 7.4, 9, 3, 30000, 0.6},
        {"one sample has no interval", {42.5}, 5, 40.0, 1, 42.5, 42.5, 0, 42.5, 42.5, 1, 0, 1},
        {"not a finite number is no value",
         {std::numeric_limits<double>::infinity(), 100, std::nan(""), 200},
         5,
         150.0,
         2,
         100,
         200,
         3,
         150,
         200,
         1,
         5000,
         0.5},
        {"no level counts nothing", {300, 400}, 5, std::nullopt, 2, 300, 400, 1, 350, 400, 0, 0, 0},
        {"a zero reading is a value", {0, 0, 10}, 5, 5.0, 3, 0, 10, 2, 10.0 / 3, 10, 1, 5000, 1.0 / 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto records = MagneticRun(c.values, c.stepSeconds);
        const TRunStatistics s = Whole(records, c.level);
        EXPECT_EQ(s.Samples, static_cast<int>(c.values.size()));
        EXPECT_EQ(s.Present, c.present);
        EXPECT_EQ(s.Minimum, c.minimum);
        EXPECT_EQ(s.Maximum, c.maximum);
        EXPECT_EQ(s.MaximumTime, records[c.maximumIndex].time);
        EXPECT_DOUBLE_EQ(s.Mean, c.mean);
        EXPECT_EQ(s.Percentile95, c.percentile95);
        EXPECT_EQ(s.AtOrAbove, c.atOrAbove);
        EXPECT_EQ(s.MsAtOrAbove, c.msAtOrAbove);
        EXPECT_DOUBLE_EQ(s.ShareAtOrAbove, c.share);
        EXPECT_EQ(s.Start, records.front().time);
        EXPECT_EQ(s.End, records.back().time);
    }
}

// The same series stored twice (downloaded over both links): every time twice,
// the second copy a little off as a single float carries it, in either order.
TEST(RunStatistics, RecordsAtOneTimeAreOneSample) {
    const std::vector<double> values = {100, 300, -1, 260, 100};
    std::vector<TMeasureRecord> once = MagneticRun(values);
    std::vector<TMeasureRecord> copy = once;
    for (TMeasureRecord& r : copy) r.mvalue = r.mvalue < 0 ? r.mvalue : r.mvalue * (1 + 1e-7);
    copy[0].mvalue = kAbsentValue;  // a copy without the value leaves the sample its value
    std::vector<TMeasureRecord> interleaved, appended = once;
    for (std::size_t i = 0; i < once.size(); ++i) {
        interleaved.push_back(i % 2 == 0 ? once[i] : copy[i]);
        interleaved.push_back(i % 2 == 0 ? copy[i] : once[i]);
    }
    appended.insert(appended.end(), copy.begin(), copy.end());
    for (const auto& [name, records] : {std::pair{"interleaved", interleaved}, std::pair{"appended", appended}}) {
        SCOPED_TRACE(name);
        const int last = static_cast<int>(records.size()) - 1;
        EXPECT_EQ(RunIntervalMs(records, 0, last), 5000);
        const TRunStatistics s = ComputeRunStatistics(records, 0, last, 0, 250.0, 5000);
        EXPECT_EQ(s.Samples, 5);
        EXPECT_EQ(s.Present, 4);
        EXPECT_EQ(s.Minimum, 100);
        EXPECT_EQ(s.Maximum, 300 * (1 + 1e-7));  // the larger copy: no reading above the level is lost
        EXPECT_EQ(s.MaximumTime, once[1].time);
        EXPECT_EQ(s.Start, once.front().time);
        EXPECT_EQ(s.End, once.back().time);
        EXPECT_NEAR(s.Mean, (100 + 300 + 260 + 100) / 4.0, 1e-4);
        EXPECT_EQ(s.AtOrAbove, 2);
        EXPECT_EQ(s.MsAtOrAbove, 10000);
        EXPECT_DOUBLE_EQ(s.ShareAtOrAbove, 0.5);
        const auto cells = StatisticsCells(s);
        EXPECT_EQ(cells[kStatSamples], "4");
        EXPECT_EQ(cells[kStatAbsent], "1");
        EXPECT_EQ(cells[kStatInterval], "0:00:05");
    }
}

// Values near the largest double: the sum would overflow, the mean must not.
TEST(RunStatistics, HugeValuesGiveFiniteFigures) {
    const double top = std::numeric_limits<double>::max();
    struct Case {
        std::vector<double> values;
        double mean;
    } const cases[] = {
        {{1.7e308, 1.79e308, 1e308, 1.5e308}, 1.4975e308},
        {{top, top, top}, top},
        {{top, 0}, top / 2},
    };
    for (const Case& c : cases) {
        const TRunStatistics s = Whole(MagneticRun(c.values), 1e308);
        EXPECT_TRUE(std::isfinite(s.Mean)) << s.Mean;
        EXPECT_NEAR(s.Mean / c.mean, 1, 1e-15) << c.values[0];
        EXPECT_LE(s.Mean, s.Maximum);
        for (const std::string& cell : StatisticsCells(s)) {
            EXPECT_EQ(cell.find("NAN"), std::string::npos) << cell;
            EXPECT_EQ(cell.find("INF"), std::string::npos) << cell;
        }
    }
    // A level that is no finite number is no level.
    const auto records = MagneticRun({100, 200});
    for (const double level : {std::numeric_limits<double>::infinity(), std::nan("")}) {
        const TRunStatistics s = Whole(records, level);
        EXPECT_FALSE(s.Level.has_value());
        EXPECT_EQ(StatisticsCells(s)[kStatLevel], "—");
    }
}

TEST(RunStatistics, Percentile95IsTheNearestRank) {
    // n = 20: rank ceil(19) = 19; n = 21: rank ceil(19.95) = 20; n = 100: rank 95.
    for (const auto& [n, expected] : {std::pair{20, 19}, std::pair{21, 20}, std::pair{100, 95}, std::pair{2, 2}}) {
        std::vector<double> values;
        for (int v = n; v >= 1; --v) values.push_back(v);  // descending, so order does not give it away
        EXPECT_EQ(Whole(MagneticRun(values), std::nullopt).Percentile95, expected) << n;
    }
}

TEST(RunStatistics, RangesAreClampedAndEmptyRangesGiveNothing) {
    const auto records = MagneticRun({10, 20, 30, 40});
    const TRunStatistics part = ComputeRunStatistics(records, 1, 2, 0, 25.0, 5000);
    EXPECT_EQ(part.Samples, 2);
    EXPECT_EQ(part.Minimum, 20);
    EXPECT_EQ(part.AtOrAbove, 1);
    EXPECT_EQ(part.MsAtOrAbove, 5000);

    const TRunStatistics wide = ComputeRunStatistics(records, -5, 100, 0, std::nullopt, 5000);
    EXPECT_EQ(wide.Samples, 4);
    EXPECT_EQ(wide.Maximum, 40);

    for (const auto& [first, last] : {std::pair{3, 2}, std::pair{10, 20}}) {
        const TRunStatistics none = ComputeRunStatistics(records, first, last, 0, 1.0, 5000);
        EXPECT_EQ(none.Samples, 0);
        EXPECT_FALSE(none.HasValues());
        EXPECT_EQ(none.AtOrAbove, 0);
    }
}

TEST(RunStatistics, AllAbsentCurveHasNoFigures) {
    // A 50 Hz run of the magnetic field only: the electric curve is all -1.
    const auto records = MagneticRun({100, 200});
    const std::optional<double> levels[2] = {5000.0, 0.0};
    const auto both = ComputeKindStatistics(records, 0, 1, kKind50Hz, levels, 5000);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].Curve, 0);
    EXPECT_EQ(both[0].Present, 2);
    EXPECT_EQ(both[1].Curve, 1);
    EXPECT_EQ(both[1].Samples, 2);
    EXPECT_EQ(both[1].Present, 0);
    // Even a level of 0 does not count an absent value as reaching it.
    EXPECT_EQ(both[1].AtOrAbove, 0);
    const auto cells = StatisticsCells(both[1]);
    ASSERT_EQ(cells.size(), StatisticsHeadings().size());
    EXPECT_EQ(cells[0], "E, В/м");
    EXPECT_EQ(cells[1], "0");
    EXPECT_EQ(cells[2], "2");
    for (const int figure : {3, 4, 5, 6, 7, 9, 10, 11}) EXPECT_EQ(cells[figure], "—") << figure;
    EXPECT_EQ(cells[8], "0.00");  // the level exists, nothing reaches it
}

TEST(RunStatistics, IntervalIsTheMedianGap) {
    struct Case {
        std::vector<double> seconds;
        std::int64_t intervalMs;
    };
    const std::vector<Case> cases = {
        {{0, 5, 10, 15, 215, 220}, 5000},  // a pause does not move it
        {{0, 5, 15}, 5000},                // two gaps: the lower middle one
        {{0, 0.5, 1.0, 1.5}, 500},
        {{0}, 0},
        {{0, 0, 0}, 0},
        {{0, 0, 5, 5, 10, 10, 15}, 5000},  // records at one time add no gap
        {{0, 5, 10, 0, 5, 10}, 5000},      // nor a series stored again after itself
    };
    for (const auto& c : cases) {
        std::vector<TMeasureRecord> records;
        for (const double s : c.seconds) {
            TMeasureRecord r;
            r.time = kStart + s / 86400.0;  // not exact in binary: rounded to the millisecond
            records.push_back(r);
        }
        EXPECT_EQ(RunIntervalMs(records, 0, static_cast<int>(records.size()) - 1), c.intervalMs);
    }
}

TEST(RunStatistics, CellsAsTheWindowAndTheToolShowThem) {
    // 10:00:00 .. 10:00:15 at 5 s; the maximum at 10:00:15.
    const auto records = MagneticRun({100, 200, 250, 300.456});
    const auto cells = StatisticsCells(Whole(records, 250.0));
    const std::vector<std::string> expected = {"H, нТл",
                                               "4",
                                               "0",
                                               "100.00",
                                               "300.46",
                                               "10:00:15",
                                               "212.61",
                                               "300.46",
                                               "250.00",
                                               "2",
                                               "0:00:10",
                                               "50.0",
                                               "17.03.2026 10:00:00",
                                               "10:00:15",
                                               "0:00:05"};
    EXPECT_EQ(cells, expected);
    EXPECT_EQ(StatisticsHeadings().size(), expected.size());
    EXPECT_EQ(expected.size(), static_cast<std::size_t>(kStatColumnCount));
    EXPECT_EQ(StatisticsHeadings()[kStatTimeAtOrAbove], "Время не ниже уровня");

    // A run past midnight shows the date of the times on the next day.
    std::vector<TMeasureRecord> late = MagneticRun({1, 2});
    late[0].time = EncodeDateTime(2026, 3, 17, 23, 59, 58, 0);
    late[1].time = EncodeDateTime(2026, 3, 18, 0, 0, 3, 0);
    const auto lateCells = StatisticsCells(Whole(late, std::nullopt));
    EXPECT_EQ(lateCells[13], "18.03.2026 00:00:03");
    EXPECT_EQ(lateCells[5], "18.03.2026 00:00:03");
    EXPECT_EQ(lateCells[8], "—");
}

TEST(RunStatistics, Durations) {
    const std::vector<std::pair<std::int64_t, std::string>> cases = {
        {0, "0:00:00"}, {5000, "0:00:05"}, {59500, "0:01:00"}, {3599499, "0:59:59"}, {90000000, "25:00:00"}};
    for (const auto& [ms, text] : cases) EXPECT_EQ(DurationText(ms), text) << ms;
}

TEST(MonitoringRuns, CurvesOfEachKind) {
    EXPECT_EQ(CurvesOfKind(kKind50Hz), (std::vector<int>{0, 1}));
    EXPECT_EQ(CurvesOfKind(kKindSvtMagnetic), std::vector<int>{0});
    EXPECT_EQ(CurvesOfKind(kKindMagnetic), std::vector<int>{0});
    EXPECT_EQ(CurvesOfKind(kKindSvtElectric), std::vector<int>{1});
    EXPECT_EQ(CurvesOfKind(kKindElectric), std::vector<int>{1});
    EXPECT_TRUE(CurvesOfKind(7).empty());
}
