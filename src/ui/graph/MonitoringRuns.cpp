#include "ui/graph/MonitoringRuns.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <cmath>

#include "base/DateTime.h"

namespace zorvex {

namespace {
constexpr int kFirstRole = Qt::UserRole + 1;
constexpr int kLastRole = Qt::UserRole + 2;
}  // namespace

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

std::uint32_t RunDataWord(int first, int last) {
    return (static_cast<std::uint32_t>(first) & 0xFFFFu) + 65536u * (static_cast<std::uint32_t>(last) & 0xFFFFu);
}

void FillSeriesList(QComboBox& box, const std::vector<TMeasureRecord>& records) {
    const std::vector<TRunItem> runs = SplitRuns(records);
    {
        // The caller lays the view out for the first run itself; no change
        // notification for every item added.
        const QSignalBlocker blocker(box);
        box.clear();
        for (const TRunItem& run : runs) {
            box.addItem(QString::fromStdString(run.Caption), QVariant::fromValue(RunDataWord(run.First, run.Last)));
            const int item = box.count() - 1;
            box.setItemData(item, run.First, kFirstRole);
            box.setItemData(item, run.Last, kLastRole);
        }
        box.setCurrentIndex(runs.empty() ? -1 : 0);
    }
}

bool RunRangeOf(const QComboBox& box, int item, int& first, int& last) {
    if (item < 0 || item >= box.count()) return false;
    const QVariant f = box.itemData(item, kFirstRole);
    const QVariant l = box.itemData(item, kLastRole);
    if (f.isValid() && l.isValid()) {
        first = f.toInt();
        last = l.toInt();
    } else {
        const auto word = box.itemData(item, Qt::UserRole).toUInt();
        first = static_cast<int>(word & 0xFFFFu);
        last = static_cast<int>(word >> 16);
    }
    return true;
}

}  // namespace zorvex
