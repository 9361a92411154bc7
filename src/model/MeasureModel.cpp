#include "model/MeasureModel.h"

namespace zorvex {

std::size_t TMeasureDataP::TotalRecords() const {
    std::size_t total = 0;
    for (const auto& byMethod : series)
        for (const auto& s : byMethod) total += s.Records.size();
    return total;
}

void TMeasureDataP::SetMethodBytes() {
    for (int m = 0; m < kMethodCount; ++m)
        for (auto& s : series[m]) s.method = static_cast<std::uint8_t>(m);
}

bool TMDSource::ReportProgress(TMDProgress& progress) {
    if (!OnProgress) return true;
    progress.Tag = Tag;
    return OnProgress(progress);
}

}  // namespace zorvex
