#pragma once

#include <cstdint>
#include <vector>

#include "model/MonitoringRuns.h"

class QComboBox;

namespace zorvex {

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
