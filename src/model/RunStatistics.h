#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/MeasureModel.h"

namespace zorvex {

// The figures of one curve over records first..last of a monitoring run.
//
// A sample is one moment of recording. Records stored at one time (the same
// series downloaded over two links, or loaded twice) are one sample: its value
// is the largest value they hold, so that no reading above the level is lost,
// and it is absent only when none of them holds a value. An absent value
// (negative, or not a finite number) enters no figure.
struct TRunStatistics {
    int Curve = 0;                // 0 magnetic (nT), 1 electric (V/m)
    int Samples = 0;              // distinct times in the range
    int Present = 0;              // of them with a value: the samples every figure is made of
    double Start = 0;             // the earliest time of the range
    double End = 0;               // the latest time of the range
    std::int64_t IntervalMs = 0;  // the run's recording interval

    // Over the present values; zero when there are none.
    double Minimum = 0;
    double Maximum = 0;
    double MaximumTime = 0;  // the earliest sample at the maximum
    double Mean = 0;
    double Percentile95 = 0;  // nearest rank: the smallest value that 95 % of the values do not exceed

    // Against the level; all zero when the run has no level.
    std::optional<double> Level;
    int AtOrAbove = 0;             // present values >= the level
    std::int64_t MsAtOrAbove = 0;  // AtOrAbove x the interval
    double ShareAtOrAbove = 0;     // AtOrAbove / Present, 0..1

    bool HasValues() const { return Present > 0; }
};

// The recording interval of records first..last: the median of the gaps
// between their distinct times (to the millisecond), in milliseconds (the
// lower one of the two middle gaps for an even count). Records stored at one
// time add no gap. 0 when fewer than two distinct times remain. A pause inside
// a run does not move it.
std::int64_t RunIntervalMs(const std::vector<TMeasureRecord>& records, int first, int last);

// The figures of `curve` over records first..last (a range outside the list
// is clamped to it; an empty range gives Samples 0). `intervalMs` is the whole
// run's interval, so that a part of a run counts time at the run's own pace.
// A level that is not a finite number is no level.
TRunStatistics ComputeRunStatistics(const std::vector<TMeasureRecord>& records, int first, int last, int curve,
                                    std::optional<double> level, std::int64_t intervalMs);

// The figures of every curve of `kind` (two for kind 0), in curve order.
std::vector<TRunStatistics> ComputeKindStatistics(const std::vector<TMeasureRecord>& records, int first, int last,
                                                  int kind, const std::optional<double> levels[2],
                                                  std::int64_t intervalMs);

// ---- texts, the same in the window, on paper and in the command-line tool

// The columns of StatisticsHeadings and StatisticsCells, in their order.
enum TStatisticsColumn : int {
    kStatField,
    kStatSamples,
    kStatAbsent,
    kStatMinimum,
    kStatMaximum,
    kStatMaximumTime,
    kStatMean,
    kStatPercentile95,
    kStatLevel,
    kStatAtOrAbove,
    kStatTimeAtOrAbove,
    kStatShare,
    kStatStart,
    kStatEnd,
    kStatInterval,
    kStatColumnCount
};

// Column headings of StatisticsCells.
const std::vector<std::string>& StatisticsHeadings();
// One row of texts under StatisticsHeadings: values with two decimals, times
// as the table shows them, durations as h:mm:ss, "—" where a figure does not
// exist (no value, no level).
std::vector<std::string> StatisticsCells(const TRunStatistics& statistics);

// "нТл" or "В/м".
std::string CurveUnit(int curve);
// A duration of `ms` milliseconds as h:mm:ss, rounded to the second (hours go past 24).
std::string DurationText(std::int64_t ms);

}  // namespace zorvex
