#include "model/RunStatistics.h"

#include <algorithm>
#include <cmath>

#include "base/DateTime.h"
#include "base/Numbers.h"
#include "model/MonitoringRuns.h"

namespace zorvex {

namespace {

std::int64_t GapMs(const TMeasureRecord& a, const TMeasureRecord& b) {
    return std::llround(std::fabs(b.time - a.time) * 86400000.0);
}

// first..last clamped to the list; first > last when nothing is left.
void ClampRange(const std::vector<TMeasureRecord>& records, int& first, int& last) {
    first = std::max(first, 0);
    last = std::min(last, static_cast<int>(records.size()) - 1);
}

}  // namespace

std::int64_t RunIntervalMs(const std::vector<TMeasureRecord>& records, int first, int last) {
    ClampRange(records, first, last);
    if (last - first < 1) return 0;
    std::vector<std::int64_t> gaps;
    gaps.reserve(static_cast<std::size_t>(last - first));
    for (int i = first + 1; i <= last; ++i) gaps.push_back(GapMs(records[i - 1], records[i]));
    const auto middle = gaps.begin() + static_cast<std::ptrdiff_t>((gaps.size() - 1) / 2);
    std::nth_element(gaps.begin(), middle, gaps.end());
    return *middle;
}

TRunStatistics ComputeRunStatistics(const std::vector<TMeasureRecord>& records, int first, int last, int curve,
                                    std::optional<double> level, std::int64_t intervalMs) {
    TRunStatistics s;
    s.Curve = curve;
    s.Level = level;
    s.IntervalMs = intervalMs;
    ClampRange(records, first, last);
    if (first > last) return s;
    s.Samples = last - first + 1;
    s.Start = records[first].time;
    s.End = records[last].time;

    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(s.Samples));
    // Neumaier's compensated sum: the mean of a long run stays exact to the last digit shown.
    double sum = 0;
    double compensation = 0;
    for (int i = first; i <= last; ++i) {
        const double v = CurveValue(records[i], curve);
        if (!(v >= 0)) continue;  // absent (negative), and never a NaN into a figure
        if (values.empty() || v > s.Maximum) {
            s.Maximum = v;
            s.MaximumTime = records[i].time;
        }
        if (values.empty() || v < s.Minimum) s.Minimum = v;
        if (level && v >= *level) ++s.AtOrAbove;
        const double t = sum + v;
        compensation += std::fabs(sum) >= v ? (sum - t) + v : (v - t) + sum;
        sum = t;
        values.push_back(v);
    }
    s.Present = static_cast<int>(values.size());
    if (s.Present == 0) return s;
    s.Mean = (sum + compensation) / s.Present;
    // Nearest rank: the ceil(0.95 n)-th smallest value.
    const std::size_t rank = (95 * values.size() + 99) / 100;
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(rank - 1);
    std::nth_element(values.begin(), at, values.end());
    s.Percentile95 = *at;
    s.MsAtOrAbove = s.AtOrAbove * intervalMs;
    s.ShareAtOrAbove = static_cast<double>(s.AtOrAbove) / s.Present;
    return s;
}

std::vector<TRunStatistics> ComputeKindStatistics(const std::vector<TMeasureRecord>& records, int first, int last,
                                                  int kind, const std::optional<double> levels[2],
                                                  std::int64_t intervalMs) {
    std::vector<TRunStatistics> result;
    for (const int curve : CurvesOfKind(kind))
        result.push_back(ComputeRunStatistics(records, first, last, curve, levels[curve], intervalMs));
    return result;
}

const std::vector<std::string>& StatisticsHeadings() {
    // The figures against the level come before the run's times: they are
    // what a report takes, and they stay in sight in a narrow strip.
    static const std::vector<std::string> headings = {"Поле",
                                                      "Отсчётов",
                                                      "Без значения",
                                                      "Минимум",
                                                      "Максимум",
                                                      "Время максимума",
                                                      "Среднее",
                                                      "95-й процентиль",
                                                      "Уровень",
                                                      "Не ниже уровня",
                                                      "Время не ниже уровня",
                                                      "Доля, %",
                                                      "Начало",
                                                      "Конец",
                                                      "Интервал"};
    return headings;
}

std::string CurveUnit(int curve) {
    return curve == 0 ? "нТл" : "В/м";
}

std::string DurationText(std::int64_t ms) {
    const std::int64_t seconds = (std::max<std::int64_t>(ms, 0) + 500) / 1000;
    const auto two = [](std::int64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    return std::to_string(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" + two(seconds % 60);
}

std::vector<std::string> StatisticsCells(const TRunStatistics& s) {
    static const std::string none = "—";
    const auto value = [&](double v) { return s.HasValues() ? FormatFixed(v, 2) : none; };
    // A time on the run's first day is shown as a time of day only.
    const auto when = [&](double t) {
        return DateToStr(t) == DateToStr(s.Start) ? TimeToStr(t) : DateToStr(t) + " " + TimeToStr(t);
    };
    const bool counted = s.Level.has_value() && s.HasValues();
    std::vector<std::string> cells = {
        (s.Curve == 0 ? "H, " : "E, ") + CurveUnit(s.Curve),
        std::to_string(s.Present),
        std::to_string(s.Samples - s.Present),
        value(s.Minimum),
        value(s.Maximum),
        s.HasValues() ? when(s.MaximumTime) : none,
        value(s.Mean),
        value(s.Percentile95),
        s.Level ? FormatFixed(*s.Level, 2) : none,
        counted ? std::to_string(s.AtOrAbove) : none,
        counted ? DurationText(s.MsAtOrAbove) : none,
        counted ? FormatFixed(s.ShareAtOrAbove * 100, 1) : none,
        s.Samples > 0 ? DateToStr(s.Start) + " " + TimeToStr(s.Start) : none,
        s.Samples > 0 ? when(s.End) : none,
        s.Samples > 1 ? DurationText(s.IntervalMs) : none,
    };
    return cells;
}

}  // namespace zorvex
