#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/cli/CliApp.h"
#include "model/MeasureModel.h"

namespace zorvex::cli {

// --from, --to, --kind and, with `withMethod`, --method.
std::vector<OptionDef> FilterOptions(bool withMethod = true);
// Their help lines, in the same order.
std::string FilterHelp(bool withMethod = true);

// The condition on `measurements` for the filter options, built from numbers
// only; UsageError for a bad value. `method` fixes the method for a command
// that has no --method. A missing --from or --to leaves that end of the
// calendar open.
std::string BuildFilter(const ParsedArgs& args, std::optional<int> method = std::nullopt);

// The stored records matching `filter`, each series ordered by time; the
// number of matching rows whose method or kind has no place in the matrix
// goes to standard error.
TMeasureDataP LoadSelection(CliContext& context, const std::string& filter);

}  // namespace zorvex::cli
