#include "report/ReportData.h"

namespace zorvex::report {

ReportDataSet* ReportDataSources::Find(std::string_view name) const {
    const auto found = sources_.find(name);
    return found == sources_.end() ? nullptr : found->second;
}

std::string MemoryDataSet::GetValue(std::string_view field) {
    if (position_ >= records_.size()) return {};
    const auto& record = records_[position_];
    const auto found = record.find(field);
    return found == record.end() ? std::string() : found->second;
}

}  // namespace zorvex::report
