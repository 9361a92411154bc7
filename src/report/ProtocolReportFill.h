#pragma once

#include <cstdint>

#include "protocol/ProtocolFields.h"
#include "protocol/ResultTables.h"
#include "report/ProtocolReport.h"

namespace zorvex::report {

// What the printed protocol shows, taken from the editor's fields (as the
// heading source answers them) and its ten result tables, heading rows included.
ProtocolReportData MakeProtocolReportData(const IProtocolFields& fields, const TResultTables& tables);

// A stored protocol read without a window (nothing is recorded in the input
// history): raises when it cannot be loaded as the editor would load it.
ProtocolReportData StoredProtocolReportData(std::int32_t protocolId);

}  // namespace zorvex::report
