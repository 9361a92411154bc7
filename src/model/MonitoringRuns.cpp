#include "model/MonitoringRuns.h"

#include <cmath>

#include "base/DateTime.h"

namespace zorvex {

std::int64_t WholeSecondsBetween(double a, double b) {
    const auto milliseconds = std::llround(std::fabs(a - b) * 86400000.0);
    return milliseconds / 1000;
}

namespace {
// A run is drawn against one level and captioned with one band: sessions in
// other bands (or with the other filter setting) stored close together, as a
// history load can join them, stay apart.
bool SameRun(const TMeasureRecord& previous, const TMeasureRecord& next) {
    return WholeSecondsBetween(previous.time, next.time) <= kRunGapSeconds && previous.band == next.band &&
           previous.rejection == next.rejection;
}
}  // namespace

std::vector<TRunItem> SplitRuns(const std::vector<TMeasureRecord>& records) {
    std::vector<TRunItem> runs;
    const int n = static_cast<int>(records.size());
    int start = 0;
    while (start < n) {
        int i = start + 1;
        while (i < n && SameRun(records[i - 1], records[i])) ++i;
        const double time = records[start].time;
        runs.push_back({start, i - 1, DateToStr(time) + " " + TimeToStr(time)});
        start = i;
    }
    return runs;
}

std::vector<int> CurvesOfKind(int kind) {
    switch (kind) {
        case kKind50Hz:
            return {0, 1};
        case kKindSvtMagnetic:
        case kKindMagnetic:
            return {0};
        case kKindSvtElectric:
        case kKindElectric:
            return {1};
        default:
            return {};
    }
}

}  // namespace zorvex
