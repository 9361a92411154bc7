#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/MeasureModel.h"

class QComboBox;

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

// The data word of a run item: first index in the low 16 bits, last index in
// the high 16 bits (so both must be at most 65535 to be read back from it).
std::uint32_t RunDataWord(int first, int last);

// Rebuilds `box` with the runs of `records` and selects the first run (no
// selection for an empty list). Each item carries its data word as Qt::UserRole
// and its indexes at full width as well, so lists longer than 65536 records
// keep their right ranges.
void FillSeriesList(QComboBox& box, const std::vector<TMeasureRecord>& records);

// The range of item `item` of a box filled by FillSeriesList; false when there
// is no such item.
bool RunRangeOf(const QComboBox& box, int item, int& first, int& last);

}  // namespace zorvex
