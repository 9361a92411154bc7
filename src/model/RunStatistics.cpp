#include "model/RunStatistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/DateTime.h"
#include "base/Numbers.h"
#include "model/MonitoringRuns.h"

namespace zorvex {

namespace {

// A time to the millisecond: records whose times agree in it were stored at one time.
std::int64_t TimeKeyMs(double time) {
    return std::llround(time * 86400000.0);
}

// first..last clamped to the list; first > last when nothing is left.
void ClampRange(const std::vector<TMeasureRecord>& records, int& first, int& last) {
    first = std::max(first, 0);
    last = std::min(last, static_cast<int>(records.size()) - 1);
}

// A value of a curve that enters the figures: not absent (negative) and a finite number.
bool IsValue(double v) {
    return v >= 0 && std::isfinite(v);
}

// One moment of recording: the records of the range stored at one time.
struct TSample {
    double Time = 0;
    std::optional<double> Value;  // the largest value of its records
};

// The samples of records first..last (a valid range) in time order.
std::vector<TSample> SamplesOf(const std::vector<TMeasureRecord>& records, int first, int last, int curve) {
    std::vector<int> order(static_cast<std::size_t>(last - first + 1));
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = first + static_cast<int>(i);
    // Stable, so that the earliest of several samples at the maximum is the one a stored list gives first.
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return TimeKeyMs(records[a].time) < TimeKeyMs(records[b].time); });
    std::vector<TSample> samples;
    std::int64_t key = 0;
    for (const int i : order) {
        const TMeasureRecord& record = records[static_cast<std::size_t>(i)];
        if (samples.empty() || TimeKeyMs(record.time) != key) {
            key = TimeKeyMs(record.time);
            samples.push_back({record.time, std::nullopt});
        }
        const double v = CurveValue(record, curve);
        std::optional<double>& value = samples.back().Value;
        if (IsValue(v) && (!value || v > *value)) value = v;
    }
    return samples;
}

// The mean of non-negative finite values, finite however large they are: a
// sum near the largest double is taken at a power of two below it, which
// changes no digit. Neumaier's compensated sum keeps a long run exact to the
// last digit shown.
double MeanOf(const std::vector<double>& values, double maximum) {
    const double n = static_cast<double>(values.size());
    const int shift = maximum > std::numeric_limits<double>::max() / n ? std::ilogb(n) + 1 : 0;
    double sum = 0;
    double compensation = 0;
    for (const double value : values) {
        const double v = std::ldexp(value, -shift);
        const double t = sum + v;
        compensation += sum >= v ? (sum - t) + v : (v - t) + sum;
        sum = t;
    }
    return std::ldexp((sum + compensation) / n, shift);
}

}  // namespace

std::int64_t RunIntervalMs(const std::vector<TMeasureRecord>& records, int first, int last) {
    ClampRange(records, first, last);
    if (last - first < 1) return 0;
    std::vector<std::int64_t> times;
    times.reserve(static_cast<std::size_t>(last - first + 1));
    for (int i = first; i <= last; ++i) times.push_back(TimeKeyMs(records[i].time));
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    if (times.size() < 2) return 0;
    std::vector<std::int64_t> gaps;
    gaps.reserve(times.size() - 1);
    for (std::size_t i = 1; i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
    const auto middle = gaps.begin() + static_cast<std::ptrdiff_t>((gaps.size() - 1) / 2);
    std::nth_element(gaps.begin(), middle, gaps.end());
    return *middle;
}

TRunStatistics ComputeRunStatistics(const std::vector<TMeasureRecord>& records, int first, int last, int curve,
                                    std::optional<double> level, std::int64_t intervalMs) {
    TRunStatistics s;
    s.Curve = curve;
    if (level && std::isfinite(*level)) s.Level = level;
    s.IntervalMs = intervalMs;
    ClampRange(records, first, last);
    if (first > last) return s;
    const std::vector<TSample> samples = SamplesOf(records, first, last, curve);
    s.Samples = static_cast<int>(samples.size());
    s.Start = samples.front().Time;
    s.End = samples.back().Time;
    std::vector<double> values;
    values.reserve(samples.size());
    for (const TSample& sample : samples) {
        if (!sample.Value) continue;
        const double v = *sample.Value;
        if (values.empty() || v > s.Maximum) {
            s.Maximum = v;
            s.MaximumTime = sample.Time;
        }
        if (values.empty() || v < s.Minimum) s.Minimum = v;
        if (s.Level && v >= *s.Level) ++s.AtOrAbove;
        values.push_back(v);
    }
    s.Present = static_cast<int>(values.size());
    if (s.Present == 0) return s;
    s.Mean = std::clamp(MeanOf(values, s.Maximum), s.Minimum, s.Maximum);
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
