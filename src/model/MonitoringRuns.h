#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/MeasureModel.h"

namespace zorvex {

// Neighbouring records further apart than this (whole seconds) belong to different runs.
inline constexpr std::int64_t kRunGapSeconds = 240;

// One monitoring run of a list: records First..Last.
struct TRunItem {
    int First = 0;
    int Last = 0;
    std::string Caption;  // short date, one space, long time of record First

    bool operator==(const TRunItem&) const = default;
};

// Whole seconds between two times, fractions dropped. Counted in rounded
// milliseconds first, so that 241 s never comes out as 240.9999 s and joins a run.
std::int64_t WholeSecondsBetween(double a, double b);

// The runs of a list, in list order. A new run starts after a gap of more
// than kRunGapSeconds and where the band or the rejection flag changes.
std::vector<TRunItem> SplitRuns(const std::vector<TMeasureRecord>& records);

// The curves a record of `kind` carries: 0 the magnetic value, 1 the electric
// value (kind 0 both, in that order).
std::vector<int> CurvesOfKind(int kind);

// The value of curve 0 (mvalue) or 1 (evalue) of a record.
inline double CurveValue(const TMeasureRecord& record, int curve) {
    return curve == 0 ? record.mvalue : record.evalue;
}

}  // namespace zorvex
