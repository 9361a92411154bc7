#include "ui/graph/MonitoringRuns.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace zorvex {

namespace {
constexpr int kFirstRole = Qt::UserRole + 1;
constexpr int kLastRole = Qt::UserRole + 2;
}  // namespace

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
